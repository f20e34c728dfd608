// SPDX-License-Identifier: MIT
#pragma once

// The three output formats of `discover`. The CSV columns and rules (boardcsv.h) are those
// of the window's export too; the table and JSON formats use the same columns.

#include "boardcsv.h"
#include "boardsearch.h"

#include <QString>
#include <QStringList>
#include <QVector>

enum class OutputFormat { Table, Csv, Json };

// The board as its CSV row tells it.
BoardRow boardRow(const FoundBoard &board);
// One value per column of csvColumns(); "-" in the table and null in JSON for the level-2
// code of a short-layout board.
QStringList rowValues(const FoundBoard &board);

QString formatTable(const QVector<FoundBoard> &boards);
QString formatCsv(const QVector<FoundBoard> &boards);
// {"boards": [...], "warnings": [...]}, indented.
QString formatJson(const QVector<FoundBoard> &boards, const QStringList &warnings);
