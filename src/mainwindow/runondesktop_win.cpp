// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/runondesktop.h"

#include <QApplication>
#include <QDebug>
#include <QWidget>

#include <windows.h>

#include <shobjidl.h>

namespace {
constexpr ULONGLONG taskbarSteps = 1000;

// Each call says how it went on the debug channel: under Wine, where these
// are stubs, the tests read these lines to see that each was made and held.
bool report(const char *call, bool succeeded, unsigned long code)
{
    if (succeeded)
        qDebug("%s: ok", call);
    else
        qDebug("%s: failed (0x%lx)", call, code);
    return succeeded;
}

bool reportCall(const char *call, BOOL succeeded)
{
    return report(call, succeeded, GetLastError());
}

bool reportCall(const char *call, HRESULT result)
{
    return report(call, SUCCEEDED(result), static_cast<unsigned long>(result));
}
} // namespace

struct RunOnDesktop::Platform
{
    HANDLE power = INVALID_HANDLE_VALUE;
    bool powerSet = false;
    HWND button = nullptr;
    ITaskbarList3 *taskbar = nullptr;
    TBPFLAG state = TBPF_NOPROGRESS;
    bool valueShown = false;

    void setState(TBPFLAG wanted, const char *call)
    {
        if (taskbar && state != wanted &&
            reportCall(call, taskbar->SetProgressState(button, wanted)))
            state = wanted;
    }
};

RunOnDesktop::RunOnDesktop(QWidget *window) : platform(std::make_shared<Platform>())
{
    // Sleep only: the display may still turn off. `powercfg /requests` names
    // the program and this reason.
    wchar_t reason[] = L"Converting clips";
    REASON_CONTEXT context = {};
    context.Version = POWER_REQUEST_CONTEXT_VERSION;
    context.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
    context.Reason.SimpleReasonString = reason;
    platform->power = PowerCreateRequest(&context);
    if (reportCall("PowerCreateRequest", BOOL(platform->power != INVALID_HANDLE_VALUE)))
        platform->powerSet = reportCall(
            "PowerSetRequest", PowerSetRequest(platform->power, PowerRequestSystemRequired));
    if (!platform->powerSet)
        qDebug("Nothing keeps the computer awake during this run");

    // Offscreen there is no button to show it on.
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        return;
    platform->button = reinterpret_cast<HWND>(window->window()->winId());
    void *taskbar = nullptr;
    if (reportCall("CoCreateInstance(TaskbarList)",
                   CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_ITaskbarList3, &taskbar))) {
        platform->taskbar = static_cast<ITaskbarList3 *>(taskbar);
        if (!reportCall("ITaskbarList3::HrInit", platform->taskbar->HrInit())) {
            platform->taskbar->Release();
            platform->taskbar = nullptr;
        }
    }
}

RunOnDesktop::~RunOnDesktop()
{
    if (platform->taskbar) {
        platform->setState(TBPF_NOPROGRESS, "SetProgressState(TBPF_NOPROGRESS)");
        platform->taskbar->Release();
    }
    if (platform->powerSet)
        reportCall("PowerClearRequest",
                   PowerClearRequest(platform->power, PowerRequestSystemRequired));
    if (platform->power != INVALID_HANDLE_VALUE)
        CloseHandle(platform->power);
}

void RunOnDesktop::showProgress(double fraction, int)
{
    if (!platform->taskbar)
        return;
    if (platform->state == TBPF_NOPROGRESS)
        platform->setState(TBPF_NORMAL, "SetProgressState(TBPF_NORMAL)");
    const auto completed = ULONGLONG(qBound(0.0, fraction, 1.0) * taskbarSteps);
    const HRESULT result =
        platform->taskbar->SetProgressValue(platform->button, completed, taskbarSteps);
    // Once a run is enough to tell whether it works.
    if (!platform->valueShown || FAILED(result))
        platform->valueShown = reportCall("ITaskbarList3::SetProgressValue", result);
}

void RunOnDesktop::clipFailed()
{
    platform->setState(TBPF_ERROR, "SetProgressState(TBPF_ERROR)");
}

void RunOnDesktop::askForAttention(QWidget *window)
{
    // FlashWindowEx on the taskbar button, until the window is activated.
    if (!window->isActiveWindow())
        QApplication::alert(window);
}
