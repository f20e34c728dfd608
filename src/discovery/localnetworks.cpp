// SPDX-License-Identifier: MIT
#include "localnetworks.h"

#include <QNetworkInterface>

QVector<LocalNetwork> localNetworks()
{
    QVector<LocalNetwork> networks;
    for (const QNetworkInterface &card : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : card.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            networks.append(
                {card.name(), entry.ip().toIPv4Address(), entry.netmask().toIPv4Address()});
        }
    }
    return networks;
}

AddressHolders pcAddressHolders()
{
    AddressHolders holders;
    for (const LocalNetwork &network : localNetworks())
        holders.append({network.address, AddressHolder::ThisPc, network.interfaceName, 0});
    return holders;
}
