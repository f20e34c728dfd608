// SPDX-License-Identifier: MIT
#include "common/netlab.h"
#include "common/testsupport.h"

#include "applyfile.h"
#include "boardoutput.h"
#include "boardsettings.h"
#include "networkwarnings.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

namespace {

// The board restarts in this much time; the command waits a little longer, instead of
// the 20 s of a real board.
const QString boardRestart = QStringLiteral("300");
constexpr int restartWait = 800;
// Each search listens this long: one query goes out at 1 s.
const QString shortSearch = QStringLiteral("2");

struct CliRun
{
    int code = -1;
    QString out;
    QString err;
};

QProcessEnvironment cliEnvironment(int restartMs)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUORVAN_CLI_RESTART_WAIT_MS"), QString::number(restartMs));
    return environment;
}

void startCli(QProcess &process, const QStringList &arguments, int restartMs = restartWait,
              const QByteArray &input = QByteArray())
{
    process.setProcessEnvironment(cliEnvironment(restartMs));
    process.start(QStringLiteral(QUORVAN_CLI), arguments);
    process.write(input);
    process.closeWriteChannel();
}

CliRun finish(QProcess &process, int timeoutMs)
{
    CliRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("(timed out)");
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The real executable, in the test's own namespace, which it inherits.
CliRun cli(const QStringList &arguments, int restartMs = restartWait,
           const QByteArray &input = QByteArray())
{
    QProcess process;
    startCli(process, arguments, restartMs, input);
    const CliRun run = finish(process, 60000);
    // The simulators' logs are read by the event loop, which did not run while waiting.
    QTest::qWait(150);
    return run;
}

QString describe(const CliRun &run)
{
    return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(run.code).arg(run.out, run.err);
}

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QJsonObject boardByMac(const QJsonArray &boards, const QString &mac)
{
    for (const QJsonValue &board : boards) {
        if (board.toObject().value(QStringLiteral("mac")).toString() == mac)
            return board.toObject();
    }
    return QJsonObject();
}

FoundBoard found(const char *ip, const char *mac)
{
    FoundBoard board;
    Address address{};
    parseAddressText(QLatin1String(ip), address);
    std::copy(address.cbegin(), address.cend(), board.record.ip);
    MacAddress bytes{};
    parseMacText(QLatin1String(mac), bytes);
    std::copy(bytes.cbegin(), bytes.cend(), board.record.mac);
    return board;
}

quint32 ipv4(const char *text)
{
    return QHostAddress(QLatin1String(text)).toIPv4Address();
}

} // namespace

// quorvan-cli against simulated boards: the test's namespace is the PC, the boards sit in
// a namespace behind a veth link (10.77.0.1 here, 10.77.0.2 and 192.168.50.7 there).
class TestCli : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // The pieces, without a network.
    void inputSyntax_data();
    void inputSyntax();
    void csvLines();
    void applyFile_data();
    void applyFile();
    void warningRules();
    void settingsChecks_data();
    void settingsChecks();
    void differencesSkipWhatIsNotReported();

    void helpAndUsage();
    void discoverFormats();
    void discoverTimingAndCountdown();
    void discoverWarnings();

    void setVerified_data();
    void setVerified();
    void setBoardNeverComesBack();
    void invalidInput_data();
    void invalidInput();
    void setCheckedAfterSearch_data();
    void setCheckedAfterSearch();

    void applyRefusedSendsNothing_data();
    void applyRefusedSendsNothing();
    void applyDiscoveredListToThreeBoards();

private:
    Simulator *startBoards(const QStringList &boards);
    QVector<SimEvent> writes(Simulator *sim) { return sim->events("RECV", "write"); }
    QVector<SimEvent> queries(Simulator *sim) { return sim->events("RECV", "query"); }

    std::unique_ptr<NetLab> lab;
    QString host;
    QString card; // the PC's end of the link
};

void TestCli::init()
{
    lab = std::make_unique<NetLab>();
    host = lab->addHost();
    QVERIFY(!host.isEmpty());
    card = lab->link(host, QStringLiteral("10.77.0.1/24"),
                     {QStringLiteral("10.77.0.2/24"), QStringLiteral("192.168.50.7/24")});
    QVERIFY(!card.isEmpty());
}

void TestCli::cleanup()
{
    lab.reset();
    host.clear();
    card.clear();
}

Simulator *TestCli::startBoards(const QStringList &boards)
{
    QStringList arguments{QStringLiteral("--bind"), QStringLiteral("10.77.0.2"),
                          QStringLiteral("--restart"), boardRestart};
    for (const QString &board : boards)
        arguments << QStringLiteral("--board") << board;
    return lab->startSimulator(host, arguments);
}

void TestCli::inputSyntax_data()
{
    QTest::addColumn<bool>("mac");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read"); // as written back; empty when refused
    QTest::newRow("mac as shown") << true << "0:50:c2:0d:e4:05"
                                  << "0:50:c2:0d:e4:05";
    QTest::newRow("mac upper case") << true << "00:50:C2:0D:E4:05"
                                    << "0:50:c2:0d:e4:05";
    QTest::newRow("mac with hyphens") << true << "00-50-c2-0D-e4-05"
                                      << "0:50:c2:0d:e4:05";
    for (const char *refused :
         {"2:0:00:00:01:0d\n", "0:50:c2:0d:e4:05 ", "0:50:c2:0d:e4", "0:50:c2:0d:e4:05:06",
          ":50:c2:0d:e4:05:06", "0:50:c2:0d:e4:g5", "000:50:c2:0d:e4:05", "0:50-c2:0d:e4:05", ""})
        QTest::newRow(qPrintable("mac " + escapedInput(refused))) << true << refused << QString();
    QTest::newRow("address") << false << "10.0.0.1"
                             << "10.0.0.1";
    QTest::newRow("leading zeros") << false << "010.001.000.007"
                                   << "10.1.0.7";
    QTest::newRow("all ones") << false << "255.255.255.255"
                              << "255.255.255.255";
    for (const char *refused :
         {"..10.77...0.113.", "10.0.0.1.", "0000000000000000000000010.77.0.113", "0010.0.0.1",
          "10.0.0.256", "10.0.0", "10.0.0.1.5", "1.2.3.+4", "1.2.3.4\n", "1.2.3.\xd9\xa4", ""})
        QTest::newRow(qPrintable("address " + escapedInput(QString::fromUtf8(refused))))
            << false << QString::fromUtf8(refused) << QString();
}

