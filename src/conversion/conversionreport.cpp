#include "conversion/conversionreport.h"

#include <QApplication>
#include <QListWidget>
#include <QStyle>

namespace {
const char lightRed[] = "#F4ABAB";
const char lightGreen[] = "#D6FCD4";
const char darkText[] = "#1F1F1F"; // 8.8:1 on the red, 14:1 on the green

QString failureReason(const EncoderOutcome &outcome)
{
    switch (outcome.end) {
    case EncoderOutcome::End::CouldNotStart:
        return QStringLiteral("the encoder could not be started");
    case EncoderOutcome::End::Crashed:
        return QStringLiteral("the encoder crashed");
    case EncoderOutcome::End::ExitedWithError:
        if (!outcome.detail.isEmpty())
            return outcome.detail;
        return QStringLiteral("the encoder exited with code ") + QString::number(outcome.exitCode);
    case EncoderOutcome::End::Stopped:
        return QStringLiteral("the encoder was stopped");
    case EncoderOutcome::End::SourceChanged:
        return QStringLiteral("the clip changed while it was converted");
    case EncoderOutcome::End::FolderMoved:
        return QStringLiteral("the folder was moved or removed");
    case EncoderOutcome::End::NameTaken:
    case EncoderOutcome::End::NotPlaced:
        return outcome.detail;
    case EncoderOutcome::End::Succeeded:
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

QString resultText(const QString &sourceName, const QString &outputName,
                   const EncoderOutcome &outcome)
{
    if (outcome.converted())
        return sourceName + QStringLiteral(" converted to ") + outputName;
    return sourceName + QStringLiteral(" was not converted: ") + failureReason(outcome);
}

void styleRow(QListWidgetItem *item, RowState state)
{
    item->setBackground(QColor(state == RowState::Converted ? lightGreen : lightRed));
    item->setForeground(QColor(darkText));
    QIcon icon;
    if (state == RowState::Failed) {
        const QListWidget *list = item->listWidget();
        const QStyle *style = list ? list->style() : QApplication::style();
        icon = style->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, list);
    }
    item->setIcon(icon);
}

QString summaryText(int converted, int failed)
{
    QString text = counted(converted, " file converted.", " files converted.");
    if (failed > 0)
        text += QLatin1Char(' ') + counted(failed, " file failed.", " files failed.");
    return text;
}
