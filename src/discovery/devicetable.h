// SPDX-License-Identifier: MIT
#pragma once

// The device table: how a DeviceRecord becomes one read-only, centred row of the main
// window's QTableWidget, how the table is dressed at start-up, and how a click on a header
// sorts it. The table keeps no pointer to the records; a row is tied to its record only by
// the MAC text in column 0.

#include <QString>

struct DeviceRecord;
class QTableWidget;
class QTableWidgetItem;
class QWidget;

namespace DeviceTable {

enum Column {
    MacColumn = 0,
    IpColumn = 1,
    DhcpColumn = 2,
    PortColumn = 3,
    GatewayColumn = 4,
    MaskColumn = 5,
    DnsColumn = 6,
    LevelTwoColumn = 7,
    VersionColumn = 8,
    ColumnCount = 9
};

void addDeviceRow(QTableWidget *table, const DeviceRecord &record);
// Inserts `count` rows at the top in one go, for records[0] (oldest) to records[count - 1]
// (newest, on top): the same rows as `count` calls of addDeviceRow in that order.
// When `macItems` is given, it receives the MAC cell of each record, in the same order.
void addDeviceRows(QTableWidget *table, const DeviceRecord *const *records, int count,
                   QTableWidgetItem **macItems = nullptr);
void fillDeviceRow(QTableWidget *table, int row, const DeviceRecord &record);
void placeCell(QTableWidget *table, int row, int column, QTableWidgetItem *item);
void setColumnWidths(QTableWidget *table);
void setRowHeight(QTableWidget *table);
// Widens `window`, the table's, to show every visible column whole.
void fitWindowToColumns(QWidget *window, QTableWidget *table);
void setTableBackground(QTableWidget *table);
// A click on a header sorts the rows by that column, and rows listed later take their
// place in that order, until clearSortOrder() goes back to the order of arrival.
void sortOnHeaderClick(QTableWidget *table);
void clearSortOrder(QTableWidget *table);
// After a search: the top row becomes the current one, unselected, unless the user already
// moved in the table.
void showCurrentRow(QTableWidget *table);
// The selected row, or -1.
int selectedRow(const QTableWidget *table);

} // namespace DeviceTable
