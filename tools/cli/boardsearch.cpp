// SPDX-License-Identifier: MIT
#include "boardsearch.h"

#include "interruption.h"
#include "settingstext.h"
#include "tooltext.h"

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
constexpr int interruptionCheckInterval = 50;
// Room for any datagram, when its size is not known beforehand.
constexpr qint64 maxDatagramSize = 65536;

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

QString BoardSearch::open()
{
    const SocketReport report = sockets.refresh();
    ownAddresses = sockets.addresses();
    if (report.noCardAddress())
        return QStringLiteral("no IPv4 address on this PC: no network card is connected or "
                              "configured");
    if (report.portHeld())
        return QStringLiteral("UDP port 4022 is already in use on this PC by another program "
                              "(another quorvan-cli, a quorvan-config window or another "
                              "program): close it and try again");
    if (report.sendingSockets == 0)
        return QStringLiteral("UDP port 4022 could not be opened on any local IPv4 address: it "
                              "may be used by another program");
    noteProblems();
    return QString();
}

void BoardSearch::noteProblems()
{
    const SocketReport &report = sockets.report();
    ownAddresses = sockets.addresses();
    QStringList found;
    if (report.sendingSockets == 0)
        found << QStringLiteral("UDP port 4022 could not be opened on any local IPv4 address: "
                                "nothing was searched");
    for (const QHostAddress &address : report.held)
        found << QStringLiteral("UDP port 4022 is in use by another program on %1: boards on "
                                "that card were not searched")
                     .arg(address.toString());
    for (const SocketReport::Failure &failure : report.failed)
        found << QStringLiteral("UDP port 4022 could not be opened on %1 (%2): boards on that "
                                "card were not searched")
                     .arg(failure.address.toString(), failure.reason);
    if (report.listenerMissing)
        found << QStringLiteral(
            "UDP port 4022 could not be opened on 255.255.255.255, it is in use by "
            "another program: replies sent by broadcast, those of boards "
            "in a foreign subnet among others, were not received");
    wasIncomplete = wasIncomplete || !found.isEmpty();
    for (const QString &warning : found) {
        if (!warned.contains(warning)) {
            warned.insert(warning);
            warnings << warning;
        }
    }
}

QString BoardSearch::capWarning()
{
    return QStringLiteral("more than %1 different boards answered: only the first %1 are "
                          "listed (a flood of forged replies, or more boards than a search "
                          "can hold)")
        .arg(maxBoardsPerSearch);
}

QString BoardSearch::dropWarning(qint64 dropped)
{
    return QStringLiteral("the system dropped %1 %2 that came faster than they could be read: "
                          "boards may be missing; search again, or raise the receive buffer "
                          "cap (sysctl net.core.rmem_max, see quorvan-cli's README)")
        .arg(dropped)
        .arg(dropped == 1 ? QStringLiteral("reply") : QStringLiteral("replies"));
}

QStringList BoardSearch::takeWarnings()
{
    QStringList taken;
    taken.swap(warnings);
    return taken;
}

QVector<FoundBoard> BoardSearch::search(int durationMs, const Progress &progress)
{
    // Replies that came in since the last search (a board answering late) are not part of
    // this one; they are read and dropped.
    collecting = false;
    QCoreApplication::processEvents();
    // The sockets follow the PC's addresses at every search, as in the window.
    sockets.refresh();
    noteProblems();
    sockets.markDrops();
    found.clear();
    foundMacs.clear();
    wasCapped = false;
    lastDropped = 0;
    collecting = true;
    runFor(durationMs, progress, true);
    collecting = false;
    if (const qint64 dropped = sockets.dropsSinceMark(); dropped > 0) {
        lastDropped = dropped;
        wasIncomplete = true;
        warnings << dropWarning(dropped);
    }
    return found;
}

void BoardSearch::pause(int durationMs, const Progress &progress)
{
    collecting = false;
    runFor(durationMs, progress, false);
}

int BoardSearch::broadcast(const QByteArray &datagram)
{
    return sockets.send(datagram.constData(), datagram.size(),
                        QHostAddress(QString::fromLatin1(broadcastAddress)), devicePort);
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
    // A signal only leaves a note (see interruption.h); looking at it often enough is
    // simpler than waking the loop from the handler, and portable.
    QTimer watch;
    connect(&watch, &QTimer::timeout, &context, [&loop] {
        if (interruption() != 0)
            loop.quit();
    });
    watch.start(interruptionCheckInterval);
    if (interruption() == 0)
        loop.exec();
    if (progress)
        progress(0);
}

void BoardSearch::readReplies()
{
    sockets.readSlice(sender(), [this](QUdpSocket *socket) { readFrom(socket); });
}

void BoardSearch::readFrom(QUdpSocket *socket)
{
    const qint64 size = socket->pendingDatagramSize();
    const QNetworkDatagram datagram = socket->receiveDatagram(size >= 0 ? size : maxDatagramSize);
    const QByteArray data = datagram.data();
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data.constData());
    if (!datagram.isValid() || !collecting || !isReply(bytes, std::size_t(data.size())))
        return;
    FoundBoard board;
    board.layout = replyLayoutByLength(bytes, std::size_t(data.size()));
    board.record = parseReplyAs(bytes, std::size_t(data.size()), board.layout);
    const std::uint64_t key = macKey(board.record.mac);
    if (const auto first = foundMacs.constFind(key); first != foundMacs.cend()) {
        // The first reply stays the board's row, as in the window; a different one is
        // kept aside so that no command writes settings it cannot attribute.
        keepOtherReply(found[first.value()], board);
        return;
    }
    if (found.size() >= maxBoardsPerSearch) {
        if (!wasCapped) {
            wasCapped = true;
            wasIncomplete = true;
            if (!warned.contains(capWarning())) {
                warned.insert(capWarning());
                warnings << capWarning();
            }
        }
        return;
    }
    foundMacs.insert(key, int(found.size()));
    placeReply(board, datagram, socket);
    found.append(board);
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
    // An interface name is whatever bytes its administrator chose, escapes included.
    board.interfaceName = receiver.isValid() ? escapedInput(receiver.name()) : QString();
    QHostAddress destination = datagram.destinationAddress();
    if (destination.isNull() && !sockets.isListener(socket))
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
