// SPDX-License-Identifier: MIT
#pragma once

// The network side of the command-line companion: the window's search session
// (searchsession.h) on the window's sockets, bound again at every search, driven in a local
// event loop so that the commands can be written as plain sequences of steps: a search that
// sends the window's query series and lists every board, the writes through their boards'
// cards, and the verdicts on them after the wait for the restart.

#include "boardcsv.h"
#include "boardreplies.h"
#include "protocol.h"
#include "searchnetwork.h"
#include "searchsession.h"

#include <QHash>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// One board as its first reply of a search showed it, with where the reply arrived (the
// fields of a listed row).
struct FoundBoard : BoardRow
{
    // Every other distinct reply for the same MAC in the same search: a second device that
    // claims the MAC, or the board heard through a second card, whose settings or card must
    // not be taken for the board's.
    QVector<HeardReply> otherReplies;

    static FoundBoard fromReplies(const QVector<HeardReply> &replies);
    // Every reply for the MAC, the first first, as heard (interface names not escaped).
    QVector<HeardReply> replies() const;

private:
    QVector<HeardReply> heard;
};

class BoardSearch : public QObject
{
    Q_OBJECT

public:
    // Called about every 200 ms during a search with the milliseconds left.
    using Progress = std::function<void(int msLeft)>;

    explicit BoardSearch(QObject *parent = nullptr);
    // On another network than the PC's sockets: the tests' simulated cards and devices, with
    // queries `queryIntervalMs` apart.
    BoardSearch(SearchNetwork *network, int queryIntervalMs, QObject *parent = nullptr);
    ~BoardSearch() override;

    // Binds the sockets. Empty when a search can go on; otherwise why nothing could be
    // searched (no IPv4 address, port 4022 held by another program, no socket bound).
    QString open();
    // Why some addresses were not searched, one text per problem, each said once.
    QStringList takeWarnings();
    // Some search so far could not query every card, or heard more boards than it lists.
    bool incomplete() const { return wasIncomplete; }
    // The last search heard more than maxBoardsPerSearch different boards.
    bool capped() const { return wasCapped; }
    static QString capWarning();
    // The last search lost replies to the system (its receive buffers ran full); 0 when
    // none, or where the platform does not count them.
    qint64 dropped() const { return lastDropped; }
    static QString dropWarning(qint64 dropped);

    // Queries at 1, 2, 3 and 4 s (those that come before the end) and listens for
    // `durationMs` in all; boards are listed in the order of their first replies.
    QVector<FoundBoard> search(int durationMs, const Progress &progress = Progress());

    // Sends the write of `sent` through the card of `base`, the reply the user chose among
    // `before`'s (searchsession.h); false when no card sent it.
    bool write(const DeviceRecord &sent, const FoundBoard &base, const FoundBoard &before);
    // The verdicts of the last search on the writes whose wait was over, in the order written.
    const QVector<SearchSession::Verdict> &verdicts() const { return lastVerdicts; }

    // Both end early once a signal asked the command to stop (see interruption.h).
    // Waits for the restart of the boards written, without listening (what arrives meanwhile
    // is dropped); the search after it judges them.
    void waitForRestart(int durationMs, const Progress &progress = Progress());

private slots:
    void readReplies();

private:
    void noteProblems();
    void runFor(int durationMs, const Progress &progress, bool withQueries);

    SocketNetwork sockets{this, SLOT(readReplies()), true};
    SearchSession session;
    QStringList warnings;
    QSet<QString> warned;
    bool wasIncomplete = false;
    bool wasCapped = false;
    qint64 lastDropped = 0;
    QVector<SearchSession::Verdict> lastVerdicts;
};
