// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/conversionreport.h"

namespace {
QString failureReason(const ClipOutcome &outcome)
{
    switch (outcome.end) {
    case ClipOutcome::End::CouldNotStart:
        return QStringLiteral("the encoder could not be started");
    case ClipOutcome::End::Crashed:
        return QStringLiteral("the encoder crashed");
    case ClipOutcome::End::ExitedWithError:
        if (!outcome.detail.isEmpty())
            return outcome.detail;
        return QStringLiteral("the encoder exited with code ") + QString::number(outcome.exitCode);
    case ClipOutcome::End::Stopped:
        return QStringLiteral("the encoder was stopped");
    case ClipOutcome::End::SourceChanged:
        return QStringLiteral("the clip changed while it was converted");
    case ClipOutcome::End::FolderMoved:
        return QStringLiteral("the folder was moved or removed");
    case ClipOutcome::End::NameTaken:
    case ClipOutcome::End::NotPlaced:
    case ClipOutcome::End::ReadFailed:
        return outcome.detail;
    case ClipOutcome::End::Succeeded:
        break;
    }
    return QString();
}

QString counted(int count, const char *singular, const char *plural)
{
    return QString::number(count) + QLatin1String(count <= 1 ? singular : plural);
}
} // namespace

QString announcementText(const QString &sourceName)
{
    return QStringLiteral("Processing ") + sourceName;
}

QString resultText(const QString &sourceName, const QString &outputName, const ClipOutcome &outcome)
{
    if (outcome.converted())
        return sourceName + QStringLiteral(" converted to ") + outputName;
    return sourceName + QStringLiteral(" was not converted: ") + failureReason(outcome);
}

QString failureDetail(const ClipOutcome &outcome)
{
    if (outcome.converted())
        return QString();
    return (QStringList{failureReason(outcome)} + outcome.encoderLines).join(QLatin1Char('\n'));
}

QString progressName(const QString &sourceName, int percent)
{
    return announcementText(sourceName) + QStringLiteral(", ") + QString::number(percent) +
           QLatin1Char('%');
}

QString readFailureText(const QString &error, std::optional<double> readUpTo)
{
    if (!readUpTo)
        return error;
    const auto twoDigits = [](qint64 value) {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    };
    const qint64 total = qint64(*readUpTo);
    const qint64 hours = total / 3600;
    const qint64 minutes = total / 60 % 60;
    const QString clock = hours ? QString::number(hours) + QLatin1Char(':') + twoDigits(minutes)
                                : QString::number(minutes);
    return error + QStringLiteral(" after ") + clock + QLatin1Char(':') + twoDigits(total % 60);
}

QString summaryText(int converted, int failed)
{
    QString text = counted(converted, " file converted.", " files converted.");
    if (failed > 0)
        text += QLatin1Char(' ') + counted(failed, " file failed.", " files failed.");
    return text;
}
