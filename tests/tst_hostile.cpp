// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/testsupport.h"
#include "discovery/devicetext.h"
#include "discovery/mainwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTableWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

namespace {

// A board's reply whose every byte follows from its MAC index, cut to a length that also
// follows from it, so the row it must give is known, and any byte left over from an earlier
// datagram shows.
QByteArray patternedReply(int index)
{
    DeviceRecord record = makeBoard(QByteArray::number(0x020000000000LL + index, 16),
                                    QStringLiteral("10.%1.%2.%3")
                                        .arg((index >> 16) & 0xff)
                                        .arg((index >> 8) & 0xff)
                                        .arg(index & 0xff),
                                    "V7.65.43");
    record.dhcp = index & 1;
    return replyBytes(record, ReplyLayout::Long).left(41 + index % 5);
}

QString expectedVersion(int index)
{
    return QStringLiteral("V7.65.43").left(4 + index % 5);
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The longest lateness of a 10 ms timer while the test waits: how long the event loop was
// kept from running.
class Heartbeat : public QObject
{
public:
    Heartbeat()
    {
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this,
                [this] { worst = qMax(worst, clock.restart() - 10); });
        clock.start();
        timer.start(10);
    }
    qint64 worst = 0;

private:
    QTimer timer;
    QElapsedTimer clock;
};

} // namespace

// Garbage and floods over real sockets: the window lists only what the rules say, never
// shows bytes of an earlier datagram, and keeps serving its event loop.
class TestHostile : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void datagramSizes();
    void ownDatagramsAndGarbageAddNothing();
    void flood();

private:
    QTableWidget *table() const
    {
        return window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    }
    void checkRowsArePatterned(const QSet<int> &sent);

    std::unique_ptr<MainWindow> window;
};

void TestHostile::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestHostile::cleanup()
{
    window.reset();
}

void TestHostile::checkRowsArePatterned(const QSet<int> &sent)
{
    QSet<QString> seen;
    for (int row = 0; row < table()->rowCount(); ++row) {
        const QString mac = table()->item(row, 0)->text();
        QVERIFY2(!seen.contains(mac), qPrintable(mac));
        seen.insert(mac);
        // Random bytes behind the reply magic pass as a board (they follow the rules); the
        // flood gives them MACs beginning with 0xfe.
        if (mac.startsWith(QLatin1String("fe:")))
            continue;
        const MacAddress bytes = macTextToBytes(mac.toStdString());
        const int index = int(macKey(bytes.data()) - 0x020000000000LL);
        QVERIFY2(sent.contains(index), qPrintable(mac));
        QCOMPARE(table()->item(row, 8)->text(), expectedVersion(index));
        QCOMPARE(table()->item(row, 2)->text(),
                 index & 1 ? QStringLiteral("Oui") : QStringLiteral("Non"));
        QCOMPARE(table()->item(row, 7)->text(), QStringLiteral("Non"));
    }
}

void TestHostile::datagramSizes()
{
    const QByteArray full =
        replyBytes(makeBoard("020000000001", QStringLiteral("10.0.0.1"), "V3.00.01"));
    int expectedRows = 0;
    for (int size : {0, 1, 8, 40, 41, 44, 45, 46, 65507}) {
        QByteArray datagram = full.leftJustified(size, '\xee', true);
        if (size > 13) { // a MAC of its own for each size
            datagram[13] = char(size & 0xff);
            datagram[12] = char(size >> 8);
        }
        sendToTool(datagram);
        sendToTool(datagram, QHostAddress(QHostAddress::LocalHostIPv6));
        if (size >= 41)
            ++expectedRows;
    }
    // A last good reply shows that nothing before it blocked the sockets.
    sendToTool(replyBytes(makeBoard("02000000ffff")));
    ++expectedRows;
    QTRY_COMPARE(table()->rowCount(), expectedRows);
    QTest::qWait(200);
    QCOMPARE(table()->rowCount(), expectedRows);

    const QStringList versions = {"V3.00.01", "V3.00.01", "V3.00.01", "V3.00.0", "V3.0"};
    for (int row = 1; row < table()->rowCount(); ++row) // rows for 65507, 46, 45, 44, 41
        QCOMPARE(table()->item(row, 8)->text(), versions.at(row - 1));
}

