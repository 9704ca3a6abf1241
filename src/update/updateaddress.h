// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QUrl>

// Base address of the publisher's download host; the build names the host.
QUrl defaultUpdateBaseUrl();

// A silent host must not keep the user waiting for minutes.
inline constexpr int defaultUpdateTimeoutMs = 15000;

// The two files the publisher keeps under the base address for this platform:
// the version file, and the package that installs a newer build (Setup.exe on
// Windows, the Debian package on Linux).
QUrl versionFileUrl(const QUrl &base);
QUrl installerUrl(const QUrl &base);
