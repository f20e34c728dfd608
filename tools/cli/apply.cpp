// SPDX-License-Identifier: MIT
#include "applyfile.h"
#include "boardsearch.h"
#include "boardsettings.h"
#include "clioutput.h"
#include "commandline.h"
#include "commands.h"
#include "inputfile.h"
#include "interruption.h"
#include "networkwarnings.h"
#include "searchsteps.h"

#include <QSet>

#include <algorithm>
#include <utility>

namespace {

const char applyHelp[] =
    "Usage: quorvan-cli apply FILE.csv [--expect-ip MAC=A]... [--force] [--no-verify]\n"
    "                                  [--wait SECONDS]\n"
    "\n"
    "Changes the settings of every board listed in FILE (- for standard input), a CSV file\n"
    "with a header line as `discover --format csv` writes it, separated by , or ; (as a\n"
    "spreadsheet saves it), at most 1 MiB. The columns mac, dhcp, ip, mask, gateway, dns\n"
    "and level2 are read, in any case (an empty cell keeps what the board reports); the\n"
    "others are ignored. The whole file is checked first: when any line is wrong nothing is\n"
    "sent. A last line without a line end must hold every column of the header, or the file\n"
    "is taken for a cut one. Then one search, every write (a \"sent\" line for each as it\n"
    "leaves), one wait of 20 s, one search to check every board, and one result line per\n"
    "board. The settings are checked as by set; two boards given one IP need --force.\n"
    "\n"
    "  --expect-ip MAC=A the IP that board reports now, for a MAC that different replies\n"
    "                    claim (once per board, for a board of the file)\n"
    "  --force           as for set\n"
    "  --no-verify       send and stop: no wait, no new search\n"
    "  --wait SECONDS    length of each search instead of 10 s (1.5 to 60)\n"
    "  -h, --help        this text\n"
    "\n"
    "Exit status: 0 every board reports its new settings, 1 wrong file, command line or\n"
    "setting (nothing sent), 6 different replies claim a MAC or it answered through two\n"
    "cards (nothing sent), otherwise the highest status of the boards: 2 not found, 3 other\n"
    "settings, 4 did not come back, 7 missing from a search that could not query every\n"
    "card or that lost replies the system dropped, 9 cannot tell which of the replies that\n"
    "claim the MAC is the board; 5 UDP port 4022 unavailable, 8 output could not be written\n"
    "(full disk, closed pipe; the results then go to standard error), 130, 143 and 129\n"
    "interrupted by SIGINT (Ctrl+C), SIGTERM or SIGHUP (the lines above say what was sent\n"
    "and not verified).\n";

// --expect-ip MAC=A, once per board.
bool readExpectedIps(const CommandLine &line, QHash<std::uint64_t, Address> &expected,
                     QString &error)
{
    for (const QString &value : line.values("expect-ip")) {
        const int equals = int(value.indexOf(QLatin1Char('=')));
        MacAddress mac{};
        Address address{};
        if (equals < 0 || !parseMacText(value.left(equals), mac)) {
            error = QStringLiteral("--expect-ip: \"%1\" is not MAC=IP").arg(escapedInput(value));
            return false;
        }
        if (!parseAddressText(value.mid(equals + 1), address)) {
            error = addressSyntaxError(QStringLiteral("--expect-ip"), value.mid(equals + 1));
            return false;
        }
        const std::uint64_t key = macKey(mac.data());
        if (expected.contains(key) && expected.value(key) != address) {
            error = QStringLiteral("--expect-ip: %1 is given two IPs, %2 and %3")
                        .arg(macText(mac.data()), addressText(expected.value(key).data()),
                             addressText(address.data()));
            return false;
        }
        expected.insert(key, address);
    }
    return true;
}

// An --expect-ip for a board the file does not list is a slip that would go unseen.
bool expectedIpsListed(const QHash<std::uint64_t, Address> &expected, const ApplyFile &file,
                       QString &error)
{
    QSet<std::uint64_t> listed;
    for (const PlannedBoard &board : file.boards)
        listed.insert(macKey(board.mac.data()));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (listed.contains(it.key()))
            continue;
        MacAddress mac{};
        for (int i = 0; i < 6; ++i)
            mac[std::size_t(i)] = std::uint8_t(it.key() >> (8 * (5 - i)));
        error =
            QStringLiteral("--expect-ip: %1 is not listed in the file").arg(macText(mac.data()));
        return false;
    }
    return true;
}

} // namespace

