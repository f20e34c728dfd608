// SPDX-License-Identifier: MIT
// quorvan-bench-window: one search of the real MainWindow, measured from outside the class.
// It builds the window as the tool does, lets it settle, clicks "Rechercher" and prints
// "key value" lines for bench/discovery:
//
// - how many rows the table holds when the button comes back (the end of the ten seconds),
//   and later, once no datagram has been read for a second;
// - the wall-clock time of the last row (rowsInserted on the table's model), to compare
//   with the tap's stamp of the last reply on the wire;
// - the worst lateness of a 10 ms heartbeat timer: the longest stall of the event loop;
// - the CPU time of this process and its resident memory before and after the search;
// - the time spent repainting the window (its UpdateRequest events);
// - the time spent handling each read notification of the window's sockets, and any timer
//   or queued call of the window (measured in QApplication::notify), and how many datagrams
//   were read meanwhile (counted by an interposed recvmsg restricted to the window's
//   sockets), from which the cost per reply of the first and the last thousand replies
//   follows, and the cost per reply while the first and the last thousand rows were listed;
// - whether the rows are the boards heard, newest on top, with the texts of their first
//   reply (the interposed recvmsg keeps those replies in the order they were read);
// - how long a second click takes, which first clears the full table.

#include "benchsupport.h"
#include "discovery/devicetable.h"
#include "discovery/devicetext.h"
#include "discovery/mainwindow.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QTimer>
#include <QUdpSocket>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <unordered_set>
#include <vector>

namespace {

constexpr int settleMs = 700;
constexpr int heartbeatMs = 10;
// After the ten seconds the run goes on until the window has read nothing for this long,
// so that a backlog still in the socket buffers is seen through to its last row.
constexpr std::int64_t quietNs = 1000000000LL;
constexpr std::int64_t maxDrainNs = 30000000000LL;
constexpr int deadlineMs = 60000;
constexpr std::size_t sliceSize = 1000;

constexpr int maxWatched = 64;
int watchedFds[maxWatched];
std::atomic<int> watchedCount{0};
std::atomic<unsigned long long> datagramsRead{0};
long long rowsInserted = 0;
// Only the GUI thread reads the window's sockets.
std::vector<bool> readIsNew;
std::unordered_set<std::uint64_t> boardsHeard;
// The first reply of each board, in the order they were read: the table must show them
// newest on top, with the texts of that reply.
std::vector<DeviceRecord> firstReplies;

bool isWatched(int fd)
{
    const int count = watchedCount.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        if (watchedFds[i] == fd)
            return true;
    }
    return false;
}

} // namespace

// Qt reads every datagram with recvmsg (and peeks with recv): this definition comes first in
// the symbol lookup of libQt5Network (or libQt6Network), so each datagram the window takes is
// counted here, and marked when it is the first reply heard from its board (which the window
// must list).
extern "C" ssize_t recvmsg(int fd, struct msghdr *message, int flags)
{
    const long result = syscall(SYS_recvmsg, fd, message, flags);
    if (result >= 0 && !(flags & MSG_PEEK) && isWatched(fd)) {
        bool isNew = false;
        if (message->msg_iovlen > 0) {
            const auto *data = static_cast<const std::uint8_t *>(message->msg_iov[0].iov_base);
            const std::size_t length = std::min(std::size_t(result), message->msg_iov[0].iov_len);
            if (isReply(data, length)) {
                const DeviceRecord record = parseReply(data, length);
                isNew = boardsHeard.insert(macKey(record.mac)).second;
                if (isNew)
                    firstReplies.push_back(record);
            }
        }
        readIsNew.push_back(isNew);
        datagramsRead.fetch_add(1, std::memory_order_relaxed);
    }
    return ssize_t(result);
}

