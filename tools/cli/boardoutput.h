// SPDX-License-Identifier: MIT
#pragma once

// The three output formats of `discover`, and the CSV reading that `apply` shares with them.
// The CSV columns are the table's columns; `apply` takes a file written by `discover` (and
// edited) back, so both sides use the names defined here.

#include "boardsearch.h"

#include <QString>
#include <QStringList>
#include <QVector>

enum class OutputFormat { Table, Csv, Json };

// CSV header names, in order: mac, ip, mask, gateway, dns, dhcp, port, level2, version,
// layout, local_address, interface, via.
QStringList csvColumns();

// One value per column. The level-2 code of a short-layout board is not reported and is
// left empty ("-" in the table, null in JSON).
QStringList rowValues(const FoundBoard &board);

QString formatTable(const QVector<FoundBoard> &boards);
QString formatCsv(const QVector<FoundBoard> &boards);
// {"boards": [...], "warnings": [...]}, indented.
QString formatJson(const QVector<FoundBoard> &boards, const QStringList &warnings);

QString csvField(const QString &value, QChar separator = QLatin1Char(','));
// A board text that a spreadsheet would take for a formula (it begins with =, +, -, @, a tab
// or a carriage return) gets a single quote in front, as OWASP advises against CSV
// injection; so does one that begins with a quote. cellValue() takes the quote off again.
QString neutralisedCell(const QString &value);
QString cellValue(const QString &cell);
// Splits one CSV line (RFC 4180 quoting, no line breaks inside fields); false when a quote
// is left open or text follows a closing quote.
bool splitCsvLine(const QString &line, QStringList &fields, QChar separator = QLatin1Char(','));
