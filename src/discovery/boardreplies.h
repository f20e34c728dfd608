// SPDX-License-Identifier: MIT
#pragma once

// The replies of one search, kept per MAC address with the card each came through, for the
// window and the command-line companion alike. The first reply of a MAC is the board as
// listed; the other distinct replies for it (another device claiming the MAC, or the same
// one heard through a second card) are kept beside it, a few per MAC, so that nothing is
// written to a MAC whose board cannot be told apart, and so that the check after a restart
// knows which devices already claimed it. A search lists at most maxBoardsPerSearch boards.
// Nothing here touches a socket: the caller says where each reply arrived.

#include "protocol.h"

#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QVector>

// One reply as heard.
struct HeardReply
{
    DeviceRecord record{};
    ReplyLayout layout = ReplyLayout::Long;
    // The PC's address on the card the reply came through: the one it was sent to, or for a
    // broadcast reply the receiving card's address in the board's subnet (else its first).
    // Null when the system did not say.
    QHostAddress card;
    QString interfaceName;
    bool viaBroadcast = false;
};

// Two replies describe the same device when their settings are the same as the tool shows
// them: the port and the version end at their first zero byte, whatever follows.
bool sameSettings(const DeviceRecord &a, const DeviceRecord &b);
bool sameDevice(const HeardReply &a, const HeardReply &b);

// The distinct devices among `replies` (the first of each), in order.
QVector<HeardReply> devicesOf(const QVector<HeardReply> &replies);
// The distinct cards the replies came through, in order, each named by its interface (or,
// where the system did not name one, its address); unknown cards are left out. A board
// that answers the queries from two addresses of one card is heard through one card.
QStringList cardsOf(const QVector<HeardReply> &replies);
// More than one device claims the MAC, or it was heard through more than one card.
bool isClaimedTwice(const QVector<HeardReply> &replies);

class BoardReplies
{
public:
    // A few replies beside the first are enough to show a conflict; a flood of forged replies
    // must not grow the list.
    static constexpr int maxRepliesPerBoard = 9;

    enum class Added {
        Listed,   // the first reply of a new board
        Repeated, // a reply already kept for its MAC
        Kept,     // a new distinct reply for a listed MAC
        Capped    // a new board beyond maxBoardsPerSearch, dropped
    };

    Added add(const HeardReply &reply);
    void clear();

    int size() const { return int(boards.size()); }
    bool capped() const { return wasCapped; }
    // In the order of their first replies; the first reply is the listed one.
    const QVector<HeardReply> &replies(int board) const { return boards.at(board); }
    // Empty when the MAC was not heard.
    QVector<HeardReply> repliesOf(const std::uint8_t mac[6]) const;

private:
    QVector<QVector<HeardReply>> boards;
    QHash<quint64, int> index;
    bool wasCapped = false;
};
