// SPDX-License-Identifier: MIT
#pragma once

// The file that `apply` takes: the CSV written by `discover --format csv`, header line
// included, edited by hand. Only the mac column is required. The columns mac, dhcp, ip,
// mask, gateway, dns and level2 are read; the others (port, version, layout and where the
// reply arrived) describe the board and are ignored, so that a discovered list can be fed
// back as it is. An empty cell keeps what the board reports.

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

ApplyFile readApplyFile(const QString &text);
