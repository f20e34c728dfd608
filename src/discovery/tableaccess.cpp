// SPDX-License-Identifier: MIT
#include "tableaccess.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTableView>

#include <algorithm>
#include <utility>

namespace {

// A column header (row -1) or a cell of a visible column, by the model's column.
class TableCell : public QAccessibleInterface, public QAccessibleTableCellInterface
{
public:
    TableCell(QTableView *view, int row, int column) : view(view), row(row), column(column) {}

    bool isValid() const override
    {
        const QAbstractItemModel *model = view ? view->model() : nullptr;
        return model && row >= -1 && row < model->rowCount() && column >= 0 &&
               column < model->columnCount() && !view->isColumnHidden(column);
    }
    QObject *object() const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(view.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::Role role() const override
    {
        return row < 0 ? QAccessible::ColumnHeader : QAccessible::Cell;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid())
            return QString();
        const int role = kind == QAccessible::Description ? Qt::AccessibleDescriptionRole
                                                          : Qt::AccessibleTextRole;
        if (kind != QAccessible::Name && kind != QAccessible::Description)
            return QString();
        const QAbstractItemModel *model = view->model();
        QString text = row < 0 ? model->headerData(column, Qt::Horizontal, role).toString()
                               : index().data(role).toString();
        if (text.isEmpty() && kind == QAccessible::Name)
            text = row < 0 ? model->headerData(column, Qt::Horizontal).toString()
                           : index().data().toString();
        return text;
    }

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        if (row < 0) {
            const QHeaderView *header = view->horizontalHeader();
            const QRect section(header->sectionViewportPosition(column), 0,
                                header->sectionSize(column), header->height());
            return QRect(header->viewport()->mapToGlobal(section.topLeft()), section.size());
        }
        const QRect cell = view->visualRect(index());
        return QRect(view->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        if (row < 0)
            return state;
        state.selectable = view->selectionMode() != QAbstractItemView::NoSelection;
        state.selected = isSelected();
        state.focusable = true;
        state.focused = view->hasFocus() && view->currentIndex() == index();
        state.readOnly = !(index().flags() & Qt::ItemIsEditable);
        if (!view->viewport()->rect().intersects(view->visualRect(index()))) {
            state.invisible = true;
            state.offscreen = true;
        }
        return state;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface && row >= 0)
            return static_cast<QAccessibleTableCellInterface *>(this);
        return nullptr;
    }

    bool isSelected() const override
    {
        return isValid() && row >= 0 && view->selectionModel() &&
               view->selectionModel()->isSelected(index());
    }
    QList<QAccessibleInterface *> columnHeaderCells() const override
    {
        const TableAccess *table = access();
        if (!table || view->horizontalHeader()->isHidden())
            return {};
        return {table->cell(-1, column)};
    }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override
    {
        const TableAccess *table = access();
        return table ? int(table->columns().indexOf(column)) : -1;
    }
    int rowIndex() const override { return row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

    const QPointer<QTableView> view;
    const int row;
    const int column;

private:
    QModelIndex index() const { return view->model()->index(row, column, view->rootIndex()); }
    const TableAccess *access() const { return dynamic_cast<const TableAccess *>(parent()); }
};

QAccessibleInterface *tableFactory(const QString &className, QObject *object)
{
    auto *view = qobject_cast<QTableView *>(object);
    // Once, for the object's own class: the factory is asked again for each base class.
    if (!view || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    return new TableAccess(view);
}

} // namespace

TableAccess::TableAccess(QTableView *view) : QAccessibleWidget(view, QAccessible::Table) {}

TableAccess::~TableAccess()
{
    forgetCells();
}

void TableAccess::install()
{
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(tableFactory);
    installed = true;
}

QTableView *TableAccess::view() const
{
    return qobject_cast<QTableView *>(object());
}

QVector<int> TableAccess::columns() const
{
    QVector<int> shown;
    const QAbstractItemModel *model = view() ? view()->model() : nullptr;
    for (int column = 0; model && column < model->columnCount(); ++column) {
        if (!view()->isColumnHidden(column))
            shown.append(column);
    }
    return shown;
}

QAccessibleInterface *TableAccess::cell(int row, int modelColumn) const
{
    const QAccessible::Id known = cells.value(qMakePair(row, modelColumn));
    if (known) {
        QAccessibleInterface *kept = QAccessible::accessibleInterface(known);
        return kept && kept->isValid() ? kept : nullptr;
    }
    auto *made = new TableCell(view(), row, modelColumn);
    if (!made->isValid()) {
        delete made;
        return nullptr;
    }
    cells.insert(qMakePair(row, modelColumn), QAccessible::registerAccessibleInterface(made));
    return made;
}

void TableAccess::forgetCells()
{
    for (const QAccessible::Id id : std::as_const(cells))
        QAccessible::deleteAccessibleInterface(id);
    cells.clear();
}

void *TableAccess::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

// Qt's numbering: (row + 1) * (model columns + 1) + column + 1, the header row being row -1.
int TableAccess::childCount() const
{
    const QAbstractItemModel *model = view() ? view()->model() : nullptr;
    return model ? (model->rowCount() + 1) * (model->columnCount() + 1) : 0;
}

QAccessibleInterface *TableAccess::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    const int perRow = view()->model()->columnCount() + 1;
    const int row = index / perRow - 1;
    const int column = index % perRow - 1;
    if (column < 0 || (row < 0 && view()->horizontalHeader()->isHidden()))
        return nullptr;
    return cell(row, column);
}

