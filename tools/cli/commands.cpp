// SPDX-License-Identifier: MIT
#include "commands.h"

#include "applyfile.h"
#include "boardoutput.h"
#include "boardsearch.h"
#include "boardsettings.h"
#include "countdown.h"
#include "networkwarnings.h"

#include <QCommandLineParser>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr int maxSearchTime = 60000;
constexpr int maxRestartWait = 600000;

const char generalHelp[] =
    "Usage: quorvan-cli COMMAND [OPTIONS]\n"
    "\n"
    "Finds the network boards on UDP port 4022 and changes their network settings, as the\n"
    "quorvan-config window does.\n"
    "\n"
    "Commands:\n"
    "  discover   list every board that answers a search\n"
    "  set        change the settings of one board and check that it took them\n"
    "  apply      change the settings of the boards listed in a CSV file\n"
    "\n"
    "quorvan-cli help COMMAND (or quorvan-cli COMMAND --help) tells more about a command.\n"
    "\n"
    "Exit status: 0 done, 1 wrong command line, file or setting (nothing sent), 2 board not\n"
    "found, 3 board came back with other settings, 4 board did not come back, 5 UDP port\n"
    "4022 unavailable, 6 different replies for one MAC (nothing sent), 7 a search could not\n"
    "query every card.\n";

const char discoverHelp[] =
    "Usage: quorvan-cli discover [--format table|csv|json] [--wait SECONDS]\n"
    "\n"
    "Sends the discovery query four times, one second apart, through every local address\n"
    "and lists every board that answers within ten seconds, once, as its first reply showed\n"
    "it, with the local address and interface the reply arrived on.\n"
    "\n"
    "  --format FORMAT   table (default), csv (the input of apply) or json\n"
    "  --wait SECONDS    listen this long instead of 10 s (more than 1, at most 60); only\n"
    "                    the queries that fit are sent\n"
    "  -h, --help        this text\n"
    "\n"
    "In the table, - is an empty or unreported value (a board text that is - itself shows\n"
    "as \\x2d). In CSV, a cell that begins with = + - @ ' a tab or a carriage return gets a\n"
    "' in front, so that no spreadsheet takes it for a formula; apply reads it back.\n"
    "\n"
    "Warnings (standard error, and \"warnings\" in JSON): two boards with one IP address,\n"
    "different replies for one MAC, a board in no subnet of this PC, a board holding an\n"
    "address of this PC.\n"
    "\n"
    "Exit status: 0 done (also when no board answers), 1 wrong command line, 5 UDP port\n"
    "4022 unavailable, 7 a search could not query every card.\n";

const char setHelp[] =
    "Usage: quorvan-cli set MAC [--dhcp on|off] [--ip A] [--mask A] [--gateway A] [--dns A]\n"
    "                           [--level2 on|off] [--expect-ip A] [--force] [--no-verify]\n"
    "                           [--wait SECONDS]\n"
    "\n"
    "Finds the board with one search, sends it the new settings (every field not given\n"
    "stays as the board reported it), waits 20 s while it restarts and searches again.\n"
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
    "                    its MAC, and then only the reply with this IP is used\n"
    "  --force           send even an IP held by this PC or by another board, or a gateway\n"
    "                    outside the new subnet or equal to the board's IP\n"
    "  --no-verify       send and stop: no wait, no new search\n"
    "  --wait SECONDS    length of each search instead of 10 s (more than 1, at most 60)\n"
    "  -h, --help        this text\n"
    "\n"
    "Refused whatever the options: a mask that is not a run of one bits, or 0.0.0.0; an IP\n"
    "0.0.0.0, 255.255.255.255, loopback, multicast, or the subnet's network or broadcast\n"
    "address.\n"
    "\n"
    "Exit status: 0 the board reports the new settings (or, with --no-verify, they were\n"
    "sent), 1 wrong command line or setting (nothing sent), 2 board not found (nothing\n"
    "sent), 3 the board reports other settings, 4 the board did not come back, 5 UDP port\n"
    "4022 unavailable, 6 different replies claim the MAC, or none has the IP of --expect-ip\n"
    "(nothing sent), 7 the board was missing from a search that could not query every card.\n";

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
    "missing from a search that could not query every card; 5 UDP port 4022 unavailable.\n";

