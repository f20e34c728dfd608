// SPDX-License-Identifier: MIT
#include "simoptions.h"

#include <QCommandLineParser>
#include <QFile>

#include <cstring>

namespace {

constexpr int maxBoards = 1000000;
constexpr std::uint64_t macRange = std::uint64_t(1) << 48;

// The settings of one board before they become a record.
struct BoardValues
{
    std::uint64_t mac = 0;
    std::uint32_t ip = 0;
    std::uint32_t mask = 0;
    std::uint32_t gateway = 0;
    std::uint32_t dns = 0;
    QByteArray port;
    QByteArray version;
    bool versionGiven = false;
    bool dhcp = false;
    bool levelTwo = false;
    Board board;
};

BoardValues valuesFor(const BoardDefaults &defaults, int index)
{
    BoardValues values;
    values.mac = (defaults.firstMac + std::uint64_t(index)) % macRange;
    values.ip = defaults.firstIp + std::uint32_t(index);
    values.mask = defaults.mask;
    values.gateway = defaults.gateway;
    values.dns = defaults.dns;
    values.port = defaults.port;
    values.version = defaults.version;
    values.dhcp = defaults.dhcp;
    values.levelTwo = defaults.levelTwo;
    values.board.reply = defaults.reply;
    values.board.layout = defaults.mixedLayout
                              ? (index % 2 == 0 ? ReplyLayout::Long : ReplyLayout::Short)
                              : defaults.layout;
    values.board.write = defaults.write;
    values.board.delay = defaults.delay;
    return values;
}

bool finish(BoardValues &values, Board &board, QString &error)
{
    const bool isShort = values.board.layout == ReplyLayout::Short;
    const int width = int(isShort ? shortVersionWidth : longVersionWidth);
    if (values.version.size() > width) {
        if (values.versionGiven) {
            error =
                QStringLiteral("version \"%1\" is longer than the %2 bytes of a %3-layout board")
                    .arg(QString::fromLatin1(values.version))
                    .arg(width)
                    .arg(isShort ? QStringLiteral("short") : QStringLiteral("long"));
            return false;
        }
        values.version.truncate(width);
    }
    Board result = values.board;
    DeviceRecord &record = result.record;
    storeMac(values.mac, record.mac);
    storeAddressValue(values.ip, record.ip);
    storeAddressValue(values.mask, record.mask);
    storeAddressValue(values.gateway, record.gateway);
    storeAddressValue(values.dns, record.dns);
    std::memcpy(record.port, values.port.constData(), std::size_t(values.port.size()));
    std::memcpy(record.version, values.version.constData(), std::size_t(values.version.size()));
    record.dhcp = values.dhcp ? 1 : 0;
    record.cdeNiveau2 = values.levelTwo ? 1 : 0;
    if (isShort && !isValidShortVersion(record.version)) {
        error = QStringLiteral("the version of a short-layout board must not begin with 'O' or "
                               "'N' (that byte would read as a level-2 code)");
        return false;
    }
    board = result;
    return true;
}

bool applyKey(const QString &key, const QString &value, BoardValues &values, QString &error)
{
    bool ok = true;
    if (key == QLatin1String("mac")) {
        ok = parseMac(value, values.mac);
    } else if (key == QLatin1String("ip")) {
        ok = parseAddressValue(value, values.ip);
    } else if (key == QLatin1String("mask")) {
        ok = parseAddressValue(value, values.mask);
    } else if (key == QLatin1String("gateway")) {
        ok = parseAddressValue(value, values.gateway);
    } else if (key == QLatin1String("dns")) {
        ok = parseAddressValue(value, values.dns);
    } else if (key == QLatin1String("port")) {
        ok = parseByteText(value, int(portTextWidth), values.port);
    } else if (key == QLatin1String("version")) {
        ok = parseByteText(value, int(longVersionWidth), values.version);
        values.versionGiven = true;
    } else if (key == QLatin1String("dhcp")) {
        ok = parseOnOff(value, values.dhcp);
    } else if (key == QLatin1String("level2")) {
        ok = parseOnOff(value, values.levelTwo);
    } else if (key == QLatin1String("layout")) {
        ok = parseLayout(value, values.board.layout);
    } else if (key == QLatin1String("reply")) {
        ok = parseReplyMode(value, values.board.reply);
    } else if (key == QLatin1String("write")) {
        ok = parseWriteMode(value, values.board.write);
    } else if (key == QLatin1String("delay")) {
        ok = parseMilliseconds(value, values.board.delay);
    } else if (key == QLatin1String("restart")) {
        ok = parseMilliseconds(value, values.board.restart);
    } else if (key == QLatin1String("padding")) {
        ok = value == QLatin1String("vary") || value == QLatin1String("fixed");
        values.board.varyPadding = value == QLatin1String("vary");
    } else {
        error = QStringLiteral("unknown key \"%1\"").arg(key);
        return false;
    }
    if (!ok)
        error = QStringLiteral("bad value \"%1\" for %2").arg(value, key);
    return ok;
}

// Reads one DESCRIPTION per line; blank lines and lines whose first visible character is '#' are
// skipped.
bool readConfig(const QString &path, QStringList &descriptions, QStringList &origins,
                QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        descriptions.append(line);
        origins.append(QStringLiteral("%1:%2").arg(path).arg(number));
    }
    return true;
}

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Plays network boards on UDP port 4022: answers queries, takes writes and restarts.\n"
        "Run it only inside a private network namespace: it answers broadcasts as if it were "
        "real boards."));
    parser.addHelpOption();
    const QString n = QStringLiteral("N");
    const QString ms = QStringLiteral("MS");
    const QString address = QStringLiteral("ADDR");
    parser.addOptions({
        {QStringLiteral("boards"), QStringLiteral("Number of boards (default 1)."), n},
        {QStringLiteral("first-mac"),
         QStringLiteral("MAC of the first board; board i gets it plus i (default "
                        "02:00:00:00:00:01)."),
         QStringLiteral("MAC")},
        {QStringLiteral("ip"),
         QStringLiteral("IP address of the first board; board i gets it plus i (default "
                        "10.77.0.100)."),
         address},
        {QStringLiteral("mask"), QStringLiteral("Network mask (default 255.255.255.0)."), address},
        {QStringLiteral("gateway"), QStringLiteral("Gateway (default 10.77.0.254)."), address},
        {QStringLiteral("dns"), QStringLiteral("DNS server (default 10.77.0.254)."), address},
        {QStringLiteral("port"), QStringLiteral("Port text, up to 5 bytes (default 502)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("version"),
         QStringLiteral("Version text, up to 8 bytes; short-layout boards take its first 5 "
                        "(default V3.00.01). \\xHH gives any byte, \\\\ a backslash."),
         QStringLiteral("TEXT")},
        {QStringLiteral("dhcp"), QStringLiteral("DHCP flag, on or off (default off)."),
         QStringLiteral("on|off")},
        {QStringLiteral("level2"), QStringLiteral("Level-2 code, on or off (default off)."),
         QStringLiteral("on|off")},
        {QStringLiteral("reply"),
         QStringLiteral("Answer by unicast to the sender, by broadcast to "
                        "255.255.255.255:4022, or to the broadcast address of the bind "
                        "address's subnet, port 4022 (default unicast)."),
         QStringLiteral("unicast|broadcast|subnet")},
        {QStringLiteral("layout"),
         QStringLiteral("Reply layout; mixed gives even boards the long and odd boards the "
                        "short layout (default long)."),
         QStringLiteral("long|short|mixed")},
        {QStringLiteral("delay"), QStringLiteral("Delay of every reply in ms (default 0)."), ms},
        {QStringLiteral("jitter"),
         QStringLiteral("Random extra delay per board and query, 0 to MS ms (default 0)."), ms},
        {QStringLiteral("restart"),
         QStringLiteral("How long a board that took a write stays silent, in ms (default "
                        "3000)."),
         ms},
        {QStringLiteral("write"),
         QStringLiteral("What a board does with a write for its MAC: apply it, ignore it, or "
                        "mangle it (restart and come back with the IP address's last byte "
                        "plus 1, or the gateway's with mangle-gateway) (default apply)."),
         QStringLiteral("apply|ignore|mangle|mangle-gateway")},
        {QStringLiteral("bind"),
         QStringLiteral("Address the replies are sent from (default: the first non-loopback "
                        "IPv4 address, else the any-address)."),
         address},
        {QStringLiteral("seed"), QStringLiteral("Seed of the jitter's random generator."), n},
        {QStringLiteral("board"),
         QStringLiteral(
             "One board exactly, as key=value pairs separated by commas (keys: mac, "
             "ip, mask, gateway, dns, port, version, dhcp, level2, layout, reply, "
             "write, delay, restart, padding). Repeatable; replaces the generated boards."),
         QStringLiteral("DESCRIPTION")},
        {QStringLiteral("config"),
         QStringLiteral("File with one DESCRIPTION per line (# comments and blank lines skipped); "
                        "replaces the generated boards."),
         QStringLiteral("FILE")},
        {QStringLiteral("quiet"), QStringLiteral("Log nothing per datagram, only the READY line.")},
    });
}

