// SPDX-License-Identifier: MIT
#include "boardsearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cstring>

namespace {

constexpr int progressInterval = 200;
constexpr int readSliceMs = 10;

// The same binds as the window, so that both can share port 4022 with each other and with
// any other copy of either.
constexpr QAbstractSocket::BindMode bindMode =
    QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;

quint32 addressValue(const std::uint8_t bytes[4])
{
    return quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | bytes[3];
}

// A broadcast reply names no local address: the card's address in the board's subnet is
// the one the board can be reached from, and the first IPv4 address otherwise.
QString cardAddressFor(const QNetworkInterface &card, const DeviceRecord &record)
{
    QString first;
    const quint32 board = addressValue(record.ip);
    for (const QNetworkAddressEntry &entry : card.addressEntries()) {
        if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const quint32 mask = entry.netmask().toIPv4Address();
        if ((entry.ip().toIPv4Address() & mask) == (board & mask))
            return entry.ip().toString();
        if (first.isEmpty())
            first = entry.ip().toString();
    }
    return first;
}

} // namespace

BoardSearch::BoardSearch(QObject *parent) : QObject(parent) {}

BoardSearch::~BoardSearch() = default;

bool BoardSearch::open()
{
    // A PC may list one address twice (on two cards); a second socket on it would give every
    // board a second copy of each datagram.
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (ownAddresses.contains(address))
            continue;
        ownAddresses.append(address);
        auto socket = std::make_unique<QUdpSocket>();
        if (socket->bind(address, devicePort, bindMode))
            socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                    receiveBufferSize);
        QUdpSocket *own = socket.get();
        connect(own, &QUdpSocket::readyRead, this, [this, own] { readFrom(own); });
        sockets.push_back(std::move(socket));
    }
    broadcastListener = std::make_unique<QUdpSocket>();
    if (broadcastListener->bind(QHostAddress::AnyIPv4, devicePort, bindMode))
        broadcastListener->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                           receiveBufferSize);
    connect(broadcastListener.get(), &QUdpSocket::readyRead, this,
            [this] { readFrom(broadcastListener.get()); });

    return std::any_of(sockets.cbegin(), sockets.cend(), [](const auto &socket) {
        return socket->state() == QAbstractSocket::BoundState &&
               socket->localAddress().protocol() == QAbstractSocket::IPv4Protocol;
    });
}

QVector<FoundBoard> BoardSearch::search(int durationMs, const Progress &progress)
{
    // Replies that came in since the last search (a board answering late) are not part of
    // this one. They are dropped through the sockets' own notifications: reading a socket
    // outside its readyRead() can leave Qt waiting for a read that never comes, and the
    // socket silent for the rest of the run.
    collecting = false;
    QCoreApplication::processEvents();
    found.clear();
    foundMacs.clear();
    collecting = true;
    runFor(durationMs, progress, true);
    collecting = false;
    return found;
}

void BoardSearch::pause(int durationMs, const Progress &progress)
{
    collecting = false;
    runFor(durationMs, progress, false);
}

int BoardSearch::broadcast(const QByteArray &datagram)
{
    const QHostAddress destination(QString::fromLatin1(broadcastAddress));
    int sent = 0;
    // Only bound sockets send: Qt binds an unbound socket to the any-address and an
    // ephemeral port on its first write, which would give every board a second copy.
    for (const auto &socket : sockets) {
        if (socket->state() == QAbstractSocket::BoundState &&
            socket->localAddress().protocol() == QAbstractSocket::IPv4Protocol &&
            socket->writeDatagram(datagram, destination, devicePort) == datagram.size())
            ++sent;
    }
    return sent;
}

void BoardSearch::runFor(int durationMs, const Progress &progress, bool withQueries)
{
    QEventLoop loop;
    // Timers made with this context die with it, so none fires after the loop has ended.
    QObject context;
    QElapsedTimer clock;
    clock.start();

    if (withQueries) {
        const QueryDatagram query = queryDatagram();
        const QByteArray bytes(reinterpret_cast<const char *>(query.data()), int(query.size()));
        for (int i = 1; i <= queriesPerSearch && i * queryIntervalMs < durationMs; ++i)
            QTimer::singleShot(i * queryIntervalMs, Qt::PreciseTimer, &context,
                               [this, bytes] { broadcast(bytes); });
    }
    QTimer ticker;
    if (progress) {
        progress(durationMs);
        connect(&ticker, &QTimer::timeout, &context,
                [&] { progress(std::max(0, durationMs - int(clock.elapsed()))); });
        ticker.start(progressInterval);
    }
    QTimer::singleShot(durationMs, Qt::PreciseTimer, &context, [&loop] { loop.quit(); });
    loop.exec();
    if (progress)
        progress(0);
}

// Gives the event loop back after a slice even under a flood that never lets the socket
// run dry, so that the timers that pace and end the search still fire; the socket is
// notified again at once for what is left.
void BoardSearch::readFrom(QUdpSocket *socket)
{
    QElapsedTimer slice;
    slice.start();
    while (socket->state() == QAbstractSocket::BoundState && socket->hasPendingDatagrams() &&
           slice.elapsed() < readSliceMs) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        const QByteArray data = datagram.data();
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(data.constData());
        if (!collecting || !isReply(bytes, std::size_t(data.size())))
            continue;
        FoundBoard board;
        board.record = parseReply(bytes, std::size_t(data.size()));
        const std::uint64_t key = macKey(board.record.mac);
        board.layout = replyLayout(bytes, std::size_t(data.size()));
        if (const auto first = foundMacs.constFind(key); first != foundMacs.cend()) {
            // The first reply stays the board's row, as in the window; a different one is
            // kept aside so that no command writes settings it cannot attribute.
            keepOtherReply(found[first.value()], board);
            continue;
        }
        foundMacs.insert(key, int(found.size()));
        placeReply(board, datagram, socket);
        found.append(board);
    }
}

void BoardSearch::keepOtherReply(FoundBoard &first, const FoundBoard &reply)
{
    // A few are enough to show a conflict; a flood of forged replies must not grow this.
    constexpr int maxOtherReplies = 8;
    const auto same = [&reply](const DeviceRecord &record, ReplyLayout layout) {
        return layout == reply.layout &&
               std::memcmp(&record, &reply.record, sizeof(DeviceRecord)) == 0;
    };
    if (same(first.record, first.layout) || first.otherReplies.size() >= maxOtherReplies ||
        std::any_of(first.otherReplies.cbegin(), first.otherReplies.cend(),
                    [&same](const OtherReply &other) { return same(other.record, other.layout); }))
        return;
    first.otherReplies.append({reply.record, reply.layout});
}

void BoardSearch::placeReply(FoundBoard &board, const QNetworkDatagram &datagram,
                             const QUdpSocket *socket)
{
    const QNetworkInterface receiver = card(datagram.interfaceIndex());
    board.interfaceName = receiver.isValid() ? receiver.name() : QString();
    QHostAddress destination = datagram.destinationAddress();
    if (destination.isNull() && socket != broadcastListener.get())
        destination = socket->localAddress();
    if (!destination.isNull() && ownAddresses.contains(destination)) {
        board.localAddress = destination.toString();
        return;
    }
    board.viaBroadcast = true;
    board.localAddress = receiver.isValid() ? cardAddressFor(receiver, board.record) : QString();
}

QNetworkInterface BoardSearch::card(int index)
{
    if (index <= 0)
        return QNetworkInterface();
    auto cached = cards.find(index);
    if (cached == cards.end())
        cached = cards.insert(index, QNetworkInterface::interfaceFromIndex(index));
    return cached.value();
}
