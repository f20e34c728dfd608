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

#include <functional>
#include <memory>
#include <thread>

namespace {

// Qt's coarse timers may fire up to 5 % early; a notification may also come a little late.
constexpr double early = 0.93;
constexpr qint64 lateMs = 600;

qint64 waitUntil(const QElapsedTimer &clock, const std::function<bool()> &condition, int timeoutMs)
{
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return -1;
        QTest::qWait(10);
    }
    return clock.elapsed();
}

QString description(const char *mac, const char *ip, const char *reply, const char *layout,
                    int delay)
{
    return QStringLiteral("mac=%1,ip=%2,reply=%3,layout=%4,delay=%5")
        .arg(QLatin1String(mac), QLatin1String(ip), QLatin1String(reply), QLatin1String(layout))
        .arg(delay);
}

struct CliRun
{
    int code = -1;
    QString output;
    QString errors;
};

// quorvan-cli in the test's namespace, as a second program on the same PC.
QProcess *startCli(const QStringList &arguments)
{
    auto *process = new QProcess;
    process->start(QStringLiteral(QUORVAN_CLI), arguments);
    return process;
}

CliRun finish(QProcess *process)
{
    std::unique_ptr<QProcess> owned(process);
    CliRun run;
    if (!process->waitForFinished(30000) || process->exitStatus() != QProcess::NormalExit)
        return run;
    run.code = process->exitCode();
    run.output = QString::fromUtf8(process->readAllStandardOutput());
    run.errors = QString::fromUtf8(process->readAllStandardError());
    return run;
}

// Whether some program holds port 4022 here: a bind without sharing is refused.
bool portHeld()
{
    QUdpSocket probe;
    return !probe.bind(QHostAddress::AnyIPv4, 4022, QAbstractSocket::DontShareAddress);
}

} // namespace

// Discovery on a network of namespaces: the tool in the test's own namespace, simulated
// boards behind one or two veth links, one of them in a subnet foreign to the PC.
class TestDiscovery : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void searchFindsEveryBoardOnceOnTime();
    void searchWithSelectionAndNoBoards();
    void rebootDoneAfterFourthQuerySendsFourMore();
    void twoNetworkCards();
    void sameAddressOnTwoCardsSendsOneCopy();
    void socketProblemsAreReported_data();
    void socketProblemsAreReported();
    void cardsComeAndGo();
    void secondCopyLeavesThePortToTheFirst_data();
    void secondCopyLeavesThePortToTheFirst();
    void repliesAreReadHoweverNotificationsInterleave_data();
    void repliesAreReadHoweverNotificationsInterleave();

private:
    void startTool();
    QTableWidget *table() const
    {
        return window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    }
    QPushButton *button(const char *name) const
    {
        return window->findChild<QPushButton *>(QLatin1String(name));
    }
    QStringList macColumn() const;
    static QVector<qint64> queryTimes(Simulator *sim, const QElapsedTimer &clock, int count,
                                      int timeoutMs);
    QMessageBox *errorBox() const;
    // The IPv4 addresses where the window's sockets are bound.
    static QStringList boundAddresses(const QObject *owner);

    std::unique_ptr<NetLab> lab;
    std::unique_ptr<MainWindow> window;
};

void TestDiscovery::init()
{
    lab = std::make_unique<NetLab>();
}

void TestDiscovery::cleanup()
{
    window.reset();
    lab.reset();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

// The window takes the local addresses when it is made, so the links come first.
void TestDiscovery::startTool()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

QStringList TestDiscovery::macColumn() const
{
    QStringList macs;
    for (int row = 0; row < table()->rowCount(); ++row)
        macs << table()->item(row, 0)->text();
    return macs;
}

// Arrival times, on the test's clock, of the first `count` queries the simulator logs.
QVector<qint64> TestDiscovery::queryTimes(Simulator *sim, const QElapsedTimer &clock, int count,
                                          int timeoutMs)
{
    QVector<qint64> times;
    while (times.size() < count && clock.elapsed() < timeoutMs) {
        const int seen = sim->events(QStringLiteral("RECV"), QStringLiteral("query")).size();
        while (times.size() < seen)
            times.append(clock.elapsed());
        QTest::qWait(5);
    }
    return times;
}

QMessageBox *TestDiscovery::errorBox() const
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->isVisible())
            return box;
    }
    return nullptr;
}