int TableAccess::indexOfChild(const QAccessibleInterface *child) const
{
    const auto *cell = dynamic_cast<const TableCell *>(child);
    if (!cell || cell->view != view() || !cell->isValid())
        return -1;
    return (cell->row + 1) * (view()->model()->columnCount() + 1) + cell->column + 1;
}

QAccessibleInterface *TableAccess::childAt(int x, int y) const
{
    QTableView *table = view();
    if (!table || !table->model())
        return nullptr;
    const QHeaderView *header = table->horizontalHeader();
    const QPoint inHeader = header->viewport()->mapFromGlobal(QPoint(x, y));
    if (!header->isHidden() && header->viewport()->rect().contains(inHeader)) {
        const int column = header->logicalIndexAt(inHeader);
        return column >= 0 ? cell(-1, column) : nullptr;
    }
    const QModelIndex index = table->indexAt(table->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? cell(index.row(), index.column()) : nullptr;
}

QAccessibleInterface *TableAccess::focusChild() const
{
    const QModelIndex current = view() ? view()->currentIndex() : QModelIndex();
    if (!current.isValid() || !view()->hasFocus())
        return nullptr;
    return cell(current.row(), current.column());
}

QAccessibleInterface *TableAccess::caption() const
{
    return nullptr;
}

QAccessibleInterface *TableAccess::summary() const
{
    return nullptr;
}

QAccessibleInterface *TableAccess::cellAt(int row, int column) const
{
    const QVector<int> shown = columns();
    if (row < 0 || row >= rowCount() || column < 0 || column >= shown.size())
        return nullptr;
    return cell(row, shown.at(column));
}

int TableAccess::selectedCellCount() const
{
    return int(selectedCells().size());
}

QList<QAccessibleInterface *> TableAccess::selectedCells() const
{
    QList<QAccessibleInterface *> selected;
    if (!view() || !view()->selectionModel())
        return selected;
    QModelIndexList indexes = view()->selectionModel()->selectedIndexes();
    std::sort(indexes.begin(), indexes.end());
    for (const QModelIndex &index : std::as_const(indexes)) {
        if (!view()->isColumnHidden(index.column()))
            selected.append(cell(index.row(), index.column()));
    }
    return selected;
}

QString TableAccess::columnDescription(int column) const
{
    const QVector<int> shown = columns();
    if (column < 0 || column >= shown.size())
        return QString();
    return view()->model()->headerData(shown.at(column), Qt::Horizontal).toString();
}

QString TableAccess::rowDescription(int row) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    return view()->model()->headerData(row, Qt::Vertical).toString();
}

