// SPDX-License-Identifier: MIT
#include "boardsearch.h"
#include "boardsettings.h"
#include "clioutput.h"
#include "commandline.h"
#include "commands.h"
#include "interruption.h"
#include "networkwarnings.h"
#include "searchsteps.h"

#include <algorithm>
#include <utility>

namespace {

const char setHelp[] =
    "Usage: quorvan-cli set MAC [--dhcp on|off] [--ip A] [--mask A] [--gateway A] [--dns A]\n"
    "                           [--level2 on|off] [--expect-ip A] [--force] [--no-verify]\n"
    "                           [--wait SECONDS]\n"
    "\n"
    "Finds the board with one search, sends it the new settings (every field not given\n"
    "stays as the board reported it) through the card its reply came through, waits 20 s\n"
    "while it restarts and searches again.\n"
    "MAC is six groups of hexadecimal digits separated by : or -, as the table shows it\n"
    "(0:50:c2:0d:e4:05) or with every leading zero (00-50-C2-0D-E4-05).\n"
    "\n"
    "  --dhcp on|off     DHCP; with DHCP on the board keeps its addresses, so no address\n"
    "                    option may be given (nor while the board reports DHCP on, unless\n"
    "                    --dhcp off is given)\n"
    "  --ip, --mask, --gateway, --dns A\n"
    "                    addresses: four numbers from 0 to 255 of one to three digits,\n"
    "                    separated by single dots\n"
    "  --level2 on|off   the level-2 code; refused for a board whose version begins with\n"
    "                    V1 or V2 when it would change it\n"
    "  --expect-ip A     the IP the board reports now: needed when different replies claim\n"
    "                    its MAC or it answers through two cards, and then only the reply\n"
    "                    with this IP is used, and its card\n"
    "  --force           send even a /32 mask, an IP held by this PC or by another board, a\n"
    "                    gateway outside the new subnet, equal to the board's IP or to the\n"
    "                    subnet's network or broadcast address, or a gateway 0.0.0.0 (none)\n"
    "                    for a board that reports one\n"
    "  --no-verify       send and stop: no wait, no new search\n"
    "  --wait SECONDS    length of each search instead of 10 s (1.5 to 60)\n"
    "  -h, --help        this text\n"
    "\n"
    "Refused whatever the options: a mask that is not a run of one bits, or 0.0.0.0; an IP\n"
    "in 0.0.0.0/8 or 240.0.0.0/4, loopback, multicast, or the subnet's network or broadcast\n"
    "address (a /31 or /32 has neither).\n"
    "\n"
    "Exit status: 0 the board reports the new settings (or, with --no-verify, they were\n"
    "sent), 1 wrong command line or setting (nothing sent), 2 board not found (nothing\n"
    "sent), 3 the board reports other settings, 4 the board did not come back (devices that\n"
    "claimed its MAC before and answer as they did are not the board), 5 UDP port 4022\n"
    "unavailable, 6 different replies claim the MAC or it answered through two cards, or\n"
    "none has the IP of --expect-ip (nothing sent), 7 the board was missing from a search\n"
    "that could not query every card or that lost replies the system dropped, 8 output\n"
    "could not be written (full disk, closed pipe; the results then go to standard error),\n"
    "9 after the restart different replies claim the MAC and none can be told to be the\n"
    "board: more than one is new, or a device seen before reports what was sent, 130, 143\n"
    "and 129 interrupted by SIGINT (Ctrl+C), SIGTERM or SIGHUP (the lines above say whether\n"
    "the write was sent).\n";

// The options of `set` as a SettingsChange; false with `error` naming the option.
bool readSetOptions(const CommandLine &line, SettingsChange &change, QString &error)
{
    const auto flag = [&](const char *name, std::optional<bool> &out) {
        if (!line.isSet(name))
            return true;
        bool value = false;
        if (!parseOnOff(line.value(name), value)) {
            error = QStringLiteral("--%1: \"%2\" is neither on nor off")
                        .arg(QLatin1String(name), escapedInput(line.value(name)));
            return false;
        }
        out = value;
        return true;
    };
    if (!flag("dhcp", change.dhcp) || !flag("level2", change.levelTwo))
        return false;
    for (int field = 0; field < AddressFieldCount; ++field) {
        if (!readAddressOption(line, addressFieldName(field).toLatin1().constData(),
                               change.addresses[std::size_t(field)], error))
            return false;
    }
    if (change.dhcp.value_or(false) && change.hasAddress()) {
        error = QStringLiteral("--dhcp on keeps the addresses the board reports: leave out "
                               "--ip, --mask, --gateway and --dns");
        return false;
    }
    if (change.isEmpty()) {
        error = QStringLiteral("nothing to change: give at least one of --dhcp, --ip, --mask, "
                               "--gateway, --dns, --level2");
        return false;
    }
    return true;
}

} // namespace

