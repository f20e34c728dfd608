// SPDX-License-Identifier: MIT
#pragma once

// A list of boards as CSV, the format that `quorvan-cli discover --format csv` prints, that
// the window's « Exporter la liste… » saves and that `quorvan-cli apply` reads back: the
// column names, one row per board, and the quoting that keeps a spreadsheet from taking a
// board's text for a formula. Both sides use the names and rules defined here.

#include "boardreplies.h"
#include "protocol.h"

#include <QString>
#include <QStringList>
#include <QVector>

// One board as a row tells it: the settings listed, and where its first reply came in.
struct BoardRow
{
    DeviceRecord record{};
    ReplyLayout layout = ReplyLayout::Long;
    // The PC's address the reply came through, empty when the system did not say.
    QString localAddress;
    QString interfaceName; // escaped for a terminal
    bool viaBroadcast = false;

    // `record` as listed (a write may have changed it since), with the card of `reply`.
    static BoardRow of(const DeviceRecord &record, const HeardReply &reply);
};

// "on" or "off", as options and cells write a flag.
QString onOff(bool value);
// The port and the version as printable ASCII (tooltext.h's escapes).
QString portText(const DeviceRecord &record);
QString versionText(const DeviceRecord &record);

// CSV header names, in order: mac, ip, mask, gateway, dns, dhcp, port, level2, version,
// layout, local_address, interface, via.
QStringList csvColumns();
// One value per column. The level-2 code of a short-layout board is not reported and is
// left empty.
QStringList rowValues(const BoardRow &board);
// The header line and a line per board, each ending with a line break.
QString formatCsv(const QVector<BoardRow> &boards);

QString csvField(const QString &value, QChar separator = QLatin1Char(','));
// A board text that a spreadsheet would take for a formula (it begins with =, +, -, @, a tab
// or a carriage return) gets a single quote in front, as OWASP advises against CSV
// injection; so does one that begins with a quote. cellValue() takes the quote off again.
QString neutralisedCell(const QString &value);
QString cellValue(const QString &cell);
// Splits one CSV line (RFC 4180 quoting, no line breaks inside fields); false when a quote
// is left open or text follows a closing quote.
bool splitCsvLine(const QString &line, QStringList &fields, QChar separator = QLatin1Char(','));