// Reads one global option with `parse` when it is given; leaves `error` set otherwise.
template <typename T, typename Parse>
bool globalOption(const QCommandLineParser &parser, const char *name, T &out, Parse parse,
                  QString &error)
{
    const QString option = QString::fromLatin1(name);
    if (!parser.isSet(option))
        return true;
    const QString value = parser.value(option);
    if (parse(value, out))
        return true;
    error = QStringLiteral("bad value \"%1\" for --%2").arg(value, option);
    return false;
}

bool parseGlobals(const QCommandLineParser &parser, BoardDefaults &defaults, SimOptions &options,
                  int &boardCount, QString &error)
{
    const auto count = [](const QString &text, int &out) {
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < 0 || value > maxBoards)
            return false;
        out = value;
        return true;
    };
    const auto port = [](const QString &text, QByteArray &out) {
        return parseByteText(text, int(portTextWidth), out);
    };
    const auto version = [](const QString &text, QByteArray &out) {
        return parseByteText(text, int(longVersionWidth), out);
    };
    const auto layout = [&defaults](const QString &text, ReplyLayout &out) {
        defaults.mixedLayout = text == QLatin1String("mixed");
        return defaults.mixedLayout || parseLayout(text, out);
    };
    const auto seed = [](const QString &text, std::uint32_t &out) {
        bool ok = false;
        out = text.toUInt(&ok);
        return ok;
    };
    const auto bind = [](const QString &text, QHostAddress &out) {
        std::uint32_t address = 0;
        if (!parseAddressValue(text, address))
            return false;
        out = QHostAddress(address);
        return true;
    };
    bool ok = globalOption(parser, "boards", boardCount, count, error) &&
              globalOption(parser, "first-mac", defaults.firstMac, parseMac, error) &&
              globalOption(parser, "ip", defaults.firstIp, parseAddressValue, error) &&
              globalOption(parser, "mask", defaults.mask, parseAddressValue, error) &&
              globalOption(parser, "gateway", defaults.gateway, parseAddressValue, error) &&
              globalOption(parser, "dns", defaults.dns, parseAddressValue, error) &&
              globalOption(parser, "port", defaults.port, port, error) &&
              globalOption(parser, "version", defaults.version, version, error) &&
              globalOption(parser, "dhcp", defaults.dhcp, parseOnOff, error) &&
              globalOption(parser, "level2", defaults.levelTwo, parseOnOff, error) &&
              globalOption(parser, "reply", defaults.reply, parseReplyMode, error) &&
              globalOption(parser, "layout", defaults.layout, layout, error) &&
              globalOption(parser, "write", defaults.write, parseWriteMode, error) &&
              globalOption(parser, "delay", defaults.delay, parseMilliseconds, error) &&
              globalOption(parser, "jitter", options.jitter, parseMilliseconds, error) &&
              globalOption(parser, "restart", options.restart, parseMilliseconds, error) &&
              globalOption(parser, "bind", options.bind, bind, error) &&
              globalOption(parser, "seed", options.seed, seed, error);
    options.seeded = parser.isSet(QStringLiteral("seed"));
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    return ok;
}

} // namespace

