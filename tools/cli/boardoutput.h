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

QString formatTable(const QVector<FoundBoard> &boards);
QString formatCsv(const QVector<FoundBoard> &boards);
// {"boards": [...], "warnings": [...]}, indented.
QString formatJson(const QVector<FoundBoard> &boards, const QStringList &warnings);
