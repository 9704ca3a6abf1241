#include "mainwindow/tesselmainwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Declared after the application, so destroyed before it: the window's
    // destructor stores the folder while Qt is still fully alive.
    tesselMainWindow window;
    window.show();
    return app.exec();
}
