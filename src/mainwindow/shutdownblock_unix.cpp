#include "mainwindow/shutdownblock.h"

ShutdownBlock::ShutdownBlock(QWidget *, const QString &) {}

ShutdownBlock::~ShutdownBlock() = default;
