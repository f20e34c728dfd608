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
    static_cast<BoardRow &>(board) = BoardRow::of(first.record, first);
    board.otherReplies = replies.mid(1);
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

BoardSearch::BoardSearch(QObject *parent) : BoardSearch(nullptr, queryIntervalMs, parent) {}

BoardSearch::BoardSearch(SearchNetwork *network, int queryIntervalMs, QObject *parent)
    : QObject(parent), session(network ? *network : sockets, false, queryIntervalMs)
{
}

BoardSearch::~BoardSearch() = default;

QString BoardSearch::open()
{
    const SocketReport report = session.open();
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
    const SocketReport &report = session.report();
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
    // The sockets follow the PC's addresses at every search, as in the window.
    session.start(durationMs);
    noteProblems();
    runFor(durationMs, progress, true);
    // Replies that came in time are listed even when a busy machine fell behind in reading
    // them; an interrupted command reads no more.
    const SearchSession::Ended ended = session.end(interruption() == 0);
    lastVerdicts = ended.verdicts;
    wasCapped = session.capped();
    if (wasCapped) {
        wasIncomplete = true;
        if (!warned.contains(capWarning())) {
            warned.insert(capWarning());
            warnings << capWarning();
        }
    }
    lastDropped = ended.dropped;
    if (lastDropped > 0) {
        wasIncomplete = true;
        warnings << dropWarning(lastDropped);
    }
    const BoardReplies &found = session.replies();
    QVector<FoundBoard> boards;
    boards.reserve(found.size());
    for (int i = 0; i < found.size(); ++i)
        boards.append(FoundBoard::fromReplies(found.replies(i)));
    return boards;
}

void BoardSearch::waitForRestart(int durationMs, const Progress &progress)
{
    runFor(durationMs, progress, false);
    if (interruption() == 0)
        session.allWaitsOver();
}

bool BoardSearch::write(const DeviceRecord &sent, const FoundBoard &base, const FoundBoard &before)
{
    return session.write(sent, base.replies().first(), before.replies()) > 0;
}

void BoardSearch::runFor(int durationMs, const Progress &progress, bool withQueries)
{
    QEventLoop loop;
    // Timers made with this context die with it, so none fires after the loop has ended.
    QObject context;
    QElapsedTimer clock;
    clock.start();

    // One timer takes the queries and the end in their order, each timed from the start of
    // the search: however late a busy machine runs the loop, a query due before the end goes
    // out before it, and the series does not drift.
    bool querying = withQueries;
    const auto nextStep = [&] {
        return querying ? std::min(session.nextQueryAtMs(), durationMs) : durationMs;
    };
    QTimer steps;
    steps.setSingleShot(true);
    steps.setTimerType(Qt::PreciseTimer);
    connect(&steps, &QTimer::timeout, &context, [&] {
        const int now = int(clock.elapsed());
        while (querying && session.nextQueryAtMs() <= std::min(now, durationMs))
            querying = session.queryDue();
        if (now >= durationMs) {
            loop.quit();
            return;
        }
        steps.start(std::max(0, nextStep() - now));
    });
    steps.start(std::max(0, nextStep()));
    QTimer ticker;
    if (progress) {
        progress(durationMs);
        connect(&ticker, &QTimer::timeout, &context,
                [&] { progress(std::max(0, durationMs - int(clock.elapsed()))); });
        ticker.start(progressInterval);
    }
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

// The first reply stays the board's row, as in the window; a different one is kept aside
// so that no command writes settings or through a card it cannot attribute.
void BoardSearch::readReplies()
{
    session.read(sender());
}