void TestCli::inputSyntax()
{
    QFETCH(bool, mac);
    QFETCH(QString, text);
    QFETCH(QString, read);
    MacAddress bytes{};
    Address address{};
    const bool ok = mac ? parseMacText(text, bytes) : parseAddressText(text, address);
    QCOMPARE(ok, !read.isEmpty());
    if (ok)
        QCOMPARE(mac ? macText(bytes.data()) : addressText(address.data()), read);
}

void TestCli::csvLines()
{
    QStringList fields;
    QVERIFY(splitCsvLine(QStringLiteral("a,,\"b,c\",\"d\"\"e\","), fields));
    QCOMPARE(fields, (QStringList{"a", "", "b,c", "d\"e", ""}));
    QVERIFY(splitCsvLine(QStringLiteral("a;\"b;c,d\";"), fields, QLatin1Char(';')));
    QCOMPARE(fields, (QStringList{"a", "b;c,d", ""}));
    QVERIFY(!splitCsvLine(QStringLiteral("a,\"b"), fields));
    QVERIFY(!splitCsvLine(QStringLiteral("a,\"b\"c"), fields));
    QCOMPARE(csvField(QStringLiteral("V3,\"x")), QStringLiteral("\"V3,\"\"x\""));
    QVERIFY(splitCsvLine(csvField(QStringLiteral("V3,\"x")), fields));
    QCOMPARE(fields, QStringList{"V3,\"x"});
    // What a spreadsheet would evaluate gets a quote in front, and reads back as it was.
    for (const char *text : {"=1+2", "+1", "-", "-2+3", "@SUM(1)", "\tx", "\rx", "'=x", "'"}) {
        const QString value = QLatin1String(text);
        QCOMPARE(neutralisedCell(value), QLatin1Char('\'') + value);
        QCOMPARE(cellValue(neutralisedCell(value)), value);
    }
    for (const char *text : {"V3.00.01", "", "1=2", "x'"}) {
        QCOMPARE(neutralisedCell(QLatin1String(text)), QLatin1String(text));
        QCOMPARE(cellValue(QLatin1String(text)), QLatin1String(text));
    }
}

namespace {

QString plan(const PlannedBoard &board)
{
    QString text = QStringLiteral("line %1: %2").arg(board.line).arg(macText(board.mac.data()));
    const SettingsChange &change = board.change;
    for (int field = 0; field < AddressFieldCount; ++field) {
        if (const auto &address = change.addresses[std::size_t(field)])
            text += ' ' + addressFieldName(field) + ' ' + addressText(address->data());
    }
    return text + (change.dhcp ? " dhcp " + onOff(*change.dhcp) : QString()) +
           (change.levelTwo ? " level2 " + onOff(*change.levelTwo) : QString());
}

} // namespace

void TestCli::applyFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("result"); // the problems, or else the boards planned
    QTest::newRow("comma, CRLF, BOM, comments")
        << QByteArray("\xef\xbb\xbfmac,ip,dhcp,level2,version\r\n# a comment\n\n"
                      "0:50:c2:0d:e4:05,10.0.0.1,off,,V3\n2:0:00:00:00:01,,on,on,\n")
        << QStringList{"line 4: 0:50:c2:0d:e4:05 ip 10.0.0.1 dhcp off",
                       "line 5: 2:0:00:00:00:01 dhcp on level2 on"};
    QTest::newRow("French spreadsheet")
        << QByteArray("MAC;IP;Mask;Version;Port;;;\r\n"
                      "0-50-C2-0D-E4-05;10.0.0.1;255.255.0.0;'=1+2;\"'@A;1\";;;\r\n")
        << QStringList{"line 2: 0:50:c2:0d:e4:05 ip 10.0.0.1 mask 255.255.0.0"};
    QTest::newRow("table headers, Latin-1")
        << QByteArray("MAC,LOCAL ADDRESS,Level2,interface\n2:0:00:00:00:01,10.77.0.1,off,\xe9th0\n")
        << QStringList{"line 2: 2:0:00:00:00:01 level2 off"};
    QTest::newRow("wrong lines") << QByteArray(
                                        "mac,ip,mask,dhcp\n0:50:c2:0d:e4:05,10.0.0.256,,\n"
                                        "0:50:c2:0d:e4:05,,,maybe\nzz\x1b[2J,,,\n"
                                        "2:0:00:00:00:01,,255.255.0,\n2:0:00:00:00:02,,,,extra\n")
                                 << QStringList{
                                        "line 2: ip: \"10.0.0.256\" is not an address",
                                        "line 3: mac: 0:50:c2:0d:e4:05 is already listed on line 2",
                                        "line 3: dhcp: \"maybe\" is neither on nor off",
                                        "line 4: mac: \"zz\\x1b[2J\" is not a MAC address",
                                        "line 5: mask: \"255.255.0\"",
                                        "line 6: 5 fields"};
    QTest::newRow("unknown columns")
        << QByteArray("mac,gatway,\x1b]0;x\x07\n")
        << QStringList{"line 1: unknown column \"gatway\" (known: mac,",
                       "line 1: unknown column \"\\x1b]0;x\\x07\""};
    QTest::newRow("no mac column")
        << QByteArray("ip\n10.0.0.1\n") << QStringList{"line 1: the header has no \"mac\" column"};
    QTest::newRow("no board") << QByteArray("mac\n") << QStringList{"the file lists no board"};
    QStringList many;
    for (int line = 2; line < 2 + maxListedErrors; ++line)
        many << QStringLiteral("line %1: mac: \"zz\" is not a MAC address").arg(line);
    QTest::newRow("many wrong lines") << QByteArray("mac\n") + QByteArray("zz\n").repeated(100)
                                      << many + QStringList{"60 more problems not listed"};
}

