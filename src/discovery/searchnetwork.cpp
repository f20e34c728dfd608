// SPDX-License-Identifier: MIT
#include "searchnetwork.h"

#include "protocol.h"

#include <QHostAddress>
#include <QUdpSocket>

SocketNetwork::SocketNetwork(QObject *owner, const char *readSlot, bool layoutByLength)
    : sockets(owner, readSlot), reader(sockets, layoutByLength)
{
}

SocketReport SocketNetwork::refresh()
{
    const SocketReport report = sockets.refresh();
    reader.refresh();
    return report;
}

int SocketNetwork::send(const QByteArray &datagram)
{
    return sockets.send(datagram.constData(), int(datagram.size()),
                        QHostAddress(QString::fromLatin1(broadcastAddress)), devicePort);
}

int SocketNetwork::sendThrough(const QHostAddress &card, const QByteArray &datagram)
{
    return sockets.sendThrough(card, datagram.constData(), int(datagram.size()),
                               QHostAddress(QString::fromLatin1(broadcastAddress)), devicePort);
}

void SocketNetwork::read(const QObject *notifier, const Heard &heard)
{
    sockets.readSlice(notifier, [this, &heard](QUdpSocket *socket) {
        if (const std::optional<HeardReply> reply = reader.read(socket))
            heard(*reply);
    });
}

void SocketNetwork::readQueued(const Heard &heard)
{
    sockets.readQueued([this, &heard](QUdpSocket *socket) {
        if (const std::optional<HeardReply> reply = reader.read(socket))
            heard(*reply);
    });
}
