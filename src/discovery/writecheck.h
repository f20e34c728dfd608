// SPDX-License-Identifier: MIT
#pragma once

// The window's check of its latest write. A board never acknowledges a write: the search
// that follows the wait for its restart is the only answer. When that search ends, the
// board's reply, found by its MAC, is compared with what was sent: a board back as sent gets
// its row selected, any other result is told in a box. A later write, or a search the user
// starts before the wait is over, leaves only the latest write to be reported.

#include "protocol.h"

#include <optional>

class QTableWidget;
class QWidget;

class WriteCheck
{
public:
    // A write went out; its wait begins.
    void written(const DeviceRecord &sent);
    // A wait is over and a search starts. Waits end in the order they began, so the last
    // one to end is the latest write's.
    void waitOver();
    // A board listed by the running search.
    void listed(const DeviceRecord &record, ReplyLayout layout);
    // The running search follows the latest write: its end must be reported.
    bool isDue() const { return searching; }
    // The search ended: reports on the write it followed, if any.
    void searchEnded(QWidget *window, QTableWidget *table);

private:
    struct Reply
    {
        DeviceRecord record;
        ReplyLayout layout = ReplyLayout::Long;
    };
    std::optional<DeviceRecord> sent;
    int waitsRunning = 0;
    bool searching = false;
    std::optional<Reply> back;
};
