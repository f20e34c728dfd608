// SPDX-License-Identifier: MIT
#include "devicetable.h"

#include "devicetext.h"
#include "protocol.h"

#include <QBrush>
#include <QPalette>
#include <QPixmap>
#include <QTableWidget>

namespace DeviceTable {

namespace {

constexpr int columnWidths[ColumnCount] = {110, 85, 50, 50, 85, 130, 85, 90, 70};

// Cell texts are 8-bit strings that already end at their field's first NUL byte.
QTableWidgetItem *cellItem(const std::string &text)
{
    return new QTableWidgetItem(QString::fromUtf8(text.data(), int(text.size())));
}

} // namespace

void addDeviceRow(QTableWidget *table, const DeviceRecord &record)
{
    table->insertRow(0);
    fillDeviceRow(table, 0, record);
}

void addDeviceRows(QTableWidget *table, const DeviceRecord *const *records, int count)
{
    if (count <= 0)
        return;
    table->model()->insertRows(0, count);
    for (int i = 0; i < count; ++i)
        fillDeviceRow(table, count - 1 - i, *records[i]);
}

void fillDeviceRow(QTableWidget *table, int row, const DeviceRecord &record)
{
    placeCell(table, row, MacColumn, cellItem(macToText(record.mac)));
    placeCell(table, row, IpColumn, cellItem(addressToText(record.ip)));
    placeCell(table, row, MaskColumn, cellItem(addressToText(record.mask)));
    placeCell(table, row, GatewayColumn, cellItem(addressToText(record.gateway)));
    placeCell(table, row, DnsColumn, cellItem(addressToText(record.dns)));
    placeCell(table, row, PortColumn, cellItem(portToText(record.port)));
    placeCell(table, row, DhcpColumn, cellItem(flagToText(record.dhcp)));
    placeCell(table, row, LevelTwoColumn, cellItem(flagToText(record.cdeNiveau2)));
    placeCell(table, row, VersionColumn, cellItem(versionToText(record.version)));
}

void placeCell(QTableWidget *table, int row, int column, QTableWidgetItem *item)
{
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    item->setData(Qt::TextAlignmentRole, int(Qt::AlignHCenter | Qt::AlignVCenter));
    table->setItem(row, column, item);
}

void setColumnWidths(QTableWidget *table)
{
    for (int column = 0; column < ColumnCount; ++column)
        table->setColumnWidth(column, columnWidths[column]);
}

// The picture comes from the working directory, not from the embedded resources; a missing
// file leaves an empty brush and the style's plain base colour shows instead.
void setTableBackground(QTableWidget *table)
{
    QPalette palette = table->palette();
    const QPixmap picture(QStringLiteral("brenik.png"));
    if (!picture.isNull())
        palette.setBrush(QPalette::All, QPalette::Base, QBrush(picture));
    table->viewport()->setPalette(palette);
}

} // namespace DeviceTable
