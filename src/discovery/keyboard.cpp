// SPDX-License-Identifier: MIT
#include "keyboard.h"

#include "devicetable.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
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

// Where Return and Enter stand in the whole application: seen before any widget gets them,
// so that a dialog opened by a press knows that the key was already down.
class ReturnState : public QObject
{
public:
    using QObject::QObject;

    bool down = false;
    // Every release counts, including a repeat's: one seen twice on its way up the widget
    // tree only counts twice, and only a change of the count matters.
    quint64 releases = 0;
    ulong lastReleaseTime = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        const auto *key = static_cast<const QKeyEvent *>(event);
        if (!isReturn(key))
            return false;
        down = event->type() == QEvent::KeyPress;
        if (!down) {
            ++releases;
            lastReleaseTime = key->timestamp();
        }
        return false;
    }
};

ReturnState *returnState()
{
    static QPointer<ReturnState> state;
    if (!state && QCoreApplication::instance()) {
        state = new ReturnState(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(state);
    }
    return state;
}

// A Return or Enter that was down when the dialog opened is ignored, with all its repeats,
// until it is released. Qt's repeat flag cannot be trusted for that: under X11 a held key
// sends a release and a press at each repeat, with the same server time, and Qt marks them
// as a repeat only when the press is already queued as it reads the release, which now and
// then it is not. So a press is a repeat when it is flagged as one, when no release came
// since the key was held, or when it carries the time of the release just before it (a
// person cannot release and press again within one millisecond). Events made up without a
// time (0) are taken as fresh presses.
class HeldReturn : public QObject
{
public:
    explicit HeldReturn(QObject *parent) : QObject(parent)
    {
        if (const ReturnState *state = returnState()) {
            held = state->down;
            heldReleases = state->releases;
        }
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<const QKeyEvent *>(event);
        if (!isReturn(key))
            return false;
        const ReturnState *state = returnState();
        const bool stillHeld = held && state && state->releases == heldReleases;
        const bool pairedWithRelease =
            state && key->timestamp() != 0 && key->timestamp() == state->lastReleaseTime;
        if (!key->isAutoRepeat() && !stillHeld && !pairedWithRelease)
            return false;
        held = true;
        heldReleases = state ? state->releases : 0;
        return true;
    }

private:
    bool held = false;
    quint64 heldReleases = 0;
};

} // namespace

namespace Keyboard {

void pressOnReturn(QAbstractButton *button)
{
    button->installEventFilter(new ReturnPresses(button));
}

// Enter held down on a row opens the dialog with its first press; its repeats then reach the
// dialog and would press "Valider" before the user has seen the settings.
void watchReturn()
{
    returnState();
}

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
    Keyboard::watchReturn();
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
