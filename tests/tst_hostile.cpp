// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/netlab.h"
#include "common/testsupport.h"
#include "discovery/devicetext.h"
#include "discovery/mainwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTableWidget>
#include <QUdpSocket>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <thread>

namespace {

// A board's reply whose every byte follows from its MAC index, cut to a length that also
// follows from it, so the row it must give is known, and any byte left over from an earlier
// datagram shows.
QByteArray patternedReply(int index)
{
    DeviceRecord record =
        makeBoard(QByteArray::number(0x020000000000LL + index, 16),
                  QHostAddress(quint32(0x0a000000 + index)).toString(), "V7.65.43");
    record.dhcp = index & 1;
    return replyBytes(record, ReplyLayout::Long).left(41 + index % 5);
}

// Random bytes of a random length below 200. Half of them begin with the reply magic: when
// long enough, those pass as a board (they follow the rules), with a MAC beginning with 0xfe.
QByteArray garbage(QRandomGenerator &random)
{
    QByteArray bytes(int(random.bounded(200)), Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    const int head = qMin(13, bytes.size());
    if (random.bounded(2))
        bytes.replace(0, head, QByteArray("QuorvanR\xfe\0\0\0\0", 13).left(head));
    return bytes;
}

// The smallest receive buffer the kernel granted the window's sockets (in its own
// accounting, twice what was asked, and no more than twice net.core.rmem_max).
int grantedReceiveBuffer(const MainWindow &window)
{
    int smallest = INT_MAX;
    for (const QUdpSocket *socket : window.findChildren<QUdpSocket *>()) {
        int size = 0;
        socklen_t length = sizeof size;
        if (socket->socketDescriptor() >= 0 &&
            getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &size, &length) == 0)
            smallest = std::min(smallest, size);
    }
    return smallest;
}

// Bytes waiting in the receive queues of the sockets on port 4022 of this namespace, as the
// kernel counts them (/proc/net/udp, rx_queue).
qint64 queuedOnDevicePort()
{
    qint64 queued = 0;
    for (const char *table : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (QByteArray line = file.readLine(); !line.isEmpty(); line = file.readLine()) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 4 && fields.at(1).endsWith(":0FB6"))
                queued += fields.at(4).split(':').value(1).toLongLong(nullptr, 16);
        }
    }
    return queued;
}

// Each datagram costs the receiver far more than its bytes (832 for one of 45 bytes on
// Linux 6.1): a burst of this many fills no more than half of the smallest granted buffer,
// whatever the cap, and nothing is lost if the window reads it all before the next one.
int safeBurst(const MainWindow &window)
{
    return std::max(1, grantedReceiveBuffer(window) / 4096);
}

} // namespace

// Garbage and floods over real sockets: the window lists only what the rules say, never
// shows bytes of an earlier datagram, and keeps serving its event loop.
class TestHostile : public StrictTestCase
{
    Q_OBJECT

private slots:
    void flood();
    void droppedRepliesAreReported_data();
    void droppedRepliesAreReported();
};

// First the tool's own query and write, and replies of every size around the shortest one
// (their MACs begin with 0xfd): only replies are listed, with what their bytes hold. Then
// mixed garbage and replies from a bounded pool of MACs, as fast as one thread can send,
// for QUORVAN_FLOOD_SECONDS (8 s unless set; 60 s for a full run).
void TestHostile::flood()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QTableWidget *table = window.findChild<QTableWidget *>("tableWidget");
    sendToTool(QByteArray("Quorvan?\0", 9));
    const WriteDatagram write = buildWriteDatagram(makeBoard("fd0000000001"));
    sendToTool(bytesOf(write.data(), int(write.size())));
    const QByteArray full = replyBytes(makeBoard("fd0000000000", "10.0.0.1", "V3.00.01"));
    for (int size : {0, 1, 8, 40, 41, 44, 45, 46, 65507}) {
        QByteArray datagram = full.leftJustified(size, '\xee', true);
        if (size > 13) { // a MAC of its own for each size
            datagram[13] = char(size & 0xff);
            datagram[12] = char(size >> 8);
        }
        sendToTool(datagram);
        sendToTool(datagram, QHostAddress(QHostAddress::LocalHostIPv6));
    }
    QTRY_COMPARE(table->rowCount(), 5);
    QTest::qWait(200);
    QCOMPARE(table->rowCount(), 5);
    const QStringList versions = {"V3.00.01", "V3.00.01", "V3.00.01", "V3.00.0", "V3.0"};
    for (int row = 0; row < 5; ++row) // rows for 65507, 46, 45, 44, 41
        QCOMPARE(table->item(row, 8)->text(), versions.at(row));

    const int seconds = qEnvironmentVariable("QUORVAN_FLOOD_SECONDS", "8").toInt();
    constexpr int pool = 3000;
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        QRandomGenerator random(77);
        while (!stop.load()) {
            NetLab::sendFrom(
                fd, random.bounded(2) ? patternedReply(int(random.bounded(pool))) : garbage(random),
                QStringLiteral("127.0.0.1"));
        }
        close(fd);
    });
    // How long the event loop was kept from running: the longest lateness of a 10 ms wait.
    qint64 worst = 0;
    QElapsedTimer clock, step;
    for (clock.start(); clock.elapsed() < seconds * 1000;) {
        step.start();
        QTest::qWait(10);
        worst = qMax(worst, step.elapsed() - 10);
    }
    stop = true;
    sender.join();
    QTest::qWait(500);

    const int rows = table->rowCount();
    QVERIFY(rows > 5);
    QVERIFY(rows <= 5 + pool + 256);
    // Every row is one of the patterned boards, once, or a board of random bytes or of a
    // chosen size.
    QSet<QString> seen;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QString mac = table->item(row, 0)->text();
        QVERIFY2(!seen.contains(mac), qPrintable(mac));
        seen.insert(mac);
        if (mac.startsWith(QLatin1String("fe:")) || mac.startsWith(QLatin1String("fd:")))
            continue;
        const MacAddress bytes = macTextToBytes(mac.toStdString());
        const int index = int(macKey(bytes.data()) - 0x020000000000LL);
        QVERIFY2(index >= 0 && index < pool, qPrintable(mac));
        QCOMPARE(table->item(row, 8)->text(), QStringLiteral("V7.65.43").left(4 + index % 5));
        QCOMPARE(table->item(row, 2)->text(), QLatin1String(index & 1 ? "Oui" : "Non"));
        QCOMPARE(table->item(row, 7)->text(), QStringLiteral("Non"));
    }
    // A hang detector, not a speed target: the benchmark measures the stall.
    QVERIFY2(worst < 2000, qPrintable(QString::number(worst)));
}

