// SPDX-License-Identifier: MIT
#include "restartverdict.h"

#include <algorithm>

RestartVerdict judgeRestart(const DeviceRecord &sent, const HeardReply &base,
                            const QVector<HeardReply> &before, const QVector<HeardReply> &after)
{
    RestartVerdict verdict;
    verdict.devices = devicesOf(after);
    // The other devices that claimed the MAC before the write. The reply the write started
    // from is the board's, even when another device answered exactly alike.
    QVector<HeardReply> knownOthers;
    for (const HeardReply &device : devicesOf(before)) {
        if (!sameDevice(device, base))
            knownOthers.append(device);
    }
    const auto isKnownOther = [&knownOthers](const HeardReply &reply) {
        return std::any_of(knownOthers.cbegin(), knownOthers.cend(),
                           [&reply](const HeardReply &other) { return sameDevice(other, reply); });
    };
    QVector<HeardReply> fresh;
    bool knownOtherAsSent = false;
    for (const HeardReply &device : std::as_const(verdict.devices)) {
        if (!isKnownOther(device))
            fresh.append(device);
        else if (differingFields(sent, device.record, device.layout).isEmpty())
            knownOtherAsSent = true;
    }
    if (fresh.size() > 1) {
        verdict.kind = RestartVerdict::CannotTell;
        verdict.why = RestartVerdict::SeveralNew;
        return verdict;
    }
    // Another device that answers exactly what was sent may be hiding the board: back as sent
    // and indistinguishable from it, or missing behind it.
    if (knownOtherAsSent) {
        verdict.kind = RestartVerdict::CannotTell;
        verdict.why = RestartVerdict::KnownOtherAsSent;
        return verdict;
    }
    if (fresh.isEmpty()) {
        verdict.kind = RestartVerdict::NotBack;
        return verdict;
    }
    verdict.board = fresh.first();
    verdict.fields = differingFields(sent, verdict.board.record, verdict.board.layout);
    verdict.kind = verdict.fields.isEmpty() ? RestartVerdict::Applied : RestartVerdict::Differs;
    return verdict;
}
