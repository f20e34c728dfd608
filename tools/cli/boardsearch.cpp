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

} // namespace

FoundBoard FoundBoard::fromReplies(const QVector<HeardReply> &replies)
{
    const HeardReply &first = replies.first();
    FoundBoard board;
    board.record = first.record;
    board.layout = first.layout;
    board.otherReplies = replies.mid(1);
    board.localAddress = first.card.isNull() ? QString() : first.card.toString();
    // An interface name is whatever bytes its administrator chose, escapes included.
    board.interfaceName = escapedInput(first.interfaceName);
    board.viaBroadcast = first.viaBroadcast;
    board.heard = replies;
    return board;
}

QVector<HeardReply> FoundBoard::replies() const
{
    if (!heard.isEmpty())
        return heard;
    HeardReply first;
    first.record = record;
    first.layout = layout;
    first.card = QHostAddress(localAddress);
    first.interfaceName = interfaceName;
    first.viaBroadcast = viaBroadcast;
    return QVector<HeardReply>{first} + otherReplies;
}

BoardSearch::BoardSearch(QObject *parent) : QObject(parent) {}

BoardSearch::~BoardSearch() = default;

QString BoardSearch::open()
{
    const SocketReport report = sockets.refresh();
    reader.refresh();
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
    reader.refresh();
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
    wasCapped = false;
    lastDropped = 0;
    collecting = true;
    runFor(durationMs, progress, true);
    // Replies that came in time are listed even when a busy machine fell behind in reading
    // them; the drops are counted after them, as the buffers stay open until then.
    if (interruption() == 0)
        sockets.readQueued([this](QUdpSocket *socket) { readFrom(socket); });
    collecting = false;
    if (const qint64 dropped = sockets.dropsSinceMark(); dropped > 0) {
        lastDropped = dropped;
        wasIncomplete = true;
        warnings << dropWarning(dropped);
    }
    QVector<FoundBoard> boards;
    boards.reserve(found.size());
    for (int i = 0; i < found.size(); ++i)
        boards.append(FoundBoard::fromReplies(found.replies(i)));
    return boards;
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

int BoardSearch::broadcastThrough(const QHostAddress &card, const QByteArray &datagram)
{
    return sockets.sendThrough(card, datagram.constData(), datagram.size(),
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
    const std::optional<HeardReply> reply = reader.read(socket);
    // The first reply stays the board's row, as in the window; a different one is kept
    // aside so that no command writes settings or through a card it cannot attribute.
    if (!reply || !collecting || found.add(*reply) != BoardReplies::Added::Capped || wasCapped)
        return;
    wasCapped = true;
    wasIncomplete = true;
    if (!warned.contains(capWarning())) {
        warned.insert(capWarning());
        warnings << capWarning();
    }
}
