// SPDX-License-Identifier: MIT
#include "devicetable.h"

#include "devicetext.h"
#include "dialogs/textfit.h"
#include "localfiles.h"
#include "protocol.h"

#include <QBrush>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLayout>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QtMath>

namespace DeviceTable {

namespace {

constexpr int columnWidths[ColumnCount] = {110, 85, 50, 50, 85, 130, 85, 90, 70};

// The widest text each column can hold: a MAC and an address with every digit the widest
// one, a port of five digits, a version "Vn.nn.nn" of eight characters, the two flag texts.
QStringList widestCellTexts(const QFontMetricsF &metrics, int column)
{
    const QString hex(2, TextFit::widestOf(metrics, QStringLiteral("0123456789abcdef")));
    const QString decimal(3, TextFit::widestOf(metrics, QStringLiteral("0123456789")));
    const QChar digit = decimal.front();
    switch (column) {
    case MacColumn:
        return {QStringList{hex, hex, hex, hex, hex, hex}.join(QLatin1Char(':'))};
    case IpColumn:
    case GatewayColumn:
    case MaskColumn:
    case DnsColumn:
        return {QStringList{decimal, decimal, decimal, decimal}.join(QLatin1Char('.'))};
    case PortColumn:
        return {QString(5, digit)};
    case VersionColumn:
        return {QLatin1Char('V') + QString(1, digit) + QLatin1Char('.') + QString(2, digit) +
                QLatin1Char('.') + QString(2, digit)};
    default:
        return {QStringLiteral("Oui"), QStringLiteral("Non")};
    }
}

// Room a cell needs for `text`: the text plus the margins the style puts around it, as the
// view itself measures a cell for its size hint.
QSize cellSizeFor(const QTableWidget *table, const QString &text)
{
    QStyleOptionViewItem option;
    option.initFrom(table);
    option.font = table->font();
    option.fontMetrics = QFontMetrics(table->font());
    option.features = QStyleOptionViewItem::HasDisplay;
    if (table->wordWrap())
        option.features |= QStyleOptionViewItem::WrapText;
    option.displayAlignment = Qt::AlignCenter;
    option.text = text;
    option.rect = QRect();
    return table->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), table);
}

// Room a header section needs for its caption. The header elides the caption to the label
// rectangle of the style, which is the section less its margins and, on the section that
// carries the sort indicator, less the arrow: the section is widened by what that rectangle
// lacks at the column's own width. A click puts the arrow on any column, so every column
// keeps room for it.
int headerWidthFor(const QTableWidget *table, int column, int width)
{
    const QHeaderView *header = table->horizontalHeader();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.state |= QStyle::State_Horizontal;
    option.orientation = Qt::Horizontal;
    option.section = column;
    option.text = table->horizontalHeaderItem(column) ? table->horizontalHeaderItem(column)->text()
                                                      : QString();
    option.textAlignment = header->defaultAlignment();
    option.rect = QRect(0, 0, width, header->sizeHint().height());
    if (header->isSortIndicatorShown())
        option.sortIndicator = QStyleOptionHeader::SortUp;
    const int room =
        header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header).width();
    const int caption = qCeil(QFontMetricsF(header->font()).horizontalAdvance(option.text));
    return width + caption - room;
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The run of digits of `text` that starts at `from`: its digits less any leading zeros, and
// where the run ends.
struct Number
{
    QStringView digits;
    int end;
};

Number numberAt(const QString &text, int from)
{
    int to = from;
    while (to < text.size() && isAsciiDigit(text.at(to)))
        ++to;
    while (from < to && text.at(from) == QLatin1Char('0'))
        ++from;
    return {QStringView(text).mid(from, to - from), to};
}

// Digits compare as numbers, so that 10.77.0.9 comes before 10.77.0.10, port 502 before
// 4022 and V3.9 before V3.10; everything else compares character by character.
bool naturalLess(const QString &a, const QString &b)
{
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a.at(i)) && isAsciiDigit(b.at(j))) {
            const Number x = numberAt(a, i), y = numberAt(b, j);
            if (x.digits.size() != y.digits.size())
                return x.digits.size() < y.digits.size();
            if (const int order = x.digits.compare(y.digits))
                return order < 0;
            i = x.end;
            j = y.end;
        } else if (a.at(i) != b.at(j)) {
            return a.at(i) < b.at(j);
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// A cell of the default item type that sorts by what its text means: a MAC address by its
// bytes, anything else in natural order.
class DeviceCell : public QTableWidgetItem
{
public:
    using QTableWidgetItem::QTableWidgetItem;

    bool operator<(const QTableWidgetItem &other) const override
    {
        if (column() == MacColumn)
            return macTextToBytes(text().toStdString()) <
                   macTextToBytes(other.text().toStdString());
        return naturalLess(text(), other.text());
    }
};

// Cell texts are 8-bit strings that already end at their field's first NUL byte.
QTableWidgetItem *cellItem(const std::string &text)
{
    return new DeviceCell(QString::fromUtf8(text.data(), int(text.size())));
}

void keepSortOrder(QTableWidget *table)
{
    const QHeaderView *header = table->horizontalHeader();
    const int column = header->sortIndicatorSection();
    if (column >= 0 && column < ColumnCount)
        table->sortByColumn(column, header->sortIndicatorOrder());
}

} // namespace