void TestDiscovery::searchFindsEveryBoardOnceOnTime()
{
    const QString boards = lab->addHost();
    QVERIFY(!lab->link(boards, QStringLiteral("10.77.0.1/24"),
                       {QStringLiteral("10.77.0.2/24"), QStringLiteral("192.168.50.7/24")})
                 .isEmpty());
    // Staggered delays fix the order of arrival; the last board answers only after the
    // ten seconds of the search.
    Simulator *local = lab->startSimulator(
        boards, {QStringLiteral("--bind"), QStringLiteral("10.77.0.2"), QStringLiteral("--board"),
                 description("02:00:00:00:00:01", "10.77.0.101", "unicast", "long", 0),
                 QStringLiteral("--board"),
                 description("02:00:00:00:00:02", "10.77.0.102", "unicast", "short", 150),
                 QStringLiteral("--board"),
                 description("02:00:00:00:00:03", "10.77.0.103", "broadcast", "long", 300),
                 QStringLiteral("--board"),
                 description("02:00:00:00:00:04", "10.77.0.104", "broadcast", "short", 450),
                 QStringLiteral("--board"),
                 description("02:00:00:00:00:06", "10.77.0.106", "unicast", "long", 10500)});
    QVERIFY(local);
    Simulator *foreign = lab->startSimulator(
        boards,
        {QStringLiteral("--bind"), QStringLiteral("192.168.50.7"), QStringLiteral("--board"),
         description("02:00:00:00:00:05", "192.168.50.7", "broadcast", "long", 600)});
    QVERIFY(foreign);
    startTool();

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QVERIFY(!button("buttonSearch")->isEnabled());
    QVERIFY(!button("buttonUpdate")->isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

    const QVector<qint64> times = queryTimes(local, clock, 4, 6000);
    QCOMPARE(times.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QVERIFY2(times[i] >= early * 1000 * (i + 1) && times[i] <= 1000 * (i + 1) + lateMs,
                 qPrintable(QStringLiteral("query %1 at %2 ms").arg(i + 1).arg(times[i])));
    }
    const qint64 enabledAt = waitUntil(
        clock, [this] { return button("buttonSearch")->isEnabled(); }, 12000);
    QVERIFY2(enabledAt >= early * 10000 && enabledAt <= 10000 + 2 * lateMs,
             qPrintable(QString::number(enabledAt)));
    QVERIFY(!QGuiApplication::overrideCursor()); // one push, one pop
    QCOMPARE(macColumn(), (QStringList{"2:0:00:00:00:05", "2:0:00:00:00:04", "2:0:00:00:00:03",
                                       "2:0:00:00:00:02", "2:0:00:00:00:01"}));

    // The late board is listed after the search has ended.
    QVERIFY(waitUntil(
                clock, [this] { return table()->rowCount() == 6; }, 16000) > 10000);
    QCOMPARE(table()->item(0, 0)->text(), QStringLiteral("2:0:00:00:00:06"));
    QCOMPARE(table()->item(1, 8)->text(), QStringLiteral("V3.00.01"));
    QCOMPARE(table()->item(2, 8)->text(), QStringLiteral("V3.00"));
    QCOMPARE(table()->item(1, 1)->text(), QStringLiteral("192.168.50.7"));

    // Exactly four 9-byte queries crossed the link, all from the tool's port: no socket
    // sent a second copy, and nothing else was sent.
    for (Simulator *sim : {local, foreign}) {
        const QVector<SimEvent> received = sim->events(QStringLiteral("RECV"));
        QCOMPARE(received.size(), 4);
        for (const SimEvent &query : received) {
            QCOMPARE(query.kind, QStringLiteral("query"));
            QCOMPARE(query.address, QStringLiteral("10.77.0.1"));
            QCOMPARE(query.port, 4022);
            QCOMPARE(query.bytes, QByteArray("Quorvan?\0", 9));
        }
    }
    QVERIFY(!errorBox());
}

void TestDiscovery::searchWithSelectionAndNoBoards()
{
    const QString boards = lab->addHost();
    QVERIFY(!lab->link(boards, QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.2/24")})
                 .isEmpty());
    Simulator *sim = lab->startSimulator(boards, {QStringLiteral("--boards"), QStringLiteral("1")});
    QVERIFY(sim);
    startTool();
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 1, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 12000);
    QCOMPARE(table()->rowCount(), 1); // one board answering four queries: one row

    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                      table()->visualItemRect(table()->item(0, 0)).center());
    QVERIFY(button("buttonUpdate")->isEnabled());
    sim->stop();
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QVERIFY(table()->selectedItems().isEmpty());
    QVERIFY(!button("buttonUpdate")->isEnabled());
    QCOMPARE(table()->rowCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 12000);
    QCOMPARE(table()->rowCount(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(!errorBox());
}

// A new search started while a series runs (the end of an escaped reboot wait), even after
// the fourth query, restarts the ten seconds and sends a full series of its own.
void TestDiscovery::rebootDoneAfterFourthQuerySendsFourMore()
{
    const QString boards = lab->addHost();
    QVERIFY(!lab->link(boards, QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.2/24")})
                 .isEmpty());
    Simulator *sim = lab->startSimulator(boards, {QStringLiteral("--boards"), QStringLiteral("0")});
    QVERIFY(sim);
    startTool();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QCOMPARE(queryTimes(sim, clock, 4, 5500).size(), 4);
    QTest::qWait(200); // the series ends at 5 s
    const qint64 restart = clock.elapsed();
    QMetaObject::invokeMethod(window.get(), "RebootDone");
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    const QVector<qint64> times = queryTimes(sim, clock, 8, int(restart) + 6000);
    QCOMPARE(times.size(), 8);
    for (int i = 4; i < 8; ++i) {
        const qint64 after = times[i] - restart;
        QVERIFY2(after >= early * 1000 * (i - 3) && after <= 1000 * (i - 3) + lateMs,
                 qPrintable(QStringLiteral("query %1 at %2 ms").arg(i + 1).arg(after)));
    }
    const qint64 enabledAt = waitUntil(
        clock, [this] { return button("buttonSearch")->isEnabled(); }, int(restart) + 12000);
    QVERIFY(enabledAt - restart >= early * 10000);
    QTest::qWait(1200);
    QCOMPARE(sim->events(QStringLiteral("RECV"), QStringLiteral("query")).size(), 8);
    QVERIFY(!QGuiApplication::overrideCursor()); // the restarted timer pops the one cursor
}

void TestDiscovery::twoNetworkCards()
{
    const QString first = lab->addHost();
    const QString second = lab->addHost();
    QVERIFY(!lab->link(first, QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.2/24")})
                 .isEmpty());
    QVERIFY(!lab->link(second, QStringLiteral("10.88.0.1/24"), {QStringLiteral("10.88.0.2/24")})
                 .isEmpty());
    Simulator *a = lab->startSimulator(first, {QStringLiteral("--first-mac"),
                                               QStringLiteral("02:00:00:00:01:01"),
                                               QStringLiteral("--boards"), QStringLiteral("2")});
    Simulator *b = lab->startSimulator(
        second, {QStringLiteral("--first-mac"), QStringLiteral("02:00:00:00:02:01"),
                 QStringLiteral("--reply"), QStringLiteral("broadcast"), QStringLiteral("--ip"),
                 QStringLiteral("172.16.5.5")});
    QVERIFY(a && b);
    startTool();
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 12000);
    QStringList macs = macColumn();
    macs.sort();
    QCOMPARE(macs, (QStringList{"2:0:00:00:01:01", "2:0:00:00:01:02", "2:0:00:00:02:01"}));
    // The limited broadcast leaves through the card that owns each socket's address.
    const QString sources[] = {QStringLiteral("10.77.0.1"), QStringLiteral("10.88.0.1")};
    Simulator *sims[] = {a, b};
    for (int i = 0; i < 2; ++i) {
        const QVector<SimEvent> queries = sims[i]->events(QStringLiteral("RECV"));
        QCOMPARE(queries.size(), 4);
        for (const SimEvent &query : queries)
            QCOMPARE(query.address, sources[i]);
    }
}

// The address list can name one address twice; the kernel sends every copy out through the
// one card it picks for that source address.
void TestDiscovery::sameAddressOnTwoCardsSendsOneCopy()
{
    const QString first = lab->addHost();
    const QString second = lab->addHost();
    QVERIFY(!lab->link(first, QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.2/24")})
                 .isEmpty());
    QVERIFY(!lab->link(second, QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.3/24")})
                 .isEmpty());
    Simulator *a = lab->startSimulator(first, {QStringLiteral("--boards"), QStringLiteral("0")});
    Simulator *b = lab->startSimulator(second, {QStringLiteral("--boards"), QStringLiteral("0")});
    QVERIFY(a && b);
    startTool();
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QTest::qWait(5500);
    QCOMPARE(a->events(QStringLiteral("RECV")).size() + b->events(QStringLiteral("RECV")).size(),
             4);
}

QStringList TestDiscovery::boundAddresses(const QObject *owner)
{
    QStringList bound;
    for (const QUdpSocket *socket : owner->findChildren<QUdpSocket *>()) {
        if (socket->state() == QAbstractSocket::BoundState &&
            socket->localAddress().protocol() == QAbstractSocket::IPv4Protocol)
            bound << socket->localAddress().toString();
    }
    return bound;
}

void TestDiscovery::socketProblemsAreReported_data()
{
    QTest::addColumn<QString>("held"); // the address another program holds, if any
    QTest::addColumn<bool>("cards");
    QTest::addColumn<QStringList>("says");
    QTest::addColumn<QStringList>("saysNot");
    QTest::addColumn<int>("cliCode");
    QTest::addColumn<QString>("cliSays");
    const QString inUse = QStringLiteral("déjà utilisé sur ce PC par un autre programme");
    QTest::newRow("no IPv4 address")
        << QString() << false << QStringList{QStringLiteral("aucune adresse IPv4")}
        << QStringList{inUse} << 5 << QStringLiteral("no IPv4 address on this PC");
    QTest::newRow("port held everywhere")
        << QStringLiteral("0.0.0.0") << true
        << QStringList{inUse, QStringLiteral("copie de cet outil"), QStringLiteral("quorvan-cli")}
        << QStringList{QStringLiteral("10.88.0.1")} << 5
        << QStringLiteral("already in use on this PC by another program");
    QTest::newRow("port held on one card")
        << QStringLiteral("10.77.0.1") << true
        << QStringList{inUse, QStringLiteral("interrogées :\n– 10.77.0.1"),
                       QStringLiteral("malgré tout")}
        << QStringList{QStringLiteral("10.88.0.1")} << 7
        << QStringLiteral("in use by another program on 10.77.0.1");
    QTest::newRow("port held on loopback")
        << QStringLiteral("127.0.0.1") << true << QStringList{QStringLiteral("par diffusion")}
        << QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("10.77.0.1"),
                       QStringLiteral("10.88.0.1")}
        << 7 << QStringLiteral("0.0.0.0");
}

// Another program on port 4022 keeps its port, and a search that cannot reach every card
// says so instead of ending like a network without boards; once the port is free again,
// the next search takes it.
void TestDiscovery::socketProblemsAreReported()
{
    QFETCH(QString, held);
    QFETCH(bool, cards);
    QFETCH(QStringList, says);
    QFETCH(QStringList, saysNot);
    QFETCH(int, cliCode);
    QFETCH(QString, cliSays);
    const QString first = lab->addHost();
    const QString second = lab->addHost();
    int board = -1;
    Simulator *sim = nullptr;
    if (cards) {
        QVERIFY(!lab->link(first, QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.2/24")})
                     .isEmpty());
        QVERIFY(!lab->link(second, QStringLiteral("10.88.0.1/24"), {QStringLiteral("10.88.0.2/24")})
                     .isEmpty());
        board = lab->udpSocketIn(first, QStringLiteral("10.77.0.2"));
        sim = lab->startSimulator(
            second, {QStringLiteral("--first-mac"), QStringLiteral("02:00:00:00:02:01")});
        QVERIFY(board >= 0 && sim);
    }
    auto holder = std::make_unique<QUdpSocket>();
    if (!held.isEmpty())
        QVERIFY(holder->bind(QHostAddress(held), 4022, QAbstractSocket::DontShareAddress));

    const CliRun cli = finish(
        startCli({QStringLiteral("discover"), QStringLiteral("--wait"), QStringLiteral("1.5")}));
    QCOMPARE(cli.code, cliCode);
    QVERIFY2(cli.errors.contains(cliSays), qPrintable(cli.errors));

    startTool();
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QMessageBox *box = errorBox();
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("Erreur"));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->buttons().size(), 1);
    for (const QString &text : says)
        QVERIFY2(box->text().contains(text), qPrintable(box->text()));
    for (const QString &text : saysNot)
        QVERIFY2(!box->text().contains(text), qPrintable(box->text()));
    QVERIFY(!button("buttonSearch")->isEnabled()); // the search runs as usual
    if (!cards)
        return;
    if (held == QLatin1String("0.0.0.0"))
        QCOMPARE(boundAddresses(window.get()), QStringList());
    else
        QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 1, 3000); // the other card's board
    QVERIFY(!boundAddresses(window.get()).contains(held));
    // What is sent to the held address stays with the program that holds it.
    const int rows = table()->rowCount();
    const QByteArray reply = replyBytes(makeBoard("020000000101"));
    if (held == QLatin1String("127.0.0.1"))
        sendToTool(reply);
    else
        QVERIFY(NetLab::sendFrom(board, reply, QStringLiteral("10.77.0.1")));
    QTRY_VERIFY(holder->hasPendingDatagrams());
    QTest::qWait(100);
    QCOMPARE(table()->rowCount(), rows);
    QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
    QTRY_VERIFY(!errorBox());

    holder.reset();
    QMetaObject::invokeMethod(window.get(), "RebootDone");
    QVERIFY(!errorBox());
    const QStringList bound = boundAddresses(window.get());
    QVERIFY2(bound.contains(QStringLiteral("10.77.0.1")) &&
                 bound.contains(QStringLiteral("0.0.0.0")),
             qPrintable(bound.join(QLatin1Char(' '))));
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 1, 3000);
}

// Cards come up and go while the window is open (a cable, a DHCP lease, a Wi-Fi network):
// every search follows the PC's addresses.
void TestDiscovery::cardsComeAndGo()
{
    const QString first = lab->addHost();
    const QString second = lab->addHost();
    startTool(); // before any card has an address
    const QString firstCard =
        lab->link(first, QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.2/24")});
    QVERIFY(!firstCard.isEmpty());
    QVERIFY(!lab->link(second, QStringLiteral("10.88.0.1/24"), {QStringLiteral("10.88.0.2/24")})
                 .isEmpty());
    Simulator *a = lab->startSimulator(first, {QStringLiteral("--first-mac"),
                                               QStringLiteral("02:00:00:00:01:01"),
                                               QStringLiteral("--boards"), QStringLiteral("2")});
    Simulator *b = lab->startSimulator(
        second, {QStringLiteral("--first-mac"), QStringLiteral("02:00:00:00:02:01"),
                 QStringLiteral("--reply"), QStringLiteral("broadcast"), QStringLiteral("--ip"),
                 QStringLiteral("172.16.5.5")});
    QVERIFY(a && b);
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QVERIFY(!errorBox());
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 3, 3000);

    QVERIFY(NetLab::ip({QStringLiteral("addr"), QStringLiteral("del"),
                        QStringLiteral("10.77.0.1/24"), QStringLiteral("dev"), firstCard}));
    const int queriesBefore = a->events(QStringLiteral("RECV"), QStringLiteral("query")).size();
    QMetaObject::invokeMethod(window.get(), "RebootDone");
    QVERIFY(!errorBox());
    QVERIFY(!boundAddresses(window.get()).contains(QStringLiteral("10.77.0.1")));
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 1, 3000);
    QCOMPARE(macColumn(), QStringList{QStringLiteral("2:0:00:00:02:01")});
    QTest::qWait(1200); // a second query went out through the card that is left
    QCOMPARE(a->events(QStringLiteral("RECV"), QStringLiteral("query")).size(), queriesBefore);
    QCOMPARE(b->events(QStringLiteral("RECV"), QStringLiteral("query")).size(), 3);
}

