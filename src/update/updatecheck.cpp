#include "mainwindow/tesselmainwindow.h"

void tesselMainWindow::on_pushButton_clicked() {}
