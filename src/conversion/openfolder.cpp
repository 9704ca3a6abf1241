#include "mainwindow/tesselmainwindow.h"

void tesselMainWindow::on_pushButton_open_clicked() {}
