// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

// What a fetch brought back, and whether it worked at all: an empty body alone
// cannot tell a failed request from an empty file.
struct FetchResult
{
    bool ok = false;
    QByteArray body;
    // The application began quitting during the wait; nothing was learnt, and
    // nothing should be shown.
    bool quitting = false;
};

struct TextFetchResult
{
    bool ok = false;
    QString text;
    bool quitting = false;
};
