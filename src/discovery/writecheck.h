// SPDX-License-Identifier: MIT
#pragma once

// The window's check of its latest write. A board never acknowledges a write: the search
// that follows the wait for its restart is the only answer. When that search ends, its
// replies for the board's MAC are judged by the rule the command-line companion uses
// (restartverdict.h): a board back as sent gets its row selected and a confirmation that
// blocks nothing and closes itself; any other result is told in a warning box with advice. A later write, or a search the user starts before the wait is over, leaves only
// the latest write to be reported.

#include "boardreplies.h"
#include "restartverdict.h"

#include <optional>

class QTableWidget;
class QWidget;

class WriteCheck
{
public:
    // A write went out, started from `base` among the replies `before` of the search that
    // listed the board; its wait begins.
    void written(const DeviceRecord &sent, const HeardReply &base,
                 const QVector<HeardReply> &before);
    // A wait is over and a search starts. Waits end in the order they began, so the last
    // one to end is the latest write's.
    void waitOver();
    // The running search follows the latest write: its end must be reported.
    bool isDue() const { return searching; }
    // The verdict on the latest write, given what the search after it heard.
    RestartVerdict verdict(const BoardReplies &after) const;
    // The search ended: reports on the write it followed, if any.
    void searchEnded(QWidget *window, QTableWidget *table, const BoardReplies &after);

private:
    struct Write
    {
        DeviceRecord sent;
        HeardReply base;
        QVector<HeardReply> before;
    };
    std::optional<Write> latest;
    int waitsRunning = 0;
    bool searching = false;
};