void TestHostile::droppedRepliesAreReported_data()
{
    QTest::addColumn<bool>("overflow");
    QTest::newRow("replies the buffer holds, after drops before the search") << false;
    QTest::newRow("more replies than the buffer holds") << true;
}

// Replies that the kernel throws away, its buffer full, may have been a board's only ones:
// the search says how many it lost once it ends, and says nothing when it lost none, even
// if replies were dropped before it began. A burst is sent while the window cannot read
// (its thread is sending), each reply a board of its own, so that every reply of the
// search's burst is either listed or dropped.
void TestHostile::droppedRepliesAreReported()
{
    QFETCH(bool, overflow);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QTableWidget *table = window.findChild<QTableWidget *>("tableWidget");
    // Small buffers, whatever this machine's cap: no datagram costs the kernel less than 256
    // bytes of one.
    const auto shrinkBuffers = [&window] {
        for (const QUdpSocket *socket : window.findChildren<QUdpSocket *>()) {
            const int size = 64 * 1024;
            QVERIFY(socket->socketDescriptor() < 0 ||
                    setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &size,
                               sizeof size) == 0);
        }
    };
    const auto burst = [](int first, int count) {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        for (int index = first; index < first + count; ++index)
            NetLab::sendFrom(fd, patternedReply(index), QStringLiteral("127.0.0.1"));
        close(fd);
    };
    shrinkBuffers();
    if (!overflow) {
        burst(200000, grantedReceiveBuffer(window) / 256 + 64);
        QTRY_COMPARE(queuedOnDevicePort(), 0);
    }
    QTest::keyClick(&window, Qt::Key_F5);
    QVERIFY(!window.findChild<QPushButton *>("buttonSearch")->isEnabled());
    shrinkBuffers();
    const int sent = overflow ? grantedReceiveBuffer(window) / 256 + 64 : safeBurst(window);
    burst(100000, sent);
    QTRY_VERIFY_WITH_TIMEOUT(window.findChild<QPushButton *>("buttonSearch")->isEnabled(), 20000);
    const QList<QMessageBox *> boxes = window.findChildren<QMessageBox *>("droppedReplies");
    if (!overflow) {
        QVERIFY(boxes.isEmpty());
        QCOMPARE(table->rowCount(), sent);
        return;
    }
    QCOMPARE(boxes.size(), 1);
    const QRegularExpressionMatch said =
        QRegularExpression(QStringLiteral("^Ce PC a perdu ([0-9\u00a0\u202f]+)\u00a0réponses, "
                                          "arrivées plus vite qu'il ne pouvait les lire\u00a0: "
                                          "des cartes peuvent manquer à la liste\\.\n"
                                          "Relancez la recherche\u00a0; .*net\\.core\\.rmem_max"))
            .match(boxes.first()->text());
    QVERIFY2(said.hasMatch() && boxes.first()->isVisible(), qPrintable(boxes.first()->text()));
    const int dropped = said.captured(1).remove(QChar(0xa0)).remove(QChar(0x202f)).toInt();
    QVERIFY(dropped > 0);
    QCOMPARE(table->rowCount() + dropped, sent);
}

QUORVAN_TEST_MAIN(TestHostile)
#include "tst_hostile.moc"