namespace {

struct Handling
{
    std::int64_t ns = 0;
    unsigned long long firstRead = 0;
    unsigned long long replies = 0;
    long long rows = 0;
};

class BenchApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (timing && event->type() == QEvent::UpdateRequest) {
            const std::int64_t start = BenchSupport::monotonicNs();
            const bool result = QApplication::notify(receiver, event);
            paintNs += BenchSupport::monotonicNs() - start;
            ++paints;
            return result;
        }
        if (!timing || nested || !isReplyHandling(receiver, event))
            return QApplication::notify(receiver, event);
        nested = true;
        const unsigned long long before = datagramsRead.load(std::memory_order_relaxed);
        const long long rowsBefore = rowsInserted;
        const std::int64_t start = BenchSupport::monotonicNs();
        const bool result = QApplication::notify(receiver, event);
        const unsigned long long replies = datagramsRead.load(std::memory_order_relaxed) - before;
        handlings.push_back(
            {BenchSupport::monotonicNs() - start, before, replies, rowsInserted - rowsBefore});
        if (replies > 0)
            lastReadWall = BenchSupport::wallNs();
        nested = false;
        return result;
    }

    bool timing = false;
    bool nested = false;
    std::int64_t lastReadWall = 0;
    std::int64_t paintNs = 0;
    long long paints = 0;
    QSet<const QObject *> sockets;
    const QObject *window = nullptr;
    std::vector<Handling> handlings;

private:
    // The read notifications of the window's sockets, and whatever work the window defers
    // to its own timers or queued calls: all of it counts as handling replies.
    bool isReplyHandling(const QObject *receiver, const QEvent *event) const
    {
        switch (event->type()) {
        case QEvent::SockAct:
            return belongsToWindowSocket(receiver);
        case QEvent::Timer:
            return receiver == window ||
                   (receiver->parent() == window && qobject_cast<const QTimer *>(receiver));
        case QEvent::MetaCall:
            return receiver == window;
        default:
            return false;
        }
    }

    // A socket's notifiers belong to its socket engine, which belongs to the socket.
    bool belongsToWindowSocket(const QObject *object) const
    {
        for (int depth = 0; object && depth < 4; ++depth, object = object->parent()) {
            if (sockets.contains(object))
                return true;
        }
        return false;
    }
};

