// SPDX-License-Identifier: MIT
#pragma once

// The PC's own IPv4 networks, as the window and the command-line companion check new
// settings against them: a board must not be given an address of the PC.

#include "settingsrules.h"

#include <QString>
#include <QVector>

#include <functional>

struct LocalNetwork
{
    QString interfaceName;
    quint32 address = 0;
    quint32 mask = 0;
};

// Every IPv4 address of every interface of the PC, loopback included.
QVector<LocalNetwork> localNetworks();

// The PC as the holder of each of its addresses.
AddressHolders pcAddressHolders();

// A board's IP address against the PC's networks, for the warnings of the command-line
// companion and the marks of the window's rows.
struct AddressStanding
{
    // The PC's own entries with that very address.
    QVector<LocalNetwork> pcEntries;
    // A subnet of the card the reply came through holds the address. Only those subnets can
    // reach the board: another card's subnet may hold the same addresses on another wire.
    bool inSubnet = false;
};
// `heardThrough` tells whether an entry belongs to the card the reply came through.
AddressStanding addressStanding(quint32 ip, const QVector<LocalNetwork> &networks,
                                const std::function<bool(const LocalNetwork &)> &heardThrough);
