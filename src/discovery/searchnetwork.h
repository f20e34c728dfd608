// SPDX-License-Identifier: MIT
#pragma once

// What a search session needs of the network, as a small interface: the window and the
// command-line companion give it the PC's real sockets (SocketNetwork), the tests a network
// of simulated cards and devices that answers at once, so that a whole search with its
// writes and verdicts runs in a few microseconds.

#include "boardreplies.h"
#include "discoverysockets.h"
#include "replyreader.h"

#include <QByteArray>

#include <functional>

class QObject;

class SearchNetwork
{
public:
    using Heard = std::function<void(const HeardReply &)>;

    virtual ~SearchNetwork() = default;

    // Binds the sockets anew, so that they follow the PC's cards, and says what could not
    // be bound.
    virtual SocketReport refresh() = 0;
    virtual const SocketReport &report() const = 0;
    // Broadcasts through every card; returns how many cards sent the datagram whole.
    virtual int send(const QByteArray &datagram) = 0;
    // Broadcasts through the card with that address alone; 1 when it went out whole.
    virtual int sendThrough(const QHostAddress &card, const QByteArray &datagram) = 0;
    // Counts the replies the system drops from now on; -1 where it keeps no count.
    virtual void markDrops() = 0;
    virtual qint64 dropsSinceMark() const = 0;
    // Hands over the replies that the socket `notifier` (or, when null, any socket) holds.
    virtual void read(const QObject *notifier, const Heard &heard) = 0;
    // Hands over what is still queued when a search's time is up.
    virtual void readQueued(const Heard &heard) = 0;
};

// The PC's sockets (discoverysockets.h) and the reading of their replies (replyreader.h).
class SocketNetwork : public SearchNetwork
{
public:
    // The sockets are children of `owner`, whose `readSlot` is called when one holds a
    // datagram; `layoutByLength` as for ReplyReader.
    SocketNetwork(QObject *owner, const char *readSlot, bool layoutByLength);

    SocketReport refresh() override;
    const SocketReport &report() const override { return sockets.report(); }
    int send(const QByteArray &datagram) override;
    int sendThrough(const QHostAddress &card, const QByteArray &datagram) override;
    void markDrops() override { sockets.markDrops(); }
    qint64 dropsSinceMark() const override { return sockets.dropsSinceMark(); }
    void read(const QObject *notifier, const Heard &heard) override;
    void readQueued(const Heard &heard) override;

private:
    DiscoverySockets sockets;
    ReplyReader reader;
};
