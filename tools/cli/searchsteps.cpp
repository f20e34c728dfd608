// SPDX-License-Identifier: MIT
#include "searchsteps.h"

#include "boardoutput.h"
#include "clioutput.h"
#include "commands.h"
#include "countdown.h"
#include "interruption.h"
#include "networkwarnings.h"
#include "restartverdict.h"

#include <algorithm>
#include <cstring>
#include <utility>

QVector<FoundBoard> searchWithCountdown(BoardSearch &search, int ms, QStringList *warnings)
{
    QVector<FoundBoard> boards;
    {
        Countdown countdown(QStringLiteral("searching"));
        boards = search.search(ms, [&countdown](int left) { countdown.show(left); });
    }
    for (const QString &warning : search.takeWarnings()) {
        printError(QStringLiteral("warning: ") + warning);
        if (warnings)
            warnings->append(warning);
    }
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
    search.waitForRestart(ms, [&countdown](int left) { countdown.show(left); });
}

const FoundBoard *findBoard(const QVector<FoundBoard> &boards, const MacAddress &mac)
{
    const auto found =
        std::find_if(boards.cbegin(), boards.cend(),
                     [&mac](const FoundBoard &board) { return sameMac(board.record, mac); });
    return found != boards.cend() ? &*found : nullptr;
}

bool sendWrite(BoardSearch &search, const DeviceRecord &record, const FoundBoard &base,
               const FoundBoard &before)
{
    return search.write(record, base, before);
}

RestartVerdict verdictFor(const BoardSearch &search, const MacAddress &mac)
{
    for (const SearchSession::Verdict &write : search.verdicts()) {
        if (sameMac(write.sent, mac))
            return write.verdict;
    }
    return RestartVerdict();
}

QString chooseReply(const FoundBoard &board, const std::optional<Address> &expectedIp,
                    const SettingsChange &change, AddressRule rule, FoundBoard &base,
                    const QString &expectOption)
{
    QVector<FoundBoard> candidates;
    for (const HeardReply &reply : board.replies())
        candidates.append(FoundBoard::fromReplies({reply}));
    const bool conflict = isClaimedTwice(board.replies());
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
        if (sameSettings(other, wanted))
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

Outcome verify(const RestartVerdict &verdict, const DeviceRecord &sent)
{
    const int claims = int(verdict.devices.size());
    const QString claimed = QStringLiteral("%1 different replies claim this MAC").arg(claims);
    switch (verdict.kind) {
    case RestartVerdict::NotBack:
        if (claims == 0)
            return {ExitCode::notBack, QStringLiteral("did not come back")};
        return {ExitCode::notBack,
                QStringLiteral("did not come back (only %1 that the first search saw claiming "
                               "its MAC answered: %2)")
                    .arg(claims == 1 ? QStringLiteral("a device")
                                     : QStringLiteral("%1 devices").arg(claims),
                         describeReplies(verdict.devices))};
    case RestartVerdict::CannotTell:
        return {ExitCode::cannotTell,
                QStringLiteral("cannot tell which reply is the board: %1 and %2 (%3)")
                    .arg(claimed,
                         verdict.why == RestartVerdict::SeveralNew
                             ? QStringLiteral("more than one of them is new")
                             : QStringLiteral("a device that the first search saw claiming it "
                                              "reports what was sent"),
                         describeReplies(verdict.devices))};
    case RestartVerdict::Differs:
        return {ExitCode::differs, QStringLiteral("settings differ: ") +
                                       differences(sent, FoundBoard::fromReplies({verdict.board}))
                                           .join(QStringLiteral(", "))};
    case RestartVerdict::Applied:
        break;
    }
    QStringList notes;
    if (claims > 1)
        notes << claimed;
    if (verdict.board.layout == ReplyLayout::Short && sent.cdeNiveau2 != 0)
        notes << QStringLiteral("a short-layout reply carries no level-2 code: not checked");
    if (sent.dhcp != 0)
        notes << QStringLiteral("DHCP on, now at %1").arg(addressText(verdict.board.record.ip));
    QString text = QStringLiteral("applied");
    if (!notes.isEmpty())
        text += QStringLiteral(" (") + notes.join(QStringLiteral("; ")) + QLatin1Char(')');
    return {ExitCode::ok, text};
}

QString sentText(const DeviceRecord &sent, const FoundBoard &base, const SettingsChange &change)
{
    QString text = describeSettings(sent);
    if (base.layout == ReplyLayout::Short && !change.levelTwo)
        text += QStringLiteral(" (the board's short-layout reply reports no level-2 code: off is "
                               "sent unless --level2 or a level2 cell names it)");
    return text;
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

int firstSearch(BoardSearch &search, int ms, bool beforeWrites, QVector<FoundBoard> &boards,
                QStringList *warnings)
{
    if (const QString error = search.open(); !error.isEmpty()) {
        printError(error);
        return ExitCode::noNetwork;
    }
    boards = searchWithCountdown(search, ms, warnings);
    if (!interruption())
        return -1;
    printError((beforeWrites ? nothingSentMessage() : QStringLiteral("interrupted by %1"))
                   .arg(interruptionName()));
    return interruptedExitCode();
}
