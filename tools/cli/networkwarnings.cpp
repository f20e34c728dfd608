// SPDX-License-Identifier: MIT
#include "networkwarnings.h"

#include "boardsettings.h"
#include "tooltext.h"

#include <QMap>
#include <QNetworkInterface>

QString replySummary(const DeviceRecord &record)
{
    return QStringLiteral("%1, port %2, version %3")
        .arg(describeSettings(record), portText(record), versionText(record));
}

QString describeReplies(const QVector<HeardReply> &replies)
{
    QStringList texts;
    for (const HeardReply &reply : replies) {
        QString text = replySummary(reply.record);
        if (!reply.card.isNull())
            text += QStringLiteral(", through %1").arg(reply.card.toString());
        if (!reply.interfaceName.isEmpty())
            text += QStringLiteral(" (%1)").arg(escapedInput(reply.interfaceName));
        texts << text;
    }
    return texts.join(QStringLiteral("; "));
}

QString conflictText(const FoundBoard &board)
{
    const QVector<HeardReply> replies = board.replies();
    const int devices = int(devicesOf(replies).size());
    const int cards = int(cardsOf(replies).size());
    QStringList what;
    if (devices > 1)
        what << QStringLiteral("%1 different replies").arg(devices);
    if (cards > 1)
        what << QStringLiteral("through %1 network cards").arg(cards);
    QStringList each;
    for (const HeardReply &reply : replies)
        each << describeReplies({reply});
    return QStringLiteral("board %1 answered with %2, so another device may claim its MAC: (%3)")
        .arg(macText(board.record.mac), what.join(QStringLiteral(" ")),
             each.join(QStringLiteral(") (")));
}

QStringList boardWarnings(const QVector<FoundBoard> &boards, const QVector<LocalNetwork> &networks)
{
    QStringList warnings;
    // Keyed by address and then by MAC, so that the warnings do not depend on which board
    // happened to answer first.
    QMap<quint32, QMap<quint64, QString>> macsByAddress;
    for (const FoundBoard &board : boards)
        macsByAddress[addressValue(board.record.ip)].insert(macKey(board.record.mac),
                                                            macText(board.record.mac));
    for (auto it = macsByAddress.cbegin(); it != macsByAddress.cend(); ++it) {
        if (it.value().size() > 1)
            warnings << QStringLiteral("boards %1 report the same IP address %2")
                            .arg(it.value().values().join(QStringLiteral(", ")),
                                 QHostAddress(it.key()).toString());
    }

    for (const FoundBoard &board : boards) {
        if (isClaimedTwice(board.replies()))
            warnings << conflictText(board);
    }

    for (const FoundBoard &board : boards) {
        const quint32 ip = addressValue(board.record.ip);
        const QString mac = macText(board.record.mac);
        const QString ipText = addressText(board.record.ip);
        bool inSubnet = false;
        for (const LocalNetwork &network : networks) {
            if (network.address == ip)
                warnings << QStringLiteral("board %1 reports %2, an address of this PC (%3)")
                                .arg(mac, ipText, escapedInput(network.interfaceName));
            if ((network.address & network.mask) == (ip & network.mask))
                inSubnet = true;
        }
        if (!inSubnet)
            warnings << QStringLiteral(
                            "board %1 (%2) lies in no subnet of this PC; it can still be "
                            "reconfigured, since the write goes by broadcast")
                            .arg(mac, ipText);
    }
    return warnings;
}
