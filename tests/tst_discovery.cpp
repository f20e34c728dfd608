// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/netlab.h"
#include "common/testsupport.h"
#include "discovery/mainwindow.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QUdpSocket>

#include <memory>
#include <thread>
#include <vector>

namespace {

// Qt's coarse timers may fire up to 5 % early; a notification may also come a little late.
constexpr double early = 0.93;
constexpr qint64 lateMs = 600;
const QString inUse = QStringLiteral("déjà utilisé sur ce PC par un autre programme");

struct CliRun
{
    int code = -1;
    QString output, errors;
};

// quorvan-cli in the test's namespace, as a second program on the same PC.
CliRun runCli(const QString &arguments)
{
    QProcess process;
    process.start(QStringLiteral(QUORVAN_CLI), arguments.split(QLatin1Char(' ')));
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QMessageBox *errorBox()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
}

// The IPv4 addresses where the window's sockets are bound.
QStringList boundAddresses(const QObject *owner)
{
    QStringList bound;
    for (const QUdpSocket *socket : owner->findChildren<QUdpSocket *>()) {
        if (socket->state() == QAbstractSocket::BoundState &&
            socket->localAddress().protocol() == QAbstractSocket::IPv4Protocol)
            bound << socket->localAddress().toString();
    }
    return bound;
}

int queryCount(const QVector<Simulator *> &sims)
{
    int count = 0;
    for (Simulator *sim : sims)
        count += sim->events(QStringLiteral("RECV"), QStringLiteral("query")).size();
    return count;
}

// Arrival times, on the test's clock, of the first `count` queries the simulators log.
QVector<qint64> queryTimes(const QVector<Simulator *> &sims, const QElapsedTimer &clock, int count,
                           qint64 timeoutMs)
{
    QVector<qint64> times;
    while (times.size() < count && clock.elapsed() < timeoutMs) {
        for (int seen = queryCount(sims); times.size() < seen;)
            times.append(clock.elapsed());
        QTest::qWait(5);
    }
    return times;
}

} // namespace

// Discovery on a network of namespaces: the tool in the test's own namespace, simulated
// boards behind veth links, some of them in subnets foreign to the PC.
class TestDiscovery : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init() { lab = std::make_unique<NetLab>(); }
    void cleanup();

    void searchFindsEveryBoardOnceOnTime();
    void socketProblemsAreReported_data();
    void socketProblemsAreReported();
    void cardsComeAndGo();
    void repliesAreReadHoweverNotificationsInterleave_data();
    void repliesAreReadHoweverNotificationsInterleave();

private:
    // The window takes the local addresses when it is made, so the links come first.
    void startTool()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    Simulator *boards(const QString &host, const QString &arguments)
    {
        return lab->startSimulator(host, arguments.split(QLatin1Char(' ')));
    }
    QTableWidget *table() const { return window->findChild<QTableWidget *>("tableWidget"); }
    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(name); }
    void search() { QTest::mouseClick(button("buttonSearch"), Qt::LeftButton); }
    QStringList macColumn() const
    {
        QStringList macs;
        for (int row = 0; row < table()->rowCount(); ++row)
            macs << table()->item(row, 0)->text();
        return macs;
    }

    std::unique_ptr<NetLab> lab;
    std::unique_ptr<MainWindow> window;
};

