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

AddressStanding addressStanding(quint32 ip, const QVector<LocalNetwork> &networks,
                                const std::function<bool(const LocalNetwork &)> &heardThrough)
{
    AddressStanding standing;
    for (const LocalNetwork &network : networks) {
        if (network.address == ip)
            standing.pcEntries.append(network);
        if (heardThrough(network) && (network.address & network.mask) == (ip & network.mask))
            standing.inSubnet = true;
    }
    return standing;
}