int runSet(const QStringList &arguments)
{
    CommandLine line(arguments);
    for (const char *name : {"dhcp", "ip", "mask", "gateway", "dns", "level2", "expect-ip"})
        line.add({QLatin1String(name)}, QStringLiteral("VALUE"));
    line.add({QStringLiteral("force")});
    line.add({QStringLiteral("no-verify")});
    line.add({QStringLiteral("wait")}, QStringLiteral("SECONDS"));
    int searchMs = 0;
    int restartMs = 0;
    if (const int code = line.parseCommand(setHelp, searchMs); code >= 0)
        return code;
    QString error;
    if (line.positional().size() != 1) {
        printError(line.positional().isEmpty()
                       ? QStringLiteral("set needs the MAC address of the board")
                       : QStringLiteral("set takes one MAC address, not \"%1\"")
                             .arg(escapedInput(line.positional().join(QLatin1Char(' ')))));
        return ExitCode::usage;
    }
    MacAddress mac{};
    if (!parseMacText(line.positional().first(), mac)) {
        printError(QStringLiteral("\"%1\" is not a MAC address (six groups of one or two "
                                  "hexadecimal digits separated by : or -)")
                       .arg(escapedInput(line.positional().first())));
        return ExitCode::usage;
    }
    SettingsChange change;
    std::optional<Address> expectedIp;
    if (!readSetOptions(line, change, error) ||
        !readAddressOption(line, "expect-ip", expectedIp, error) ||
        !restartWait(restartMs, error)) {
        printError(error);
        return ExitCode::usage;
    }

    setInterruptedLines({}, nothingSentMessage());
    BoardSearch search;
    QVector<FoundBoard> firstBoards;
    if (const int code = firstSearch(search, searchMs, true, firstBoards); code >= 0)
        return code;
    // Const, so that no loop detaches it from the search's own list: pointers into it must
    // stay valid while later searches replace that list.
    const QVector<FoundBoard> before = std::move(firstBoards);
    const FoundBoard *found = findBoard(before, mac);
    const QString macName = macText(mac.data());
    if (!found) {
        printError(QStringLiteral("board %1 did not answer the search; nothing sent").arg(macName));
        return unlessIncomplete(search, ExitCode::notFound);
    }
    FoundBoard board;
    const QString conflict = chooseReply(*found, expectedIp, change, AddressRule::RefuseAny, board,
                                         QStringLiteral("--expect-ip"));
    if (!conflict.isEmpty()) {
        printError(conflict);
        printError(QStringLiteral("nothing sent"));
        return ExitCode::conflict;
    }
    DeviceRecord record;
    const SettingsProblem refused =
        applyChange(board.record, change, AddressRule::RefuseAny, record);
    if (refused.isError()) {
        printError(
            QStringLiteral("--%1: %2; nothing sent")
                .arg(settingName(refused.field), problemReason(refused, board.record, record)));
        return ExitCode::usage;
    }
    AddressHolders holders = pcAddressHolders();
    for (const FoundBoard &other : before) {
        if (!sameMac(other.record, mac))
            holders.append({addressValue(other.record.ip), AddressHolder::Board,
                            macText(other.record.mac), 0});
    }
    QVector<SettingsProblem> problems = checkNewSettings(board.record, record, holders);
    if (line.isSet("force"))
        problems.erase(
            std::remove_if(problems.begin(), problems.end(),
                           [](const SettingsProblem &p) { return p.needsConfirmation(); }),
            problems.end());
    if (!problems.isEmpty()) {
        for (const SettingsProblem &problem : std::as_const(problems))
            printError(
                QStringLiteral("--%1: %2")
                    .arg(settingName(problem.field), refusalText(problem, board.record, record)));
        printError(QStringLiteral("nothing sent"));
        return ExitCode::usage;
    }
    if (!sendWrite(search, record, board, *found)) {
        printError(QStringLiteral("the write could not be sent through any network card"));
        return ExitCode::noNetwork;
    }
    printResult(QStringLiteral("%1: sent %2").arg(macName, sentText(record, board, change)));
    if (line.isSet("no-verify"))
        return ExitCode::ok;
    setInterruptedLines({QStringLiteral("%1: %2").arg(macName, notVerifiedText())},
                        afterWritesMessage());

    waitWithCountdown(search, restartMs);
    if (!interruption())
        searchWithCountdown(search, searchMs);
    if (interruption()) {
        printResult(QStringLiteral("%1: %2").arg(macName, notVerifiedText()));
        printError(interruptedAfterWritesText());
        return interruptedExitCode();
    }
    const Outcome outcome = verify(verdictFor(search, mac), record);
    printResult(QStringLiteral("%1: %2").arg(macName, outcome.text));
    return unlessIncomplete(search, outcome.code);
}
