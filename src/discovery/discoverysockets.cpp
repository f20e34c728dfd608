// SPDX-License-Identifier: MIT
#include "discoverysockets.h"

#include "protocol.h"
#include "socketdrops.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QObject>
#include <QUdpSocket>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace {

// A read notification takes whatever the sockets hold, but gives the event loop back after
// this long even under a flood that never lets them run dry.
constexpr int readSliceMs = 10;

// No socket shares port 4022: a bind that shares it would let a program that starts later
// bind over this one and take its replies, and the check that nobody holds the port would
// have to be a step of its own before the bind, with a gap in which a second copy of this
// tool could check too. Without sharing the bind is the check, in one system call. Linux:
// no SO_REUSEADDR, and the kernel refuses a bind that overlaps any other binding of the
// port, the wildcard address's included, whatever options that binding has. Windows:
// SO_EXCLUSIVEADDRUSE, Qt's DontShareAddress there (Microsoft, "Using SO_REUSEADDR and
// SO_EXCLUSIVEADDRUSE", Winsock documentation).
constexpr QAbstractSocket::BindMode bindMode = QAbstractSocket::DontShareAddress;

// What differs between the platforms, and only that, is decided here.
#ifdef Q_OS_WIN
// Windows hands a datagram sent to 255.255.255.255 to the sockets bound to the addresses of
// the card it arrives on, so the address sockets already hear the boards that answer by
// broadcast, and a listener on the any-address would bring each of those replies a second
// time. Next to exclusive binds it could not be exclusive itself: the same page's table
// gives WSAEADDRINUSE for an exclusive bind of the wildcard address while any socket holds
// the port.
constexpr bool useListener = false;
// In that table an exclusive bind of one address over a program bound to the wildcard
// address is only access-checked ("CHECK"), so it succeeds for a program of the same user:
// the probe of single addresses does not see such a program, the probe of the whole port
// does. Another copy of this tool binds single addresses exclusively, and those binds
// exclude one another whatever the order, so the probe only has to catch other programs.
// The probe of the whole port fails just as well for a program on one single address (a
// second tool, a VPN's or a virtual card's service), which holds that card only: the binds
// of the addresses find it, and only when none of them is refused does the probe's failure
// mean a program on the wildcard address, whose port on every card is then left to it (the
// binds, made for that moment, are closed again). Windows' table of UDP endpoints would
// tell the two apart without binding, but Wine, which binds such a socket to the wildcard
// address of one card, lists it there.
constexpr bool addressProbeMissesWildcard = true;
const QHostAddress listenerAddress;
#else
// Linux hands a datagram sent to 255.255.255.255 only to sockets bound to the any-address
// or to 255.255.255.255 itself, so the boards that answer by broadcast (the usual case for a
// board in a foreign subnet) are heard through a listener on 255.255.255.255. That address
// overlaps none of the card addresses, so the listener needs no sharing either (one on the
// any-address would).
constexpr bool useListener = true;
constexpr bool addressProbeMissesWildcard = false;
const QHostAddress listenerAddress(QHostAddress::Broadcast);
#endif

enum class Probe { Free, Held, Failed };

// WSAEACCES is how Windows refuses some binds over an exclusive one.
Probe refusal(QAbstractSocket::SocketError error)
{
    return error == QAbstractSocket::AddressInUseError ||
                   error == QAbstractSocket::SocketAccessError
               ? Probe::Held
               : Probe::Failed;
}

// Whether another program holds port 4022 on the wildcard address, where Windows lets an
// exclusive bind of one address through (see addressProbeMissesWildcard): one short bind,
// released at once, before this program binds anything.
Probe probe(const QHostAddress &address, QString &reason)
{
    QUdpSocket probe;
    if (probe.bind(address, devicePort, QAbstractSocket::DontShareAddress))
        return Probe::Free;
    reason = probe.errorString();
    return refusal(probe.error());
}

bool isIPv4(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol;
}

bool isBound(const QUdpSocket *socket)
{
    return socket && socket->state() == QAbstractSocket::BoundState;
}

