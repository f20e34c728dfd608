// SPDX-License-Identifier: MIT
#pragma once

// What a technician should know about a search before changing anything: two boards with
// one IP address, a board outside every local subnet, a board that holds an address of the
// PC itself. The local networks are passed in, so that the rules can be tested without
// any interface.

#include "boardsearch.h"

#include <QString>
#include <QStringList>
#include <QVector>

struct LocalNetwork
{
    QString interfaceName;
    quint32 address = 0;
    quint32 mask = 0;
};

// Every IPv4 address of every interface of the PC, loopback included.
QVector<LocalNetwork> localNetworks();

QStringList boardWarnings(const QVector<FoundBoard> &boards, const QVector<LocalNetwork> &networks);
