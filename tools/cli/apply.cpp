// SPDX-License-Identifier: MIT
#include "applyfile.h"
#include "boardsearch.h"
#include "boardsettings.h"
#include "clioutput.h"
#include "commandline.h"
#include "commands.h"
#include "networkwarnings.h"
#include "searchsteps.h"

#include <QFile>

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
    "sent. Then one search, every write, one wait of 20 s, one search to check every board,\n"
    "and one result line per board. The settings are checked as by set; two boards given\n"
    "one IP need --force.\n"
    "\n"
    "  --expect-ip MAC=A the IP that board reports now, for a MAC that different replies\n"
    "                    claim (may be given for several boards)\n"
    "  --force           as for set\n"
    "  --no-verify       send and stop: no wait, no new search\n"
    "  --wait SECONDS    length of each search instead of 10 s (more than 1, at most 60)\n"
    "  -h, --help        this text\n"
    "\n"
    "Exit status: 0 every board reports its new settings, 1 wrong file, command line or\n"
    "setting (nothing sent), 6 different replies claim a MAC (nothing sent), otherwise the\n"
    "highest status of the boards: 2 not found, 3 other settings, 4 did not come back, 7\n"
    "missing from a search that could not query every card, 9 cannot tell which of the\n"
    "replies that claim the MAC is the board; 5 UDP port 4022 unavailable.\n";

// The whole input of apply, standard input for "-", refused past maxApplyFileSize without
// reading further (a device such as /dev/zero never ends).
bool readInput(const QString &path, QByteArray &bytes, QString &error)
{
    QFile input;
    const bool opened = path == QLatin1String("-")
                            ? input.open(stdin, QIODevice::ReadOnly)
                            : (input.setFileName(path), input.open(QIODevice::ReadOnly));
    if (!opened) {
        error = input.errorString();
        return false;
    }
    bytes.clear();
    char buffer[65536];
    while (bytes.size() <= maxApplyFileSize) {
        const qint64 got = input.read(buffer, sizeof buffer);
        if (got < 0) {
            error = input.errorString();
            return false;
        }
        if (got == 0)
            return true;
        bytes.append(buffer, int(got));
    }
    error = QStringLiteral("larger than %1 KiB, too large for a list of boards")
                .arg(maxApplyFileSize / 1024);
    return false;
}

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
        expected.insert(macKey(mac.data()), address);
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
    QByteArray bytes;
    if (!readInput(line.positional().first(), bytes, error)) {
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

    BoardSearch search;
    if (const int code = openSockets(search))
        return code;
    const QVector<FoundBoard> before = searchWithCountdown(search, searchMs);

    // Every line is checked against its board before the first write, so that a refused
    // line still means that nothing was sent.
    QVector<std::optional<DeviceRecord>> records;
    QVector<DeviceRecord> reported;
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

    bool anySent = false;
    for (const std::optional<DeviceRecord> &record : records) {
        if (!record)
            continue;
        if (!sendWrite(search, *record)) {
            printError(
                QStringLiteral("the writes could not be sent through any network card"));
            return ExitCode::noNetwork;
        }
        anySent = true;
    }
    const bool verifying = anySent && !line.isSet("no-verify");
    QVector<FoundBoard> afterSearch;
    if (verifying) {
        waitWithCountdown(search, restartMs);
        afterSearch = searchWithCountdown(search, searchMs);
    }
    int code = ExitCode::ok;
    for (int i = 0; i < file.boards.size(); ++i) {
        const QString macName = macText(file.boards.at(i).mac.data());
        Outcome outcome;
        if (!records.at(i))
            outcome = {ExitCode::notFound,
                       QStringLiteral("did not answer the first search; nothing sent")};
        else if (!verifying)
            outcome = {ExitCode::ok, QStringLiteral("sent ") + describeSettings(*records.at(i))};
        else
            outcome = verify(*records.at(i), findBoard(afterSearch, file.boards.at(i).mac),
                             *findBoard(before, file.boards.at(i).mac), reported.at(i));
        printOut(QStringLiteral("%1: %2\n").arg(macName, outcome.text));
        code = std::max(code, unlessIncomplete(search, outcome.code));
    }
    return code;
}