void discard(QUdpSocket *socket)
{
    if (!socket)
        return;
    socket->close();
    delete socket;
}

} // namespace

DiscoverySockets::DiscoverySockets(QObject *owner, const char *readSlot)
    : owner(owner), readSlot(readSlot)
{
}

// An address stays on the list for as long as the PC has it. A socket bound to an address
// that has left the PC fails every send, so it is closed; a card that comes up, or an
// address that was refused before, is tried at every search.
SocketReport DiscoverySockets::refresh()
{
    // A PC may list one address twice (on two cards); a second socket on it would give every
    // board a second copy of each datagram.
    QList<QHostAddress> current;
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (!current.contains(address))
            current.append(address);
    }
    // The cards first: no board answers on loopback, and Wine refuses a second exclusive bind
    // of the port even on another address, so the card must not lose it to loopback there.
    std::stable_partition(current.begin(), current.end(),
                          [](const QHostAddress &address) { return !address.isLoopback(); });
    std::list<Entry> next;
    for (const QHostAddress &address : current) {
        const auto kept = std::find_if(sockets.begin(), sockets.end(), [&](const Entry &entry) {
            return entry.address == address;
        });
        if (kept != sockets.end())
            next.splice(next.end(), sockets, kept);
        else
            next.push_back({address, nullptr});
    }
    for (Entry &gone : sockets)
        discard(gone.socket);
    sockets.swap(next);

    const auto waiting = [](const Entry &entry) { return !isBound(entry.socket); };
    const bool ipv4Waiting = std::any_of(sockets.cbegin(), sockets.cend(), [&](const Entry &entry) {
        return waiting(entry) && isIPv4(entry.address);
    });
    const bool holdsIPv4 = std::any_of(sockets.cbegin(), sockets.cend(), [](const Entry &entry) {
        return isBound(entry.socket) && isIPv4(entry.address);
    });
    QString reason;
    const bool portBusy = addressProbeMissesWildcard && ipv4Waiting && !holdsIPv4 &&
                          probe(QHostAddress(QHostAddress::AnyIPv4), reason) != Probe::Free;

    struct Attempt
    {
        Entry *entry;
        Probe result;
        QString reason;
    };
    QVector<Attempt> attempts;
    for (Entry &entry : sockets) {
        if (!waiting(entry))
            continue;
        discard(entry.socket);
        entry.socket = nullptr;
        attempts.append({&entry, Probe::Free, QString()});
    }
    bool addressHeld = false;
    for (Attempt &attempt : attempts) {
        QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
        attempt.entry->socket = bound(attempt.entry->address, attempt.reason, &error);
        if (!attempt.entry->socket)
            attempt.result = refusal(error);
        addressHeld = addressHeld || attempt.result == Probe::Held;
    }
    const bool wildcardHeld = portBusy && !addressHeld;

    SocketReport report;
    for (Attempt &attempt : attempts) {
        const QHostAddress &address = attempt.entry->address;
        if (wildcardHeld && isIPv4(address)) {
            discard(attempt.entry->socket);
            attempt.entry->socket = nullptr;
            attempt.result = Probe::Held;
        }
        if (!isIPv4(address) || address.isLoopback())
            continue; // no board answers there
        if (attempt.result == Probe::Held)
            report.held.append(address);
        else if (attempt.result == Probe::Failed)
            report.failed.append({address, attempt.reason});
    }

    // No board answers on loopback: only the cards count, for the report as for the sends.
    for (const Entry &entry : sockets) {
        if (!isIPv4(entry.address) || entry.address.isLoopback())
            continue;
        ++report.cardAddresses;
        if (isBound(entry.socket))
            ++report.sendingSockets;
    }
    // Without any card to send through there is nothing to listen for; and when every
    // address was refused, the holder may well be bound to the any-address itself.
    if (useListener && !isBound(listener) && report.sendingSockets > 0) {
        closeListener();
        listener = bound(listenerAddress, reason);
        report.listenerMissing = !listener;
    }
    if (useListener)
        refreshSubnetListeners(report);
    lastReport = report;
    return report;
}