int runApply(const QStringList &arguments)
{
    CommandLine line(arguments);
    line.add({QStringLiteral("expect-ip")}, QStringLiteral("MAC=A"), true);
    line.add({QStringLiteral("force")});
    line.add({QStringLiteral("no-verify")});
    line.add({QStringLiteral("wait")}, QStringLiteral("SECONDS"));
    int searchMs = 0;
    int restartMs = 0;
    if (const int code = line.parseCommand(applyHelp, searchMs); code >= 0)
        return code;
    QString error;
    QHash<std::uint64_t, Address> expectedIps;
    if (line.positional().size() != 1) {
        printError(QStringLiteral("apply needs one CSV file"));
        return ExitCode::usage;
    }
    if (!restartWait(restartMs, error) || !readExpectedIps(line, expectedIps, error)) {
        printError(error);
        return ExitCode::usage;
    }
    const QString path = escapedInput(line.positional().first());
    setInterruptedLines({}, nothingSentMessage());
    QByteArray bytes;
    if (!readInputFile(line.positional().first(), maxApplyFileSize, bytes, error)) {
        if (interruption()) {
            printError(nothingSentMessage().arg(interruptionName()));
            return interruptedExitCode();
        }
        printError(QStringLiteral("%1: %2").arg(path, error));
        printError(QStringLiteral("%1: nothing sent").arg(path));
        return ExitCode::usage;
    }
    const ApplyFile file = readApplyFile(applyFileText(bytes));
    if (!file.errors.isEmpty()) {
        for (const QString &problem : file.errors)
            printError(QStringLiteral("%1: %2").arg(path, problem));
        printError(QStringLiteral("%1: nothing sent").arg(path));
        return ExitCode::usage;
    }
    if (!expectedIpsListed(expectedIps, file, error)) {
        printError(error);
        printError(QStringLiteral("%1: nothing sent").arg(path));
        return ExitCode::usage;
    }

    BoardSearch search;
    QVector<FoundBoard> firstBoards;
    if (const int code = firstSearch(search, searchMs, true, firstBoards); code >= 0)
        return code;
    // Const, so that no loop detaches it from the search's own list: pointers into it must
    // stay valid while later searches replace that list.
    const QVector<FoundBoard> before = std::move(firstBoards);

    // Every line is checked against its board before the first write, so that a refused
    // line still means that nothing was sent.
    QVector<std::optional<DeviceRecord>> records;
    QVector<DeviceRecord> reported;
    QStringList sentTexts;
    QVector<FoundBoard> chosen; // the reply each write starts from
    QStringList refusals;
    int refusalCode = ExitCode::ok;
    const auto refuse = [&](const PlannedBoard &planned, const QString &field,
                            const QString &reason, int code) {
        refusals << QStringLiteral("%1: line %2: %3%4")
                        .arg(path)
                        .arg(planned.line)
                        .arg(field.isEmpty() ? QString() : field + QStringLiteral(": "), reason);
        refusalCode = std::max(refusalCode, code);
    };
    for (const PlannedBoard &planned : file.boards) {
        const FoundBoard *found = findBoard(before, planned.mac);
        records.append(std::nullopt);
        reported.append(DeviceRecord());
        sentTexts.append(QString());
        chosen.append(FoundBoard());
        if (!found)
            continue;
        const std::uint64_t key = macKey(planned.mac.data());
        const std::optional<Address> expected = expectedIps.contains(key)
                                                    ? std::optional<Address>(expectedIps.value(key))
                                                    : std::nullopt;
        FoundBoard board;
        const QString conflict =
            chooseReply(*found, expected, planned.change, AddressRule::AllowReported, board,
                        QStringLiteral("--expect-ip %1=IP").arg(macText(planned.mac.data())));
        if (!conflict.isEmpty()) {
            refuse(planned, QString(), conflict, ExitCode::conflict);
            continue;
        }
        DeviceRecord record;
        const SettingsProblem refused =
            applyChange(board.record, planned.change, AddressRule::AllowReported, record);
        if (refused.isError())
            refuse(planned, settingName(refused.field),
                   problemReason(refused, board.record, record), ExitCode::usage);
        records.last() = record;
        reported.last() = board.record;
        sentTexts.last() = sentText(record, board, planned.change);
        chosen.last() = board;
    }

    // The addresses after the writes: a board in the file at its new IP, any other at the
    // one it reports. A board that goes to DHCP gets its address from elsewhere.
    const AddressHolders pc = pcAddressHolders();
    QHash<std::uint64_t, int> fileIndex;
    for (int i = 0; i < file.boards.size(); ++i)
        fileIndex.insert(macKey(file.boards.at(i).mac.data()), i);
    struct Holder
    {
        std::uint64_t mac;
        AddressHolder holder;
    };
    QVector<Holder> after;
    for (const FoundBoard &board : before) {
        const std::uint64_t key = macKey(board.record.mac);
        const int index = fileIndex.value(key, -1);
        const QString mac = macText(board.record.mac);
        if (index < 0 || !records.at(index)) {
            after.append({key, {addressValue(board.record.ip), AddressHolder::Board, mac, 0}});
        } else if (records.at(index)->dhcp == 0) {
            const quint32 ip = addressValue(records.at(index)->ip);
            const int line =
                ip == addressValue(reported.at(index).ip) ? 0 : file.boards.at(index).line;
            after.append({key, {ip, AddressHolder::Board, mac, line}});
        }
    }
    for (int i = 0; i < file.boards.size(); ++i) {
        if (!records.at(i))
            continue;
        AddressHolders holders = pc;
        const std::uint64_t key = macKey(file.boards.at(i).mac.data());
        for (const Holder &holder : std::as_const(after)) {
            if (holder.mac != key)
                holders.append(holder.holder);
        }
        for (const SettingsProblem &problem :
             checkNewSettings(reported.at(i), *records.at(i), holders)) {
            if (!problem.needsConfirmation() || !line.isSet("force"))
                refuse(file.boards.at(i), settingName(problem.field),
                       refusalText(problem, reported.at(i), *records.at(i)), ExitCode::usage);
        }
    }
    if (!refusals.isEmpty()) {
        for (const QString &refusal : std::as_const(refusals))
            printError(refusal);
        printError(QStringLiteral("%1: nothing sent").arg(path));
        return refusalCode;
    }

    // Each "sent" line goes out with its write, so that whatever ends the command later
    // (a signal, a lost terminal) leaves the user knowing which boards were written.
    QVector<bool> sent(file.boards.size(), false);
    const bool verifyAfter = !line.isSet("no-verify");
    // A board's result line when the command is interrupted, empty when its "sent" line is
    // its result.
    const auto interruptedResult = [&](int i) {
        if (!records.at(i))
            return QStringLiteral("did not answer the first search; nothing sent");
        if (!sent.at(i))
            return QStringLiteral("not sent (interrupted)");
        return verifyAfter ? notVerifiedText() : QString();
    };
    for (int i = 0; i < file.boards.size(); ++i) {
        if (!records.at(i) || interruption())
            continue;
        if (!sendWrite(search, *records.at(i), chosen.at(i),
                       *findBoard(before, file.boards.at(i).mac))) {
            printError(QStringLiteral("the writes could not be sent through any network card"));
            return ExitCode::noNetwork;
        }
        sent[i] = true;
        printResult(QStringLiteral("%1: sent %2")
                        .arg(macText(file.boards.at(i).mac.data()), sentTexts.at(i)));
        QStringList results;
        for (int j = 0; j < file.boards.size(); ++j) {
            if (const QString result = interruptedResult(j); !result.isEmpty())
                results << QStringLiteral("%1: %2").arg(macText(file.boards.at(j).mac.data()),
                                                        result);
        }
        setInterruptedLines(results, afterWritesMessage());
    }
    const bool anySent = sent.contains(true);
    const bool verifying = anySent && verifyAfter;
    if (verifying && !interruption())
        waitWithCountdown(search, restartMs);
    if (verifying && !interruption())
        searchWithCountdown(search, searchMs);
    const bool interrupted = interruption() != 0;
    int code = ExitCode::ok;
    for (int i = 0; i < file.boards.size(); ++i) {
        const QString macName = macText(file.boards.at(i).mac.data());
        Outcome outcome;
        if (!records.at(i))
            outcome = {ExitCode::notFound, interruptedResult(i)};
        else if (!sent.at(i) || (interrupted && verifying))
            outcome = {ExitCode::ok, interruptedResult(i)};
        else if (!verifying)
            continue; // its "sent" line is its result
        else
            outcome = verify(verdictFor(search, file.boards.at(i).mac), *records.at(i));
        printResult(QStringLiteral("%1: %2").arg(macName, outcome.text));
        code = std::max(code, unlessIncomplete(search, outcome.code));
    }
    if (interrupted) {
        printError(anySent ? interruptedAfterWritesText()
                           : nothingSentMessage().arg(interruptionName()));
        return interruptedExitCode();
    }
    return code;
}
