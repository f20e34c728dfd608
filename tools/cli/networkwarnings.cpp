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

namespace {

// Warnings listed of one kind; a flood of forged replies would otherwise print one line per
// board and bury the few warnings that matter.
constexpr int maxWarningsPerKind = 20;

void addCapped(QStringList &warnings, const QStringList &kind, const char *rest)
{
    warnings << kind.mid(0, maxWarningsPerKind);
    if (kind.size() > maxWarningsPerKind)
        warnings << QStringLiteral("\u2026 and %1 more %2")
                        .arg(kind.size() - maxWarningsPerKind)
                        .arg(QLatin1String(rest));
}

} // namespace

QStringList boardWarnings(const QVector<FoundBoard> &boards, const QVector<LocalNetwork> &networks)
{
    QStringList sameAddress;
    // Keyed by address and then by MAC, so that the warnings do not depend on which board
    // happened to answer first.
    QMap<quint32, QMap<quint64, QString>> macsByAddress;
    for (const FoundBoard &board : boards)
        macsByAddress[addressValue(board.record.ip)].insert(macKey(board.record.mac),
                                                            macText(board.record.mac));
    for (auto it = macsByAddress.cbegin(); it != macsByAddress.cend(); ++it) {
        const QStringList macs = it.value().values();
        if (macs.size() < 2)
            continue;
        QString named = macs.mid(0, maxWarningsPerKind).join(QStringLiteral(", "));
        if (macs.size() > maxWarningsPerKind)
            named += QStringLiteral(" and %1 more").arg(macs.size() - maxWarningsPerKind);
        sameAddress << QStringLiteral("boards %1 report the same IP address %2")
                           .arg(named, QHostAddress(it.key()).toString());
    }

    QStringList claimed;
    for (const FoundBoard &board : boards) {
        if (isClaimedTwice(board.replies()))
            claimed << conflictText(board);
    }

    QStringList pcAddress;
    QStringList noSubnet;
    for (const FoundBoard &board : boards) {
        const quint32 ip = addressValue(board.record.ip);
        const QString mac = macText(board.record.mac);
        const QString ipText = addressText(board.record.ip);
        const AddressStanding standing =
            addressStanding(ip, networks, [&board](const LocalNetwork &network) {
                return board.interfaceName.isEmpty() ||
                       escapedInput(network.interfaceName) == board.interfaceName;
            });
        for (const LocalNetwork &network : standing.pcEntries)
            pcAddress << QStringLiteral("board %1 reports %2, an address of this PC (%3)")
                             .arg(mac, ipText, escapedInput(network.interfaceName));
        if (!standing.inSubnet)
            noSubnet << QStringLiteral("board %1 (%2) lies in no subnet of %3; it can still be "
                                       "reconfigured, since the write goes by broadcast")
                            .arg(mac, ipText,
                                 board.interfaceName.isEmpty()
                                     ? QStringLiteral("this PC")
                                     : board.interfaceName +
                                           QStringLiteral(", the card it answered through"));
    }
    QStringList warnings;
    addCapped(warnings, sameAddress, "addresses that several boards report");
    addCapped(warnings, claimed, "boards that answered with different replies");
    addCapped(warnings, pcAddress, "boards that report an address of this PC");
    addCapped(warnings, noSubnet, "boards in no subnet of the card they answered through");
    return warnings;
}
