// SPDX-License-Identifier: MIT
#pragma once

// The settings rules of settingsrules.h as the command line words them: option names,
// reasons and differences in English, and the settings of a record on one line.

#include "boardcsv.h"
#include "boardsearch.h"
#include "protocol.h"
#include "settingsrules.h"
#include "tooltext.h"

#include <QString>
#include <QStringList>

// "ip", "mask", "gateway", "dns": the option names and the CSV column names.
QString addressFieldName(int field);

// Why `text` was refused, with the text escaped.
QString notAnAddress(const QString &text);

// Why the problem stops the change, as "10.0.0.0 is the network address of the subnet
// 10.0.0.0/24"; `reported` is what the board reported, `sent` the record to be written.
QString problemReason(const SettingsProblem &problem, const DeviceRecord &reported,
                      const DeviceRecord &sent);

// The fields where the board's new reply differs from what it was sent, as "ip 10.77.0.100
// (sent 10.77.0.99)".
QStringList differences(const DeviceRecord &sent, const FoundBoard &back);

// "dhcp off, ip 10.77.0.99, mask 255.255.0.0, gateway 10.77.0.1, dns 10.77.0.53, level2 on"
QString describeSettings(const DeviceRecord &record);
