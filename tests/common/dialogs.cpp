// SPDX-License-Identifier: MIT
#include "dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
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

void type(QDialog *dialog, const char *field, const QString &text)
{
    auto *edit = dialog->findChild<QLineEdit *>(QLatin1String(field));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

QString answeringQuestion(const std::function<void()> &action, const QString &answer)
{
    QString seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&seen, &answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = box->windowTitle() + '|' + box->text();
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == answer) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        QTest::keyClick(box, Qt::Key_Escape);
    });
    watcher.start(20);
    action();
    return seen;
}
