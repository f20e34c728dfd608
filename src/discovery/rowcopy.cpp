// SPDX-License-Identifier: MIT
#include "rowcopy.h"

#include "devicetable.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QShortcut>
#include <QTableWidget>

namespace {

QString cellText(const QTableWidgetItem *item)
{
    QString text = item ? item->text() : QString();
    for (QChar &character : text) {
        if (character == QLatin1Char('\t') || character == QLatin1Char('\n') ||
            character == QLatin1Char('\r'))
            character = QLatin1Char(' ');
    }
    return text;
}

} // namespace

RowCopy::RowCopy(QTableWidget *table, QObject *exporter)
    : QObject(table), table(table), exporter(exporter)
{
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    // The table's own Ctrl+C copied the current cell alone. The Menu key and Shift+F10 open
    // the menu of the selected row, as desktops do.
    auto *copy = new QShortcut(QKeySequence(QKeySequence::Copy), table);
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_Menu), table);
    auto *shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), table);
    for (QShortcut *shortcut : {copy, menuKey, shiftF10})
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);

    connect(copy, SIGNAL(activated()), SLOT(copyRow()));
    connect(menuKey, SIGNAL(activated()), SLOT(showMenuOnCurrentRow()));
    connect(shiftF10, SIGNAL(activated()), SLOT(showMenuOnCurrentRow()));
    connect(table, SIGNAL(customContextMenuRequested(QPoint)), SLOT(showMenuAt(QPoint)));
}

QString RowCopy::rowText(const QTableWidget *table, int row)
{
    QStringList headers;
    QStringList cells;
    const QHeaderView *header = table->horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (table->isColumnHidden(column))
            continue;
        headers << cellText(table->horizontalHeaderItem(column));
        cells << cellText(table->item(row, column));
    }
    return headers.join(QLatin1Char('\t')) + QLatin1Char('\n') + cells.join(QLatin1Char('\t')) +
           QLatin1Char('\n');
}

void RowCopy::copyRow()
{
    const int row = DeviceTable::selectedRow(table);
    if (row != -1)
        QGuiApplication::clipboard()->setText(rowText(table, row));
}

void RowCopy::copyMac()
{
    copyCell(DeviceTable::MacColumn);
}

void RowCopy::copyIp()
{
    copyCell(DeviceTable::IpColumn);
}

void RowCopy::copyCell(int column)
{
    const int row = DeviceTable::selectedRow(table);
    if (row != -1)
        QGuiApplication::clipboard()->setText(cellText(table->item(row, column)));
}

// The mouse's right button has already selected the row under it.
void RowCopy::showMenuAt(const QPoint &position)
{
    popUp(table->viewport()->mapToGlobal(position));
}

void RowCopy::showMenuOnCurrentRow()
{
    const int row = DeviceTable::selectedRow(table);
    QPoint at = table->viewport()->rect().topLeft();
    if (row != -1) {
        const QRect cell = table->visualRect(table->model()->index(row, DeviceTable::MacColumn));
        if (table->viewport()->rect().intersects(cell))
            at = cell.center();
    }
    popUp(table->viewport()->mapToGlobal(at));
}

void RowCopy::popUp(const QPoint &global)
{
    const bool rowSelected = DeviceTable::selectedRow(table) != -1;
    auto *menu = new QMenu(table);
    menu->setObjectName(QStringLiteral("rowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *row = menu->addAction(QStringLiteral("Copier la ligne"));
    row->setShortcut(QKeySequence::Copy);
    QAction *mac = menu->addAction(QStringLiteral("Copier l'adresse MAC"));
    QAction *ip = menu->addAction(QStringLiteral("Copier l'adresse IP"));
    for (QAction *action : {row, mac, ip})
        action->setEnabled(rowSelected);
    menu->addSeparator();
    QAction *list = menu->addAction(QStringLiteral("Exporter la liste…"));
    list->setEnabled(table->rowCount() > 0);

    connect(row, SIGNAL(triggered()), SLOT(copyRow()));
    connect(mac, SIGNAL(triggered()), SLOT(copyMac()));
    connect(ip, SIGNAL(triggered()), SLOT(copyIp()));
    connect(list, SIGNAL(triggered()), exporter, SLOT(chooseFile()));
    menu->popup(global);
}
