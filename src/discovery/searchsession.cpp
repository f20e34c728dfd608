// SPDX-License-Identifier: MIT
#include "searchsession.h"

#include <algorithm>

SearchSession::SearchSession(SearchNetwork &network, bool listensBetweenSearches, int intervalMs)
    : network(network), listensBetweenSearches(listensBetweenSearches), interval(intervalMs),
      listening(listensBetweenSearches)
{
}

SocketReport SearchSession::start(int durationMs)
{
    // Replies that came in since the last search (a board answering late) belong to none:
    // the command line reads and drops them. The window lists them, as it lists any reply.
    if (!listensBetweenSearches) {
        listening = false;
        network.read(nullptr, [](const HeardReply &) {});
    }
    const SocketReport report = network.refresh();
    network.markDrops();
    book.clear();
    duration = durationMs;
    // A search restarted during a series (the end of an escaped reboot wait) sends a full
    // series of its own: the queries left of the old one could be none at all.
    sent = 0;
    listening = true;
    return report;
}

// Queries at 1, 2, 3 and 4 s, those that come before the search's end; the series ends one
// interval after the last.
bool SearchSession::queryDue()
{
    if (sent == queriesPerSearch || nextQueryAtMs() >= duration) {
        sent = 0;
        return false;
    }
    const QueryDatagram query = queryDatagram();
    broadcast(QByteArray(reinterpret_cast<const char *>(query.data()), int(query.size())));
    ++sent;
    return true;
}

void SearchSession::read(const QObject *notifier, const OnHeard &onHeard)
{
    network.read(notifier, [this, &onHeard](const HeardReply &reply) {
        const Heard fate = heard(reply);
        if (onHeard)
            onHeard(reply, fate);
    });
}

SearchSession::Heard SearchSession::heard(const HeardReply &reply)
{
    if (!listening)
        return Heard::Dropped;
    const bool wasCapped = book.capped();
    switch (book.add(reply)) {
    case BoardReplies::Added::Listed:
        return Heard::Listed;
    case BoardReplies::Added::Kept:
        return Heard::Kept;
    case BoardReplies::Added::Repeated:
        return Heard::Repeated;
    case BoardReplies::Added::Capped:
        break;
    }
    return wasCapped ? Heard::Dropped : Heard::CapReached;
}

SearchSession::Ended SearchSession::end(bool readQueued, const OnHeard &onHeard)
{
    if (readQueued) {
        network.readQueued([this, &onHeard](const HeardReply &reply) {
            const Heard fate = heard(reply);
            if (onHeard)
                onHeard(reply, fate);
        });
    }
    listening = listensBetweenSearches;
    Ended ended;
    // Counted after the queued replies were read: the buffers stay open until then.
    ended.dropped = std::max<qint64>(0, network.dropsSinceMark());
    // A write is judged by the first search that ends after its wait: the search its wait
    // started, or the one that restarted it.
    for (auto write = writes.begin(); write != writes.end();) {
        if (!write->waitIsOver) {
            ++write;
            continue;
        }
        Verdict verdict = write->verdict;
        verdict.verdict = judgeRestart(verdict.sent, verdict.base, write->before,
                                       book.repliesOf(verdict.sent.mac));
        ended.verdicts.append(verdict);
        write = writes.erase(write);
    }
    return ended;
}

int SearchSession::write(const DeviceRecord &sentRecord, const HeardReply &base,
                         const QVector<HeardReply> &before)
{
    const WriteDatagram datagram = buildWriteDatagram(sentRecord);
    const QByteArray bytes(reinterpret_cast<const char *>(datagram.data()), int(datagram.size()));
    // Only through the card of the chosen reply: a device behind another card may claim the
    // same MAC, and would take settings meant for another network. A reply whose card the
    // system did not name leaves no choice but every card.
    const int cards = base.card.isNull() ? broadcast(bytes) : network.sendThrough(base.card, bytes);
    Write write;
    write.verdict.sent = sentRecord;
    write.verdict.base = base;
    write.before = before;
    writes.append(write);
    return cards;
}

void SearchSession::waitOver()
{
    for (Write &write : writes) {
        if (!write.waitIsOver) {
            write.waitIsOver = true;
            return;
        }
    }
}

void SearchSession::allWaitsOver()
{
    for (Write &write : writes)
        write.waitIsOver = true;
}
