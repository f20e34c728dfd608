// SPDX-License-Identifier: MIT
#include "applyfile.h"

#include "boardoutput.h"

#include <QHash>

#include <algorithm>

namespace {

QString lineError(int line, const QString &field, const QString &reason)
{
    return field.isEmpty() ? QStringLiteral("line %1: %2").arg(line).arg(reason)
                           : QStringLiteral("line %1: %2: %3").arg(line).arg(field, reason);
}

bool isSkipped(const QString &line)
{
    const QString trimmed = line.trimmed();
    return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'));
}

// Column positions in the file, -1 when the column is absent.
struct Columns
{
    int width = 0;
    int mac = -1;
    int dhcp = -1;
    int levelTwo = -1;
    std::array<int, AddressFieldCount> addresses{{-1, -1, -1, -1}};
    QStringList names; // as read, by position
};

// The header decides: French spreadsheets write ';' where others write ','.
QChar separatorOf(const QString &header)
{
    int commas = 0;
    int semicolons = 0;
    bool quoted = false;
    for (const QChar c : header) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char(','))
            ++commas;
        else if (!quoted && c == QLatin1Char(';'))
            ++semicolons;
    }
    return semicolons > commas ? QLatin1Char(';') : QLatin1Char(',');
}

// Spreadsheets add empty cells after the last column; they carry nothing.
void dropEmptyTail(QStringList &fields, int keep = 0)
{
    while (fields.size() > keep && fields.last().trimmed().isEmpty())
        fields.removeLast();
}

bool readHeader(QStringList names, int line, Columns &columns, QStringList &errors)
{
    dropEmptyTail(names);
    const QStringList known = csvColumns();
    QHash<QString, int> seen;
    for (int i = 0; i < names.size(); ++i) {
        // The table's own headers ("MAC", "LOCAL ADDRESS") are taken too.
        const QString name =
            names.at(i).trimmed().toLower().replace(QLatin1Char(' '), QLatin1Char('_'));
        if (!known.contains(name)) {
            errors << lineError(
                line, QString(),
                QStringLiteral("unknown column \"%1\" (known: %2)")
                    .arg(escapedInput(names.at(i).trimmed()), known.join(QStringLiteral(", "))));
            continue;
        }
        if (seen.contains(name)) {
            errors << lineError(line, QString(),
                                QStringLiteral("column \"%1\" appears twice").arg(name));
            continue;
        }
        seen.insert(name, i);
    }
    columns.width = int(names.size());
    for (const QString &name : std::as_const(names))
        columns.names << name.trimmed().toLower().replace(QLatin1Char(' '), QLatin1Char('_'));
    columns.mac = seen.value(QStringLiteral("mac"), -1);
    columns.dhcp = seen.value(QStringLiteral("dhcp"), -1);
    columns.levelTwo = seen.value(QStringLiteral("level2"), -1);
    for (int field = 0; field < AddressFieldCount; ++field)
        columns.addresses[std::size_t(field)] = seen.value(addressFieldName(field), -1);
    if (columns.mac < 0)
        errors << lineError(line, QString(), QStringLiteral("the header has no \"mac\" column"));
    return errors.isEmpty();
}

QString cell(const QStringList &fields, int column)
{
    return column >= 0 ? cellValue(fields.value(column).trimmed()) : QString();
}

void readFlag(const QStringList &fields, int column, const char *name, int line,
              std::optional<bool> &out, QStringList &errors)
{
    const QString text = cell(fields, column);
    // "-" is how the table shows a value that is not reported.
    if (text.isEmpty() || text == QLatin1String("-"))
        return;
    bool value = false;
    if (parseOnOff(text, value))
        out = value;
    else
        errors << lineError(line, QLatin1String(name),
                            QStringLiteral("\"%1\" is neither on nor off").arg(escapedInput(text)));
}

// Why a last line that has no line end may have been cut (a full disk, a copy that
// stopped), or an empty text when it holds every column of the header, the last one
// filled and each cell of a known form complete.
QString cutLineProblem(const QStringList &fields, const Columns &columns)
{
    if (fields.size() < columns.width)
        return QStringLiteral("%1 of %2 columns").arg(fields.size()).arg(columns.width);
    if (columns.width > 0 && fields.at(columns.width - 1).trimmed().isEmpty())
        return QStringLiteral("its last column %1 is empty").arg(columns.names.last());
    // The columns with a fixed set of values, as discover writes them.
    const QHash<QString, QStringList> known{
        {QStringLiteral("layout"), {QStringLiteral("long"), QStringLiteral("short")}},
        {QStringLiteral("via"), {QStringLiteral("unicast"), QStringLiteral("broadcast")}}};
    for (int i = 0; i < columns.width; ++i) {
        const QString value = cell(fields, i);
        const QString &name = columns.names.at(i);
        Address address{};
        const bool complete = known.contains(name) ? known.value(name).contains(value)
                              : name == QLatin1String("local_address")
                                  ? value.isEmpty() || parseAddressText(value, address)
                                  : true;
        if (!complete)
            return QStringLiteral("%1 \"%2\"").arg(name, escapedInput(value));
    }
    return QString();
}

// The number of quotes: a line with an odd number opens a quoted cell that it does not close.
bool opensQuote(const QString &line)
{
    return line.count(QLatin1Char('"')) % 2 != 0;
}

} // namespace

