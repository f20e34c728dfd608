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

void startCli(QProcess &process, const QStringList &arguments, int restartMs = restartWait)
{
    process.setProcessEnvironment(cliEnvironment(restartMs));
    process.start(QStringLiteral(QUORVAN_CLI), arguments);
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
CliRun cli(const QStringList &arguments, int restartMs = restartWait, int timeoutMs = 60000)
{
    QProcess process;
    startCli(process, arguments, restartMs);
    const CliRun run = finish(process, timeoutMs);
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
    void macTexts();
    void csvLines();
    void applyFileErrors();
    void warningRules();
    void differencesSkipWhatIsNotReported();

    void helpAndUsage();
    void discoverTable();
    void discoverCsv();
    void discoverJson();
    void discoverTimingAndOneLinePerBoard();
    void discoverWarnings();
    void countdownOnlyOnTerminal();

    void setApplied();
    void setIgnoredWrite();
    void setMangledWrite();
    void setBoardNeverComesBack();
    void setUnknownMac();
    void setInvalidInput_data();
    void setInvalidInput();
    void setRefusedAfterSearch_data();
    void setRefusedAfterSearch();
    void setNoVerify();

    void applyBadLineSendsNothing();
    void applyDiscoveredListToThreeBoards();
    void applyWithMissingBoard();

private:
    Simulator *startBoards(const QStringList &boards);
    QVector<SimEvent> writes(Simulator *sim)
    {
        return sim->events(QStringLiteral("RECV"), QStringLiteral("write"));
    }

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

void TestCli::macTexts()
{
    MacAddress mac{};
    QVERIFY(parseMacText(QStringLiteral("0:50:c2:0d:e4:05"), mac));
    QCOMPARE(macText(mac.data()), QStringLiteral("0:50:c2:0d:e4:05"));
    QVERIFY(parseMacText(QStringLiteral("00:50:C2:0D:E4:05"), mac));
    QCOMPARE(macText(mac.data()), QStringLiteral("0:50:c2:0d:e4:05"));
    for (const char *bad : {"", "0:50:c2:0d:e4", "0:50:c2:0d:e4:05:06", "0:50:c2:0d:e4:g5",
                            "000:50:c2:0d:e4:05", "0-50-c2-0d-e4-05", "0:50:c2:0d:e4:05 "})
        QVERIFY2(!parseMacText(QLatin1String(bad), mac), bad);
}

void TestCli::csvLines()
{
    QStringList fields;
    QVERIFY(splitCsvLine(QStringLiteral("a,,\"b,c\",\"d\"\"e\","), fields));
    QCOMPARE(fields, (QStringList{"a", "", "b,c", "d\"e", ""}));
    QVERIFY(!splitCsvLine(QStringLiteral("a,\"b"), fields));
    QVERIFY(!splitCsvLine(QStringLiteral("a,\"b\"c"), fields));
    QCOMPARE(csvField(QStringLiteral("V3,\"x")), QStringLiteral("\"V3,\"\"x\""));
    QVERIFY(splitCsvLine(csvField(QStringLiteral("V3,\"x")), fields));
    QCOMPARE(fields, QStringList{"V3,\"x"});
}

void TestCli::applyFileErrors()
{
    const ApplyFile good = readApplyFile(QStringLiteral(
        "mac,ip,dhcp,level2,version\r\n# a comment\n\n0:50:c2:0d:e4:05,10.0.0.1,off,,V3\n"
        "2:0:00:00:00:01,,on,on,\n"));
    QVERIFY2(good.errors.isEmpty(), qPrintable(good.errors.join(QLatin1Char('\n'))));
    QCOMPARE(good.boards.size(), 2);
    QCOMPARE(good.boards.at(0).line, 4);
    QVERIFY(good.boards.at(0).change.addresses[IpField].has_value());
    QVERIFY(!good.boards.at(0).change.levelTwo.has_value());
    QCOMPARE(good.boards.at(1).change.dhcp, std::optional<bool>(true));
    QVERIFY(!good.boards.at(1).change.hasAddress());

    const ApplyFile bad = readApplyFile(QStringLiteral(
        "mac,ip,mask,dhcp\n0:50:c2:0d:e4:05,10.0.0.256,,\n0:50:c2:0d:e4:05,,,maybe\nzz,,,\n"
        "2:0:00:00:00:01,,255.255.0,\n2:0:00:00:00:02,,,,extra\n"));
    QCOMPARE(bad.errors.size(), 6);
    QVERIFY(bad.errors.at(0).startsWith(QStringLiteral("line 2: ip: \"10.0.0.256\"")));
    QVERIFY(bad.errors.at(1).startsWith(
        QStringLiteral("line 3: mac: 0:50:c2:0d:e4:05 is already listed on line 2")));
    QVERIFY(bad.errors.at(2).startsWith(QStringLiteral("line 3: dhcp: \"maybe\"")));
    QVERIFY(bad.errors.at(3).startsWith(QStringLiteral("line 4: mac: \"zz\"")));
    QVERIFY(bad.errors.at(4).startsWith(QStringLiteral("line 5: mask: \"255.255.0\"")));
    QVERIFY(bad.errors.at(5).startsWith(QStringLiteral("line 6: 5 fields")));

    QVERIFY(readApplyFile(QStringLiteral("ip,gatway\n"))
                .errors.join(QLatin1Char(' '))
                .contains(QStringLiteral("unknown column \"gatway\"")));
    QVERIFY(readApplyFile(QStringLiteral("ip\n10.0.0.1\n"))
                .errors.join(QLatin1Char(' '))
                .contains(QStringLiteral("no \"mac\" column")));
    QCOMPARE(readApplyFile(QStringLiteral("mac\n")).errors, QStringList{"the file lists no board"});
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
    const QStringList warnings = boardWarnings(
        {found("10.77.0.50", "2:0:00:00:00:01"), found("192.168.50.7", "2:0:00:00:00:02"),
         found("10.77.0.50", "2:0:00:00:00:03"), found("10.77.0.1", "2:0:00:00:00:04")},
        networks);
    QCOMPARE(warnings.size(), 3);
    QCOMPARE(warnings.at(0),
             QStringLiteral(
                 "boards 2:0:00:00:00:01, 2:0:00:00:00:03 report the same IP address 10.77.0.50"));
    QVERIFY(warnings.at(1).startsWith(
        QStringLiteral("board 2:0:00:00:00:02 (192.168.50.7) lies in no subnet")));
    QVERIFY(warnings.at(1).contains(QStringLiteral("can still be reconfigured")));
    QCOMPARE(
        warnings.at(2),
        QStringLiteral("board 2:0:00:00:00:04 reports 10.77.0.1, an address of this PC (eth0)"));
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
        const CliRun help = cli({QLatin1String(command), QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        QVERIFY2(help.out.startsWith(
                     QStringLiteral("Usage: quorvan-cli %1").arg(QLatin1String(command))),
                 qPrintable(describe(help)));
        QVERIFY(help.err.isEmpty());
    }
    const CliRun general = cli({QStringLiteral("--help")});
    QCOMPARE(general.code, 0);
    QVERIFY(general.out.contains(QStringLiteral("discover")));
    for (const QStringList &wrong :
         {QStringList(), QStringList{"frobnicate"}, QStringList{"discover", "--format", "xml"},
          QStringList{"discover", "--wait", "1"}, QStringList{"discover", "extra"},
          QStringList{"apply"}}) {
        const CliRun run = cli(wrong);
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(lines(run.err).size(), 1);
        QVERIFY(run.err.startsWith(QStringLiteral("quorvan-cli: ")));
    }
}

namespace {

const QString longDhcpBoard =
    QStringLiteral("mac=00:50:c2:0d:e4:05,ip=10.77.0.20,dhcp=on,port=4022,gateway=10.77.0.1");
const QString shortBroadcastBoard = QStringLiteral(
    "mac=0a:1b:2c:3d:4e:5f,ip=10.77.0.21,layout=short,version=V3.07,reply=broadcast,delay=100");
const QString levelTwoBoard =
    QStringLiteral("mac=02:00:00:00:00:03,ip=10.77.0.22,version=V2.10.00,level2=on,dns=10.77.0.53");

} // namespace

void TestCli::discoverTable()
{
    QVERIFY(startBoards({longDhcpBoard, shortBroadcastBoard, levelTwoBoard}));
    const CliRun run = cli({QStringLiteral("discover"), QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    const QStringList rows = lines(run.out);
    QVERIFY2(rows.size() == 4, qPrintable(describe(run)));
    QCOMPARE(rows.at(0).simplified(),
             QStringLiteral("MAC IP MASK GATEWAY DNS DHCP PORT LEVEL2 VERSION LAYOUT LOCAL ADDRESS "
                            "INTERFACE VIA"));
    QStringList expected{
        QStringLiteral(
            "0:50:c2:0d:e4:05 10.77.0.20 255.255.255.0 10.77.0.1 10.77.0.254 on 4022 off "
            "V3.00.01 long 10.77.0.1 %1 unicast"),
        QStringLiteral(
            "a:1b:2c:3d:4e:5f 10.77.0.21 255.255.255.0 10.77.0.254 10.77.0.254 off 502 - "
            "V3.07 short 10.77.0.1 %1 broadcast"),
        QStringLiteral("2:0:00:00:00:03 10.77.0.22 255.255.255.0 10.77.0.254 10.77.0.53 off 502 on "
                       "V2.10.00 long 10.77.0.1 %1 unicast")};
    for (QString &row : expected)
        row = row.arg(card);
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
}

void TestCli::discoverCsv()
{
    QVERIFY(startBoards({longDhcpBoard, shortBroadcastBoard, levelTwoBoard}));
    const CliRun run = cli({QStringLiteral("discover"), QStringLiteral("--format"),
                            QStringLiteral("csv"), QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    const QStringList rows = lines(run.out);
    QVERIFY2(rows.size() == 4, qPrintable(describe(run)));
    QCOMPARE(rows.at(0), QStringLiteral("mac,ip,mask,gateway,dns,dhcp,port,level2,version,layout,"
                                        "local_address,interface,via"));
    QMap<QString, QStringList> byMac;
    for (int i = 1; i < rows.size(); ++i) {
        QStringList fields;
        QVERIFY(splitCsvLine(rows.at(i), fields));
        QCOMPARE(fields.size(), 13);
        byMac.insert(fields.at(0), fields);
    }
    QCOMPARE(
        byMac.value(QStringLiteral("0:50:c2:0d:e4:05")),
        (QStringList{"0:50:c2:0d:e4:05", "10.77.0.20", "255.255.255.0", "10.77.0.1", "10.77.0.254",
                     "on", "4022", "off", "V3.00.01", "long", "10.77.0.1", card, "unicast"}));
    QCOMPARE(byMac.value(QStringLiteral("a:1b:2c:3d:4e:5f")),
             (QStringList{"a:1b:2c:3d:4e:5f", "10.77.0.21", "255.255.255.0", "10.77.0.254",
                          "10.77.0.254", "off", "502", "", "V3.07", "short", "10.77.0.1", card,
                          "broadcast"}));
    QCOMPARE(
        byMac.value(QStringLiteral("2:0:00:00:00:03")),
        (QStringList{"2:0:00:00:00:03", "10.77.0.22", "255.255.255.0", "10.77.0.254", "10.77.0.53",
                     "off", "502", "on", "V2.10.00", "long", "10.77.0.1", card, "unicast"}));
}

void TestCli::discoverJson()
{
    QVERIFY(startBoards({longDhcpBoard, shortBroadcastBoard, levelTwoBoard}));
    const CliRun run = cli({QStringLiteral("discover"), QStringLiteral("--format"),
                            QStringLiteral("json"), QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    const QJsonObject root = document.object();
    QCOMPARE(root.value(QStringLiteral("warnings")).toArray(), QJsonArray());
    const QJsonArray boards = root.value(QStringLiteral("boards")).toArray();
    QCOMPARE(boards.size(), 3);

    const QJsonObject dhcp = boardByMac(boards, QStringLiteral("0:50:c2:0d:e4:05"));
    QCOMPARE(dhcp.value(QStringLiteral("ip")).toString(), QStringLiteral("10.77.0.20"));
    QCOMPARE(dhcp.value(QStringLiteral("mask")).toString(), QStringLiteral("255.255.255.0"));
    QCOMPARE(dhcp.value(QStringLiteral("gateway")).toString(), QStringLiteral("10.77.0.1"));
    QCOMPARE(dhcp.value(QStringLiteral("dns")).toString(), QStringLiteral("10.77.0.254"));
    QCOMPARE(dhcp.value(QStringLiteral("dhcp")), QJsonValue(true));
    QCOMPARE(dhcp.value(QStringLiteral("port")).toString(), QStringLiteral("4022"));
    QCOMPARE(dhcp.value(QStringLiteral("level2")), QJsonValue(false));
    QCOMPARE(dhcp.value(QStringLiteral("version")).toString(), QStringLiteral("V3.00.01"));
    QCOMPARE(dhcp.value(QStringLiteral("layout")).toString(), QStringLiteral("long"));
    QCOMPARE(dhcp.value(QStringLiteral("local_address")).toString(), QStringLiteral("10.77.0.1"));
    QCOMPARE(dhcp.value(QStringLiteral("interface")).toString(), card);
    QCOMPARE(dhcp.value(QStringLiteral("via")).toString(), QStringLiteral("unicast"));

    const QJsonObject shortBoard = boardByMac(boards, QStringLiteral("a:1b:2c:3d:4e:5f"));
    QCOMPARE(shortBoard.value(QStringLiteral("level2")), QJsonValue(QJsonValue::Null));
    QCOMPARE(shortBoard.value(QStringLiteral("layout")).toString(), QStringLiteral("short"));
    QCOMPARE(shortBoard.value(QStringLiteral("version")).toString(), QStringLiteral("V3.07"));
    QCOMPARE(shortBoard.value(QStringLiteral("via")).toString(), QStringLiteral("broadcast"));
    QCOMPARE(shortBoard.value(QStringLiteral("interface")).toString(), card);
    QCOMPARE(shortBoard.value(QStringLiteral("local_address")).toString(),
             QStringLiteral("10.77.0.1"));

    const QJsonObject levelTwo = boardByMac(boards, QStringLiteral("2:0:00:00:00:03"));
    QCOMPARE(levelTwo.value(QStringLiteral("level2")), QJsonValue(true));
    QCOMPARE(levelTwo.value(QStringLiteral("dhcp")), QJsonValue(false));
    QCOMPARE(levelTwo.value(QStringLiteral("dns")).toString(), QStringLiteral("10.77.0.53"));
}

// The window's series: queries at 1, 2, 3 and 4 s, ten seconds in all, one row per board
// however many replies it sends.
void TestCli::discoverTimingAndOneLinePerBoard()
{
    Simulator *sim = startBoards({longDhcpBoard, shortBroadcastBoard});
    QVERIFY(sim);
    QElapsedTimer clock;
    clock.start();
    const CliRun run =
        cli({QStringLiteral("discover"), QStringLiteral("--format"), QStringLiteral("csv")});
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    QVERIFY2(elapsed >= 10000 && elapsed < 12500, qPrintable(QString::number(elapsed)));
    QCOMPARE(lines(run.out).size(), 3);
    const QVector<SimEvent> queries = sim->events(QStringLiteral("RECV"), QStringLiteral("query"));
    QCOMPARE(queries.size(), 4);
    for (int i = 1; i < queries.size(); ++i) {
        const qint64 gap = queries.at(i).msecs - queries.at(i - 1).msecs;
        QVERIFY2(gap >= 900 && gap <= 1100, qPrintable(QString::number(gap)));
    }
    for (const SimEvent &query : queries) {
        QCOMPARE(query.address, QStringLiteral("10.77.0.1"));
        QCOMPARE(query.port, 4022);
        QCOMPARE(query.bytes, QByteArray("Quorvan?\0", 9));
    }
    QCOMPARE(sim->events(QStringLiteral("SEND")).size(), 8);

    // A shorter wait sends only the queries that fit.
    const CliRun shorter =
        cli({QStringLiteral("discover"), QStringLiteral("--wait"), QStringLiteral("2.5")});
    QCOMPARE(shorter.code, 0);
    QCOMPARE(sim->events(QStringLiteral("RECV"), QStringLiteral("query")).size(), 6);
}

void TestCli::discoverWarnings()
{
    QVERIFY(startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.50"),
                         QStringLiteral("mac=02:00:00:00:00:02,ip=10.77.0.50,reply=broadcast"),
                         QStringLiteral("mac=02:00:00:00:00:04,ip=10.77.0.1")}));
    QVERIFY(lab->startSimulator(
        host, {QStringLiteral("--bind"), QStringLiteral("192.168.50.7"), QStringLiteral("--board"),
               QStringLiteral("mac=02:00:00:00:00:05,ip=192.168.50.7,reply=broadcast")}));
    const CliRun run = cli({QStringLiteral("discover"), QStringLiteral("--format"),
                            QStringLiteral("json"), QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    const QJsonObject root = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(root.value(QStringLiteral("boards")).toArray().size(), 4);
    const QJsonArray warnings = root.value(QStringLiteral("warnings")).toArray();
    QCOMPARE(warnings.size(), 3);
    QStringList texts;
    for (const QJsonValue &warning : warnings)
        texts << warning.toString();
    QCOMPARE(texts.at(0),
             QStringLiteral(
                 "boards 2:0:00:00:00:01, 2:0:00:00:00:02 report the same IP address 10.77.0.50"));
    QVERIFY(texts.contains(
        QStringLiteral("board 2:0:00:00:00:04 reports 10.77.0.1, an address of this PC (%1)")
            .arg(card)));
    QVERIFY(
        texts.contains(QStringLiteral("board 2:0:00:00:00:05 (192.168.50.7) lies in no subnet of "
                                      "this PC; it can still be reconfigured, since the write goes "
                                      "by broadcast")));
    QStringList stderrLines = lines(run.err);
    QCOMPARE(stderrLines.size(), 3);
    for (const QString &text : texts)
        QVERIFY(stderrLines.contains(QStringLiteral("quorvan-cli: warning: ") + text));

    const QJsonObject foreign = boardByMac(root.value(QStringLiteral("boards")).toArray(),
                                           QStringLiteral("2:0:00:00:00:05"));
    QCOMPARE(foreign.value(QStringLiteral("via")).toString(), QStringLiteral("broadcast"));
    QCOMPARE(foreign.value(QStringLiteral("local_address")).toString(),
             QStringLiteral("10.77.0.1"));
}

// Through a pipe (every other test) standard error carries no countdown; on a terminal
// the seconds are rewritten in place.
void TestCli::countdownOnlyOnTerminal()
{
    QVERIFY(startBoards({longDhcpBoard}));
    const CliRun piped = cli({QStringLiteral("discover"), QStringLiteral("--wait"), shortSearch});
    QCOMPARE(piped.code, 0);
    QVERIFY(!piped.err.contains(QLatin1Char('\r')));
    QVERIFY(!piped.err.contains(QStringLiteral("searching")));

    QProcess terminal;
    terminal.setProcessEnvironment(cliEnvironment(restartWait));
    terminal.start(
        QStringLiteral("script"),
        {QStringLiteral("-qec"),
         QStringLiteral("%1 discover --wait 2.5 >/dev/null").arg(QStringLiteral(QUORVAN_CLI)),
         QStringLiteral("/dev/null")});
    const CliRun run = finish(terminal, 20000);
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    QVERIFY2(run.out.contains(QStringLiteral("\rsearching: 3 s")), qPrintable(run.out));
    QVERIFY(run.out.contains(QStringLiteral("\rsearching: 1 s")));
    QVERIFY(!run.out.contains(QStringLiteral("0:50:c2:0d:e4:05"))); // stdout went to /dev/null
}

void TestCli::setApplied()
{
    Simulator *sim = startBoards({QStringLiteral("mac=00:50:c2:0d:e4:05,ip=10.77.0.20,port=4022")});
    QVERIFY(sim);
    const CliRun run =
        cli({QStringLiteral("set"), QStringLiteral("00:50:C2:0D:E4:05"), QStringLiteral("--ip"),
             QStringLiteral("10.77.0.99"), QStringLiteral("--mask"), QStringLiteral("255.255.0.0"),
             QStringLiteral("--gateway"), QStringLiteral("10.77.0.1"), QStringLiteral("--dns"),
             QStringLiteral("10.77.0.53"), QStringLiteral("--level2"), QStringLiteral("on"),
             QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    QCOMPARE(
        lines(run.out),
        (QStringList{"0:50:c2:0d:e4:05: sent dhcp off, ip 10.77.0.99, mask 255.255.0.0, gateway "
                     "10.77.0.1, dns 10.77.0.53, level2 on",
                     "0:50:c2:0d:e4:05: applied"}));
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
    QCOMPARE(sim->events(QStringLiteral("APPLY")).size(), 1);
    // The search after the restart began after the board was back.
    const QVector<SimEvent> queries = sim->events(QStringLiteral("RECV"), QStringLiteral("query"));
    QCOMPARE(queries.size(), 2);
    QVERIFY(queries.last().msecs > sim->events(QStringLiteral("BACK")).first().msecs);
}

void TestCli::setIgnoredWrite()
{
    Simulator *sim =
        startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20,write=ignore")});
    QVERIFY(sim);
    const CliRun run =
        cli({QStringLiteral("set"), QStringLiteral("2:0:00:00:00:01"), QStringLiteral("--ip"),
             QStringLiteral("10.77.0.99"), QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 3, qPrintable(describe(run)));
    QCOMPARE(lines(run.out).last(),
             QStringLiteral("2:0:00:00:00:01: settings differ: ip 10.77.0.20 (sent 10.77.0.99)"));
    QCOMPARE(writes(sim).size(), 1);
    QVERIFY(sim->events(QStringLiteral("APPLY")).isEmpty());
}

void TestCli::setMangledWrite()
{
    Simulator *sim =
        startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20,write=mangle")});
    QVERIFY(sim);
    const CliRun run =
        cli({QStringLiteral("set"), QStringLiteral("2:0:00:00:00:01"), QStringLiteral("--ip"),
             QStringLiteral("10.77.0.99"), QStringLiteral("--dns"), QStringLiteral("10.77.0.53"),
             QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 3, qPrintable(describe(run)));
    QCOMPARE(lines(run.out).last(),
             QStringLiteral("2:0:00:00:00:01: settings differ: ip 10.77.0.100 (sent 10.77.0.99)"));
    QCOMPARE(sim->events(QStringLiteral("APPLY")).size(), 1);
}

void TestCli::setBoardNeverComesBack()
{
    Simulator *sim = startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20")});
    QVERIFY(sim);
    QProcess process;
    startCli(process,
             {QStringLiteral("set"), QStringLiteral("2:0:00:00:00:01"), QStringLiteral("--ip"),
              QStringLiteral("10.77.0.99"), QStringLiteral("--wait"), shortSearch},
             2000);
    QTRY_COMPARE_WITH_TIMEOUT(sim->events(QStringLiteral("APPLY")).size(), 1, 5000);
    sim->stop(); // the board dies during its restart
    const CliRun run = finish(process, 20000);
    QVERIFY2(run.code == 4, qPrintable(describe(run)));
    QCOMPARE(lines(run.out).last(), QStringLiteral("2:0:00:00:00:01: did not come back"));
}

void TestCli::setUnknownMac()
{
    Simulator *sim = startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20")});
    QVERIFY(sim);
    const CliRun run =
        cli({QStringLiteral("set"), QStringLiteral("2:0:00:00:00:09"), QStringLiteral("--ip"),
             QStringLiteral("10.77.0.99"), QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 2, qPrintable(describe(run)));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err,
             QStringLiteral("quorvan-cli: board 2:0:00:00:00:09 did not answer the search; "
                            "nothing sent\n"));
    QCOMPARE(sim->events(QStringLiteral("RECV"), QStringLiteral("query")).size(), 1);
    QVERIFY(writes(sim).isEmpty());
}

void TestCli::setInvalidInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString mac = QStringLiteral("2:0:00:00:00:01");
    QTest::newRow("ip")
        << QStringList{"set", mac, "--ip", "10.77.0.256"}
        << "quorvan-cli: --ip: \"10.77.0.256\" is not of the form [0-255].[0-255].[0-255].[0-255]";
    QTest::newRow("mask") << QStringList{"set", mac, "--mask", "255.255.0"}
                          << "--mask: \"255.255.0\"";
    QTest::newRow("gateway") << QStringList{"set", mac, "--gateway", "a.b.c.d"}
                             << "--gateway: \"a.b.c.d\"";
    QTest::newRow("dns") << QStringList{"set", mac, "--dns", ""} << "--dns: \"\"";
    QTest::newRow("mac") << QStringList{"set", "2:0:00:00:01", "--ip", "10.77.0.99"}
                         << "\"2:0:00:00:01\" is not a MAC address";
    QTest::newRow("no mac") << QStringList{"set", "--ip", "10.77.0.99"}
                            << "set needs the MAC address";
    QTest::newRow("dhcp on with address")
        << QStringList{"set", mac, "--dhcp", "on", "--ip", "10.77.0.99"}
        << "--dhcp on keeps the addresses";
    QTest::newRow("dhcp value") << QStringList{"set", mac, "--dhcp", "yes"}
                                << "--dhcp: \"yes\" is neither on nor off";
    QTest::newRow("nothing") << QStringList{"set", mac} << "nothing to change";
    QTest::newRow("twice") << QStringList{"set", mac, "--ip", "10.77.0.98", "--ip", "10.77.0.99"}
                           << "--ip is given more than once";
    QTest::newRow("wait") << QStringList{"set", mac, "--ip", "10.77.0.99", "--wait", "soon"}
                          << "--wait: \"soon\"";
    QTest::newRow("option") << QStringList{"set", mac, "--port", "503"} << "Unknown option 'port'";
}

// Refused before any socket is opened: the simulator hears nothing at all.
void TestCli::setInvalidInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    Simulator *sim = startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20")});
    QVERIFY(sim);
    const CliRun run = cli(arguments);
    QVERIFY2(run.code == 1, qPrintable(describe(run)));
    QCOMPARE(lines(run.err).size(), 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QTest::qWait(200);
    QVERIFY(sim->events(QStringLiteral("RECV")).isEmpty());
}

void TestCli::setRefusedAfterSearch_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("level2 on a V2 board")
        << QStringList{"set", "2:0:00:00:00:01", "--level2", "on"}
        << "quorvan-cli: --level2: board version V2.10.00 cannot take the level-2 code";
    QTest::newRow("address on a DHCP board")
        << QStringList{"set", "2:0:00:00:00:02", "--ip", "10.77.0.99"}
        << "quorvan-cli: --ip: cannot be set with DHCP on";
}

// Refused once the search has shown the board: queries went out, no write did.
void TestCli::setRefusedAfterSearch()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    Simulator *sim =
        startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20,version=V2.10.00"),
                     QStringLiteral("mac=02:00:00:00:00:02,ip=10.77.0.21,dhcp=on")});
    QVERIFY(sim);
    const CliRun run = cli(arguments + QStringList{QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 1, qPrintable(describe(run)));
    QCOMPARE(lines(run.err).size(), 1);
    QVERIFY2(run.err.startsWith(message), qPrintable(run.err));
    QVERIFY(run.err.endsWith(QStringLiteral("; nothing sent\n")));
    QCOMPARE(sim->events(QStringLiteral("RECV"), QStringLiteral("query")).size(), 1);
    QVERIFY(writes(sim).isEmpty());
}

void TestCli::setNoVerify()
{
    Simulator *sim =
        startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20,version=V2.10.00")});
    QVERIFY(sim);
    QElapsedTimer clock;
    clock.start();
    // A level-2 value equal to the reported one is no change, and is let through.
    const CliRun run =
        cli({QStringLiteral("set"), QStringLiteral("2:0:00:00:00:01"), QStringLiteral("--dhcp"),
             QStringLiteral("on"), QStringLiteral("--level2"), QStringLiteral("off"),
             QStringLiteral("--no-verify"), QStringLiteral("--wait"), shortSearch},
            60000);
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    QVERIFY(clock.elapsed() < 5000); // no restart wait
    QCOMPARE(lines(run.out),
             QStringList{"2:0:00:00:00:01: sent dhcp on, ip 10.77.0.20, mask 255.255.255.0, "
                         "gateway 10.77.0.254, dns 10.77.0.254, level2 off"});
    QTRY_COMPARE_WITH_TIMEOUT(writes(sim).size(), 1, 2000);
    QCOMPARE(sim->events(QStringLiteral("RECV"), QStringLiteral("query")).size(), 1);
}

void TestCli::applyBadLineSendsNothing()
{
    Simulator *sim = startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20"),
                                  QStringLiteral("mac=02:00:00:00:00:02,ip=10.77.0.21")});
    QVERIFY(sim);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("boards.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("mac,ip,mask,dhcp\n2:0:00:00:00:01,10.77.0.30,,off\n2:0:00:00:00:02,10.77.0.31,255."
               "255.0,off\n");
    file.close();
    const CliRun run = cli({QStringLiteral("apply"), path});
    QVERIFY2(run.code == 1, qPrintable(describe(run)));
    QCOMPARE(lines(run.err),
             (QStringList{
                 QStringLiteral("quorvan-cli: %1: line 3: mask: \"255.255.0\" is not of the form "
                                "[0-255].[0-255].[0-255].[0-255]")
                     .arg(path),
                 QStringLiteral("quorvan-cli: %1: nothing sent").arg(path)}));
    QVERIFY(run.out.isEmpty());
    QTest::qWait(200);
    QVERIFY(sim->events(QStringLiteral("RECV")).isEmpty());
}

// The list a user gets from discover, edited and fed back.
void TestCli::applyDiscoveredListToThreeBoards()
{
    Simulator *sim =
        startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20"),
                     QStringLiteral("mac=02:00:00:00:00:02,ip=10.77.0.21,layout=short,"
                                    "reply=broadcast,dhcp=on"),
                     QStringLiteral("mac=02:00:00:00:00:03,ip=10.77.0.22,version=V1.05")});
    QVERIFY(sim);
    const CliRun discovered = cli({QStringLiteral("discover"), QStringLiteral("--format"),
                                   QStringLiteral("csv"), QStringLiteral("--wait"), shortSearch});
    QCOMPARE(discovered.code, 0);
    QString csv = discovered.out;
    QCOMPARE(lines(csv).size(), 4);
    csv.replace(QStringLiteral("2:0:00:00:00:01,10.77.0.20,255.255.255.0"),
                QStringLiteral("2:0:00:00:00:01,10.77.0.40,255.255.0.0"));
    // DHCP off and a new address for the DHCP board; its reported addresses stand in the
    // other cells.
    csv.replace(QStringLiteral("2:0:00:00:00:02,10.77.0.21"),
                QStringLiteral("2:0:00:00:00:02,10.77.0.41"));
    csv.replace(QStringLiteral("10.77.0.254,on,502"), QStringLiteral("10.77.0.254,off,502"));
    csv.replace(QStringLiteral("2:0:00:00:00:03,10.77.0.22"),
                QStringLiteral("2:0:00:00:00:03,10.77.0.42"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("boards.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(csv.toUtf8());
    file.close();

    const CliRun run = cli({QStringLiteral("apply"), path, QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    QStringList results = lines(run.out);
    QCOMPARE(results.size(), 3);
    results.sort();
    QCOMPARE(results, (QStringList{"2:0:00:00:00:01: applied", "2:0:00:00:00:02: applied",
                                   "2:0:00:00:00:03: applied"}));
    QCOMPARE(writes(sim).size(), 3);
    QCOMPARE(sim->events(QStringLiteral("APPLY")).size(), 3);
    QCOMPARE(sim->events(QStringLiteral("RECV"), QStringLiteral("query")).size(),
             3); // discover, then apply's two searches

    const CliRun after = cli({QStringLiteral("discover"), QStringLiteral("--format"),
                              QStringLiteral("csv"), QStringLiteral("--wait"), shortSearch});
    QVERIFY(after.out.contains(QStringLiteral("2:0:00:00:00:01,10.77.0.40,255.255.0.0,")));
    QVERIFY(
        after.out.contains(QStringLiteral("2:0:00:00:00:02,10.77.0.41,255.255.255.0,10.77.0.254,"
                                          "10.77.0.254,off,")));
    QVERIFY(after.out.contains(QStringLiteral("2:0:00:00:00:03,10.77.0.42,")));
}

void TestCli::applyWithMissingBoard()
{
    Simulator *sim = startBoards({QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.0.20")});
    QVERIFY(sim);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("boards.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("mac,ip\n2:0:00:00:00:07,10.77.0.37\n2:0:00:00:00:01,10.77.0.30\n");
    file.close();
    const CliRun run = cli({QStringLiteral("apply"), path, QStringLiteral("--wait"), shortSearch});
    QVERIFY2(run.code == 2, qPrintable(describe(run)));
    QCOMPARE(lines(run.out),
             (QStringList{"2:0:00:00:00:07: did not answer the first search; nothing sent",
                          "2:0:00:00:00:01: applied"}));
    QCOMPARE(writes(sim).size(), 1);
}

QUORVAN_TEST_MAIN(TestCli)
#include "tst_cli.moc"