void TestDiscovery::cleanup()
{
    window.reset();
    lab.reset();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

// Two cards, boards of both layouts answering by unicast, by broadcast and to their subnet's
// broadcast address, one of them in a subnet foreign to the PC; staggered delays fix the order of
// arrival, and the last board answers only after the ten seconds of the search.
void TestDiscovery::searchFindsEveryBoardOnceOnTime()
{
    const QString first = lab->linkedHost("10.77.0.1/24", {"10.77.0.2/24", "192.168.50.7/24"});
    const QString second = lab->linkedHost("10.88.0.1/24", {"10.88.0.2/24"});
    Simulator *local = boards(
        first,
        "--bind 10.77.0.2 "
        "--board mac=02:00:00:00:00:01,ip=10.77.0.101,reply=unicast,layout=long "
        "--board mac=02:00:00:00:00:02,ip=10.77.0.102,reply=unicast,layout=short,delay=150 "
        "--board mac=02:00:00:00:00:03,ip=10.77.0.103,reply=broadcast,layout=long,delay=300 "
        "--board mac=02:00:00:00:00:04,ip=10.77.0.104,reply=broadcast,layout=short,delay=450 "
        "--board mac=02:00:00:00:00:08,ip=10.77.0.108,reply=subnet,delay=525 "
        "--board mac=02:00:00:00:00:06,ip=10.77.0.106,reply=unicast,delay=10500");
    Simulator *foreign =
        boards(first, "--bind 192.168.50.7 --board "
                      "mac=02:00:00:00:00:05,ip=192.168.50.7,reply=broadcast,delay=600");
    Simulator *other = boards(second, "--board mac=02:00:00:00:00:07,ip=172.16.5.5,reply=broadcast,"
                                      "delay=750");
    QVERIFY(local && foreign && other);
    startTool();

    QElapsedTimer clock;
    clock.start();
    search(); // what the window shows meanwhile is tst_mainwindow's
    const QVector<qint64> times = queryTimes({local}, clock, 4, 6000);
    QCOMPARE(times.size(), 4);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(times[i] >= early * 1000 * (i + 1) && times[i] <= 1000 * (i + 1) + lateMs,
                 qPrintable(QStringLiteral("query %1 at %2 ms").arg(i + 1).arg(times[i])));
    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 12000);
    QVERIFY2(clock.elapsed() >= early * 10000 && clock.elapsed() <= 10000 + 3 * lateMs,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!QGuiApplication::overrideCursor()); // one push, one pop
    const QStringList found = {"2:0:00:00:00:07", "2:0:00:00:00:05", "2:0:00:00:00:08",
                               "2:0:00:00:00:04", "2:0:00:00:00:03", "2:0:00:00:00:02",
                               "2:0:00:00:00:01"};
    QCOMPARE(macColumn(), found);
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 8, 4000);
    QCOMPARE(macColumn(), QStringList{"2:0:00:00:00:06"} + found);
    QCOMPARE(table()->item(1, 1)->text(), QStringLiteral("172.16.5.5"));
    QCOMPARE(table()->item(2, 1)->text(), QStringLiteral("192.168.50.7"));
    QCOMPARE(table()->item(2, 8)->text(), QStringLiteral("V3.00.01"));
    QCOMPARE(table()->item(4, 8)->text(), QStringLiteral("V3.00"));

    // Exactly four 9-byte queries crossed each link, from the port and address of the card
    // that owns it: no socket sent a second copy, and nothing else was sent.
    for (Simulator *sim : {local, foreign, other}) {
        const QVector<SimEvent> received = sim->events(QStringLiteral("RECV"));
        QCOMPARE(received.size(), 4);
        for (const SimEvent &query : received) {
            QCOMPARE(query.address, QLatin1String(sim == other ? "10.88.0.1" : "10.77.0.1"));
            QCOMPARE(query.port, 4022);
            QCOMPARE(query.bytes, QByteArray("Quorvan?\0", 9));
        }
    }
    QVERIFY(!errorBox());
}

void TestDiscovery::socketProblemsAreReported_data()
{
    QTest::addColumn<QString>("held"); // the addresses another program holds
    QTest::addColumn<QStringList>("says");
    QTest::addColumn<int>("cliCode");
    QTest::addColumn<QString>("cliSays");
    QTest::newRow("port held everywhere")
        << "0.0.0.0" << QStringList{inUse, "copie de cet outil", "quorvan-cli"} << 5
        << "already in use on this PC by another program";
    // Loopback is left, but no board answers there: as good as no card at all.
    QTest::newRow("port held on every card")
        << "10.77.0.1 10.88.0.1"
        << QStringList{inUse, "Aucune carte ne pourra répondre à cette recherche\u00a0: fermez "
                              "l'autre programme qui utilise le port"}
        << 5 << "already in use on this PC by another program";
    QTest::newRow("port held on one card")
        << "10.77.0.1" << QStringList{inUse, "interrogées\u00a0:\n– 10.77.0.1", "malgré tout"} << 7
        << "in use by another program on 10.77.0.1";
}

