// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/shutdownblock.h"

ShutdownBlock::ShutdownBlock(QWidget *, const QString &) {}

ShutdownBlock::~ShutdownBlock() = default;