void TestCli::applyFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, result);
    const ApplyFile read = readApplyFile(applyFileText(file));
    QStringList got = read.errors;
    if (got.isEmpty()) {
        for (const PlannedBoard &board : read.boards)
            got << plan(board);
    }
    QCOMPARE(got.size(), result.size());
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(got.at(i).startsWith(result.at(i)), qPrintable(got.at(i)));
}

void TestCli::warningRules()
{
    const QVector<LocalNetwork> networks{
        {QStringLiteral("lo"), ipv4("127.0.0.1"), ipv4("255.0.0.0")},
        {QStringLiteral("eth0"), ipv4("10.77.0.1"), ipv4("255.255.255.0")}};
    QCOMPARE(boardWarnings(
                 {found("10.77.0.20", "2:0:00:00:00:01"), found("10.77.0.21", "2:0:00:00:00:02")},
                 networks),
             QStringList());
    FoundBoard claimed = found("10.77.0.60", "2:0:00:00:00:06");
    claimed.otherReplies.append({claimed.record, ReplyLayout::Long});
    claimed.otherReplies.first().record.dns[3] = 53;
    const QStringList warnings = boardWarnings(
        {found("10.77.0.50", "2:0:00:00:00:01"), found("192.168.50.7", "2:0:00:00:00:02"),
         found("10.77.0.50", "2:0:00:00:00:03"), found("10.77.0.1", "2:0:00:00:00:04"), claimed},
        networks);
    QCOMPARE(warnings.size(), 4);
    QCOMPARE(warnings.at(0),
             QStringLiteral(
                 "boards 2:0:00:00:00:01, 2:0:00:00:00:03 report the same IP address 10.77.0.50"));
    QVERIFY(warnings.at(1).startsWith("board 2:0:00:00:00:06 answered with 2 different replies, "
                                      "so another device may claim its MAC: (dhcp off, ip "
                                      "10.77.0.60, mask 0.0.0.0, gateway 0.0.0.0, dns 0.0.0.0, "));
    QVERIFY(warnings.at(1).contains(QStringLiteral(") (dhcp off, ip 10.77.0.60, mask 0.0.0.0, "
                                                   "gateway 0.0.0.0, dns 0.0.0.53, ")));
    QVERIFY(warnings.at(2).startsWith(
        QStringLiteral("board 2:0:00:00:00:02 (192.168.50.7) lies in no subnet")));
    QVERIFY(warnings.at(2).contains(QStringLiteral("can still be reconfigured")));
    QCOMPARE(
        warnings.at(3),
        QStringLiteral("board 2:0:00:00:00:04 reports 10.77.0.1, an address of this PC (eth0)"));
}

void TestCli::settingsChecks_data()
{
    QTest::addColumn<QString>("settings"); // dhcp, ip, mask, gateway as sent
    QTest::addColumn<QString>("refused");  // "|" between refusals, "!" before a forceable one
    // The board reports "off 10.0.0.20 255.255.255.0 10.0.0.254"; this PC is 10.0.0.1 and
    // another board 10.0.0.21.
    const auto row = [](const char *tag, const char *settings, const char *refused) {
        QTest::newRow(tag) << QString::fromLatin1(settings) << QString::fromLatin1(refused);
    };
    row("new address", "off 10.0.0.30 255.255.255.0 10.0.0.254", "");
    row("kept", "off 10.0.0.20 255.255.255.0 10.0.0.254", "");
    row("DHCP", "on 0.0.0.0 0.0.0.0 0.0.0.0", "");
    row("host of a /16", "off 10.0.0.255 255.255.0.0 10.0.0.254", "");
    row("gap", "off 10.0.0.30 255.0.255.0 10.0.0.254", "mask: 255.0.255.0 is not a subnet mask");
    row("no mask", "off 10.0.0.30 0.0.0.0 10.0.0.254", "mask: 0.0.0.0 leaves no subnet");
    row("zero", "off 0.0.0.0 255.0.0.0 0.0.0.1", "ip: 0.0.0.0 is no address a board can hold");
    row("ones", "off 255.255.255.255 255.255.255.0 255.255.255.1", "ip: 255.255.255.255 is the");
    row("loopback", "off 127.0.0.5 255.0.0.0 127.0.0.1", "ip: 127.0.0.5 is a loopback address");
    row("multicast", "off 224.0.0.5 255.0.0.0 224.0.0.1", "ip: 224.0.0.5 is a multicast address");
    row("network", "off 10.0.0.0 255.255.255.0 10.0.0.254",
        "ip: 10.0.0.0 is the network address of the subnet 10.0.0.0/24");
    row("broadcast", "off 10.0.255.255 255.255.0.0 10.0.0.254",
        "ip: 10.0.255.255 is the broadcast address of the subnet 10.0.0.0/16");
    row("PC", "off 10.0.0.1 255.255.255.0 10.0.0.254", "!ip: 10.0.0.1 is held by this PC");
    row("board", "off 10.0.0.21 255.255.255.0 10.0.0.254", "!ip: 10.0.0.21 is held by board 2:0");
    row("outside", "off 10.0.0.30 255.255.255.0 10.1.0.1",
        "!gateway: 10.1.0.1 lies outside the new subnet 10.0.0.0/24");
    row("gateway is the IP", "off 10.0.0.30 255.255.255.0 10.0.0.30",
        "!gateway: 10.0.0.30 is the board's own IP address");
    row("all wrong", "off 10.0.0.1 255.255.0.255 10.0.0.1",
        "mask: 255.255.0.255 is not a subnet mask|!ip: 10.0.0.1 is held by this PC|"
        "!gateway: 10.0.0.1 is the board's own IP address");
}