QUdpSocket *DiscoverySockets::bound(const QHostAddress &address, QString &reason,
                                    QAbstractSocket::SocketError *error)
{
    auto *socket = new QUdpSocket(owner);
    if (!socket->bind(address, devicePort, bindMode)) {
        reason = socket->errorString();
        if (error)
            *error = socket->error();
        discard(socket);
        return nullptr;
    }
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                            QVariant(receiveBufferSize));
    QObject::connect(socket, SIGNAL(readyRead()), owner, readSlot);
    return socket;
}

QList<const QUdpSocket *> DiscoverySockets::allSockets() const
{
    QList<const QUdpSocket *> all;
    for (const std::list<Entry> *entries : {&sockets, &subnetListeners})
        for (const Entry &entry : *entries)
            if (entry.socket)
                all << entry.socket;
    if (listener)
        all << listener;
    return all;
}

void DiscoverySockets::markDrops()
{
    dropsAtMark.clear();
    const auto counts = SocketDrops::byInode();
    for (const QUdpSocket *socket : allSockets()) {
        const std::uint64_t inode = SocketDrops::inodeOf(socket->socketDescriptor());
        const auto count = counts.find(inode);
        if (inode != 0)
            dropsAtMark[inode] = count != counts.end() ? count->second : 0;
    }
}

qint64 DiscoverySockets::dropsSinceMark() const
{
    if (!SocketDrops::available())
        return -1;
    const auto counts = SocketDrops::byInode();
    qint64 dropped = 0;
    for (const auto &[inode, atMark] : dropsAtMark) {
        const auto count = counts.find(inode);
        // A socket closed since the mark took its count with it.
        if (count != counts.end() && count->second > atMark)
            dropped += qint64(count->second - atMark);
    }
    return dropped;
}

void DiscoverySockets::closeListener()
{
    discard(listener);
    listener = nullptr;
}

// A board may also answer to the broadcast address of its subnet (10.77.0.255 for a board in
// 10.77.0.0/24). Linux hands such a datagram only to sockets bound to the any-address or to
// that very address, so each card's subnet gets a receive-only listener of its own; none of
// them overlaps another binding of the port. /31 and /32 have no broadcast address.
void DiscoverySockets::refreshSubnetListeners(SocketReport &report)
{
    QList<QHostAddress> wanted;
    for (const QNetworkInterface &card : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : card.addressEntries()) {
            const QHostAddress broadcast = entry.broadcast();
            if (report.sendingSockets > 0 && isIPv4(entry.ip()) && !entry.ip().isLoopback() &&
                entry.prefixLength() < 31 && !broadcast.isNull() &&
                broadcast != QHostAddress(QHostAddress::Broadcast) && !wanted.contains(broadcast))
                wanted.append(broadcast);
        }
    }
    std::list<Entry> next;
    for (const QHostAddress &address : std::as_const(wanted)) {
        const auto kept =
            std::find_if(subnetListeners.begin(), subnetListeners.end(),
                         [&](const Entry &entry) { return entry.address == address; });
        if (kept != subnetListeners.end() && isBound(kept->socket)) {
            next.splice(next.end(), subnetListeners, kept);
            continue;
        }
        QString reason;
        QUdpSocket *socket = bound(address, reason);
        if (!socket)
            report.failed.append({address, reason});
        next.push_back({address, socket});
    }
    for (Entry &gone : subnetListeners)
        discard(gone.socket);
    subnetListeners.swap(next);
}

bool DiscoverySockets::isListener(const QUdpSocket *socket) const
{
    return socket && (socket == listener ||
                      std::any_of(subnetListeners.cbegin(), subnetListeners.cend(),
                                  [socket](const Entry &entry) { return entry.socket == socket; }));
}

