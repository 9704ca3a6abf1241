// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "update/versioncheck.h"

std::optional<int> parsePublishedBuild(const QString &text)
{
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return number;
}

UpdateAnswer decideUpdate(const TextFetchResult &fetched, int ownBuild)
{
    if (!fetched.ok)
        return UpdateAnswer::CouldNotCheck;
    const std::optional<int> published = parsePublishedBuild(fetched.text);
    if (!published)
        return UpdateAnswer::CouldNotCheck;
    return *published > ownBuild ? UpdateAnswer::OpenInstaller : UpdateAnswer::Newest;
}