void TestCli::settingsChecks()
{
    QFETCH(QString, settings);
    QFETCH(QString, refused);
    const auto record = [](const QString &text) {
        DeviceRecord out{};
        out.dhcp = text.startsWith(QLatin1String("on")) ? 1 : 0;
        for (int field = IpField; field <= GatewayField; ++field) {
            Address address{};
            parseAddressText(text.section(QLatin1Char(' '), field + 1, field + 1), address);
            std::copy(address.cbegin(), address.cend(), addressOf(out, field));
        }
        return out;
    };
    AddressHolders holders;
    holders.insert(ipv4("10.0.0.1"), QStringLiteral("this PC"));
    holders.insert(ipv4("10.0.0.21"), QStringLiteral("board 2:0:00:00:00:02"));
    QStringList got;
    for (const ChangeError &problem : checkNewSettings(
             record("off 10.0.0.20 255.255.255.0 10.0.0.254"), record(settings), holders))
        got << (problem.needsForce ? "!" : "") + problem.field + ": " + problem.reason;
    const QStringList expected = refused.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(got.at(i).startsWith(expected.at(i)), qPrintable(got.at(i)));
}

void TestCli::differencesSkipWhatIsNotReported()
{
    FoundBoard back = found("10.77.0.20", "2:0:00:00:00:01");
    DeviceRecord sent = back.record;
    sent.cdeNiveau2 = 1;
    QCOMPARE(differences(sent, back), QStringList{"level2 off (sent on)"});
    back.layout = ReplyLayout::Short;
    QCOMPARE(differences(sent, back), QStringList());
    sent.ip[3] = 99;
    QCOMPARE(differences(sent, back), QStringList{"ip 10.77.0.20 (sent 10.77.0.99)"});
    sent.dhcp = 1; // the DHCP server picks the addresses
    QCOMPARE(differences(sent, back), QStringList{"dhcp off (sent on)"});
}

void TestCli::helpAndUsage()
{
    for (const char *command : {"discover", "set", "apply"}) {
        const CliRun help = cli({QLatin1String(command), "--help"});
        QCOMPARE(help.code, 0);
        QVERIFY2(help.out.startsWith(
                     QStringLiteral("Usage: quorvan-cli %1").arg(QLatin1String(command))),
                 qPrintable(describe(help)));
        QVERIFY(help.out.contains(QStringLiteral("\nExit status: 0 ")));
        QVERIFY(help.err.isEmpty());
        const CliRun asked = cli({"help", QLatin1String(command)});
        QCOMPARE(asked.code, 0);
        QCOMPARE(asked.out, help.out);
    }
    const CliRun general = cli({"--help"});
    QCOMPARE(general.code, 0);
    QVERIFY(general.out.contains(QStringLiteral("discover")));
}

namespace {

const QString longDhcpBoard =
    QStringLiteral("mac=00:50:c2:0d:e4:05,ip=10.77.0.20,dhcp=on,port=4022,gateway=10.77.0.1");
const QString shortBroadcastBoard = QStringLiteral(
    "mac=0a:1b:2c:3d:4e:5f,ip=10.77.0.21,layout=short,version=V3.07,reply=broadcast,delay=100");
const QString levelTwoBoard =
    QStringLiteral("mac=02:00:00:00:00:03,ip=10.77.0.22,version=V2.10.00,level2=on,dns=10.77.0.53");

} // namespace

// One search per format over the same boards. CSV carries the table's values, with an
// empty cell for what is not reported and a quote before a leading "-"; JSON the same, with
// booleans and null.
void TestCli::discoverFormats()
{
    // An empty port and a version "-" must not look alike.
    QVERIFY(startBoards({longDhcpBoard, shortBroadcastBoard, levelTwoBoard,
                         "mac=02:00:00:00:00:06,ip=10.77.0.26,port=,version=-"}));
    QMap<QString, CliRun> runs;
    for (const QString format : {"table", "csv", "json"}) {
        runs[format] = cli({"discover", "--format", format, "--wait", shortSearch});
        QVERIFY2(runs[format].code == 0 && runs[format].err.isEmpty(),
                 qPrintable(describe(runs[format])));
    }
    const QStringList rows = lines(runs[QStringLiteral("table")].out);
    QVERIFY2(rows.size() == 5, qPrintable(describe(runs[QStringLiteral("table")])));
    QCOMPARE(rows.at(0).simplified(),
             QStringLiteral("MAC IP MASK GATEWAY DNS DHCP PORT LEVEL2 VERSION LAYOUT LOCAL ADDRESS "
                            "INTERFACE VIA"));
    QStringList expected{
        "0:50:c2:0d:e4:05 10.77.0.20 255.255.255.0 10.77.0.1 10.77.0.254 on 4022 off V3.00.01 long",
        "a:1b:2c:3d:4e:5f 10.77.0.21 255.255.255.0 10.77.0.254 10.77.0.254 off 502 - V3.07 short",
        "2:0:00:00:00:03 10.77.0.22 255.255.255.0 10.77.0.254 10.77.0.53 off 502 on V2.10.00 long",
        "2:0:00:00:00:06 10.77.0.26 255.255.255.0 10.77.0.254 10.77.0.254 off - off \\x2d long"};
    for (QString &row : expected)
        row += QStringLiteral(" 10.77.0.1 %1 %2")
                   .arg(card, row.endsWith(QLatin1String("short")) ? "broadcast" : "unicast");
    QStringList got;
    for (int i = 1; i < rows.size(); ++i)
        got << rows.at(i).simplified();
    got.sort();
    expected.sort();
    QCOMPARE(got, expected);
    // Columns line up: every row has its IP where the header has "IP".
    const int ipColumn = int(rows.at(0).indexOf(QStringLiteral("IP")));
    for (int i = 1; i < rows.size(); ++i)
        QCOMPARE(rows.at(i).mid(ipColumn, 6), QStringLiteral("10.77."));

    const QStringList csv = lines(runs[QStringLiteral("csv")].out);
    QCOMPARE(csv.at(0), csvColumns().join(QLatin1Char(',')));
    got.clear();
    for (int i = 1; i < csv.size(); ++i)
        got << csv.at(i).section(QLatin1Char(','), 0, 9);
    QVERIFY(got.contains("a:1b:2c:3d:4e:5f,10.77.0.21,255.255.255.0,10.77.0.254,10.77.0.254,off,"
                         "502,,V3.07,short"));
    QVERIFY(got.contains("2:0:00:00:00:06,10.77.0.26,255.255.255.0,10.77.0.254,10.77.0.254,off,,"
                         "off,'-,long"));
    const QJsonObject root =
        QJsonDocument::fromJson(runs[QStringLiteral("json")].out.toUtf8()).object();
    QCOMPARE(root.value(QStringLiteral("warnings")).toArray(), QJsonArray());
    const QJsonArray boards = root.value(QStringLiteral("boards")).toArray();
    QCOMPARE(boards.size(), csv.size() - 1);
    for (int i = 1; i < csv.size(); ++i) {
        QStringList fields;
        QVERIFY(splitCsvLine(csv.at(i), fields));
        QCOMPARE(fields.size(), csvColumns().size());
        const QJsonObject board = boardByMac(boards, fields.at(0));
        for (int column = 0; column < fields.size(); ++column) {
            const QJsonValue value = board.value(csvColumns().at(column));
            const QString &field = fields.at(column);
            if (value.isString())
                QCOMPARE(value.toString(), cellValue(field));
            else
                QCOMPARE(value, field.isEmpty() ? QJsonValue() : QJsonValue(field == "on"));
        }
    }
    QCOMPARE(boardByMac(boards, QStringLiteral("a:1b:2c:3d:4e:5f")).value(QStringLiteral("level2")),
             QJsonValue(QJsonValue::Null));
}