void printOut(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void printError(const QString &message)
{
    std::fprintf(stderr, "quorvan-cli: %s\n", message.toUtf8().constData());
    std::fflush(stderr);
}

// What every command shares: the options, their parsing and one-line errors.
class CommandLine
{
public:
    explicit CommandLine(const QStringList &arguments) : arguments(arguments)
    {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        add({QStringLiteral("h"), QStringLiteral("help")});
    }

    void add(const QStringList &names, const QString &valueName = QString(),
             bool repeatable = false)
    {
        if (repeatable)
            repeatables << names;
        QCommandLineOption option(names);
        if (!valueName.isEmpty())
            option.setValueName(valueName);
        parser.addOption(option);
    }

    // False with `error` set on a usage error; `help` when --help was asked for.
    bool parse(QString &error, bool &help)
    {
        if (!parser.parse(arguments)) {
            error = escapedInput(parser.errorText());
            return false;
        }
        help = parser.isSet(QStringLiteral("help"));
        for (const QString &name : parser.optionNames()) {
            if (parser.optionNames().count(name) > 1 && !repeatables.contains(name)) {
                error = QStringLiteral("--%1 is given more than once").arg(name);
                return false;
            }
        }
        return true;
    }

    // The options and the search time, with the help text or the one-line error printed:
    // the exit code when the command ends here, or -1 when it goes on.
    int parseCommand(const char *helpText, int &searchMs)
    {
        QString error;
        bool help = false;
        if (!parse(error, help) || (!help && !searchTime(searchMs, error))) {
            printError(error);
            return ExitCode::usage;
        }
        if (help) {
            printOut(QString::fromLatin1(helpText));
            return ExitCode::ok;
        }
        return -1;
    }

    bool isSet(const char *name) const { return parser.isSet(QLatin1String(name)); }
    QString value(const char *name) const { return parser.value(QLatin1String(name)); }
    QStringList values(const char *name) const { return parser.values(QLatin1String(name)); }
    QStringList positional() const { return parser.positionalArguments(); }

    // --wait in seconds, as a number of milliseconds.
    bool searchTime(int &ms, QString &error) const
    {
        ms = defaultSearchTime;
        if (!isSet("wait"))
            return true;
        bool ok = false;
        const double seconds = value("wait").toDouble(&ok);
        if (!ok || !(seconds > 1.0) || seconds * 1000 > maxSearchTime) {
            error =
                QStringLiteral("--wait: \"%1\" is not a number of seconds above 1 and at most %2")
                    .arg(escapedInput(value("wait")))
                    .arg(maxSearchTime / 1000);
            return false;
        }
        ms = int(seconds * 1000 + 0.5);
        return true;
    }

private:
    QStringList arguments;
    QStringList repeatables;
    QCommandLineParser parser;
};

bool restartWait(int &ms, QString &error)
{
    ms = defaultRestartWait;
    const QByteArray text = qgetenv("QUORVAN_CLI_RESTART_WAIT_MS");
    if (text.isEmpty())
        return true;
    bool ok = false;
    ms = text.toInt(&ok);
    if (!ok || ms < 0 || ms > maxRestartWait) {
        error = QStringLiteral("QUORVAN_CLI_RESTART_WAIT_MS: \"%1\" is not a number of "
                               "milliseconds from 0 to %2")
                    .arg(escapedInput(QString::fromLocal8Bit(text)))
                    .arg(maxRestartWait);
        return false;
    }
    return true;
}

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

// A board missing from a search that could not query every card may sit behind a card that
// was not searched.
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

bool sendWrite(BoardSearch &search, const DeviceRecord &record)
{
    const WriteDatagram datagram = buildWriteDatagram(record);
    return search.broadcast(QByteArray(reinterpret_cast<const char *>(datagram.data()),
                                       int(datagram.size()))) > 0;
}

QString addressSyntaxError(const QString &field, const QString &text)
{
    return field + QStringLiteral(": ") + notAnAddress(text);
}

// The reply a write may start from. With one reply that is the reply. When different replies
// claim the MAC, the user must name the board's current IP: only the replies with that IP
// count, and they must agree on everything the write keeps from them. An empty result means
// `base` is set; otherwise it says why nothing may be sent.
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
        QStringList fields;
        for (const QString &difference : differences(wanted, applied))
            fields << difference.section(QLatin1Char(' '), 0, 0);
        return conflictText(board) +
               QStringLiteral("; the replies with IP %1 differ in %2, which the write would keep "
                              "from the reply: give them too")
                   .arg(addressText(expectedIp->data()), fields.join(QStringLiteral(", ")));
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

// The result of one board after its restart, and its exit status.
struct Outcome
{
    int code = ExitCode::ok;
    QString text;
};

Outcome verify(const DeviceRecord &sent, const FoundBoard *back)
{
    if (!back)
        return {ExitCode::notBack, QStringLiteral("did not come back")};
    // When several replies claim the MAC, the one closest to what was sent is the board.
    const QVector<FoundBoard> replies = repliesOf(*back);
    const FoundBoard *closest = nullptr;
    QStringList differing;
    for (const FoundBoard &reply : replies) {
        const QStringList found = differences(sent, reply);
        if (!closest || found.size() < differing.size()) {
            closest = &reply;
            differing = found;
        }
    }
    QStringList notes;
    if (replies.size() > 1)
        notes << QStringLiteral("%1 different replies claim this MAC").arg(replies.size());
    if (!differing.isEmpty())
        return {ExitCode::differs,
                QStringLiteral("settings differ: ") + differing.join(QStringLiteral(", ")) +
                    (notes.isEmpty() ? QString()
                                     : QStringLiteral(" (") + notes.first() + QLatin1Char(')'))};
    if (closest->layout == ReplyLayout::Short && sent.cdeNiveau2 != 0)
        notes << QStringLiteral("a short-layout reply carries no level-2 code: not checked");
    if (sent.dhcp != 0)
        notes << QStringLiteral("DHCP on, now at %1").arg(addressText(closest->record.ip));
    QString text = QStringLiteral("applied");
    if (!notes.isEmpty())
        text += QStringLiteral(" (") + notes.join(QStringLiteral("; ")) + QLatin1Char(')');
    return {ExitCode::ok, text};
}

int openSockets(BoardSearch &search)
{
    const QString error = search.open();
    if (error.isEmpty())
        return ExitCode::ok;
    printError(error);
    return ExitCode::noNetwork;
}

int runDiscover(const QStringList &arguments)
{
    CommandLine line(arguments);
    line.add({QStringLiteral("format")}, QStringLiteral("FORMAT"));
    line.add({QStringLiteral("wait")}, QStringLiteral("SECONDS"));
    int searchMs = 0;
    if (const int code = line.parseCommand(discoverHelp, searchMs); code >= 0)
        return code;
    if (!line.positional().isEmpty()) {
        printError(QStringLiteral("discover takes no argument: \"%1\"")
                       .arg(escapedInput(line.positional().first())));
        return ExitCode::usage;
    }
    OutputFormat format = OutputFormat::Table;
    const QString formatName =
        line.isSet("format") ? line.value("format") : QStringLiteral("table");
    if (formatName == QLatin1String("csv"))
        format = OutputFormat::Csv;
    else if (formatName == QLatin1String("json"))
        format = OutputFormat::Json;
    else if (formatName != QLatin1String("table")) {
        printError(QStringLiteral("--format: \"%1\" is none of table, csv, json")
                       .arg(escapedInput(formatName)));
        return ExitCode::usage;
    }

    BoardSearch search;
    if (const int code = openSockets(search))
        return code;
    const QVector<FoundBoard> boards = searchWithCountdown(search, searchMs);
    const QStringList warnings = boardWarnings(boards, localNetworks());
    for (const QString &warning : warnings)
        printError(QStringLiteral("warning: ") + warning);
    if (boards.isEmpty())
        printError(QStringLiteral("no board answered"));
    switch (format) {
    case OutputFormat::Table:
        printOut(formatTable(boards));
        break;
    case OutputFormat::Csv:
        printOut(formatCsv(boards));
        break;
    case OutputFormat::Json:
        printOut(formatJson(boards, warnings));
        break;
    }
    return search.incomplete() ? ExitCode::partial : ExitCode::ok;
}

// An optional address option, in `out`; false with `error` set when it is malformed.
bool readAddressOption(const CommandLine &line, const char *name, std::optional<Address> &out,
                       QString &error)
{
    if (!line.isSet(name))
        return true;
    Address address{};
    if (!parseAddressText(line.value(name), address)) {
        error = addressSyntaxError(QStringLiteral("--") + QLatin1String(name), line.value(name));
        return false;
    }
    out = address;
    return true;
}

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

    BoardSearch search;
    if (const int code = openSockets(search))
        return code;
    const QVector<FoundBoard> before = searchWithCountdown(search, searchMs);
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
    if (!sendWrite(search, record)) {
        printError(QStringLiteral("the write could not be sent through any local IPv4 address"));
        return ExitCode::noNetwork;
    }
    printOut(QStringLiteral("%1: sent %2\n").arg(macName, describeSettings(record)));
    if (line.isSet("no-verify"))
        return ExitCode::ok;

    waitWithCountdown(search, restartMs);
    const QVector<FoundBoard> after = searchWithCountdown(search, searchMs);
    const Outcome outcome = verify(record, findBoard(after, mac));
    printOut(QStringLiteral("%1: %2\n").arg(macName, outcome.text));
    return unlessIncomplete(search, outcome.code);
}

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
                QStringLiteral("the writes could not be sent through any local IPv4 address"));
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
            outcome = verify(*records.at(i), findBoard(afterSearch, file.boards.at(i).mac));
        printOut(QStringLiteral("%1: %2\n").arg(macName, outcome.text));
        code = std::max(code, unlessIncomplete(search, outcome.code));
    }
    return code;
}

} // namespace

