// SPDX-License-Identifier: MIT
#pragma once

// The file that `apply` takes: the CSV written by `discover --format csv`, header line
// included, edited by hand or in a spreadsheet: ',' or ';' between the cells, column names
// in any case, empty columns at the end. Only the mac column is required. The columns mac,
// dhcp, ip, mask, gateway, dns and level2 are read; the others (port, version, layout and
// where the reply arrived) describe the board and are ignored, so that a discovered list
// can be fed back as it is. An empty cell keeps what the board reports.

#include "boardsettings.h"

#include <QString>
#include <QStringList>
#include <QVector>

struct PlannedBoard
{
    int line = 0; // in the file, counting from 1
    MacAddress mac{};
    SettingsChange change;
};

struct ApplyFile
{
    QVector<PlannedBoard> boards;
    // "line 3: mask: ..." for every problem found; the file is used only when this is empty.
    QStringList errors;
};

// Files larger than this are refused unread: a list of boards is a few kilobytes, and
// anything bigger is the wrong file (or a device that never ends).
constexpr int maxApplyFileSize = 1 << 20;
// Problems listed before the rest is only counted.
constexpr int maxListedErrors = 40;

// The file's bytes as text: UTF-8 (a byte order mark is dropped), or Latin-1 when they are
// not UTF-8.
QString applyFileText(const QByteArray &bytes);
ApplyFile readApplyFile(const QString &text);
