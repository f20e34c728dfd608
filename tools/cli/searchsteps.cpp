// SPDX-License-Identifier: MIT
#include "searchsteps.h"

#include "boardoutput.h"
#include "clioutput.h"
#include "commands.h"
#include "countdown.h"
#include "interruption.h"
#include "networkwarnings.h"

#include <algorithm>
#include <cstring>
#include <utility>

QVector<FoundBoard> searchWithCountdown(BoardSearch &search, int ms)
{
    QVector<FoundBoard> boards;
    {
        Countdown countdown(QStringLiteral("searching"));
        boards = search.search(ms, [&countdown](int left) { countdown.show(left); });
    }
    for (const QString &warning : search.takeWarnings())
        printError(QStringLiteral("warning: ") + warning);
    return boards;
}

int unlessIncomplete(const BoardSearch &search, int code)
{
    return search.incomplete() && (code == ExitCode::notFound || code == ExitCode::notBack)
               ? ExitCode::partial
               : code;
}

void waitWithCountdown(BoardSearch &search, int ms)
{
    Countdown countdown(QStringLiteral("waiting for the restart"));
    search.pause(ms, [&countdown](int left) { countdown.show(left); });
}

const FoundBoard *findBoard(const QVector<FoundBoard> &boards, const MacAddress &mac)
{
    const auto found =
        std::find_if(boards.cbegin(), boards.cend(),
                     [&mac](const FoundBoard &board) { return sameMac(board.record, mac); });
    return found != boards.cend() ? &*found : nullptr;
}

namespace {

// Every distinct reply for the board's MAC, the first first, each as a board of its own.
QVector<FoundBoard> repliesOf(const FoundBoard &board)
{
    FoundBoard first = board;
    first.otherReplies.clear();
    QVector<FoundBoard> replies{first};
    for (const OtherReply &other : board.otherReplies) {
        FoundBoard reply = first;
        reply.record = other.record;
        reply.layout = other.layout;
        replies.append(reply);
    }
    return replies;
}

} // namespace

bool sendWrite(BoardSearch &search, const DeviceRecord &record)
{
    const WriteDatagram datagram = buildWriteDatagram(record);
    return search.broadcast(QByteArray(reinterpret_cast<const char *>(datagram.data()),
                                       int(datagram.size()))) > 0;
}

QString chooseReply(const FoundBoard &board, const std::optional<Address> &expectedIp,
                    const SettingsChange &change, AddressRule rule, FoundBoard &base,
                    const QString &expectOption)
{
    QVector<FoundBoard> candidates = repliesOf(board);
    const bool conflict = candidates.size() > 1;
    if (conflict && !expectedIp)
        return conflictText(board) +
               QStringLiteral("; give %1 with the IP it reports now").arg(expectOption);
    if (expectedIp) {
        QStringList reported;
        for (const FoundBoard &candidate : std::as_const(candidates))
            reported << addressText(candidate.record.ip);
        candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                        [&expectedIp](const FoundBoard &candidate) {
                                            return !std::equal(expectedIp->cbegin(),
                                                               expectedIp->cend(),
                                                               candidate.record.ip);
                                        }),
                         candidates.end());
        reported.removeDuplicates();
        if (candidates.isEmpty())
            return QStringLiteral("board %1 reports %2, not the expected IP %3")
                .arg(macText(board.record.mac), reported.join(QStringLiteral(" and ")),
                     addressText(expectedIp->data()));
    }
    DeviceRecord wanted;
    applyChange(candidates.first().record, change, rule, wanted);
    for (const FoundBoard &candidate : std::as_const(candidates)) {
        DeviceRecord other;
        applyChange(candidate.record, change, rule, other);
        if (std::memcmp(&other, &wanted, sizeof wanted) == 0)
            continue;
        FoundBoard applied = candidate;
        applied.record = other;
        // The port and the version go into the write as reported: no option sets them.
        QStringList settable;
        QStringList fixed;
        for (const QString &difference : differences(wanted, applied)) {
            const QString field = difference.section(QLatin1Char(' '), 0, 0);
            (field == settingName(PortField) || field == settingName(VersionField) ? fixed
                                                                                   : settable)
                << field;
        }
        const QString start =
            conflictText(board) + QStringLiteral("; the replies with IP %1 differ in ")
                                      .arg(addressText(expectedIp->data()));
        if (!fixed.isEmpty())
            return start + QStringLiteral("%1, which the write would keep from the reply and "
                                          "no option can give: the board cannot be told apart")
                               .arg((settable + fixed).join(QStringLiteral(", ")));
        return start + QStringLiteral("%1, which the write would keep from the reply: give them "
                                      "too")
                           .arg(settable.join(QStringLiteral(", ")));
    }
    base = candidates.first();
    return QString();
}

QString refusalText(const SettingsProblem &problem, const DeviceRecord &reported,
                    const DeviceRecord &sent)
{
    const QString reason = problemReason(problem, reported, sent);
    return problem.needsConfirmation() ? reason + QStringLiteral(" (--force sends it anyway)")
                                       : reason;
}

