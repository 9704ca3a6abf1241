// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

class QWidget;

// While it lives, Windows shows `reason` for `window` when the user logs off
// or shuts down, if Tessel takes a while to answer: why it asks for time.
// Nothing elsewhere, nor on a platform plugin without native windows.
class ShutdownBlock
{
public:
    ShutdownBlock(QWidget *window, const QString &reason);
    ~ShutdownBlock();
    ShutdownBlock(const ShutdownBlock &) = delete;
    ShutdownBlock &operator=(const ShutdownBlock &) = delete;

private:
    void *handle = nullptr;
};