void addDeviceRow(QTableWidget *table, const DeviceRecord &record)
{
    table->insertRow(0);
    fillDeviceRow(table, 0, record);
    keepSortOrder(table);
}

void addDeviceRows(QTableWidget *table, const DeviceRecord *const *records, int count,
                   QTableWidgetItem **macItems)
{
    if (count <= 0)
        return;
    table->model()->insertRows(0, count);
    for (int i = 0; i < count; ++i) {
        fillDeviceRow(table, count - 1 - i, *records[i]);
        if (macItems)
            macItems[i] = table->item(count - 1 - i, MacColumn);
    }
    keepSortOrder(table);
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

// The fixed widths were drawn for a narrow 8-point dialog font. With a larger font a column
// gets exactly the room its widest text and its caption need, and never less than its fixed
// width; with a narrow font every width stays as it was.
void setColumnWidths(QTableWidget *table)
{
    const QFontMetricsF metrics(table->font());
    for (int column = 0; column < ColumnCount; ++column) {
        int width = columnWidths[column];
        for (const QString &text : widestCellTexts(metrics, column))
            width = qMax(width, cellSizeFor(table, text).width());
        width = qMax(width, headerWidthFor(table, column, width));
        table->setColumnWidth(column, width);
    }
}

// The style's rows are tall enough for a line of a narrow font; a larger font gets rows as
// tall as a cell needs for it.
void setRowHeight(QTableWidget *table)
{
    QHeaderView *rows = table->verticalHeader();
    const int needed = cellSizeFor(table, QStringLiteral("0")).height();
    if (needed > rows->defaultSectionSize())
        rows->setDefaultSectionSize(needed);
}

// The window was drawn for the narrow columns. Where they are wider it opens wide enough to
// show every visible one whole, with room for the scroll bar of a long list, as far as the
// screen allows; it never opens narrower than drawn, and on a narrow screen the table scrolls.
void fitWindowToColumns(QWidget *window, QTableWidget *table)
{
    // Hidden widgets are laid out on request only: the window's layouts, top down, place the
    // table at the window's present size.
    QList<QWidget *> chain;
    for (QWidget *widget = table->parentWidget(); widget;
         widget = widget->isWindow() ? nullptr : widget->parentWidget())
        chain.prepend(widget);
    for (QWidget *widget : chain) {
        if (widget->layout())
            widget->layout()->activate();
    }
    int needed = table->horizontalHeader()->length() + 2 * table->frameWidth() +
                 table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table);
    if (!table->verticalHeader()->isHidden())
        needed += table->verticalHeader()->sizeHint().width();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() : window->width();
    const int width = qMin(window->width() + needed - table->width(), room);
    if (width > window->width())
        window->resize(width, window->height());
}

// The picture is looked up in the working directory first; a missing or unreadable file
// leaves an empty brush and the style's plain base colour shows instead.
void setTableBackground(QTableWidget *table)
{
    QPalette palette = table->palette();
    const QPixmap picture(LocalFiles::tablePicture());
    if (!picture.isNull())
        palette.setBrush(QPalette::All, QPalette::Base, QBrush(picture));
    table->viewport()->setPalette(palette);
}

} // namespace DeviceTable

namespace DeviceTable {

// The header shows its arrow on a click whether the table sorts or not (sorting is off in the
// form, so that rows go in at the top); the rows follow the arrow from here.
void sortOnHeaderClick(QTableWidget *table)
{
    QObject::connect(table->horizontalHeader(), SIGNAL(sortIndicatorChanged(int, Qt::SortOrder)),
                     table, SLOT(sortByColumn(int, Qt::SortOrder)));
}

void clearSortOrder(QTableWidget *table)
{
    // No sort by "column -1": the rows stay as they are.
    const QSignalBlocker quiet(table->horizontalHeader());
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

// Without a current cell the focus shows nowhere, and the first Ctrl+End or Page Down of the
// view goes to the first row instead of moving from it. Nothing is selected: the selection
// names the board that "Mettre à jour" opens.
void showCurrentRow(QTableWidget *table)
{
    if (table->rowCount() == 0 || table->currentIndex().isValid())
        return;
    table->selectionModel()->setCurrentIndex(table->model()->index(0, MacColumn),
                                             QItemSelectionModel::NoUpdate);
}

int selectedRow(const QTableWidget *table)
{
    const QModelIndexList selected = table->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

} // namespace DeviceTable
