// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "update/updateaddress.h"

namespace {
QUrl withPath(const QUrl &base, const QString &path)
{
    QString basePath = base.path();
    while (basePath.endsWith(QLatin1Char('/')))
        basePath.chop(1);
    QUrl url = base;
    url.setPath(basePath + path);
    return url;
}
} // namespace

QUrl defaultUpdateBaseUrl()
{
    // https: the package is a program the user will install; fetched in clear
    // text, anyone on the path could swap it.
    return QUrl(QStringLiteral("https://" TESSEL_UPDATE_HOST));
}

QUrl versionFileUrl(const QUrl &base)
{
    return withPath(base, QStringLiteral("/Tessel/current_tessel.txt"));
}

QUrl installerUrl(const QUrl &base)
{
    return withPath(base, QStringLiteral("/Tessel/" TESSEL_UPDATE_PACKAGE));
}
