// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow/runrowdelegate.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

void RunRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                           const QModelIndex &index) const
{
    const QVariant progress = index.data(progressRole);
    if (!progress.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const double done = std::clamp(progress.toDouble(), 0.0, 1.0);

    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget *widget = opt.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();

    // Background (or selection) first, then the fill, then the text over both.
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    const bool selected = opt.state & QStyle::State_Selected;
    QRect filled = opt.rect;
    filled.setWidth(qRound(opt.rect.width() * done));
    painter->fillRect(filled,
                      selected ? opt.palette.color(QPalette::Highlight).darker(130) : fillColour());

    const QPalette::ColorRole textRole = selected ? QPalette::HighlightedText : QPalette::Text;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, &opt, widget) + 2;
    const QString percent = QString::number(int(done * 100)) + QLatin1Char('%');
    const QRect percentRect = opt.rect.adjusted(0, 0, -margin, 0);
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(textRole));
    painter->drawText(percentRect, Qt::AlignRight | Qt::AlignVCenter, percent);
    painter->restore();

    // The row's own text, clear of the percentage and without painting the
    // background again.
    opt.rect.setRight(opt.rect.right() - margin - opt.fontMetrics.horizontalAdvance(percent) -
                      margin);
    opt.backgroundBrush = Qt::NoBrush;
    opt.palette.setColor(QPalette::Text, opt.palette.color(textRole));
    opt.state &= ~QStyle::State_Selected;
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}
