// SPDX-License-Identifier: MIT
#pragma once

// Reads one datagram from a socket of a search and, when it is a reply, says which card of
// the PC it came through, for the window and the command-line companion alike: a write must
// leave only through the card on which its board answered.

#include "boardreplies.h"

#include <QHash>
#include <QList>
#include <QNetworkInterface>

#include <optional>

class DiscoverySockets;
class QUdpSocket;

class ReplyReader
{
public:
    // The window tells a reply's layout by its byte 36 alone; the command-line companion also
    // by its length (`layoutByLength`, see replyLayoutByLength()).
    explicit ReplyReader(const DiscoverySockets &sockets, bool layoutByLength = false)
        : sockets(sockets), layoutByLength(layoutByLength)
    {
    }

    // At the start of every search, after the sockets were refreshed.
    void refresh();
    // Exactly one datagram is read from `socket`, or none when it holds none.
    std::optional<HeardReply> read(QUdpSocket *socket);

private:
    QNetworkInterface card(int index);

    const DiscoverySockets &sockets;
    const bool layoutByLength;
    QList<QHostAddress> ownAddresses;
    // Looked up once per index: a lookup asks the kernel for every interface.
    QHash<int, QNetworkInterface> cards;
};
