#include "mainwindow/tesselmainwindow.h"

#include <QCoreApplication>

QString tesselMainWindow::encoderPath() const
{
    if (!encoderPathOverride.isEmpty())
        return encoderPathOverride;
    return QString();
}

void tesselMainWindow::process() {}
