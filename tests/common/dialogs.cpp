// SPDX-License-Identifier: MIT
#include "dialogs.h"

#include "discovery/protocol.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

int cursorDepth()
{
    QList<QCursor> stack;
    while (QGuiApplication::overrideCursor()) {
        stack.prepend(*QGuiApplication::overrideCursor());
        QGuiApplication::restoreOverrideCursor();
    }
    for (const QCursor &cursor : stack)
        QGuiApplication::setOverrideCursor(cursor);
    return stack.size();
}

QDialog *visibleDialog(const char *name)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name) && widget->isVisible())
            return qobject_cast<QDialog *>(widget);
    }
    return nullptr;
}

void click(QDialog *dialog, const char *name)
{
    QTest::mouseClick(dialog->findChild<QAbstractButton *>(name), Qt::LeftButton);
}

QDialog *openSettings(QWidget *window, const QString &mac)
{
    auto *table = window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    const QList<QTableWidgetItem *> items = table->findItems(mac, Qt::MatchExactly);
    if (items.isEmpty())
        return nullptr;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(items.first()).center());
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("buttonUpdate")),
                      Qt::LeftButton);
    return visibleDialog("Update");
}

void endSearchNow(QWidget *window)
{
    for (QTimer *timer : window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (timer->isActive() && timer->interval() == searchDurationMs)
            timer->start(0);
    }
}

void type(QDialog *dialog, const char *field, const QString &text)
{
    auto *edit = dialog->findChild<QLineEdit *>(QLatin1String(field));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

QStringList answeringBoxes(const std::function<void()> &action, const QString &answer)
{
    QStringList seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&seen, &answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        QString text =
            box->windowTitle() + '|' + box->text() + '|' + QString::number(box->buttons().size());
        if (box->buttons().size() > 1)
            text += '|' + (box->defaultButton() ? box->defaultButton()->text() : "") + '|' +
                    (box->escapeButton() ? box->escapeButton()->text() : "");
        seen << text;
        QAbstractButton *chosen = nullptr;
        for (QAbstractButton *button : box->buttons())
            chosen = button->text() == answer ? button : chosen;
        if (answer == QLatin1String("Escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        else if (chosen)
            QTest::mouseClick(chosen, Qt::LeftButton);
        else
            QTest::keyClick(box, Qt::Key_Enter);
    });
    watcher.start(20);
    action();
    return seen;
}

QString answeringQuestion(const std::function<void()> &action, const QString &answer)
{
    const QStringList seen = answeringBoxes(action, answer);
    return seen.isEmpty() ? QString() : seen.last().section(QLatin1Char('|'), 0, 1);
}
