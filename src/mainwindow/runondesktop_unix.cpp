// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/runondesktop.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDebug>
#include <QThreadPool>
#include <QVariantMap>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

namespace {
// A bus that answers at all answers within this; one that does not must not
// hold the run's desktop work for long.
constexpr int desktopCallTimeoutMs = 500;
const char *const runReason = "Converting clips";

// Connections of our own, kept from run to run: Qt's shared ones are made on
// first use by whichever thread asks, and that may be the window's.
QDBusConnection desktopBus(QDBusConnection::BusType type, const QString &name)
{
    const QDBusConnection kept(name);
    if (kept.isConnected())
        return kept;
    QDBusConnection::disconnectFromBus(name);
    return QDBusConnection::connectToBus(type, name);
}

QDBusMessage launcherUpdate(double fraction, int clipsLeft, bool visible)
{
    QDBusMessage update = QDBusMessage::createSignal(
        QStringLiteral("/com/ostrell/tessel/launcher"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << QStringLiteral("application://com.ostrell.tessel.desktop")
           << QVariantMap{{QStringLiteral("progress"), fraction},
                          {QStringLiteral("progress-visible"), visible},
                          {QStringLiteral("count"), qint64(clipsLeft)},
                          {QStringLiteral("count-visible"), visible}};
    return update;
}

QDBusMessage screenSaverCall(const QString &method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
                                          QStringLiteral("/org/freedesktop/ScreenSaver"),
                                          QStringLiteral("org.freedesktop.ScreenSaver"), method);
}
} // namespace

// Shared by the window's thread and the one that talks to the buses. The lock
// is never held across a call that waits.
struct RunOnDesktop::Platform
{
    std::mutex mutex;
    bool ended = false;
    // logind holds sleep off while any copy of this stays open.
    QDBusUnixFileDescriptor inhibitor;
    std::optional<uint> screenSaverCookie;
    std::optional<QDBusConnection> session;
    bool launcherShown = false;

    void holdSleepOff();
};

void RunOnDesktop::Platform::holdSleepOff()
{
    QStringList refusals;
    const QDBusConnection system =
        desktopBus(QDBusConnection::SystemBus, QStringLiteral("tessel-desktop-system"));
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep:idle") << QStringLiteral("Tessel")
            << QString::fromLatin1(runReason) << QStringLiteral("block");
    const QDBusReply<QDBusUnixFileDescriptor> held =
        system.call(inhibit, QDBus::Block, desktopCallTimeoutMs);
    if (held.isValid()) {
        const std::lock_guard lock(mutex);
        // An answer that comes after the run has ended is closed with `held`.
        if (!ended)
            inhibitor = held.value();
    } else {
        refusals << QStringLiteral("logind: ") + held.error().message();
    }

    const QDBusConnection bus =
        desktopBus(QDBusConnection::SessionBus, QStringLiteral("tessel-desktop-session"));
    {
        const std::lock_guard lock(mutex);
        if (ended)
            return;
        if (bus.isConnected())
            session = bus;
        if (held.isValid())
            return;
    }
    // Desktops keep idle sleep off while this is held; logind would hold off
    // a suspend asked for by hand too.
    const QDBusReply<uint> cookie =
        bus.call(screenSaverCall(QStringLiteral("Inhibit"))
                     << QStringLiteral("Tessel") << QString::fromLatin1(runReason),
                 QDBus::Block, desktopCallTimeoutMs);
    if (cookie.isValid()) {
        const std::lock_guard lock(mutex);
        if (!ended) {
            screenSaverCookie = cookie.value();
            return;
        }
        bus.call(screenSaverCall(QStringLiteral("UnInhibit")) << cookie.value(), QDBus::NoBlock);
        return;
    }
    refusals << QStringLiteral("screen saver: ") + cookie.error().message();
    qDebug().noquote() << QStringLiteral("Nothing keeps the computer awake during this run (%1)")
                              .arg(refusals.join(QStringLiteral("; ")));
}

RunOnDesktop::RunOnDesktop(QWidget *) : platform(std::make_shared<Platform>())
{
    // Connecting to a bus waits for its answer, as long as 25 s for one that
    // accepts and never answers: on the application's pool, which main()
    // does not wait for at its end, with one more thread than the disk steps
    // have, so that a silent bus takes none of theirs. Only the window's
    // thread changes the count.
    QThreadPool *const pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(pool->maxThreadCount() + 1);
    pool->start([shared = platform, pool] {
        shared->holdSleepOff();
        QMetaObject::invokeMethod(
            qApp, [pool] { pool->setMaxThreadCount(pool->maxThreadCount() - 1); },
            Qt::QueuedConnection);
    });
}

RunOnDesktop::~RunOnDesktop()
{
    const std::lock_guard lock(platform->mutex);
    platform->ended = true;
    // Now, not once the bus work is over: a session bus that does not answer
    // may hold that work a while.
    platform->inhibitor = QDBusUnixFileDescriptor();
    if (platform->session) {
        if (platform->screenSaverCookie)
            platform->session->asyncCall(screenSaverCall(QStringLiteral("UnInhibit"))
                                         << *platform->screenSaverCookie);
        if (platform->launcherShown)
            platform->session->send(launcherUpdate(0, 0, false));
    }
    platform->session.reset();
}

void RunOnDesktop::showProgress(double fraction, int clipsLeft)
{
    const std::lock_guard lock(platform->mutex);
    if (!platform->session)
        return;
    platform->session->send(launcherUpdate(fraction, clipsLeft, true));
    platform->launcherShown = true;
}

// Docks show no failed state.
void RunOnDesktop::clipFailed() {}

void RunOnDesktop::askForAttention(QWidget *window)
{
    if (window->isActiveWindow())
        return;
    // Qt 6.4's alert does not reach an X11 window manager by itself (it goes
    // out only with whatever Qt sends next): the request as EWMH has it,
    // sent at once. The window manager takes the mark off once the window
    // is activated.
    // Offscreen answers for X11 too, with no connection.
    auto *const x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *const connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        QApplication::alert(window);
        return;
    }
    const auto request = [connection](const char *name) {
        return xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
    };
    const auto atom = [connection](xcb_intern_atom_cookie_t cookie) {
        xcb_intern_atom_reply_t *const reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    };
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window->window()->winId());
    // Asked together: one wait for the X server, not three.
    const xcb_intern_atom_cookie_t state = request("_NET_WM_STATE");
    const xcb_intern_atom_cookie_t attention = request("_NET_WM_STATE_DEMANDS_ATTENTION");
    const xcb_get_geometry_cookie_t where = xcb_get_geometry(connection, event.window);
    event.type = atom(state);
    event.data.data32[0] = 1; // _NET_WM_STATE_ADD
    event.data.data32[1] = atom(attention);
    event.data.data32[3] = 1; // asked by an application
    // To the root of the window's own screen, where its window manager listens.
    xcb_get_geometry_reply_t *const geometry = xcb_get_geometry_reply(connection, where, nullptr);
    if (geometry)
        xcb_send_event(connection, 0, geometry->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    std::free(geometry);
    xcb_flush(connection);
}
