#include "app/quitonsignal.h"
#include "mainwindow/tesselmainwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Lets Wayland compositors match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.ostrell.tessel"));
    const QuitOnSignal quitOnSignal;
    // Declared after the application, so destroyed before it: the window's
    // destructor stores the folder while Qt is still fully alive.
    tesselMainWindow window;
    QObject::connect(&quitOnSignal, &QuitOnSignal::sessionEnding, &window,
                     &tesselMainWindow::stopNow);
    window.show();
    return app.exec();
}
