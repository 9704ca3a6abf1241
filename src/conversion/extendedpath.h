// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// An absolute Windows path in the form that Win32 file calls take past
// MAX_PATH (260 characters) whether or not the program says it is
// longPathAware: "\\?\C:\..." on a drive, "\\?\UNC\server\share\..." on a
// share. Windows takes such a path as it stands, so it is cleaned up here as
// Windows would clean up a plain one: "/" becomes "\", and "." and ".." steps
// and doubled separators go, never above the drive or the share. A path
// already in that form, or one that is not absolute, only has its "/" turned.
QString extendedLengthPath(const QString &path);
