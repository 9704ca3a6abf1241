// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <optional>

#include "conversion/clipoutcome.h"

// What the file list shows while a clip is being converted.
QString announcementText(const QString &sourceName);

// What the file list shows once the encoder is done with a clip.
QString resultText(const QString &sourceName, const QString &outputName,
                   const ClipOutcome &outcome);

// A failed row's detail, for those who cannot hover over it: the reason,
// then the encoder's last lines, one a line. Empty for a converted clip.
QString failureDetail(const ClipOutcome &outcome);

// The running row as a screen reader names it: its text and how far it is.
QString progressName(const QString &sourceName, int percent);

// Why a clip was not read to its end, and how far the encoder got:
// "Input/output error after 0:53".
QString readFailureText(const QString &error, std::optional<double> readUpTo);

// The closing count: "3 files converted.", followed on the same line by the
// failures when there were any ("1 file converted. 2 files failed.").
QString summaryText(int converted, int failed);
