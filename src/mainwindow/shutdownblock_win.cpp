// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/shutdownblock.h"

#include <QGuiApplication>
#include <QWidget>

#include <windows.h>

ShutdownBlock::ShutdownBlock(QWidget *window, const QString &reason)
{
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        return;
    const HWND topLevel = reinterpret_cast<HWND>(window->window()->winId());
    if (ShutdownBlockReasonCreate(topLevel, reinterpret_cast<const wchar_t *>(reason.utf16())))
        handle = topLevel;
}

ShutdownBlock::~ShutdownBlock()
{
    if (handle)
        ShutdownBlockReasonDestroy(static_cast<HWND>(handle));
}
