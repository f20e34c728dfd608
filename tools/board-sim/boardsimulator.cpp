// SPDX-License-Identifier: MIT
#include "boardsimulator.h"

#include <QNetworkInterface>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// The tool and any number of simulators share port 4022 inside one namespace.
constexpr QAbstractSocket::BindMode bindMode =
    QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;

// Large socket buffers so that a burst (ten thousand broadcast replies that come back to
// the receive socket, or queries from several tools) is not dropped by the kernel while
// the simulator is busy sending. The kernel caps them at net.core.[rw]mem_max.
constexpr int socketBufferSize = 8 * 1024 * 1024;

// At most this many events per timer run, so that queries and writes arriving during a
// long burst of replies are still read in between.
constexpr int batchSize = 2000;

// A failed send is tried again after a pause in case the socket buffer was full; after a
// few attempts the reply is dropped, and further failures drop at once until a send works,
// so that an unreachable destination cannot hold up the whole queue.
constexpr int retryInterval = 1;
constexpr int maxRetries = 5;

constexpr char queryMagic[] = "Quorvan?";
constexpr char replyMagic[] = "QuorvanR";
constexpr char writeMagic[] = "QuorvanW";
constexpr int magicWidth = 8;
constexpr std::uint32_t limitedBroadcast = 0xFFFFFFFF;

bool hasMagic(const QByteArray &data, const char *magic)
{
    return data.size() >= magicWidth && std::memcmp(data.constData(), magic, magicWidth) == 0;
}

} // namespace

BoardSimulator::BoardSimulator(const SimOptions &options, QObject *parent)
    : QObject(parent), log(options.quiet), boards(options.boards), states(options.boards.size()),
      requestedBind(options.bind), jitter(options.jitter), restart(options.restart)
{
    random.seed(options.seeded ? options.seed : std::random_device{}());
    for (std::size_t i = 0; i < boards.size(); ++i)
        boardsByMac.emplace(macKey(boards[i].record.mac), i);
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, SIGNAL(timeout()), this, SLOT(processDue()));
}

bool BoardSimulator::start(QString &error)
{
    if (!receiver.bind(QHostAddress::AnyIPv4, devicePort, bindMode)) {
        error = QStringLiteral("cannot bind 0.0.0.0:%1: %2")
                    .arg(devicePort)
                    .arg(receiver.errorString());
        return false;
    }
    receiver.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                             QVariant(socketBufferSize));
    connect(&receiver, SIGNAL(readyRead()), this, SLOT(readDatagrams()));

    bind = requestedBind.isNull() ? defaultBindAddress() : requestedBind;
    // reply=subnet answers to the broadcast address of the bind address's subnet; without
    // one (the any-address, a /32) it falls back to 255.255.255.255.
    subnetBroadcast = limitedBroadcast;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip() == bind && !entry.broadcast().isNull())
                subnetBroadcast = entry.broadcast().toIPv4Address();
        }
    }
    // A second socket on the any-address would hear every broadcast a second time.
    if (bind != QHostAddress(QHostAddress::AnyIPv4)) {
        ownSender = std::make_unique<QUdpSocket>();
        if (!ownSender->bind(bind, devicePort, bindMode)) {
            error = QStringLiteral("cannot bind %1:%2: %3")
                        .arg(bind.toString())
                        .arg(devicePort)
                        .arg(ownSender->errorString());
            return false;
        }
        sender = ownSender.get();
        sender->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                QVariant(socketBufferSize));
        // Unicast datagrams to the bind address reach this socket rather than the receive
        // socket: Linux hands a unicast datagram to the most specific bound socket only.
        connect(sender, SIGNAL(readyRead()), this, SLOT(readDatagrams()));
    }
    sender->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                            QVariant(socketBufferSize));
    log.ready(bind, devicePort);
    return true;
}

// The first non-loopback IPv4 address, preferably of an interface that is up and has a
// carrier. On Linux a limited broadcast from a socket bound to it leaves through the
// interface owning it, which a namespace without a default route needs. An interface whose
// veth peer came up a moment ago can still lack its carrier (and Qt then leaves it out of
// allAddresses()), so such an address is still taken rather than the any-address.
QHostAddress BoardSimulator::defaultBindAddress()
{
    QHostAddress fallback(QHostAddress::AnyIPv4);
    const auto running = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() != QAbstractSocket::IPv4Protocol || address.isLoopback())
                continue;
            if ((interface.flags() & running) == running)
                return address;
            if (fallback == QHostAddress(QHostAddress::AnyIPv4))
                fallback = address;
        }
    }
    return fallback;
}

void BoardSimulator::readDatagrams()
{
    readSocket(receiver);
    if (ownSender)
        readSocket(*ownSender);
}

void BoardSimulator::readSocket(QUdpSocket &socket)
{
    while (socket.hasPendingDatagrams()) {
        QByteArray data(int(std::max<qint64>(socket.pendingDatagramSize(), 0)), '\0');
        QHostAddress source;
        quint16 port = 0;
        const qint64 length = socket.readDatagram(data.data(), data.size(), &source, &port);
        if (length < 0)
            break;
        data.resize(int(length));
        handleDatagram(data, source, port);
    }
}

