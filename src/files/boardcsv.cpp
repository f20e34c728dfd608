// SPDX-License-Identifier: MIT
#include "boardcsv.h"

#include "devicetext.h"
#include "settingstext.h"
#include "tooltext.h"

namespace {

const char *const columnNames[] = {"mac",           "ip",        "mask",   "gateway", "dns",
                                   "dhcp",          "port",      "level2", "version", "layout",
                                   "local_address", "interface", "via"};

} // namespace

BoardRow BoardRow::of(const DeviceRecord &record, const HeardReply &reply)
{
    BoardRow row;
    row.record = record;
    row.layout = reply.layout;
    row.localAddress = reply.card.isNull() ? QString() : reply.card.toString();
    // An interface name is whatever bytes its administrator chose, escapes included.
    row.interfaceName = escapedInput(reply.interfaceName);
    row.viaBroadcast = reply.viaBroadcast;
    return row;
}

QString onOff(bool value)
{
    return value ? QStringLiteral("on") : QStringLiteral("off");
}

QString versionText(const DeviceRecord &record)
{
    return escapedText(versionToText(record.version));
}

QString portText(const DeviceRecord &record)
{
    return escapedText(portToText(record.port));
}

QStringList csvColumns()
{
    QStringList names;
    for (const char *name : columnNames)
        names << QString::fromLatin1(name);
    return names;
}

QStringList rowValues(const BoardRow &board)
{
    const DeviceRecord &r = board.record;
    const bool levelTwo = board.layout == ReplyLayout::Long;
    return {macText(r.mac),
            addressText(r.ip),
            addressText(r.mask),
            addressText(r.gateway),
            addressText(r.dns),
            onOff(r.dhcp != 0),
            portText(r),
            levelTwo ? onOff(r.cdeNiveau2 != 0) : QString(),
            versionText(r),
            levelTwo ? QStringLiteral("long") : QStringLiteral("short"),
            board.localAddress,
            board.interfaceName,
            board.viaBroadcast ? QStringLiteral("broadcast") : QStringLiteral("unicast")};
}

QString formatCsv(const QVector<BoardRow> &boards)
{
    QString text = csvColumns().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const BoardRow &board : boards) {
        QStringList fields;
        for (const QString &value : rowValues(board))
            fields << csvField(neutralisedCell(value));
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text;
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
