// SPDX-License-Identifier: MIT
#include "keyboard.h"

#include "devicetable.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>

namespace {

bool isReturn(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

class ReturnPresses : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<const QKeyEvent *>(event);
        if (!isReturn(key) || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        static_cast<QAbstractButton *>(watched)->click();
        return true;
    }
};

class HeldReturn : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        return event->type() == QEvent::KeyPress &&
               static_cast<const QKeyEvent *>(event)->isAutoRepeat() &&
               isReturn(static_cast<const QKeyEvent *>(event));
    }
};

} // namespace

namespace Keyboard {

void pressOnReturn(QAbstractButton *button)
{
    button->installEventFilter(new ReturnPresses(button));
}

// Enter held down on a row opens the dialog with its first press; its repeats then reach the
// dialog and would press "Valider" before the user has seen the settings.
void ignoreHeldReturn(QWidget *dialog)
{
    auto *filter = new HeldReturn(dialog);
    dialog->installEventFilter(filter);
    for (QWidget *child : dialog->findChildren<QWidget *>())
        child->installEventFilter(filter);
}

} // namespace Keyboard

WindowKeys::WindowKeys(QWidget *window, QTableWidget *table, QPushButton *search,
                       QPushButton *update)
    : QObject(window), table(table), update(update)
{
    // With tab-key navigation Tab walked from cell to cell, and moved the selection to the
    // next board at the end of each row, without ever leaving the table.
    table->setTabKeyNavigation(false);
    QWidget::setTabOrder(table, search);
    QWidget::setTabOrder(search, update);
    Keyboard::pressOnReturn(search);
    Keyboard::pressOnReturn(update);
    // click() does nothing while the button is disabled, during a search.
    auto *refresh = new QShortcut(QKeySequence(Qt::Key_F5), window);

    // Enter on the current row, or a double click, activates it.
    connect(table, SIGNAL(activated(QModelIndex)), SLOT(openRow(QModelIndex)));
    connect(table, SIGNAL(itemSelectionChanged()), SLOT(followSelection()));
    connect(refresh, SIGNAL(activated()), search, SLOT(click()));
}

// The row is selected first, so that the dialog opens on the board the user sees
// highlighted: Enter acts on the current row even where a Ctrl+Space left it unselected.
void WindowKeys::openRow(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    table->selectRow(index.row());
    update->click();
}

// A screen reader selects a row without moving the current cell; the arrows and Enter then
// go on from the row selected.
void WindowKeys::followSelection()
{
    const int row = DeviceTable::selectedRow(table);
    if (row != -1 && row != table->currentRow())
        table->selectionModel()->setCurrentIndex(
            table->model()->index(row, qMax(0, table->currentColumn())),
            QItemSelectionModel::NoUpdate);
}
