// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QUrl>

// The address that the Open button hands to the desktop's file browser for the
// folder text of lineEdit: the file address of the folder's absolute path,
// cleaned (QDir::cleanPath: doubled slashes, "." and ".." segments and a
// trailing slash go; "//tmp/a" is "/tmp/a", not a network host).
//
// - Empty text: the bare "file:///".
// - A drive-letter path ("C:/Video/Trip", "C:\Video"): "file:///" followed by
//   the path with forward slashes, on every platform ("file:///C:/Video/Trip").
// - Relative text is taken against the process's current directory, as the
//   folder scan's existence check takes it, so Open shows the folder that
//   Browse lists.
// Every character arrives intact: blanks, '#', '%', '?', non-ASCII letters and
// newlines are percent-encoded, so toLocalFile() gives the path back.
QUrl folderAddress(const QString &folderText);
