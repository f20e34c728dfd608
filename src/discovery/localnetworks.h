// SPDX-License-Identifier: MIT
#pragma once

// The PC's own IPv4 networks, as the window and the command-line companion check new
// settings against them: a board must not be given an address of the PC.

#include "settingsrules.h"

#include <QString>
#include <QVector>

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
