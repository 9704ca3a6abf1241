#include "mainwindow/tesselmainwindow.h"

void tesselMainWindow::browse() {}
