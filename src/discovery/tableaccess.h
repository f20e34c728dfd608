// SPDX-License-Identifier: MIT
#pragma once

// What a screen reader is told of a table view: its visible columns only. Qt's own accessible
// table counts the model's columns, hidden ones included, so the level-2 code that the window
// keeps out of sight was still read out as a ninth column, with a header and a cell in every
// row. This one numbers the visible columns from 0 in the model's order, and builds the
// header and cell interfaces on demand, each kept until the model changes or the table goes.
// The children keep Qt's numbering (a header row first, a row-header slot at the start of
// each row, every model column): the view's own focus and selection events name a cell by
// that number, and a number of our own would make them name another cell. The slots of
// hidden columns and of the hidden row header hold nothing.

#include <QAccessibleWidget>
#include <QHash>
#include <QPair>
#include <QVector>

class QTableView;

class TableAccess : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit TableAccess(QTableView *view);
    ~TableAccess() override;

    // Makes every table view of the program get this interface. Before the first view is
    // created: Qt keeps the interface it gave an object for the object's life.
    static void install();

    QTableView *view() const;
    // The model columns shown, in order: the table's column c is the model's columns()[c].
    QVector<int> columns() const;
    // A column header (row -1) or a cell, by the model's column.
    QAccessibleInterface *cell(int row, int modelColumn) const;

    void *interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;

    QAccessibleInterface *caption() const override;
    QAccessibleInterface *summary() const override;
    QAccessibleInterface *cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface *> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int row) const override;
    int selectedColumnCount() const override;
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override;
    QList<int> selectedRows() const override;
    bool isColumnSelected(int column) const override;
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int column) override;
    bool unselectRow(int row) override;
    bool unselectColumn(int column) override;
    void modelChange(QAccessibleTableModelChangeEvent *event) override;

private:
    void forgetCells();
    bool hasHeaderRow() const;

    mutable QHash<QPair<int, int>, QAccessible::Id> cells;
};