// The window's series: queries at 1, 2, 3 and 4 s, ten seconds in all, one row per board
// however many replies it sends; the countdown only on a terminal.
void TestCli::discoverTimingAndCountdown()
{
    Simulator *sim = startBoards({longDhcpBoard, shortBroadcastBoard});
    QVERIFY(sim);
    QElapsedTimer clock;
    clock.start();
    const CliRun run = cli({"discover", "--format", "csv"});
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    QVERIFY2(elapsed >= 10000 && elapsed < 12500, qPrintable(QString::number(elapsed)));
    QCOMPARE(lines(run.out).size(), 3);
    const QVector<SimEvent> sent = queries(sim);
    QCOMPARE(sent.size(), 4);
    for (int i = 1; i < sent.size(); ++i) {
        const qint64 gap = sent.at(i).msecs - sent.at(i - 1).msecs;
        QVERIFY2(gap >= 900 && gap <= 1100, qPrintable(QString::number(gap)));
    }
    for (const SimEvent &query : sent) {
        QCOMPARE(query.address, QStringLiteral("10.77.0.1"));
        QCOMPARE(query.port, 4022);
        QCOMPARE(query.bytes, QByteArray("Quorvan?\0", 9));
    }
    QCOMPARE(sim->events("SEND").size(), 8);

    // A shorter wait sends only the queries that fit. Through a pipe (every other run,
    // which finds standard error empty) there is no countdown; on a terminal the seconds
    // are rewritten in place.
    QProcess terminal;
    terminal.setProcessEnvironment(cliEnvironment(restartWait));
    terminal.start("script", {"-qec", QUORVAN_CLI " discover --wait 2.5 >/dev/null", "/dev/null"});
    const CliRun shown = finish(terminal, 20000);
    QVERIFY2(shown.code == 0, qPrintable(describe(shown)));
    QVERIFY2(shown.out.contains(QStringLiteral("\rsearching: 3 s")), qPrintable(shown.out));
    QVERIFY(shown.out.contains(QStringLiteral("\rsearching: 1 s")));
    QVERIFY(!shown.out.contains(QStringLiteral("0:50:c2:0d:e4:05"))); // stdout went to /dev/null
    QTRY_COMPARE(queries(sim).size(), 6);
}

void TestCli::discoverWarnings()
{
    QVERIFY(startBoards({"mac=02:00:00:00:00:01,ip=10.77.0.50",
                         "mac=02:00:00:00:00:02,ip=10.77.0.50,reply=broadcast",
                         "mac=02:00:00:00:00:04,ip=10.77.0.1"}));
    QVERIFY(lab->startSimulator(host, {"--bind", "192.168.50.7", "--board",
                                       "mac=02:00:00:00:00:05,ip=192.168.50.7,reply=broadcast",
                                       "--board", // claims the MAC of another board
                                       "mac=02:00:00:00:00:04,ip=10.77.0.1,dns=10.77.0.53"}));
    const CliRun run = cli({"discover", "--format", "json", "--wait", shortSearch});
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    const QJsonObject root = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(root.value(QStringLiteral("boards")).toArray().size(), 4);
    const QJsonArray warnings = root.value(QStringLiteral("warnings")).toArray();
    QCOMPARE(warnings.size(), 4);
    QStringList texts;
    for (const QJsonValue &warning : warnings)
        texts << warning.toString();
    // The texts themselves are checked in warningRules; here, that each case is seen.
    for (const QString &start :
         {QStringLiteral("boards 2:0:00:00:00:01, 2:0:00:00:00:02 report the same IP address"),
          QStringLiteral("board 2:0:00:00:00:04 answered with 2 different replies"),
          QStringLiteral("board 2:0:00:00:00:04 reports 10.77.0.1, an address of this PC (%1)")
              .arg(card),
          QStringLiteral("board 2:0:00:00:00:05 (192.168.50.7) lies in no subnet")})
        QVERIFY2(texts.filter(start).size() == 1, qPrintable(texts.join(QLatin1Char('\n'))));
    QVERIFY(texts.filter(QStringLiteral("answered with")).first().contains("dns 10.77.0.53"));
    QStringList stderrLines = lines(run.err);
    QCOMPARE(stderrLines.size(), 4);
    for (const QString &text : texts)
        QVERIFY(stderrLines.contains(QStringLiteral("quorvan-cli: warning: ") + text));

    const QJsonObject foreign = boardByMac(root.value(QStringLiteral("boards")).toArray(),
                                           QStringLiteral("2:0:00:00:00:05"));
    QCOMPARE(foreign.value(QStringLiteral("via")).toString(), QStringLiteral("broadcast"));
    QCOMPARE(foreign.value(QStringLiteral("local_address")).toString(),
             QStringLiteral("10.77.0.1"));
}

