// SPDX-License-Identifier: MIT
#pragma once

// Keyboard access to the main window, for technicians without a mouse: Tab leaves the table
// for the buttons, arrows move the selection, Enter or a double click on a row opens its
// settings as "Mettre à jour" does, F5 searches, and Return presses the focused button.

#include <QObject>

class QAbstractButton;
class QModelIndex;
class QPushButton;
class QTableWidget;
class QWidget;

namespace Keyboard {

// Return and Enter press `button` while it has the focus, as the desktops do with every
// focused button. Qt gives them only to the default button of a dialog.
void pressOnReturn(QAbstractButton *button);
// A Return or Enter that was already down when `dialog` opened, and its repeats, do nothing
// in it until the key is released; a fresh press still counts.
void ignoreHeldReturn(QWidget *dialog);
// Starts following Return and Enter in the whole application (done by the main window and
// by the first dialog): a dialog opened by a press can only know of it if this ran before.
void watchReturn();

} // namespace Keyboard

class WindowKeys : public QObject
{
    Q_OBJECT

public:
    WindowKeys(QWidget *window, QTableWidget *table, QPushButton *search, QPushButton *update);

private slots:
    void openRow(const QModelIndex &index);
    void followSelection();

private:
    QTableWidget *table = nullptr;
    QPushButton *update = nullptr;
};
