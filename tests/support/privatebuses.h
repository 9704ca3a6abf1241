// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QtGlobal>

// Neither the machine's buses nor the user's: a test that needs them starts
// its own, and the programs a test starts inherit these. Call it before the
// application object.
inline void pointBusesAtNothing()
{
    const QByteArray nowhere("unix:path=/nonexistent/tessel-tests-bus");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", nowhere);
    qputenv("DBUS_SESSION_BUS_ADDRESS", nowhere);
}
