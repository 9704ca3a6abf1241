// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

// What a message box showed the user.
struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // texts of the buttons, in the box's order
    QString parent;      // the class of its parent widget; empty: none

    // All of it in one line, to compare at once and to read when it differs.
    QString summary() const
    {
        const QString iconName = icon == QMessageBox::Warning  ? QStringLiteral("warning icon")
                                 : icon == QMessageBox::NoIcon ? QStringLiteral("no icon")
                                                               : QStringLiteral("other icon");
        return QStringList{title, iconName, buttons.join(QLatin1Char(',')), parent, text}.join(
            QLatin1Char('|'));
    }
};

// The summary of the program's warning over its window, with its one OK.
inline QString warningOverWindow(const QString &text)
{
    return QStringLiteral("Warning|warning icon|OK|tesselMainWindow|") + text;
}

// Answers the modal dialogs that the code under test opens, as a user would:
// every new modal widget is handed to `answer` (by default: a message box is
// recorded in `boxes` and its first button pressed; anything else rejected).
// Polls on a timer, because the code under test blocks inside exec().
class ModalWatcher : public QObject
{
public:
    using Answer = std::function<void(QWidget *)>;

    explicit ModalWatcher(Answer answer = {}) : answer(std::move(answer))
    {
        connect(&timer, &QTimer::timeout, this, &ModalWatcher::poll);
        timer.start(10);
    }

    static SeenBox describe(const QMessageBox *box)
    {
        SeenBox seen;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (const QAbstractButton *button : box->buttons())
            seen.buttons << button->text().remove(QLatin1Char('&'));
        if (const QWidget *parent = box->parentWidget())
            seen.parent = QString::fromLatin1(parent->metaObject()->className());
        return seen;
    }

    QList<SeenBox> boxes;
    int dialogsSeen = 0;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == handled)
            return;
        handled = modal;
        ++dialogsSeen;
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            boxes << describe(box);
        if (answer) {
            answer(modal);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            box->buttons().value(0)->click();
        } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            dialog->reject();
        }
    }

    Answer answer;
    QTimer timer;
    QPointer<QWidget> handled;
};

// Every message box shown at all, also one whose exec() returned at once
// (the application quitting) before a ModalWatcher could see it.
class ShownBoxes : public QObject
{
public:
    ShownBoxes() { qApp->installEventFilter(this); }
    ~ShownBoxes() override { qApp->removeEventFilter(this); }

    QList<SeenBox> boxes;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched))
                boxes << ModalWatcher::describe(box);
        }
        return false;
    }
};
