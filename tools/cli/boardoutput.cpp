// SPDX-License-Identifier: MIT
#include "boardoutput.h"

#include "boardsettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

enum Column {
    MacColumn,
    IpColumn,
    MaskColumn,
    GatewayColumn,
    DnsColumn,
    DhcpColumn,
    PortColumn,
    LevelTwoColumn,
    VersionColumn,
    LayoutColumn,
    LocalAddressColumn,
    InterfaceColumn,
    ViaColumn,
    ColumnCount
};

const char *const columnNames[ColumnCount] = {
    "mac",    "ip",      "mask",   "gateway",       "dns",       "dhcp", "port",
    "level2", "version", "layout", "local_address", "interface", "via"};

bool hasLevelTwo(const FoundBoard &board)
{
    return board.layout == ReplyLayout::Long;
}

} // namespace

QStringList csvColumns()
{
    QStringList names;
    for (const char *name : columnNames)
        names << QString::fromLatin1(name);
    return names;
}

QStringList rowValues(const FoundBoard &board)
{
    const DeviceRecord &r = board.record;
    return {macText(r.mac),
            addressText(r.ip),
            addressText(r.mask),
            addressText(r.gateway),
            addressText(r.dns),
            onOff(r.dhcp != 0),
            portText(r),
            hasLevelTwo(board) ? onOff(r.cdeNiveau2 != 0) : QString(),
            versionText(r),
            hasLevelTwo(board) ? QStringLiteral("long") : QStringLiteral("short"),
            board.localAddress,
            board.interfaceName,
            board.viaBroadcast ? QStringLiteral("broadcast") : QStringLiteral("unicast")};
}

QString formatTable(const QVector<FoundBoard> &boards)
{
    QVector<QStringList> rows;
    QStringList header;
    for (const char *name : columnNames)
        header << QString::fromLatin1(name).toUpper().replace(QLatin1Char('_'), QLatin1Char(' '));
    rows.append(header);
    for (const FoundBoard &board : boards) {
        QStringList values = rowValues(board);
        // "-" stands for an empty or unreported value; a board text that is "-" itself is
        // written with its escape, so that the two stay apart.
        for (QString &value : values) {
            if (value.isEmpty())
                value = QStringLiteral("-");
            else if (value == QLatin1String("-"))
                value = QStringLiteral("\\x2d");
        }
        rows.append(values);
    }
    QVector<int> widths(ColumnCount, 0);
    for (const QStringList &row : rows) {
        for (int column = 0; column < ColumnCount; ++column)
            widths[column] = std::max(widths[column], int(row.at(column).size()));
    }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int column = 0; column < ColumnCount; ++column) {
            if (column > 0)
                line += QStringLiteral("  ");
            line += column + 1 < ColumnCount ? row.at(column).leftJustified(widths[column])
                                             : row.at(column);
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString formatCsv(const QVector<FoundBoard> &boards)
{
    QString text = csvColumns().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const FoundBoard &board : boards) {
        QStringList fields;
        for (const QString &value : rowValues(board))
            fields << csvField(neutralisedCell(value));
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text;
}

QString formatJson(const QVector<FoundBoard> &boards, const QStringList &warnings)
{
    QJsonArray list;
    for (const FoundBoard &board : boards) {
        const QStringList values = rowValues(board);
        QJsonObject object;
        for (int column = 0; column < ColumnCount; ++column)
            object.insert(QString::fromLatin1(columnNames[column]), values.at(column));
        object.insert(QStringLiteral("dhcp"), board.record.dhcp != 0);
        object.insert(QStringLiteral("level2"), hasLevelTwo(board)
                                                    ? QJsonValue(board.record.cdeNiveau2 != 0)
                                                    : QJsonValue(QJsonValue::Null));
        list.append(object);
    }
    QJsonObject root;
    root.insert(QStringLiteral("boards"), list);
    root.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(warnings));
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

QString csvField(const QString &value, QChar separator)
{
    if (!value.contains(separator) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

// What a spreadsheet reads as the start of a formula (or of a cell that holds one), and the
// quote that the escape itself begins with, so that reading back is exact.
bool needsQuote(const QString &value)
{
    static const QString starts = QStringLiteral("=+-@\t\r'");
    return !value.isEmpty() && starts.contains(value.at(0));
}

} // namespace

QString neutralisedCell(const QString &value)
{
    return needsQuote(value) ? QLatin1Char('\'') + value : value;
}

QString cellValue(const QString &cell)
{
    return cell.startsWith(QLatin1Char('\'')) && needsQuote(cell.mid(1)) ? cell.mid(1) : cell;
}

bool splitCsvLine(const QString &line, QStringList &fields, QChar separator)
{
    fields.clear();
    QString field;
    int i = 0;
    const int size = int(line.size());
    while (true) {
        field.clear();
        if (i < size && line.at(i) == QLatin1Char('"')) {
            ++i;
            while (true) {
                if (i >= size)
                    return false; // the quote is never closed
                if (line.at(i) == QLatin1Char('"')) {
                    if (i + 1 < size && line.at(i + 1) == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line.at(i++);
            }
            if (i < size && line.at(i) != separator)
                return false;
        } else {
            while (i < size && line.at(i) != separator)
                field += line.at(i++);
        }
        fields << field;
        if (i >= size)
            return true;
        ++i; // the separator
    }
}
