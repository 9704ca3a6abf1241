// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// What a newer build is offered as on the platform the test runs on.
#ifdef Q_OS_WIN
inline const QString publishedPackage = QStringLiteral("Setup.exe");
#else
inline const QString publishedPackage = QStringLiteral("tessel_amd64.deb");
#endif