// Another program on port 4022 keeps its port, and a search that cannot reach every card
// says so instead of ending like a network without boards; once the port is free again,
// the next search takes it.
void TestDiscovery::socketProblemsAreReported()
{
    QFETCH(QString, held);
    QFETCH(QStringList, says);
    QFETCH(int, cliCode);
    QFETCH(QString, cliSays);
    const int board =
        lab->udpSocketIn(lab->linkedHost("10.77.0.1/24", {"10.77.0.2/24"}), "10.77.0.2");
    QVERIFY(board >= 0);
    QVERIFY(
        boards(lab->linkedHost("10.88.0.1/24", {"10.88.0.2/24"}), "--first-mac 02:00:00:00:02:01"));
    std::vector<std::unique_ptr<QUdpSocket>> holders;
    for (const QString &address : held.split(QLatin1Char(' '))) {
        holders.push_back(std::make_unique<QUdpSocket>());
        QVERIFY(
            holders.back()->bind(QHostAddress(address), 4022, QAbstractSocket::DontShareAddress));
    }
    const bool everyCard = cliCode == 5;

    const CliRun cli = runCli("discover --wait 1.5");
    QCOMPARE(cli.code, cliCode);
    QVERIFY2(cli.errors.contains(cliSays), qPrintable(cli.errors));

    startTool();
    search();
    QMessageBox *box = errorBox();
    QVERIFY(box);
    for (const QString &text : says)
        QVERIFY2(box->text().contains(text), qPrintable(box->text()));
    QCOMPARE(TestSupport::frenchTypographyFaults(box->text()), QStringList());
    QVERIFY2(!box->text().contains("10.88.0.1"), qPrintable(box->text())); // no list
    QVERIFY(!button("buttonSearch")->isEnabled()); // the search runs as usual
    if (everyCard)
        QVERIFY(boundAddresses(window.get()).filter(QStringLiteral("10.")).isEmpty());
    else
        QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 1, 3000); // the other card's board
    for (const QString &address : held.split(QLatin1Char(' ')))
        QVERIFY(!boundAddresses(window.get()).contains(address));
    // What is sent to the held address stays with the program that holds it.
    const int rows = table()->rowCount();
    QVERIFY(NetLab::sendFrom(board, replyBytes(makeBoard("020000000101")), "10.77.0.1"));
    QTRY_VERIFY(holders.front()->hasPendingDatagrams());
    QTest::qWait(100);
    QCOMPARE(table()->rowCount(), rows);
    QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
    QTRY_VERIFY(!errorBox());

    holders.clear();
    QMetaObject::invokeMethod(window.get(), "RebootDone");
    QVERIFY(!errorBox());
    const QStringList bound = boundAddresses(window.get());
    QVERIFY2(bound.contains("10.77.0.1") && bound.contains("255.255.255.255"),
             qPrintable(bound.join(' ')));
    // The port is taken in one step: a second copy, even one that asks to share it, finds
    // every address held, whenever it starts.
    for (const char *address : {"10.77.0.1", "255.255.255.255", "0.0.0.0"}) {
        QUdpSocket second;
        QVERIFY2(!second.bind(QHostAddress(QLatin1String(address)), 4022,
                              QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint),
                 address);
    }
    // A second program started now, the command line here, finds the port held and says why.
    const CliRun second = runCli("discover --wait 1.5");
    QVERIFY2(second.code == 5 && second.errors.contains("already in use"),
             qPrintable(second.errors));
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 1, 3000);
}