void TestCli::setVerified_data()
{
    QTest::addColumn<QString>("write"); // what the board does with the write
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("result");
    QTest::newRow("applied") << "apply" << 0 << "applied";
    QTest::newRow("ignored") << "ignore" << 3
                             << "settings differ: ip 10.77.0.20 (sent 10.77.0.99), mask "
                                "255.255.255.0 (sent 255.255.0.0), gateway 10.77.0.254 (sent "
                                "10.77.0.1), dns 10.77.0.254 (sent 10.77.0.53), level2 off (sent "
                                "on)";
    QTest::newRow("mangled") << "mangle" << 3
                             << "settings differ: ip 10.77.0.100 (sent 10.77.0.99)";
}

void TestCli::setVerified()
{
    QFETCH(QString, write);
    QFETCH(int, code);
    QFETCH(QString, result);
    Simulator *sim = startBoards({"mac=00:50:c2:0d:e4:05,ip=10.77.0.20,port=4022,write=" + write});
    QVERIFY(sim);
    const CliRun run =
        cli({"set", "00:50:C2:0D:E4:05", "--ip", "10.77.0.99", "--mask", "255.255.0.0", "--gateway",
             "10.77.0.1", "--dns", "10.77.0.53", "--level2", "on", "--wait", shortSearch});
    QVERIFY2(run.code == code, qPrintable(describe(run)));
    QCOMPARE(lines(run.out),
             (QStringList{"0:50:c2:0d:e4:05: sent dhcp off, ip 10.77.0.99, mask 255.255.0.0, "
                          "gateway 10.77.0.1, dns 10.77.0.53, level2 on",
                          "0:50:c2:0d:e4:05: " + result}));
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));

    // Exactly the window's datagram, once, from the PC's port 4022.
    const QVector<SimEvent> sent = writes(sim);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().address, QStringLiteral("10.77.0.1"));
    QCOMPARE(sent.first().port, 4022);
    const QByteArray expected = QByteArray("QuorvanW") + QByteArray::fromHex("0050c20de405") + 'N' +
                                QByteArray("4022\0", 5) +
                                QByteArray::fromHex("0a4d0063ffff00000a4d00010a4d0035") + 'O' +
                                QByteArray("V3.00.01", 8);
    QCOMPARE(sent.first().bytes, expected);
    QCOMPARE(sim->events("APPLY").size(), write == QLatin1String("ignore") ? 0 : 1);
    // The search after the restart began after the board was back.
    QCOMPARE(queries(sim).size(), 2);
    QVERIFY(write == QLatin1String("ignore") ||
            queries(sim).last().msecs > sim->events("BACK").first().msecs);
}

void TestCli::setBoardNeverComesBack()
{
    Simulator *sim = startBoards({"mac=02:00:00:00:00:01,ip=10.77.0.20"});
    QVERIFY(sim);
    QProcess process;
    startCli(process, {"set", "2:0:00:00:00:01", "--ip", "10.77.0.99", "--wait", shortSearch},
             2000);
    QTRY_COMPARE_WITH_TIMEOUT(sim->events("APPLY").size(), 1, 5000);
    sim->stop(); // the board dies during its restart
    const CliRun run = finish(process, 20000);
    QVERIFY2(run.code == 4, qPrintable(describe(run)));
    QCOMPARE(lines(run.out).last(), QStringLiteral("2:0:00:00:00:01: did not come back"));
}

void TestCli::invalidInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    // Arguments are separated by spaces; "MAC" is a board the simulator plays.
    const auto row = [](const char *tag, const char *arguments, const char *message) {
        QTest::newRow(tag) << QString::fromLatin1(arguments)
                                  .replace(QLatin1String("MAC"), QLatin1String("2:0:00:00:00:01"))
                                  .split(QLatin1Char(' '), Qt::SkipEmptyParts)
                           << QString::fromLatin1(message);
    };
    row("ip", "set MAC --ip 10.77.0.256",
        "quorvan-cli: --ip: \"10.77.0.256\" is not an address: four numbers from 0 to 255 of one "
        "to three digits, separated by single dots");
    row("mask", "set MAC --mask 255.255.0", "--mask: \"255.255.0\"");
    row("runs of dots", "set MAC --gateway ..10.77...0.113.", "--gateway: \"..10.77...0.113.\"");
    row("escapes", "set MAC --dns \x1b]0;x\x07\x1b[2J", "--dns: \"\\x1b]0;x\\x07\\x1b[2J\"");
    row("expected ip", "set MAC --ip 10.77.0.99 --expect-ip 10.77.0", "--expect-ip: \"10.77.0\"");
    row("mac", "set 2:0:00:00:01 --ip 10.77.0.99", "\"2:0:00:00:01\" is not a MAC address");
    row("mac with newline", "set 2:0:00:00:01:0d\n --level2 off",
        "\"2:0:00:00:01:0d\\x0a\" is not a MAC address");
    row("no mac", "set --ip 10.77.0.99", "set needs the MAC address");
    row("dhcp on with address", "set MAC --dhcp on --ip 10.77.0.99", "--dhcp on keeps the");
    row("dhcp value", "set MAC --dhcp yes", "--dhcp: \"yes\" is neither on nor off");
    row("nothing", "set MAC", "nothing to change");
    row("twice", "set MAC --ip 10.77.0.98 --ip 10.77.0.99", "--ip is given more than once");
    row("wait", "set MAC --ip 10.77.0.99 --wait soon", "--wait: \"soon\"");
    row("option", "set MAC --port 503", "Unknown option 'port'");
    row("no command", "", "a command is needed");
    row("unknown command", "\x1b]0;title\x07", "unknown command \"\\x1b]0;title\\x07\"");
    row("unknown option", "discover --\x1b[2J", "Unknown option '\\x1b[2J'");
    row("format", "discover --format xml", "--format: \"xml\" is none of table, csv, json");
    row("short wait", "discover --wait 1", "--wait: \"1\" is not a number of seconds above 1");
    row("argument", "discover extra", "discover takes no argument: \"extra\"");
    row("no file", "apply", "apply needs one CSV file");
    row("expected ip in apply", "apply x.csv --expect-ip 10.77.0.9", "--expect-ip: \"10.77.0.9\"");
    row("help", "help frobnicate", "unknown command \"frobnicate\"");
}