void TestDiscovery::secondCopyLeavesThePortToTheFirst_data()
{
    QTest::addColumn<bool>("cliFirst");
    QTest::addColumn<bool>("cliSecond");
    QTest::newRow("two windows") << false << false;
    QTest::newRow("window, then quorvan-cli") << false << true;
    QTest::newRow("quorvan-cli, then window") << true << false;
}

// Two programs bound together to port 4022 would each get only part of the unicast
// replies: the copy that started first keeps the port and lists every board, and the
// second one says why it cannot search.
void TestDiscovery::secondCopyLeavesThePortToTheFirst()
{
    QFETCH(bool, cliFirst);
    QFETCH(bool, cliSecond);
    const QString boards = lab->addHost();
    QVERIFY(!lab->link(boards, QStringLiteral("10.77.0.1/24"),
                       {QStringLiteral("10.77.0.2/24"), QStringLiteral("192.168.50.7/24")})
                 .isEmpty());
    QVERIFY(lab->startSimulator(boards, {QStringLiteral("--bind"), QStringLiteral("10.77.0.2"),
                                         QStringLiteral("--boards"), QStringLiteral("2")}));
    QVERIFY(lab->startSimulator(boards,
                                {QStringLiteral("--bind"), QStringLiteral("192.168.50.7"),
                                 QStringLiteral("--first-mac"), QStringLiteral("02:00:00:00:02:01"),
                                 QStringLiteral("--reply"), QStringLiteral("broadcast"),
                                 QStringLiteral("--ip"), QStringLiteral("192.168.50.7")}));
    const QString inUse = QStringLiteral("déjà utilisé sur ce PC par un autre programme");

    if (cliFirst) {
        QProcess *cli =
            startCli({QStringLiteral("discover"), QStringLiteral("--wait"), QStringLiteral("2.5"),
                      QStringLiteral("--format"), QStringLiteral("csv")});
        QTRY_VERIFY_WITH_TIMEOUT(portHeld(), 3000);
        startTool();
        QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
        QVERIFY(errorBox() && errorBox()->text().contains(inUse));
        QCOMPARE(boundAddresses(window.get()), QStringList());
        const CliRun run = finish(cli);
        QCOMPARE(run.code, 0);
        QCOMPARE(run.output.trimmed().split(QLatin1Char('\n')).size(), 1 + 3);
        return;
    }
    startTool();
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    if (cliSecond) {
        const CliRun run = finish(startCli({QStringLiteral("discover")}));
        QCOMPARE(run.code, 5);
        QVERIFY2(run.errors.contains(QLatin1String("already in use")), qPrintable(run.errors));
        QCOMPARE(run.output, QString());
    } else {
        MainWindow other;
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QTest::mouseClick(other.findChild<QPushButton *>(QStringLiteral("buttonSearch")),
                          Qt::LeftButton);
        QMessageBox *box = errorBox();
        QVERIFY(box && box->parent() == &other && box->text().contains(inUse));
        QCOMPARE(boundAddresses(&other), QStringList());
    }
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 3, 3000);
    QVERIFY(!errorBox());
}

