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
    "quorvan-cli COMMAND --help tells more about a command.\n"
    "\n"
    "Exit status: 0 done, 1 wrong command line or file (nothing sent), 2 board not found,\n"
    "3 board came back with other settings, 4 board did not come back, 5 UDP port 4022\n"
    "unavailable, 7 a search could not query every card.\n";

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
    "Warnings (standard error, and \"warnings\" in JSON): two boards with one IP address, a\n"
    "board in no subnet of this PC, a board holding an address of this PC.\n";

const char setHelp[] =
    "Usage: quorvan-cli set MAC [--dhcp on|off] [--ip A] [--mask A] [--gateway A] [--dns A]\n"
    "                           [--level2 on|off] [--no-verify] [--wait SECONDS]\n"
    "\n"
    "Finds the board with one search, sends it the new settings (every field not given\n"
    "stays as the board reported it), waits 20 s while it restarts and searches again.\n"
    "MAC is written as the table shows it (0:50:c2:0d:e4:05) or with every leading zero.\n"
    "\n"
    "  --dhcp on|off     DHCP; with DHCP on the board keeps its addresses, so no address\n"
    "                    option may be given (nor while the board reports DHCP on, unless\n"
    "                    --dhcp off is given)\n"
    "  --ip, --mask, --gateway, --dns A\n"
    "                    addresses, [0-255].[0-255].[0-255].[0-255]\n"
    "  --level2 on|off   the level-2 code; refused for a board whose version begins with\n"
    "                    V1 or V2 when it would change it\n"
    "  --no-verify       send and stop: no wait, no new search\n"
    "  --wait SECONDS    length of each search instead of 10 s (more than 1, at most 60)\n"
    "  -h, --help        this text\n"
    "\n"
    "Exit status: 0 the board reports the new settings (or, with --no-verify, they were\n"
    "sent), 1 wrong command line (nothing sent), 2 board not found (nothing sent), 3 the\n"
    "board reports other settings, 4 the board did not come back, 5 UDP port 4022\n"
    "unavailable, 7 the board was missing from a search that could not query every card.\n";

