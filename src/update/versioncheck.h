// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <optional>

#include "update/fetchresult.h"

// The build number the publisher announces: one whole base-10 integer in the
// 32-bit range, white space around it allowed. Anything else is no answer.
std::optional<int> parsePublishedBuild(const QString &text);

enum class UpdateAnswer {
    OpenInstaller, // a newer build is published
    Newest,        // the publisher's answer is this build or an older one
    CouldNotCheck, // no usable answer: never claim to be the newest then
};

UpdateAnswer decideUpdate(const TextFetchResult &fetched, int ownBuild);