Outcome verify(const DeviceRecord &sent, const FoundBoard *back, const FoundBoard &before,
               const DeviceRecord &base)
{
    if (!back)
        return {ExitCode::notBack, QStringLiteral("did not come back")};
    const QVector<FoundBoard> replies = repliesOf(*back);
    const FoundBoard *board = &replies.first();
    QStringList notes;
    if (replies.size() > 1) {
        // Another device claims the MAC. Only the IP that was sent singles out the board:
        // the reply closest to the write could be the other device's, with the board itself
        // back at another address. Any other reply must be one of the other devices exactly
        // as the first search saw them, since a new one may be the board with other settings.
        // With DHCP on no IP was sent: the board is then the one reply that is new.
        const QString claimed =
            QStringLiteral("%1 different replies claim this MAC").arg(replies.size());
        const QVector<FoundBoard> seenBefore = repliesOf(before);
        const auto knownOther = [&](const FoundBoard &reply) {
            return std::memcmp(&reply.record, &base, sizeof(DeviceRecord)) != 0 &&
                   std::any_of(seenBefore.cbegin(), seenBefore.cend(), [&](const FoundBoard &old) {
                       return old.layout == reply.layout &&
                              std::memcmp(&old.record, &reply.record, sizeof(DeviceRecord)) == 0;
                   });
        };
        QVector<const FoundBoard *> candidates;
        bool othersKnown = true;
        for (const FoundBoard &reply : replies) {
            const bool candidate = sent.dhcp != 0
                                       ? !knownOther(reply)
                                       : std::equal(sent.ip, sent.ip + 4, reply.record.ip);
            if (candidate)
                candidates.append(&reply);
            else
                othersKnown = othersKnown && knownOther(reply);
        }
        const bool allMatch =
            std::all_of(candidates.cbegin(), candidates.cend(), [&sent](const FoundBoard *reply) {
                return differences(sent, *reply).isEmpty();
            });
        const bool oneBoard = sent.dhcp != 0 ? candidates.size() == 1 : !candidates.isEmpty();
        if (!oneBoard || !allMatch || !othersKnown) {
            QStringList seen;
            for (const FoundBoard &reply : replies)
                seen << describeSettings(reply.record);
            QString why;
            if (sent.dhcp != 0 && !oneBoard)
                why = QStringLiteral("with DHCP on, %1 of them are new").arg(candidates.size());
            else if (!oneBoard)
                why = QStringLiteral("none reports the IP %1 that was sent")
                          .arg(addressText(sent.ip));
            else if (!allMatch)
                why = sent.dhcp != 0 ? QStringLiteral("the new one differs from what was sent")
                                     : QStringLiteral("the reply with the IP %1 that was sent "
                                                      "differs from it")
                                           .arg(addressText(sent.ip));
            else
                why = QStringLiteral("another reply that the first search did not see may be "
                                     "the board's");
            return {ExitCode::cannotTell,
                    QStringLiteral("cannot tell which reply is the board: %1 and %2 (%3)")
                        .arg(claimed, why, seen.join(QStringLiteral("; ")))};
        }
        board = candidates.first();
        notes << claimed;
    }
    const QStringList differing = differences(sent, *board);
    if (!differing.isEmpty())
        return {ExitCode::differs,
                QStringLiteral("settings differ: ") + differing.join(QStringLiteral(", "))};
    if (board->layout == ReplyLayout::Short && sent.cdeNiveau2 != 0)
        notes << QStringLiteral("a short-layout reply carries no level-2 code: not checked");
    if (sent.dhcp != 0)
        notes << QStringLiteral("DHCP on, now at %1").arg(addressText(board->record.ip));
    QString text = QStringLiteral("applied");
    if (!notes.isEmpty())
        text += QStringLiteral(" (") + notes.join(QStringLiteral("; ")) + QLatin1Char(')');
    return {ExitCode::ok, text};
}

QString notVerifiedText()
{
    return QStringLiteral("not verified (interrupted)");
}

QString nothingSentMessage()
{
    return QStringLiteral("interrupted by %1: nothing sent");
}

QString afterWritesMessage()
{
    return QStringLiteral("interrupted by %1 before the check: the settings above were sent "
                          "but not verified");
}

QString interruptedAfterWritesText()
{
    return afterWritesMessage().arg(interruptionName());
}

int firstSearch(BoardSearch &search, int ms, bool beforeWrites, QVector<FoundBoard> &boards)
{
    if (const QString error = search.open(); !error.isEmpty()) {
        printError(error);
        return ExitCode::noNetwork;
    }
    boards = searchWithCountdown(search, ms);
    if (!interruption())
        return -1;
    printError((beforeWrites ? nothingSentMessage() : QStringLiteral("interrupted by %1"))
                   .arg(interruptionName()));
    return interruptedExitCode();
}
