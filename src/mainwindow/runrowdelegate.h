// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStyledItemDelegate>

// On the running row: how far the encoder is, a double in [0, 1]; absent
// while that is not known.
inline constexpr int progressRole = Qt::UserRole + 1;

// Paints the running row's progress (progressRole) under its text: a darker
// red growing from the left over the row's own background, and the percentage
// at the row's right end. The row's text stays as it is. Rows without
// progress are painted exactly as by QStyledItemDelegate.
class RunRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // The done part; still 6:1 against the rows' dark text.
    static QColor fillColour() { return QColor(0xE5, 0x8A, 0x8A); }
};