void BoardSimulator::handleDatagram(const QByteArray &data, const QHostAddress &source,
                                    quint16 port)
{
    // Replies are never logged: most are the simulator's own broadcasts coming back, and a
    // board has nothing to do with the replies of other boards.
    if (hasMagic(data, replyMagic))
        return;
    if (hasMagic(data, queryMagic)) {
        log.received(source, port, "query", data);
        if (data.size() >= int(queryDatagramSize))
            answerQuery(source, port);
    } else if (hasMagic(data, writeMagic)) {
        log.received(source, port, "write", data);
        if (data.size() >= int(writeDatagramSize))
            takeWriteDatagram(data);
    } else {
        log.received(source, port, "other", data);
    }
}

void BoardSimulator::answerQuery(const QHostAddress &source, quint16 port)
{
    const qint64 now = log.elapsed();
    const std::uint32_t sourceAddress = source.toIPv4Address();
    std::uniform_int_distribution<int> spread(0, jitter);
    for (std::size_t i = 0; i < boards.size(); ++i) {
        if (states[i].restarting)
            continue;
        Pending item;
        item.due = now + boards[i].delay + (jitter > 0 ? spread(random) : 0);
        item.board = i;
        item.generation = states[i].generation;
        const bool broadcast = boards[i].reply != ReplyMode::Unicast;
        item.address = boards[i].reply == ReplyMode::SubnetBroadcast ? subnetBroadcast
                       : broadcast                                   ? limitedBroadcast
                                                                     : sourceAddress;
        item.port = broadcast ? devicePort : port;
        enqueue(item);
    }
    armTimer(false);
}

void BoardSimulator::takeWriteDatagram(const QByteArray &data)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data.constData());
    const DeviceRecord written = parseReply(bytes, std::size_t(data.size()));
    const auto range = boardsByMac.equal_range(macKey(written.mac));
    std::vector<std::size_t> targets;
    for (auto it = range.first; it != range.second; ++it)
        targets.push_back(it->second);
    std::sort(targets.begin(), targets.end());
    for (std::size_t i : targets) {
        Board &board = boards[i];
        // A restarting board is not listening, and an ignoring one never takes a write.
        if (states[i].restarting || board.write == WriteMode::Ignore)
            continue;
        takeWrite(board.record, bytes, std::size_t(data.size()));
        if (board.write == WriteMode::Mangle)
            ++board.record.ip[3];
        else if (board.write == WriteMode::MangleGateway)
            ++board.record.gateway[3];
        states[i].restarting = true;
        ++states[i].generation;
        log.applied(board.record.mac);
        Pending item;
        item.due = log.elapsed() + (board.restart >= 0 ? board.restart : restart);
        item.board = i;
        item.generation = states[i].generation;
        item.back = true;
        enqueue(item);
    }
    armTimer(false);
}

void BoardSimulator::enqueue(Pending item)
{
    item.order = nextOrder++;
    queue.push(item);
}

void BoardSimulator::armTimer(bool more)
{
    if (queue.empty()) {
        timer.stop();
        return;
    }
    const qint64 wait = more ? 0 : std::max<qint64>(queue.top().due - log.elapsed(), 0);
    timer.start(int(std::min<qint64>(wait, std::numeric_limits<int>::max())));
}

void BoardSimulator::processDue()
{
    const qint64 now = log.elapsed();
    int done = 0;
    while (!queue.empty() && queue.top().due <= now && done < batchSize) {
        const Pending item = queue.top();
        if (item.back) {
            states[item.board].restarting = false;
            log.back(boards[item.board].record.mac);
        } else if (!sendReply(item)) {
            if (!sendFailing && ++retries < maxRetries) {
                timer.start(retryInterval);
                return;
            }
            if (!sendFailing) {
                std::fprintf(stderr,
                             "quorvan-board-sim: cannot send to %s:%u: %s (dropping replies "
                             "until a send succeeds)\n",
                             EventLog::addressText(QHostAddress(item.address)).constData(),
                             unsigned(item.port), qPrintable(sender->errorString()));
                std::fflush(stderr);
            }
            sendFailing = true;
        }
        retries = 0;
        queue.pop();
        ++done;
    }
    armTimer(done == batchSize);
}

// False when the send failed; a reply that no longer applies counts as sent.
bool BoardSimulator::sendReply(const Pending &item)
{
    BoardState &state = states[item.board];
    if (state.restarting || state.generation != item.generation)
        return true;
    const Board &board = boards[item.board];
    DeviceRecord record = board.record;
    if (board.varyPadding) {
        const auto end = std::find(record.version, record.version + 8, 0);
        if (end < record.version + 7)
            std::fill(end + 1, record.version + 8, ++state.replies);
    }
    const ReplyDatagram reply = buildReplyDatagram(record, board.layout);
    const QHostAddress destination(item.address);
    if (sender->writeDatagram(reinterpret_cast<const char *>(reply.data()), qint64(reply.size()),
                              destination, item.port) < 0)
        return false;
    sendFailing = false;
    log.sent(destination, item.port, reply.data(), reply.size());
    return true;
}