int TableAccess::selectedColumnCount() const
{
    return int(selectedColumns().size());
}

int TableAccess::selectedRowCount() const
{
    return int(selectedRows().size());
}

int TableAccess::columnCount() const
{
    return int(columns().size());
}

int TableAccess::rowCount() const
{
    return view() && view()->model() ? view()->model()->rowCount(view()->rootIndex()) : 0;
}

QList<int> TableAccess::selectedColumns() const
{
    QList<int> selected;
    if (!view() || !view()->selectionModel())
        return selected;
    const QVector<int> shown = columns();
    for (const QModelIndex &index : view()->selectionModel()->selectedColumns()) {
        const int column = int(shown.indexOf(index.column()));
        if (column >= 0)
            selected.append(column);
    }
    std::sort(selected.begin(), selected.end());
    return selected;
}

QList<int> TableAccess::selectedRows() const
{
    QList<int> selected;
    if (!view() || !view()->selectionModel())
        return selected;
    for (const QModelIndex &index : view()->selectionModel()->selectedRows())
        selected.append(index.row());
    std::sort(selected.begin(), selected.end());
    return selected;
}

bool TableAccess::isColumnSelected(int column) const
{
    const QVector<int> shown = columns();
    return column >= 0 && column < shown.size() && view()->selectionModel() &&
           view()->selectionModel()->isColumnSelected(shown.at(column), view()->rootIndex());
}

bool TableAccess::isRowSelected(int row) const
{
    return row >= 0 && row < rowCount() && view()->selectionModel() &&
           view()->selectionModel()->isRowSelected(row, view()->rootIndex());
}

bool TableAccess::selectRow(int row)
{
    QTableView *table = view();
    if (row < 0 || row >= rowCount() || !table->selectionModel() ||
        table->selectionMode() == QAbstractItemView::NoSelection ||
        table->selectionBehavior() == QAbstractItemView::SelectColumns)
        return false;
    const auto how = table->selectionMode() == QAbstractItemView::SingleSelection
                         ? QItemSelectionModel::ClearAndSelect
                         : QItemSelectionModel::Select;
    table->selectionModel()->select(table->model()->index(row, 0, table->rootIndex()),
                                    how | QItemSelectionModel::Rows);
    return true;
}

bool TableAccess::selectColumn(int column)
{
    QTableView *table = view();
    const QVector<int> shown = columns();
    if (column < 0 || column >= shown.size() || !table->selectionModel() ||
        table->selectionMode() == QAbstractItemView::NoSelection ||
        table->selectionBehavior() == QAbstractItemView::SelectRows)
        return false;
    const auto how = table->selectionMode() == QAbstractItemView::SingleSelection
                         ? QItemSelectionModel::ClearAndSelect
                         : QItemSelectionModel::Select;
    table->selectionModel()->select(table->model()->index(0, shown.at(column), table->rootIndex()),
                                    how | QItemSelectionModel::Columns);
    return true;
}

bool TableAccess::unselectRow(int row)
{
    QTableView *table = view();
    if (row < 0 || row >= rowCount() || !table->selectionModel())
        return false;
    table->selectionModel()->select(table->model()->index(row, 0, table->rootIndex()),
                                    QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    return true;
}

bool TableAccess::unselectColumn(int column)
{
    QTableView *table = view();
    const QVector<int> shown = columns();
    if (column < 0 || column >= shown.size() || !table->selectionModel() ||
        table->selectionBehavior() == QAbstractItemView::SelectRows)
        return false;
    table->selectionModel()->select(table->model()->index(0, shown.at(column), table->rootIndex()),
                                    QItemSelectionModel::Deselect | QItemSelectionModel::Columns);
    return true;
}

// Rows come and go at every search: the interfaces of cells are made again on demand.
void TableAccess::modelChange(QAccessibleTableModelChangeEvent *)
{
    forgetCells();
}
