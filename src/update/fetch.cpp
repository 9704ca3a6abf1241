#include "mainwindow/tesselmainwindow.h"

FetchResult tesselMainWindow::fetchUrl(const QString &url)
{
    Q_UNUSED(url);
    return {};
}

TextFetchResult tesselMainWindow::fetchUrlText(const QString &url)
{
    Q_UNUSED(url);
    return {};
}
