// SPDX-License-Identifier: MIT
#include "boardreplies.h"

#include "devicetext.h"

#include <algorithm>
#include <cstring>

bool sameSettings(const DeviceRecord &a, const DeviceRecord &b)
{
    return std::memcmp(a.mac, b.mac, sizeof a.mac) == 0 && (a.dhcp != 0) == (b.dhcp != 0) &&
           std::memcmp(a.ip, b.ip, 4) == 0 && std::memcmp(a.mask, b.mask, 4) == 0 &&
           std::memcmp(a.gateway, b.gateway, 4) == 0 && std::memcmp(a.dns, b.dns, 4) == 0 &&
           (a.cdeNiveau2 != 0) == (b.cdeNiveau2 != 0) && portToText(a.port) == portToText(b.port) &&
           versionToText(a.version) == versionToText(b.version);
}

bool sameDevice(const HeardReply &a, const HeardReply &b)
{
    return a.layout == b.layout && sameSettings(a.record, b.record);
}

QVector<HeardReply> devicesOf(const QVector<HeardReply> &replies)
{
    QVector<HeardReply> devices;
    for (const HeardReply &reply : replies) {
        if (std::none_of(devices.cbegin(), devices.cend(),
                         [&reply](const HeardReply &device) { return sameDevice(device, reply); }))
            devices.append(reply);
    }
    return devices;
}

QStringList cardsOf(const QVector<HeardReply> &replies)
{
    QStringList cards;
    for (const HeardReply &reply : replies) {
        const QString card =
            reply.interfaceName.isEmpty() ? reply.card.toString() : reply.interfaceName;
        if (!card.isEmpty() && !cards.contains(card))
            cards.append(card);
    }
    return cards;
}

bool isClaimedTwice(const QVector<HeardReply> &replies)
{
    return devicesOf(replies).size() > 1 || cardsOf(replies).size() > 1;
}

BoardReplies::Added BoardReplies::add(const HeardReply &reply)
{
    const quint64 key = macKey(reply.record.mac);
    const auto found = index.constFind(key);
    if (found == index.cend()) {
        if (boards.size() >= maxBoardsPerSearch) {
            wasCapped = true;
            return Added::Capped;
        }
        index.insert(key, int(boards.size()));
        boards.append({reply});
        return Added::Listed;
    }
    QVector<HeardReply> &kept = boards[found.value()];
    // The same device through the same card is the same reply, whatever its padding.
    if (kept.size() >= maxRepliesPerBoard ||
        std::any_of(kept.cbegin(), kept.cend(), [&reply](const HeardReply &old) {
            return old.card == reply.card && sameDevice(old, reply);
        }))
        return Added::Repeated;
    kept.append(reply);
    return Added::Kept;
}

void BoardReplies::clear()
{
    boards.clear();
    index.clear();
    wasCapped = false;
}

QVector<HeardReply> BoardReplies::repliesOf(const std::uint8_t mac[6]) const
{
    const int board = index.value(macKey(mac), -1);
    return board < 0 ? QVector<HeardReply>() : boards.at(board);
}