bool makeBoard(const BoardDefaults &defaults, int index, Board &board, QString &error)
{
    BoardValues values = valuesFor(defaults, index);
    return finish(values, board, error);
}

bool parseBoardDescription(const QString &description, const BoardDefaults &defaults, int index,
                           Board &board, QString &error)
{
    BoardValues values = valuesFor(defaults, index);
    for (const QString &item : description.split(QLatin1Char(','))) {
        if (item.trimmed().isEmpty())
            continue;
        const int equals = item.indexOf(QLatin1Char('='));
        if (equals < 0) {
            error = QStringLiteral("\"%1\" is not key=value").arg(item.trimmed());
            return false;
        }
        if (!applyKey(item.left(equals).trimmed(), item.mid(equals + 1).trimmed(), values, error))
            return false;
    }
    return finish(values, board, error);
}

ParseResult parseCommandLine(const QStringList &arguments, SimOptions &options, QString &message)
{
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments)) {
        message = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        message = parser.helpText();
        return ParseResult::Help;
    }
    if (!parser.positionalArguments().isEmpty()) {
        message =
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return ParseResult::Error;
    }

    BoardDefaults defaults;
    int boardCount = 1;
    if (!parseGlobals(parser, defaults, options, boardCount, message))
        return ParseResult::Error;

    QStringList descriptions;
    QStringList origins;
    for (const QString &path : parser.values(QStringLiteral("config"))) {
        if (!readConfig(path, descriptions, origins, message))
            return ParseResult::Error;
    }
    for (const QString &description : parser.values(QStringLiteral("board"))) {
        descriptions.append(description);
        origins.append(QStringLiteral("--board \"%1\"").arg(description));
    }

    options.boards.clear();
    QString error;
    if (parser.isSet(QStringLiteral("board")) || parser.isSet(QStringLiteral("config"))) {
        for (int i = 0; i < descriptions.size(); ++i) {
            Board board;
            if (!parseBoardDescription(descriptions.at(i), defaults, i, board, error)) {
                message = QStringLiteral("%1: %2").arg(origins.at(i), error);
                return ParseResult::Error;
            }
            options.boards.push_back(board);
        }
    } else {
        options.boards.reserve(std::size_t(boardCount));
        for (int i = 0; i < boardCount; ++i) {
            Board board;
            if (!makeBoard(defaults, i, board, error)) {
                message = error;
                return ParseResult::Error;
            }
            options.boards.push_back(board);
        }
    }
    return ParseResult::Run;
}