// A PC without an IPv4 address says so; then cards come up and go while the window is open
// (a cable, a DHCP lease, a Wi-Fi network): every search follows the PC's addresses.
void TestDiscovery::cardsComeAndGo()
{
    const CliRun cli = runCli("discover --wait 1.5");
    QCOMPARE(cli.code, 5);
    QVERIFY2(cli.errors.contains("no IPv4 address on this PC"), qPrintable(cli.errors));
    startTool();
    search();
    QVERIFY(errorBox() && errorBox()->text().contains("aucune adresse IPv4"));
    QCOMPARE(TestSupport::frenchTypographyFaults(errorBox()->text()), QStringList());
    QVERIFY(!errorBox()->text().contains(inUse));
    QTest::mouseClick(errorBox()->buttons().first(), Qt::LeftButton);

    const QString first = lab->addHost();
    const QString firstCard = lab->link(first, "10.77.0.1/24", {"10.77.0.2/24"});
    Simulator *a = boards(first, "--first-mac 02:00:00:00:01:01 --boards 2");
    Simulator *b = boards(lab->linkedHost("10.88.0.1/24", {"10.88.0.2/24"}),
                          "--first-mac 02:00:00:00:02:01 --reply broadcast --ip 172.16.5.5");
    QVERIFY(!firstCard.isEmpty() && a && b);
    QMetaObject::invokeMethod(window.get(), "RebootDone");
    QVERIFY(!errorBox());
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 3, 3000);

    QVERIFY(NetLab::ip("addr del 10.77.0.1/24 dev " + firstCard));
    const int queriesBefore = queryCount({a});
    QMetaObject::invokeMethod(window.get(), "RebootDone");
    QVERIFY(!errorBox());
    QVERIFY(!boundAddresses(window.get()).contains(QStringLiteral("10.77.0.1")));
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 1, 3000);
    QCOMPARE(macColumn(), QStringList{QStringLiteral("2:0:00:00:02:01")});
    QTest::qWait(1200); // a second query went out through the card that is left
    QCOMPARE(queryCount({a}), queriesBefore);
    QCOMPARE(queryCount({b}), 3);
    // The address comes back on the first card, listed before the second one's.
    QVERIFY(NetLab::ip("addr add 10.77.0.1/24 dev " + firstCard));
    QMetaObject::invokeMethod(window.get(), "RebootDone");
    QVERIFY(boundAddresses(window.get()).contains(QStringLiteral("10.77.0.1")));
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 3, 3000);
}

void TestDiscovery::repliesAreReadHoweverNotificationsInterleave_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("last");
    QTest::newRow("unicast and broadcast together, then broadcast") << false << "255.255.255.255";
    QTest::newRow("unicast and broadcast while busy, then broadcast") << true << "255.255.255.255";
    QTest::newRow("unicast and broadcast together, then unicast") << false << "10.77.0.1";
}

// A unicast reply reaches the socket of the PC's address and a broadcast reply the
// any-address listener: when both are there in one round of notifications, whichever
// socket is handled second must still hear the next reply on its own.
void TestDiscovery::repliesAreReadHoweverNotificationsInterleave()
{
    QFETCH(bool, busy);
    QFETCH(QString, last);
    const int board =
        lab->udpSocketIn(lab->linkedHost("10.77.0.1/24", {"10.77.0.2/24"}), "10.77.0.2");
    QVERIFY(board >= 0);
    startTool();
    const auto send = [board](const char *mac, const QString &to) {
        return NetLab::sendFrom(board, replyBytes(makeBoard(mac)), to);
    };
    // Both arrive while the event loop is away or while it waits; either way it may find
    // both sockets readable in one round.
    std::thread sender([&] {
        QThread::msleep(50);
        send("020000000001", "10.77.0.1");
        send("020000000002", "255.255.255.255");
    });
    busy ? QThread::msleep(150) : QTest::qWait(150);
    sender.join();
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 2, 2000);
    QTest::qWait(300);
    QVERIFY(send("020000000003", last));
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 3, 500);
}

QUORVAN_TEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