const char applyHelp[] =
    "Usage: quorvan-cli apply FILE.csv [--no-verify] [--wait SECONDS]\n"
    "\n"
    "Changes the settings of every board listed in FILE, a CSV file with a header line as\n"
    "`discover --format csv` writes it. The columns mac, dhcp, ip, mask, gateway, dns and\n"
    "level2 are read (an empty cell keeps what the board reports); the others are ignored.\n"
    "The whole file is checked first: when any line is wrong nothing is sent. Then one\n"
    "search, every write, one wait of 20 s, one search to check every board, and one result\n"
    "line per board.\n"
    "\n"
    "  --no-verify       send and stop: no wait, no new search\n"
    "  --wait SECONDS    length of each search instead of 10 s (more than 1, at most 60)\n"
    "  -h, --help        this text\n"
    "\n"
    "Exit status: 0 every board reports its new settings, 1 wrong file or command line\n"
    "(nothing sent), otherwise the highest status of the boards: 2 not found, 3 other\n"
    "settings, 4 did not come back, 7 missing from a search that could not query every\n"
    "card; 5 UDP port 4022 unavailable.\n";

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

    void add(const QStringList &names, const QString &valueName = QString())
    {
        QCommandLineOption option(names);
        if (!valueName.isEmpty())
            option.setValueName(valueName);
        parser.addOption(option);
    }

    // False with `error` set on a usage error; `help` when --help was asked for.
    bool parse(QString &error, bool &help)
    {
        if (!parser.parse(arguments)) {
            error = parser.errorText();
            return false;
        }
        help = parser.isSet(QStringLiteral("help"));
        for (const QString &name : parser.optionNames()) {
            if (parser.optionNames().count(name) > 1) {
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
                    .arg(value("wait"))
                    .arg(maxSearchTime / 1000);
            return false;
        }
        ms = int(seconds * 1000 + 0.5);
        return true;
    }

private:
    QStringList arguments;
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
                    .arg(QString::fromLocal8Bit(text))
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

bool sendWrite(BoardSearch &search, const DeviceRecord &record)
{
    const WriteDatagram datagram = buildWriteDatagram(record);
    return search.broadcast(QByteArray(reinterpret_cast<const char *>(datagram.data()),
                                       int(datagram.size()))) > 0;
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
    const QStringList differing = differences(sent, *back);
    if (!differing.isEmpty())
        return {ExitCode::differs,
                QStringLiteral("settings differ: ") + differing.join(QStringLiteral(", "))};
    QStringList notes;
    if (back->layout == ReplyLayout::Short && sent.cdeNiveau2 != 0)
        notes << QStringLiteral("a short-layout reply carries no level-2 code: not checked");
    if (sent.dhcp != 0)
        notes << QStringLiteral("DHCP on, now at %1").arg(addressText(back->record.ip));
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
        printError(
            QStringLiteral("discover takes no argument: \"%1\"").arg(line.positional().first()));
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
        printError(QStringLiteral("--format: \"%1\" is none of table, csv, json").arg(formatName));
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

// The options of `set` as a SettingsChange; false with `error` naming the option.
bool readSetOptions(const CommandLine &line, SettingsChange &change, QString &error)
{
    const auto flag = [&](const char *name, std::optional<bool> &out) {
        if (!line.isSet(name))
            return true;
        bool value = false;
        if (!parseOnOff(line.value(name), value)) {
            error = QStringLiteral("--%1: \"%2\" is neither on nor off")
                        .arg(QLatin1String(name), line.value(name));
            return false;
        }
        out = value;
        return true;
    };
    if (!flag("dhcp", change.dhcp) || !flag("level2", change.levelTwo))
        return false;
    for (int field = 0; field < AddressFieldCount; ++field) {
        const QByteArray name = addressFieldName(field).toLatin1();
        if (!line.isSet(name.constData()))
            continue;
        Address address{};
        const QString text = line.value(name.constData());
        if (!parseAddressText(text, address)) {
            error =
                QStringLiteral("--%1: \"%2\" is not of the form [0-255].[0-255].[0-255].[0-255]")
                    .arg(QLatin1String(name), text);
            return false;
        }
        change.addresses[std::size_t(field)] = address;
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
    for (const char *name : {"dhcp", "ip", "mask", "gateway", "dns", "level2"})
        line.add({QLatin1String(name)}, QStringLiteral("VALUE"));
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
                             .arg(line.positional().join(QLatin1Char(' '))));
        return ExitCode::usage;
    }
    MacAddress mac{};
    if (!parseMacText(line.positional().first(), mac)) {
        printError(QStringLiteral("\"%1\" is not a MAC address (six hexadecimal bytes separated "
                                  "by colons)")
                       .arg(line.positional().first()));
        return ExitCode::usage;
    }
    SettingsChange change;
    if (!readSetOptions(line, change, error) || !restartWait(restartMs, error)) {
        printError(error);
        return ExitCode::usage;
    }

    BoardSearch search;
    if (const int code = openSockets(search))
        return code;
    const QVector<FoundBoard> before = searchWithCountdown(search, searchMs);
    const FoundBoard *board = findBoard(before, mac);
    const QString macName = macText(mac.data());
    if (!board) {
        printError(QStringLiteral("board %1 did not answer the search; nothing sent").arg(macName));
        return unlessIncomplete(search, ExitCode::notFound);
    }
    DeviceRecord record;
    const ChangeError refused = applyChange(*board, change, AddressRule::RefuseAny, record);
    if (refused.isError()) {
        printError(QStringLiteral("--%1: %2; nothing sent").arg(refused.field, refused.reason));
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

int runApply(const QStringList &arguments)
{
    CommandLine line(arguments);
    line.add({QStringLiteral("no-verify")});
    line.add({QStringLiteral("wait")}, QStringLiteral("SECONDS"));
    int searchMs = 0;
    int restartMs = 0;
    if (const int code = line.parseCommand(applyHelp, searchMs); code >= 0)
        return code;
    QString error;
    if (line.positional().size() != 1) {
        printError(QStringLiteral("apply needs one CSV file"));
        return ExitCode::usage;
    }
    if (!restartWait(restartMs, error)) {
        printError(error);
        return ExitCode::usage;
    }
    const QString path = line.positional().first();
    QFile input(path);
    if (!input.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("%1: %2").arg(path, input.errorString()));
        return ExitCode::usage;
    }
    const ApplyFile file = readApplyFile(QString::fromUtf8(input.readAll()));
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
    QStringList refusals;
    for (const PlannedBoard &planned : file.boards) {
        const FoundBoard *board = findBoard(before, planned.mac);
        if (!board) {
            records.append(std::nullopt);
            continue;
        }
        DeviceRecord record;
        const ChangeError refused =
            applyChange(*board, planned.change, AddressRule::AllowReported, record);
        if (refused.isError())
            refusals << QStringLiteral("%1: line %2: %3: %4")
                            .arg(path)
                            .arg(planned.line)
                            .arg(refused.field, refused.reason);
        records.append(record);
    }
    if (!refusals.isEmpty()) {
        for (const QString &refusal : refusals)
            printError(refusal);
        printError(QStringLiteral("%1: nothing sent").arg(path));
        return ExitCode::usage;
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
    QVector<FoundBoard> after;
    if (verifying) {
        waitWithCountdown(search, restartMs);
        after = searchWithCountdown(search, searchMs);
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
            outcome = verify(*records.at(i), findBoard(after, file.boards.at(i).mac));
        printOut(QStringLiteral("%1: %2\n").arg(macName, outcome.text));
        code = std::max(code, unlessIncomplete(search, outcome.code));
    }
    return code;
}

} // namespace

int runCli(const QStringList &arguments)
{
    const QString command = arguments.value(1);
    const QStringList rest = QStringList{arguments.value(0)} + arguments.mid(2);
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
                .arg(command));
    return ExitCode::usage;
}