// Only bound IPv4 sockets send: Qt binds an unbound socket to the any-address and an
// ephemeral port on its first write, which would give every board a second copy of each
// datagram, and a socket of an IPv6 address cannot reach an IPv4 broadcast address.
int DiscoverySockets::send(const char *data, int length, const QHostAddress &address, quint16 port)
{
    int sent = 0;
    for (const Entry &entry : sockets) {
        if (isBound(entry.socket) && isIPv4(entry.address) &&
            entry.socket->writeDatagram(data, length, address, port) == length &&
            !entry.address.isLoopback())
            ++sent;
    }
    return sent;
}

int DiscoverySockets::sendThrough(const QHostAddress &card, const char *data, int length,
                                  const QHostAddress &address, quint16 port)
{
    for (const Entry &entry : sockets) {
        if (entry.address == card && isBound(entry.socket) && isIPv4(entry.address) &&
            !entry.address.isLoopback())
            return entry.socket->writeDatagram(data, length, address, port) == length ? 1 : 0;
    }
    return 0;
}

// The sockets are read in rounds, one datagram from each per round, until they are empty or
// the slice is used up: one datagram per notification let the event loop, and a repaint of
// the table, run between two replies, and a burst of thousands overflowed the buffers.
//
// Qt notifies an unbuffered UDP socket once and then waits for a readDatagram() or
// receiveDatagram() on that very socket; until one comes, its next notification switches
// the socket's read notifier off instead of emitting readyRead(). When several sockets are
// readable in one turn of the event loop, the first handler empties them all, and the
// others' notifications find nothing left. Without a read of their own those sockets would
// fall silent until another socket's handler happened to read them: replies sent by
// broadcast after a unicast one went unread. So every notification ends with a read on the
// socket that sent it, even when it is empty.
//
// Qt 6 keeps this rule as it is (QAbstractSocketPrivate::canReadNotification() and
// QUdpSocket read alike in 5.15 and 6.4): a socket that is not buffered emits readyRead()
// once and raises its pending-data flag; a notification that finds the flag raised switches
// the notifier off without a signal; readDatagram() and receiveDatagram() lower the flag and
// switch the notifier on again whatever they find, an empty read included. Only a
// receiveDatagram() left to size the datagram itself returns early, flag still raised, when
// the socket is empty: the readers here always give it a size.
void DiscoverySockets::readSlice(const QObject *notifier,
                                 const std::function<void(QUdpSocket *)> &readOne)
{
    QUdpSocket *notifying = nullptr;
    bool notifierRead = false;
    bool readAny = true;
    const auto readFrom = [&](QUdpSocket *socket) {
        if (socket == notifier)
            notifying = socket;
        if (!isBound(socket) || !socket->hasPendingDatagrams())
            return;
        readOne(socket);
        readAny = true;
        notifierRead = notifierRead || socket == notifier;
    };
    QElapsedTimer slice;
    slice.start();
    do {
        readAny = false;
        for (const Entry &entry : sockets)
            readFrom(entry.socket);
        readFrom(listener);
        for (const Entry &entry : subnetListeners)
            readFrom(entry.socket);
    } while (readAny && slice.elapsed() < readSliceMs);
    if (notifying && !notifierRead && isBound(notifying))
        readOne(notifying);
}

void DiscoverySockets::readQueued(const std::function<void(QUdpSocket *)> &readOne)
{
    // Linux charges a datagram its whole kernel buffer against the receive buffer (several
    // hundred bytes for a 45-byte reply), Windows little more than its payload; a bound of
    // 32 bytes a reply is above what either can hold.
    constexpr qint64 leastChargePerReply = 32;
    const auto drain = [&](QUdpSocket *socket) {
        if (!isBound(socket))
            return;
        const qint64 buffer =
            socket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toLongLong();
        for (qint64 left = std::max<qint64>(buffer, receiveBufferSize) / leastChargePerReply;
             left > 0 && socket->hasPendingDatagrams(); --left)
            readOne(socket);
    };
    for (const Entry &entry : sockets)
        drain(entry.socket);
    drain(listener);
    for (const Entry &entry : subnetListeners)
        drain(entry.socket);
}

QList<QHostAddress> DiscoverySockets::addresses() const
{
    QList<QHostAddress> list;
    for (const Entry &entry : sockets)
        list.append(entry.address);
    return list;
}
