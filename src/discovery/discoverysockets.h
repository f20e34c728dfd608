// SPDX-License-Identifier: MIT
#pragma once

// The sockets of a search, for the window and the command-line companion alike: one UDP
// socket on port 4022 per distinct local address, plus, where the platform needs it, a
// receive-only listener on 255.255.255.255 for the replies that boards send by broadcast, and
// one on each card's subnet broadcast address for those sent there.
// No socket shares the port, so each bind is at once the check that nobody else holds it.
// refresh(), at the start of every search, makes the set follow the PC's addresses without
// ever binding over another program that holds the port, and reports what could not be
// bound; send() writes through the bound IPv4 sockets only; readSlice()
// takes what the sockets hold without letting a flood starve the event loop.

#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <list>
#include <unordered_map>

class QObject;
class QUdpSocket;

// What the last refresh found. Loopback addresses are never listed: no board lives there.
struct SocketReport
{
    struct Failure
    {
        QHostAddress address;
        QString reason; // the system's text
    };

    // Local IPv4 addresses besides loopback: none means that no card is up.
    int cardAddresses = 0;
    // Bound sockets of those addresses: the queries that reach a board leave through them.
    int sendingSockets = 0;
    // Addresses where another program holds port 4022; they are left to it.
    QList<QHostAddress> held;
    // Addresses whose bind failed for another reason.
    QList<Failure> failed;
    // The broadcast listener could not be bound: replies sent by broadcast are lost.
    bool listenerMissing = false;

    bool noCardAddress() const { return cardAddresses == 0; }
    // Another program holds the port wherever this one would have searched.
    bool portHeld() const { return sendingSockets == 0 && !held.isEmpty(); }
    // Some card, or the replies sent by broadcast, will not be heard.
    bool incomplete() const { return !held.isEmpty() || !failed.isEmpty() || listenerMissing; }
};

class DiscoverySockets
{
public:
    // Every socket is made a child of `owner`, with its readyRead() connected to `readSlot`
    // (a SLOT() signature) of the owner, which calls readSlice().
    DiscoverySockets(QObject *owner, const char *readSlot);
    DiscoverySockets(const DiscoverySockets &) = delete;
    DiscoverySockets &operator=(const DiscoverySockets &) = delete;

    SocketReport refresh();
    const SocketReport &report() const { return lastReport; }

    // Writes the datagram once through every bound IPv4 socket, in address order; returns
    // how many sockets of cards (loopback aside) sent it whole.
    int send(const char *data, int length, const QHostAddress &address, quint16 port);
    // The same through the socket bound to `card` alone: a write leaves only through the card
    // on which its board answered, since a device behind another card may claim the same
    // MAC. Returns 1 when it sent the datagram whole, else 0.
    int sendThrough(const QHostAddress &card, const char *data, int length,
                    const QHostAddress &address, quint16 port);

    // Reads one datagram from each socket that holds one, round after round, until all are
    // empty or a slice of 10 ms has gone by. `readOne` reads exactly one datagram from the
    // socket it is given, or finds none there. `notifier` is the object whose readyRead()
    // led here (sender()), or null.
    void readSlice(const QObject *notifier, const std::function<void(QUdpSocket *)> &readOne);
    // Reads what the sockets still hold when a search's time is up: replies that came in
    // time and that a busy machine had not read yet. Each socket is read at most as many
    // times as its receive buffer can hold replies, so that a flood which goes on cannot hold
    // the caller here.
    void readQueued(const std::function<void(QUdpSocket *)> &readOne);

    // Counts the datagrams that the system drops on the sockets from now on (their receive
    // buffers ran full: replies came faster than they were read). Called once the sockets of
    // a search are bound.
    void markDrops();
    // Datagrams dropped since markDrops() on the sockets bound then; -1 where the platform
    // keeps no count.
    qint64 dropsSinceMark() const;

    bool isListener(const QUdpSocket *socket) const;
    // The local addresses of the last refresh, bound or not.
    QList<QHostAddress> addresses() const;

private:
    // One local address and its socket, null while the address could not be bound.
    struct Entry
    {
        QHostAddress address;
        QUdpSocket *socket = nullptr;
    };

    QList<const QUdpSocket *> allSockets() const;
    QUdpSocket *bound(const QHostAddress &address, QString &reason,
                      QAbstractSocket::SocketError *error = nullptr);
    void closeListener();
    void refreshSubnetListeners(SocketReport &report);

    QObject *owner;
    const char *readSlot;
    std::list<Entry> sockets;
    QUdpSocket *listener = nullptr;
    // Keyed by the subnet broadcast address they are bound to.
    std::list<Entry> subnetListeners;
    SocketReport lastReport;
    // The system's drop count of each socket at markDrops(), by the socket's inode.
    std::unordered_map<std::uint64_t, std::uint64_t> dropsAtMark;
};