QString applyFileText(const QByteArray &bytes)
{
    // A spreadsheet may put a byte-order mark in front of UTF-8, or save in its 8-bit code page;
    // the cells that count are ASCII anyway. Only valid UTF-8 comes back from a round trip byte
    // for byte: the decoder turns anything else into U+FFFD.
    const QByteArray body = bytes.startsWith("\xef\xbb\xbf") ? bytes.mid(3) : bytes;
    // With explicit sizes: Qt 5 stops a QByteArray's conversion at its first NUL, Qt 6 does not.
    const QString text = QString::fromUtf8(body.constData(), int(body.size()));
    return text.toUtf8() == body ? text : QString::fromLatin1(body.constData(), int(body.size()));
}

ApplyFile readApplyFile(const QString &text)
{
    ApplyFile file;
    // CR LF, LF and CR alone (old Mac spreadsheets) all end a line.
    QString normalized = text;
    normalized.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = normalized.split(QLatin1Char('\n'));
    // The text after the last line end: a whole line, or what is left of a cut one.
    const int unendedLine = normalized.endsWith(QLatin1Char('\n')) ? -1 : int(lines.size()) - 1;
    Columns columns;
    QChar separator = QLatin1Char(',');
    bool haveHeader = false;
    QHash<std::uint64_t, int> lineOfMac;
    for (int index = 0; index < lines.size(); ++index) {
        const int line = index + 1;
        const QString content = lines.at(index);
        if (isSkipped(content))
            continue;
        if (!haveHeader)
            separator = separatorOf(content);
        QStringList fields;
        const bool split = splitCsvLine(content, fields, separator);
        // A spreadsheet row whose cells were cleared keeps its separators: a blank line.
        if (split && std::all_of(fields.cbegin(), fields.cend(),
                                 [](const QString &field) { return field.trimmed().isEmpty(); }))
            continue;
        if (!split) {
            // A spreadsheet writes a cell with a line break in it over several lines; no cell
            // that apply reads holds one, so the lines up to the closing quote are one error.
            int end = index + 1;
            bool open = opensQuote(content);
            while (open && end < lines.size())
                open = opensQuote(lines.at(end++)) ? false : open;
            if (open || end == index + 1) {
                file.errors << lineError(line, QString(), QStringLiteral("unbalanced quotes"));
            } else {
                file.errors << lineError(line, QString(),
                                         QStringLiteral("unbalanced quotes: a quoted cell runs on "
                                                        "to line %1, and a cell must end on its "
                                                        "line")
                                             .arg(end));
                index = end - 1;
            }
            continue;
        }
        if (!haveHeader) {
            haveHeader = true;
            if (!readHeader(fields, line, columns, file.errors))
                break;
            continue;
        }
        PlannedBoard board;
        board.line = line;
        const int errorsBefore = int(file.errors.size());
        if (index == unendedLine) {
            const QString cut = cutLineProblem(fields, columns);
            if (!cut.isEmpty()) {
                file.errors << lineError(line, QString(),
                                         QStringLiteral("the last line has no line end and is "
                                                        "not complete (%1): the file may have "
                                                        "been cut short; if the line is whole, "
                                                        "end it with a line end")
                                             .arg(cut));
                continue;
            }
        }
        dropEmptyTail(fields, columns.width);
        if (fields.size() > columns.width)
            file.errors << lineError(line, QString(),
                                     QStringLiteral("%1 fields, but the header names %2 columns")
                                         .arg(fields.size())
                                         .arg(columns.width));
        const QString mac = cell(fields, columns.mac);
        if (!parseMacText(mac, board.mac)) {
            file.errors << lineError(
                line, QStringLiteral("mac"),
                mac.isEmpty()
                    ? QStringLiteral("missing")
                    : QStringLiteral("\"%1\" is not a MAC address").arg(escapedInput(mac)));
        } else {
            const std::uint64_t key = macKey(board.mac.data());
            if (lineOfMac.contains(key))
                file.errors << lineError(line, QStringLiteral("mac"),
                                         QStringLiteral("%1 is already listed on line %2")
                                             .arg(macText(board.mac.data()))
                                             .arg(lineOfMac.value(key)));
            lineOfMac.insert(key, line);
        }
        readFlag(fields, columns.dhcp, "dhcp", line, board.change.dhcp, file.errors);
        readFlag(fields, columns.levelTwo, "level2", line, board.change.levelTwo, file.errors);
        for (int field = 0; field < AddressFieldCount; ++field) {
            const QString value = cell(fields, columns.addresses[std::size_t(field)]);
            if (value.isEmpty())
                continue;
            Address address{};
            if (parseAddressText(value, address))
                board.change.addresses[std::size_t(field)] = address;
            else
                file.errors << lineError(line, addressFieldName(field), notAnAddress(value));
        }
        if (int(file.errors.size()) == errorsBefore)
            file.boards.append(board);
    }
    if (!haveHeader)
        file.errors << QStringLiteral("line 1: the file has no header line");
    else if (file.errors.isEmpty() && file.boards.isEmpty())
        file.errors << QStringLiteral("the file lists no board");
    // A wrong file of thousands of lines would bury the first problems, which tell what is
    // wrong with it.
    if (file.errors.size() > maxListedErrors) {
        const int rest = int(file.errors.size()) - maxListedErrors;
        file.errors.erase(file.errors.begin() + maxListedErrors, file.errors.end());
        file.errors << QStringLiteral("%1 more problems not listed").arg(rest);
    }
    return file;
}