void TestHostile::ownDatagramsAndGarbageAddNothing()
{
    sendToTool(QByteArray("Quorvan?\0", 9));
    const WriteDatagram write = buildWriteDatagram(makeBoard("020000000001"));
    sendToTool(bytesOf(write.data(), int(write.size())));
    QRandomGenerator random(4022);
    for (int i = 0; i < 500; ++i) {
        QByteArray bytes(int(random.bounded(1, 200)), Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        if (i % 2)
            bytes.replace(0, qMin(8, bytes.size()),
                          QByteArray("QuorvanR").left(qMin(8, bytes.size())));
        if (bytes.size() >= 41 && bytes.startsWith("QuorvanR"))
            bytes[7] = 'r'; // random tails after the magic are tested by the flood
        sendToTool(bytes);
        if (i % 50 == 0) // within what one receive buffer holds; the flood tests overflow
            QTest::qWait(5);
    }
    sendToTool(patternedReply(7));
    QTRY_COMPARE(table()->rowCount(), 1);
    QTest::qWait(200);
    QCOMPARE(table()->rowCount(), 1);
    checkRowsArePatterned({7});
}

// Mixed garbage and replies from a bounded pool of MACs, as fast as one thread can send,
// for QUORVAN_FLOOD_SECONDS (8 s unless set; 60 s for a full run).
void TestHostile::flood()
{
    const int seconds = qEnvironmentVariableIsSet("QUORVAN_FLOOD_SECONDS")
                            ? qEnvironmentVariableIntValue("QUORVAN_FLOOD_SECONDS")
                            : 8;
    constexpr int pool = 3000;
    std::atomic<bool> stop{false};
    std::atomic<qint64> datagrams{0};
    QSet<int> sent;
    for (int i = 0; i < pool; ++i)
        sent.insert(i);
    const qint64 rssBefore = residentKiB();

    std::thread sender([&] {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(devicePort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QRandomGenerator random(77);
        QByteArray garbage(200, '\0');
        while (!stop.load()) {
            for (int burst = 0; burst < 64; ++burst) {
                if (random.bounded(2)) {
                    const QByteArray reply = patternedReply(int(random.bounded(pool)));
                    sendto(fd, reply.constData(), size_t(reply.size()), 0,
                           reinterpret_cast<const sockaddr *>(&to), sizeof to);
                } else {
                    const int size = int(random.bounded(0, 200));
                    for (int i = 0; i < size; ++i)
                        garbage[i] = char(random.bounded(256));
                    if (size >= 8 && random.bounded(2))
                        std::memcpy(garbage.data(), "QuorvanR", 8); // a reply of random bytes
                    if (size >= 14) // its MAC is one of 256 outside the pool
                        std::memcpy(garbage.data() + 8, "\xfe\0\0\0\0", 5);
                    sendto(fd, garbage.constData(), size_t(size), 0,
                           reinterpret_cast<const sockaddr *>(&to), sizeof to);
                }
                ++datagrams;
            }
        }
        close(fd);
    });

    Heartbeat heartbeat;
    QTest::qWait(seconds * 1000);
    stop = true;
    sender.join();
    QTest::qWait(500);
    const qint64 rssAfter = residentKiB();

    const int rows = table()->rowCount();
    qInfo("flood: %lld datagrams in %d s, %d rows listed, worst event-loop stall %lld ms, "
          "RSS %+lld KiB",
          qlonglong(datagrams.load()), seconds, rows, qlonglong(heartbeat.worst),
          qlonglong(rssAfter - rssBefore));
    QVERIFY(rows > 0);
    QVERIFY(rows <= pool + 256);
    checkRowsArePatterned(sent);
    // Memory follows the boards listed, not the datagrams read: a generous bound per row.
    // AddressSanitizer keeps freed memory in quarantine, so its builds say nothing here.
#ifndef __SANITIZE_ADDRESS__
    QVERIFY2(rssAfter - rssBefore < 16 * rows + 32 * 1024,
             qPrintable(QString::number(rssAfter - rssBefore)));
#endif
    // A hang detector, not a speed target: the benchmark measures the stall.
    QVERIFY2(heartbeat.worst < 2000, qPrintable(QString::number(heartbeat.worst)));
}

QUORVAN_TEST_MAIN(TestHostile)
#include "tst_hostile.moc"