long long residentBytes()
{
    long long pages = 0;
    long long resident = 0;
    std::FILE *statm = std::fopen("/proc/self/statm", "r");
    if (statm) {
        if (std::fscanf(statm, "%lld %lld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The cost of each reply read. A handling that read datagrams shares its time among them
// (in the window as it was, each reply also became its row there). A handling that read
// nothing but listed rows (work the window deferred) shares its time among the replies that
// brought those boards: rows are listed in the order the boards were heard.
struct Costs
{
    std::vector<double> perRead;
    std::vector<unsigned long long> newReads; // indexes of the first reply of each board
    double unattributedNs = 0;
};

Costs replyCosts(const std::vector<Handling> &handlings)
{
    Costs costs;
    costs.perRead.assign(readIsNew.size(), 0.0);
    for (unsigned long long i = 0; i < readIsNew.size(); ++i) {
        if (readIsNew[i])
            costs.newReads.push_back(i);
    }
    std::size_t nextToList = 0;
    for (const Handling &handling : handlings) {
        if (handling.replies > 0) {
            const double share = double(handling.ns) / double(handling.replies);
            for (unsigned long long i = 0; i < handling.replies; ++i)
                costs.perRead[handling.firstRead + i] += share;
            // Rows listed here belong to replies of this handling, already paid for.
            nextToList += std::size_t(std::max(handling.rows, 0LL));
        } else if (handling.rows > 0) {
            const double share = double(handling.ns) / double(handling.rows);
            for (long long row = 0; row < handling.rows; ++row, ++nextToList) {
                if (nextToList < costs.newReads.size())
                    costs.perRead[costs.newReads[nextToList]] += share;
                else
                    costs.unattributedNs += share;
            }
        } else {
            costs.unattributedNs += double(handling.ns);
        }
    }
    return costs;
}

// Mean cost, in microseconds, of the first (or last) `count` reads named by `order`.
template <typename Index>
double meanUs(const Costs &costs, const std::vector<Index> &order, bool fromEnd, std::size_t count)
{
    const std::size_t n = std::min(count, order.size());
    double sum = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t position = fromEnd ? order.size() - n + k : k;
        sum += costs.perRead[std::size_t(order[position])];
    }
    return n ? sum / double(n) / 1e3 : 0;
}

QString cellText(const std::string &text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

// Rows whose nine texts are those of the board heard at the matching place from the end.
int rowsAsHeard(const QTableWidget *table)
{
    int matching = 0;
    const int rows = table->rowCount();
    for (int row = 0; row < rows && std::size_t(row) < firstReplies.size(); ++row) {
        const DeviceRecord &record = firstReplies[firstReplies.size() - 1 - std::size_t(row)];
        const std::pair<int, std::string> expected[] = {
            {DeviceTable::MacColumn, macToText(record.mac)},
            {DeviceTable::IpColumn, addressToText(record.ip)},
            {DeviceTable::DhcpColumn, flagToText(record.dhcp)},
            {DeviceTable::PortColumn, portToText(record.port)},
            {DeviceTable::GatewayColumn, addressToText(record.gateway)},
            {DeviceTable::MaskColumn, addressToText(record.mask)},
            {DeviceTable::DnsColumn, addressToText(record.dns)},
            {DeviceTable::LevelTwoColumn, flagToText(record.cdeNiveau2)},
            {DeviceTable::VersionColumn, versionToText(record.version)},
        };
        bool same = true;
        for (const auto &cell : expected) {
            const QTableWidgetItem *item = table->item(row, cell.first);
            same = same && item && item->text() == cellText(cell.second);
        }
        matching += same ? 1 : 0;
    }
    return matching;
}

} // namespace

int main(int argc, char *argv[])
{
    BenchSupport::requirePrivateNetwork("quorvan-bench-window");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);

    MainWindow window;
    window.show();
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    auto *search = window.findChild<QPushButton *>(QStringLiteral("buttonSearch"));
    if (!table || !search) {
        std::fprintf(stderr, "quorvan-bench-window: the window has no table or button\n");
        return 1;
    }
    int rcvbuf = 0;
    app.window = &window;
    for (QUdpSocket *socket : window.findChildren<QUdpSocket *>()) {
        app.sockets.insert(socket);
        const int fd = int(socket->socketDescriptor());
        if (fd < 0 || watchedCount.load() >= maxWatched)
            continue;
        watchedFds[watchedCount.load()] = fd;
        watchedCount.fetch_add(1, std::memory_order_release);
        int size = 0;
        socklen_t length = sizeof size;
        if (socket->localAddress().protocol() == QAbstractSocket::IPv4Protocol &&
            getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length) == 0)
            rcvbuf = std::max(rcvbuf, size);
    }

    std::int64_t firstRowWall = 0;
    std::int64_t lastRowWall = 0;
    std::int64_t lastRowMono = 0;
    QObject::connect(table->model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int first, int last) {
                         rowsInserted += last - first + 1;
                         lastRowWall = BenchSupport::wallNs();
                         lastRowMono = BenchSupport::monotonicNs();
                         if (!firstRowWall)
                             firstRowWall = lastRowWall;
                     });

    enum class Phase { Settling, Searching, Draining };
    Phase phase = Phase::Settling;
    long long rssBefore = 0;
    long long rssAfter = 0;
    double cpuBefore = 0;
    std::int64_t clickMono = 0;
    std::int64_t searchEndMono = 0;
    std::int64_t lastBeat = 0;
    std::int64_t worstLateness = 0;
    std::int64_t lastActivity = 0;
    unsigned long long readsSeen = 0;
    long long rowsSeen = 0;
    int listedAtEnd = 0;

    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(heartbeatMs);

    const auto finish = [&](const std::int64_t now) {
        heartbeat.stop();
        app.timing = false;
        const double cpu = cpuSeconds() - cpuBefore;
        QSet<QString> macs;
        for (int row = 0; row < table->rowCount(); ++row) {
            const QTableWidgetItem *item = table->item(row, 0);
            if (item)
                macs.insert(item->text());
        }
        unsigned long long replies = 0;
        std::int64_t handlingNs = 0;
        for (const Handling &handling : app.handlings) {
            replies += handling.replies;
            handlingNs += handling.ns;
        }
        std::printf("listed %d\n", listedAtEnd);
        std::printf("listed_final %d\n", table->rowCount());
        std::printf("distinct_rows %d\n", int(macs.size()));
        std::printf("rows_inserted %lld\n", rowsInserted);
        std::printf("first_row_ns %lld\n", static_cast<long long>(firstRowWall));
        std::printf("last_row_ns %lld\n", static_cast<long long>(lastRowWall));
        std::printf("last_read_ns %lld\n", static_cast<long long>(app.lastReadWall));
        std::printf("last_row_after_click_ms %.1f\n",
                    lastRowMono ? double(lastRowMono - clickMono) / 1e6 : -1.0);
        std::printf("search_ms %.1f\n", double(searchEndMono - clickMono) / 1e6);
        std::printf("run_ms %.1f\n", double(now - clickMono) / 1e6);
        std::printf("stall_ms %.1f\n", double(worstLateness) / 1e6);
        std::printf("cpu_s %.3f\n", cpu);
        std::printf("rss_before %lld\n", rssBefore);
        std::printf("rss_after %lld\n", rssAfter);
        std::printf("rcvbuf %d\n", rcvbuf);
        std::printf("notifications %zu\n", app.handlings.size());
        std::printf("replies_read %llu\n", replies);
        std::printf("handling_ms %.1f\n", double(handlingNs) / 1e6);
        std::printf("paints %lld\n", app.paints);
        std::printf("paint_ms %.1f\n", double(app.paintNs) / 1e6);
        const Costs costs = replyCosts(app.handlings);
        std::vector<unsigned long long> allReads(costs.perRead.size());
        for (std::size_t i = 0; i < allReads.size(); ++i)
            allReads[i] = i;
        std::printf("first_1k_us %.2f\n", meanUs(costs, allReads, false, sliceSize));
        std::printf("last_1k_us %.2f\n", meanUs(costs, allReads, true, sliceSize));
        std::printf("first_1k_rows_us %.2f\n", meanUs(costs, costs.newReads, false, sliceSize));
        std::printf("last_1k_rows_us %.2f\n", meanUs(costs, costs.newReads, true, sliceSize));
        std::printf("boards_heard %zu\n", costs.newReads.size());
        std::printf("rows_as_heard %d\n", rowsAsHeard(table));
        std::printf("unattributed_ms %.1f\n", costs.unattributedNs / 1e6);
        std::printf("kernel_drops %llu\n", BenchSupport::udpDrops(devicePort));
        // A second click clears the full table before anything else; the run ends right
        // after it, so that search never sends a query.
        const std::int64_t clearStart = BenchSupport::monotonicNs();
        search->click();
        std::printf("clear_ms %.1f\n", double(BenchSupport::monotonicNs() - clearStart) / 1e6);
        std::printf("rows_after_clear %d\n", table->rowCount());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    };

    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const std::int64_t now = BenchSupport::monotonicNs();
        worstLateness =
            std::max(worstLateness, now - lastBeat - std::int64_t(heartbeatMs) * 1000000);
        lastBeat = now;
        if (phase == Phase::Searching && search->isEnabled()) {
            phase = Phase::Draining;
            searchEndMono = now;
            listedAtEnd = table->rowCount();
            rssAfter = residentBytes();
            lastActivity = now;
        }
        if (phase != Phase::Draining)
            return;
        const unsigned long long reads = datagramsRead.load(std::memory_order_relaxed);
        if (reads != readsSeen || rowsInserted != rowsSeen) {
            readsSeen = reads;
            rowsSeen = rowsInserted;
            lastActivity = now;
        }
        if (now - lastActivity > quietNs || now - searchEndMono > maxDrainNs)
            finish(now);
    });

    QTimer::singleShot(settleMs, [&] {
        rssBefore = residentBytes();
        cpuBefore = cpuSeconds();
        phase = Phase::Searching;
        app.timing = true;
        clickMono = BenchSupport::monotonicNs();
        lastBeat = clickMono;
        heartbeat.start();
        search->click();
    });
    QTimer::singleShot(deadlineMs, [] {
        std::fprintf(stderr, "quorvan-bench-window: no end after %d ms\n", deadlineMs);
        QCoreApplication::exit(1);
    });
    return app.exec();
}