// Refused before any socket is opened: the simulator hears nothing at all, and nothing
// that was typed reaches the terminal unescaped.
void TestCli::invalidInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    Simulator *sim = startBoards({"mac=02:00:00:00:00:01,ip=10.77.0.20"});
    QVERIFY(sim);
    const CliRun run = cli(arguments);
    QVERIFY2(run.code == 1, qPrintable(describe(run)));
    QCOMPARE(lines(run.err).size(), 1);
    QVERIFY2(run.err.startsWith("quorvan-cli: ") && run.err.contains(message), qPrintable(run.err));
    QVERIFY(!run.err.contains(QLatin1Char('\x1b')));
    QVERIFY(run.out.isEmpty());
    QTest::qWait(200);
    QVERIFY(sim->events(QStringLiteral("RECV")).isEmpty());
}

void TestCli::setCheckedAfterSearch_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // on standard error, or the output when sent
    const auto row = [](const char *tag, const QStringList &arguments, int code,
                        const char *message) {
        QTest::newRow(tag) << arguments << code << QString::fromLatin1(message);
    };
    const QString v2 = QStringLiteral("2:0:00:00:00:01");
    const QString claimed = QStringLiteral("2:0:00:00:00:03");
    row("level2 on a V2 board", {"set", v2, "--level2", "on"}, 1,
        "quorvan-cli: --level2: board version V2.10.00 cannot take the level-2 code");
    row("address on a DHCP board", {"set", "2:0:00:00:00:02", "--ip", "10.77.0.99"}, 1,
        "quorvan-cli: --ip: cannot be set with DHCP on");
    row("unknown board", {"set", "2:0:00:00:00:09", "--ip", "10.77.0.99"}, 2,
        "quorvan-cli: board 2:0:00:00:00:09 did not answer the search; nothing sent");
    row("address of this PC", {"set", v2, "--ip", "10.77.0.1"}, 1,
        "quorvan-cli: --ip: 10.77.0.1 is held by this PC (");
    row("address of another board", {"set", v2, "--ip", "10.77.0.21"}, 1,
        "quorvan-cli: --ip: 10.77.0.21 is held by board 2:0:00:00:00:02 (--force sends it "
        "anyway)");
    row("gateway outside", {"set", v2, "--gateway", "192.168.50.1"}, 1,
        "quorvan-cli: --gateway: 192.168.50.1 lies outside the new subnet 10.77.0.0/24");
    row("forced", {"set", v2, "--ip", "10.77.0.21", "--force", "--no-verify"}, 0,
        "2:0:00:00:00:01: sent dhcp off, ip 10.77.0.21,");
    // A second device claims 2:0:00:00:00:03 with the same IP but another gateway and DNS.
    row("claimed MAC", {"set", claimed, "--ip", "10.77.0.40"}, 6,
        "quorvan-cli: board 2:0:00:00:00:03 answered with 2 different replies, so another "
        "device may claim its MAC: (");
    row("level2 as reported, DHCP on",
        {"set", v2, "--dhcp", "on", "--level2", "off", "--no-verify"}, 0,
        "2:0:00:00:00:01: sent dhcp on, ip 10.77.0.20, mask 255.255.255.0, gateway 10.77.0.254, "
        "dns 10.77.0.254, level2 off\n");
    row("claimed MAC, other IP expected",
        {"set", claimed, "--ip", "10.77.0.40", "--expect-ip", "10.77.0.23"}, 6,
        "quorvan-cli: board 2:0:00:00:00:03 reports 10.77.0.22, not the expected IP 10.77.0.23");
    row("claimed MAC, replies differ",
        {"set", claimed, "--ip", "10.77.0.40", "--expect-ip", "10.77.0.22"}, 6,
        "; the replies with IP 10.77.0.22 differ in gateway, dns, which the write would keep");
    row("claimed MAC, all differences given",
        {"set", claimed, "--ip", "10.77.0.40", "--gateway", "10.77.0.1", "--dns", "10.77.0.53",
         "--expect-ip", "10.77.0.22", "--no-verify"},
        0,
        "2:0:00:00:00:03: sent dhcp off, ip 10.77.0.40, mask 255.255.255.0, gateway 10.77.0.1, "
        "dns 10.77.0.53, level2 off");
}

// Checked once the search has shown the board: queries went out, and a write only when
// nothing was refused.
void TestCli::setCheckedAfterSearch()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);
    Simulator *sim = startBoards({"mac=02:00:00:00:00:01,ip=10.77.0.20,version=V2.10.00",
                                  "mac=02:00:00:00:00:02,ip=10.77.0.21,dhcp=on",
                                  "mac=02:00:00:00:00:03,ip=10.77.0.22"});
    QVERIFY(sim);
    QVERIFY(lab->startSimulator(
        host, {"--bind", "192.168.50.7", "--board",
               QStringLiteral("mac=02:00:00:00:00:03,ip=10.77.0.22,gateway=192.168.50.1,"
                              "dns=192.168.50.53")}));
    const CliRun run = cli(arguments + QStringList{"--wait", shortSearch});
    QVERIFY2(run.code == code, qPrintable(describe(run)));
    QVERIFY2((code ? run.err : run.out).contains(message), qPrintable(describe(run)));
    QVERIFY(code == 0 || run.err.endsWith(QStringLiteral("nothing sent\n")));
    QCOMPARE(queries(sim).size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(writes(sim).size(), code == 0 ? 1 : 0, 1000);
}

