// SPDX-License-Identifier: MIT
#pragma once

// What a technician should know about a search before changing anything: two boards with
// one IP address, two different replies for one MAC, a board outside every local subnet, a
// board that holds an address of the PC itself. The local networks are passed in, so that
// the rules can be tested without any interface.

#include "boardsearch.h"
#include "localnetworks.h"

#include <QString>
#include <QStringList>
#include <QVector>

// "dhcp off, ip 10.77.0.20, ..., level2 off, port 502, version V3.00.01"
QString replySummary(const DeviceRecord &record);
// Each reply's settings, card and interface, separated by "; ".
QString describeReplies(const QVector<HeardReply> &replies);
// Every distinct reply that claimed the board's MAC in one search, and the cards it came
// through.
QString conflictText(const FoundBoard &board);

QStringList boardWarnings(const QVector<FoundBoard> &boards, const QVector<LocalNetwork> &networks);
