// SPDX-License-Identifier: MIT
#pragma once

// Copying from the device table, for technicians who hand a board's settings on: Ctrl+C
// copies the selected row as tab-separated text under a header line (it pastes into a
// spreadsheet as one row of cells), and a context menu, opened by the mouse, the Menu key or
// Shift+F10, copies the row, its MAC address or its IP address, or exports the whole list.

#include <QObject>

class QMenu;
class QPoint;
class QTableWidget;

class RowCopy : public QObject
{
    Q_OBJECT

public:
    // `exporter`'s chooseFile() slot saves the list (listexport.h).
    RowCopy(QTableWidget *table, QObject *exporter);

    // The visible columns' headers and the cells of `row`, each line ending with a line
    // break; tabs and line breaks inside a cell become spaces, so the shape holds.
    static QString rowText(const QTableWidget *table, int row);

public slots:
    void copyRow();
    void copyMac();
    void copyIp();

private slots:
    void showMenuAt(const QPoint &position);
    void showMenuOnCurrentRow();

private:
    void copyCell(int column);
    void popUp(const QPoint &global);

    QTableWidget *table = nullptr;
    QObject *exporter = nullptr;
};