void TestCli::applyRefusedSendsNothing_data()
{
    QTest::addColumn<QByteArray>("file"); // or a path, after "path:"
    QTest::addColumn<QStringList>("problems");
    QTest::newRow("wrong line") << QByteArray("mac,ip,mask,dhcp\n2:0:00:00:00:01,10.77.0.30,,off\n"
                                              "2:0:00:00:00:02,10.77.0.31,255.255.0,off\n")
                                << QStringList{"line 3: mask: \"255.255.0\" is not an address"};
    QTest::newRow("escape sequence in the header")
        << QByteArray("MAC;IP;\x1b]0;t\x07;;\n")
        << QStringList{"line 1: unknown column \"\\x1b]0\"", "line 1: unknown column \"t\\x07\""};
    QTest::newRow("endless file") << QByteArray("path:/dev/zero")
                                  << QStringList{"larger than 1024 KiB, too large for a list"};
    // Found only once the search has shown the boards.
    QTest::newRow("one address for two boards")
        << QByteArray("mac;ip\n2:0:00:00:00:01;10.77.0.30\n2:0:00:00:00:02;10.77.0.30\n")
        << QStringList{"line 2: ip: 10.77.0.30 is held by board 2:0:00:00:00:02, which line 3 "
                       "gives it too (--force sends it anyway)",
                       "line 3: ip: 10.77.0.30 is held by board 2:0:00:00:00:01, which line 2 "
                       "gives it too"};
    QTest::newRow("address of a board not listed")
        << QByteArray("mac,ip\n2:0:00:00:00:01,10.77.0.21\n")
        << QStringList{"line 2: ip: 10.77.0.21 is held by board 2:0:00:00:00:02 (--force"};
}

void TestCli::applyRefusedSendsNothing()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, problems);
    Simulator *sim =
        startBoards({"mac=02:00:00:00:00:01,ip=10.77.0.20", "mac=02:00:00:00:00:02,ip=10.77.0.21"});
    QVERIFY(sim);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("boards.csv"));
    if (file.startsWith("path:"))
        path = QString::fromLatin1(file.mid(5));
    else {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    }
    const CliRun run = cli({"apply", path, "--wait", shortSearch});
    QVERIFY2(run.code == 1, qPrintable(describe(run)));
    QVERIFY(run.out.isEmpty());
    const QStringList messages = lines(run.err);
    QCOMPARE(messages.size(), problems.size() + 1);
    for (int i = 0; i < problems.size(); ++i)
        QVERIFY2(messages.at(i).startsWith(QStringLiteral("quorvan-cli: %1: ").arg(path)) &&
                     messages.at(i).contains(problems.at(i)),
                 qPrintable(describe(run)));
    QVERIFY(messages.last().endsWith(QStringLiteral("nothing sent")));
    QTest::qWait(200);
    QVERIFY(writes(sim).isEmpty());
}

// The list a user gets from discover, with texts that a spreadsheet would take for formulas,
// edited, saved the way a French spreadsheet saves it, with one board more that does not
// answer, and fed back through standard input.
void TestCli::applyDiscoveredListToThreeBoards()
{
    Simulator *sim = startBoards(
        {"mac=02:00:00:00:00:01,ip=10.77.0.20,version==1+2",
         QStringLiteral("mac=02:00:00:00:00:02,ip=10.77.0.21,layout=short,reply=broadcast,"
                        "dhcp=on,port=@A1,version=-1+2"),
         "mac=02:00:00:00:00:03,ip=10.77.0.22,version=V1.05,port=+1"});
    QVERIFY(sim);
    const CliRun discovered = cli({"discover", "--format", "csv", "--wait", shortSearch});
    QCOMPARE(discovered.code, 0);
    QString csv = discovered.out;
    QCOMPARE(lines(csv).size(), 4);
    for (const char *cell : {",'=1+2,", ",'@A1,", ",'-1+2,", ",'+1,"})
        QVERIFY2(csv.contains(QLatin1String(cell)), qPrintable(csv));
    csv.replace(QStringLiteral("2:0:00:00:00:01,10.77.0.20,255.255.255.0"),
                QStringLiteral("2:0:00:00:00:01,10.77.0.40,255.255.0.0"));
    // DHCP off and a new address for the DHCP board; its reported addresses stand in the
    // other cells.
    csv.replace(QStringLiteral("2:0:00:00:00:02,10.77.0.21"),
                QStringLiteral("2:0:00:00:00:02,10.77.0.41"));
    csv.replace(QStringLiteral("10.77.0.254,on,"), QStringLiteral("10.77.0.254,off,"));
    csv.replace(QStringLiteral("2:0:00:00:00:03,10.77.0.22"),
                QStringLiteral("2:0:00:00:00:03,10.77.0.42"));
    csv.replace(QLatin1Char(','), QLatin1Char(';')).replace(QLatin1Char('\n'), ";;\r\n");
    csv.replace(0, csv.indexOf(QLatin1Char(';')), QStringLiteral("MAC"));
    // A board that is not there, first: results come in file order.
    csv.insert(csv.indexOf(QLatin1Char('\n')) + 1,
               QStringLiteral("2:0:00:00:00:07;10.77.0.37\r\n"));

    const CliRun run = cli({"apply", "-", "--wait", shortSearch}, restartWait, csv.toUtf8());
    QVERIFY2(run.code == 2, qPrintable(describe(run)));
    QStringList results = lines(run.out);
    QCOMPARE(results.takeFirst(),
             QStringLiteral("2:0:00:00:00:07: did not answer the first search; nothing sent"));
    results.sort();
    QCOMPARE(results, (QStringList{"2:0:00:00:00:01: applied", "2:0:00:00:00:02: applied",
                                   "2:0:00:00:00:03: applied"}));
    QCOMPARE(writes(sim).size(), 3);
    QCOMPARE(sim->events("APPLY").size(), 3);
    QCOMPARE(queries(sim).size(), 3); // discover, then apply's two searches

    const CliRun after = cli({"discover", "--format", "csv", "--wait", shortSearch});
    QVERIFY(after.out.contains(QStringLiteral("2:0:00:00:00:01,10.77.0.40,255.255.0.0,")));
    QVERIFY(
        after.out.contains(QStringLiteral("2:0:00:00:00:02,10.77.0.41,255.255.255.0,10.77.0.254,"
                                          "10.77.0.254,off,'@A1,,'-1+2,")));
    QVERIFY(after.out.contains(QStringLiteral("2:0:00:00:00:03,10.77.0.42,")));
}

QUORVAN_TEST_MAIN(TestCli)
#include "tst_cli.moc"