int runCli(const QStringList &arguments)
{
    QString command = arguments.value(1);
    QStringList rest = QStringList{arguments.value(0)} + arguments.mid(2);
    // "help set" is "set --help".
    if (command == QLatin1String("help") && arguments.size() > 2) {
        command = arguments.at(2);
        rest = QStringList{arguments.value(0), QStringLiteral("--help")};
        if (arguments.size() > 3) {
            printError(QStringLiteral("help takes one command"));
            return ExitCode::usage;
        }
    }
    if (command == QLatin1String("discover"))
        return runDiscover(rest);
    if (command == QLatin1String("set"))
        return runSet(rest);
    if (command == QLatin1String("apply"))
        return runApply(rest);
    if (command == QLatin1String("-h") || command == QLatin1String("--help") ||
        command == QLatin1String("help")) {
        printOut(QString::fromLatin1(generalHelp));
        return ExitCode::ok;
    }
    if (command == QLatin1String("--version")) {
        printOut(QStringLiteral("quorvan-cli %1\n").arg(QLatin1String(QUORVAN_VERSION)));
        return ExitCode::ok;
    }
    if (command.isEmpty())
        printError(
            QStringLiteral("a command is needed: discover, set or apply (quorvan-cli --help)"));
    else
        printError(
            QStringLiteral("unknown command \"%1\": discover, set or apply (quorvan-cli --help)")
                .arg(escapedInput(command)));
    return ExitCode::usage;
}
