#include "conversion/openfolder.h"

#include "mainwindow/tesselmainwindow.h"
#include "ui_tesselmainwindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace {
bool isDriveLetterPath(const QString &text)
{
    return text.size() >= 2 && text.at(0).isLetter() && text.at(0).unicode() < 0x80 &&
           text.at(1) == QLatin1Char(':') &&
           (text.size() == 2 || text.at(2) == QLatin1Char('/') || text.at(2) == QLatin1Char('\\'));
}
} // namespace

QUrl folderAddress(const QString &folderText)
{
    if (folderText.isEmpty())
        return QUrl(QStringLiteral("file:///"));

    QString path = folderText;
    if (isDriveLetterPath(path)) {
        // QUrl::fromLocalFile puts the "/" before the drive on every platform.
    } else if (QDir::isAbsolutePath(path)) {
#if !defined(Q_OS_WIN)
        // fromLocalFile reads a leading "//" as a network host.
        int slashes = 0;
        while (slashes < path.size() && path.at(slashes) == QLatin1Char('/'))
            ++slashes;
        path.remove(0, slashes - 1);
#endif
    } else {
        path = QFileInfo(path).absoluteFilePath();
    }
    return QUrl::fromLocalFile(path);
}

// No check and no message: what the desktop makes of the address is its own
// affair.
void tesselMainWindow::on_pushButton_open_clicked()
{
    (void)QDesktopServices::openUrl(folderAddress(ui->lineEdit->text()));
}
