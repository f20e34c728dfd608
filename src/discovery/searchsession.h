// SPDX-License-Identifier: MIT
#pragma once

// One search session, for the window and the command-line companion alike: the query
// series, every reply kept per MAC with its card (boardreplies.h), the board cap, the
// replies the system dropped, the writes with their waits, and each write's verdict when
// the search after its wait ends (restartverdict.h). It holds no timer: its owner drives
// it (start, query due, replies heard, end) and arms its own timers from what it says, so
// that the tests can drive it through a simulated network (searchnetwork.h) at their pace.

#include "boardreplies.h"
#include "restartverdict.h"
#include "searchnetwork.h"

#include <QVector>

#include <functional>

class SearchSession
{
public:
    enum class Heard {
        Listed,     // the first reply of a new board
        Kept,       // a new distinct reply for a listed MAC
        Repeated,   // a reply already kept
        CapReached, // the first board beyond the cap in this search, dropped
        Dropped     // beyond the cap again, or no search listens
    };
    using OnHeard = std::function<void(const HeardReply &, Heard)>;

    // One write and what the search after its wait made of it.
    struct Verdict
    {
        DeviceRecord sent;
        HeardReply base;
        RestartVerdict verdict;
    };
    struct Ended
    {
        // Replies the system dropped during the search; 0 when none or where not counted.
        qint64 dropped = 0;
        // The writes whose waits were over before this search ended, in the order written.
        QVector<Verdict> verdicts;
    };

    // `listensBetweenSearches`: the window lists every reply, whenever it comes; the command
    // line only those of its searches. `intervalMs` paces the queries: queryIntervalMs but in
    // the tests, whose simulated boards answer at once.
    SearchSession(SearchNetwork &network, bool listensBetweenSearches,
                  int intervalMs = queryIntervalMs);

    // Binds the sockets without starting a search.
    SocketReport open() { return network.refresh(); }
    const SocketReport &report() const { return network.report(); }

    // A search of `durationMs` starts now: the sockets follow the PC's cards, the replies of
    // the last search are forgotten, and a new query series begins (none is sent at once).
    SocketReport start(int durationMs);
    int durationMs() const { return duration; }
    // A query is due: sends it, or ends the series. True while another query follows, due
    // intervalMs() later (at nextQueryAtMs() from the start).
    bool queryDue();
    int queriesSent() const { return sent; }
    int nextQueryAtMs() const { return (sent + 1) * interval; }
    int intervalMs() const { return interval; }

    // Broadcasts through every card; returns how many cards sent the datagram whole.
    int broadcast(const QByteArray &datagram) { return network.send(datagram); }

    // Reads what the socket `notifier` holds; `onHeard` is told of every reply and its fate.
    void read(const QObject *notifier, const OnHeard &onHeard = OnHeard());
    Heard heard(const HeardReply &reply);
    // The search's time is up. `readQueued`: the replies that came in time and that a busy
    // machine had not read yet are taken first.
    Ended end(bool readQueued, const OnHeard &onHeard = OnHeard());

    const BoardReplies &replies() const { return book; }
    // The running (or last) search heard more boards than it lists.
    bool capped() const { return book.capped(); }

    // Sends the write datagram of `sentRecord` through the card on which `base` arrived, or
    // every card when the system did not say; `before` are the replies for its MAC in the
    // search it started from. Its wait begins; returns how many cards sent it.
    int write(const DeviceRecord &sentRecord, const HeardReply &base,
              const QVector<HeardReply> &before);
    // The oldest wait is over (waits end in the order they began), or every wait is.
    void waitOver();
    void allWaitsOver();
    // Writes still waiting for their verdict.
    int writesPending() const { return int(writes.size()); }

private:
    struct Write
    {
        Verdict verdict;
        QVector<HeardReply> before;
        bool waitIsOver = false;
    };

    SearchNetwork &network;
    const bool listensBetweenSearches;
    const int interval;
    bool listening;
    int duration = searchDurationMs;
    int sent = 0;
    BoardReplies book;
    QVector<Write> writes;
};
