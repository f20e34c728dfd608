// SPDX-License-Identifier: MIT
#pragma once

// What the search after a board's restart says about the write it followed, one rule for
// the window and the command-line companion. A board never acknowledges a write, and
// another device may claim its MAC: a device that the search before the write already saw
// claiming it, and that still answers as it did, is not the board. Of the other replies,
// exactly one must be new for it to be the board; none means the board did not come back,
// several that no reply can be told to be the board's.

#include "boardreplies.h"
#include "settingsrules.h"

struct RestartVerdict
{
    enum Kind { Applied, Differs, NotBack, CannotTell };
    enum Why {
        NoWhy,
        SeveralNew,       // more than one reply is new
        KnownOtherAsSent, // a device seen before, as it was, reports what was sent
    };
    Kind kind = NotBack;
    Why why = NoWhy;
    // The board's reply (Applied, Differs).
    HeardReply board;
    // Where the board's reply differs from what was sent (Differs).
    QVector<SettingField> fields;
    // The distinct devices that claimed the MAC after the restart.
    QVector<HeardReply> devices;
};

// `before`: the replies for the MAC in the search before the write; `base`: the reply the
// write started from; `after`: the replies for the MAC in the search after the restart.
RestartVerdict judgeRestart(const DeviceRecord &sent, const HeardReply &base,
                            const QVector<HeardReply> &before, const QVector<HeardReply> &after);
