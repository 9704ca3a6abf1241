#pragma once

#include <QString>
#include <QUrl>

// The address that the Open button hands to the desktop's file browser for the
// folder text of lineEdit: "file:///" followed by the text, made safe.
//
// - Empty text: the bare "file:///".
// - A drive-letter path ("C:/Video/Trip", "C:\Video"): "file:///" followed by
//   the path, on every platform ("file:///C:/Video/Trip").
// - A path absolute on this platform ("/home/ann/Trip" on Linux): its file
//   address, where plain concatenation would give four slashes. Extra leading
//   slashes are one on Unix ("//tmp/a" is "/tmp/a"), not a network host.
// - Any other text is a relative path, taken against the process's current
//   directory as the folder scan's existence check takes it, so Open shows
//   the folder that Browse lists.
// Every character arrives intact: blanks, '#', '%', '?', non-ASCII letters and
// newlines are percent-encoded, so toLocalFile() gives the path back.
QUrl folderAddress(const QString &folderText);