void TestDiscovery::repliesAreReadHoweverNotificationsInterleave_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("lastByBroadcast");
    QTest::newRow("unicast and broadcast together, then broadcast") << false << true;
    QTest::newRow("unicast and broadcast while busy, then broadcast") << true << true;
    QTest::newRow("unicast and broadcast together, then unicast") << false << false;
}

// A unicast reply reaches the socket of the PC's address and a broadcast reply the
// any-address listener: when both are there in one round of notifications, whichever
// socket is handled second must still hear the next reply on its own.
void TestDiscovery::repliesAreReadHoweverNotificationsInterleave()
{
    QFETCH(bool, busy);
    QFETCH(bool, lastByBroadcast);
    const QString boards = lab->addHost();
    QVERIFY(!lab->link(boards, QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.2/24")})
                 .isEmpty());
    const int board = lab->udpSocketIn(boards, QStringLiteral("10.77.0.2"));
    QVERIFY(board >= 0);
    startTool();
    const QString pc = QStringLiteral("10.77.0.1");
    const QString everyone = QStringLiteral("255.255.255.255");
    const auto reply = [](const char *mac) { return replyBytes(makeBoard(mac)); };
    if (busy) {
        // Both arrive while the event loop is away; it then finds both sockets readable.
        QVERIFY(NetLab::sendFrom(board, reply("020000000001"), pc));
        QVERIFY(NetLab::sendFrom(board, reply("020000000002"), everyone));
        QThread::msleep(100);
    } else {
        std::thread sender([&] {
            QThread::msleep(50);
            NetLab::sendFrom(board, reply("020000000001"), pc);
            NetLab::sendFrom(board, reply("020000000002"), everyone);
        });
        QTest::qWait(100);
        sender.join();
    }
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 2, 2000);
    QTest::qWait(300);
    QVERIFY(NetLab::sendFrom(board, reply("020000000003"), lastByBroadcast ? everyone : pc));
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 3, 500);
}

QUORVAN_TEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
