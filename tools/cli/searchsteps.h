// SPDX-License-Identifier: MIT
#pragma once

// The steps that set and apply share: searches and waits with their countdown, the choice
// of the reply a write starts from, the write itself and the verdict after the restart.

#include "boardsearch.h"
#include "boardsettings.h"
#include "restartverdict.h"

#include <QVector>

#include <optional>

// The sockets and the first search, into `boards`: -1, or the exit status (with its message
// printed) when the command ends here, for want of a card or by a signal. `beforeWrites`
// adds that nothing was sent. The search's own warnings are printed, and added to `warnings`
// when it is given.
int firstSearch(BoardSearch &search, int ms, bool beforeWrites, QVector<FoundBoard> &boards,
                QStringList *warnings = nullptr);
QVector<FoundBoard> searchWithCountdown(BoardSearch &search, int ms,
                                        QStringList *warnings = nullptr);
void waitWithCountdown(BoardSearch &search, int ms);

// A board missing from a search that could not query every card may sit behind a card that
// was not searched: notFound and notBack become partial then.
int unlessIncomplete(const BoardSearch &search, int code);

const FoundBoard *findBoard(const QVector<FoundBoard> &boards, const MacAddress &mac);

// The reply a write may start from. With one reply that is the reply. When different replies
// claim the MAC, the user must name the board's current IP: only the replies with that IP
// count, and they must agree on everything the write keeps from them. An empty result means
// `base` is set; otherwise it says why nothing may be sent.
QString chooseReply(const FoundBoard &board, const std::optional<Address> &expectedIp,
                    const SettingsChange &change, AddressRule rule, FoundBoard &base,
                    const QString &expectOption);

QString refusalText(const SettingsProblem &problem, const DeviceRecord &reported,
                    const DeviceRecord &sent);

// Through the card the chosen reply `base` came through only; `before` is the board as the
// first search showed it, with every reply that claims its MAC.
bool sendWrite(BoardSearch &search, const DeviceRecord &record, const FoundBoard &base,
               const FoundBoard &before);

// The result of one board after its restart, and its exit status.
struct Outcome
{
    int code = 0;
    QString text;
};

// The result line of a write, from the session's verdict on it (the window's rule,
// restartverdict.h).
Outcome verify(const RestartVerdict &verdict, const DeviceRecord &sent);
// The verdict on the write to `mac` in the last search; NotBack when it has none.
RestartVerdict verdictFor(const BoardSearch &search, const MacAddress &mac);

// The settings of a "sent" line. A short-layout reply reports no level-2 code, so the write
// sends it off unless the change names it; the line says so.
QString sentText(const DeviceRecord &sent, const FoundBoard &base, const SettingsChange &change);

// The result of a board that was sent its settings when a signal ended the wait, and the
// message that ends the command then.
QString notVerifiedText();
QString interruptedAfterWritesText();
// The messages that end an interrupted command before its first write and after it, "%1"
// standing for the signal's name (see setInterruptedLines()).
QString nothingSentMessage();
QString afterWritesMessage();
