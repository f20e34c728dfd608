// SPDX-License-Identifier: MIT
#include "netlab.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

constexpr int commandTimeout = 10000;

} // namespace

bool Simulator::start(const QString &host, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("ip"),
                  QStringList{"netns", "exec", host, QStringLiteral(QUORVAN_BOARD_SIM)} +
                      arguments);
    QElapsedTimer clock;
    clock.start();
    while (!ready && clock.elapsed() < commandTimeout && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(100);
        readLines();
    }
    return ready;
}

void Simulator::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

QVector<SimEvent> Simulator::events(const QString &what, const QString &kind)
{
    readLines();
    QVector<SimEvent> matching;
    for (const SimEvent &event : qAsConst(log)) {
        if (event.what == what && (kind.isEmpty() || event.kind == kind))
            matching.append(event);
    }
    return matching;
}

// Lines look like "1234 RECV 10.77.0.1 4022 query 51756f7276616e3f00"; APPLY and BACK lines
// carry the time, the word and the MAC.
void Simulator::readLines()
{
    pending += process.readAllStandardOutput();
    int end;
    while ((end = pending.indexOf('\n')) >= 0) {
        const QList<QByteArray> fields = pending.left(end).trimmed().split(' ');
        pending.remove(0, end + 1);
        ready = ready || fields.value(0) == "READY";
        if (fields.size() < 3 || fields.at(0) == "READY")
            continue;
        SimEvent event;
        event.msecs = fields.at(0).toLongLong();
        event.what = QString::fromLatin1(fields.at(1));
        event.kind = QString::fromLatin1(fields.at(fields.size() >= 5 ? 4 : 2));
        if (fields.size() >= 5) {
            event.address = QString::fromLatin1(fields.at(2));
            event.port = fields.at(3).toInt();
            event.bytes = QByteArray::fromHex(fields.value(5));
        }
        log.append(event);
    }
}

// Names stay unique for the whole test program: a namespace that was just deleted may
// still hold its end of a veth pair for a moment.
NetLab::NetLab()
{
    static int labs = 0;
    prefix = QStringLiteral("qv%1x%2").arg(getpid()).arg(labs++);
}

NetLab::~NetLab()
{
    for (int socket : sockets)
        close(socket);
    simulators.clear();
    // Deleting this side of each veth pair takes both ends at once; a deleted namespace
    // gives its end back only when the kernel gets round to it, and a later window would
    // still see the old link.
    for (const QString &own : ownLinks)
        ip(QStringLiteral("link del ") + own);
    for (const QString &host : hosts)
        ip(QStringLiteral("netns del ") + host);
}

QString NetLab::addHost()
{
    const QString host = QStringLiteral("%1-%2").arg(prefix).arg(hosts.size());
    if (!ip(QStringLiteral("netns add ") + host))
        return QString();
    hosts.append(host);
    ip(QStringLiteral("-n %1 link set lo up").arg(host));
    return host;
}

QString NetLab::link(const QString &host, const QString &ownAddress,
                     const QStringList &hostAddresses)
{
    const QString own = QStringLiteral("%1a%2").arg(prefix).arg(links);
    const QString peer = QStringLiteral("%1b%2").arg(prefix).arg(links++);
    ownLinks.append(own);
    bool ok =
        ip(QStringLiteral("link add %1 type veth peer name %2 netns %3").arg(own, peer, host)) &&
        ip(QStringLiteral("addr add %1 dev %2").arg(ownAddress, own)) &&
        ip(QStringLiteral("link set %1 up").arg(own));
    for (const QString &address : hostAddresses)
        ok = ok && ip(QStringLiteral("-n %1 addr add %2 dev %3").arg(host, address, peer));
    ok = ok && ip(QStringLiteral("-n %1 link set %2 up").arg(host, peer));
    return ok ? own : QString();
}

bool NetLab::renameLink(const QString &own, const QString &name)
{
    // A link takes a new name only while it is down; its addresses and their routes come
    // back with it.
    if (!ownLinks.contains(own) || !ip(QStringLiteral("link set ") + own + QStringLiteral(" down")))
        return false;
    const bool renamed = ip(QStringLiteral("link set %1 name %2").arg(own, name));
    if (renamed)
        ownLinks.replace(ownLinks.indexOf(own), name);
    return ip(QStringLiteral("link set %1 up").arg(renamed ? name : own)) && renamed;
}

QString NetLab::linkedHost(const QString &ownAddress, const QStringList &hostAddresses)
{
    const QString host = addHost();
    return !host.isEmpty() && !link(host, ownAddress, hostAddresses).isEmpty() ? host : QString();
}

Simulator *NetLab::startSimulator(const QString &host, const QStringList &arguments)
{
    simulators.push_back(std::make_unique<Simulator>());
    return simulators.back()->start(host, arguments) ? simulators.back().get() : nullptr;
}

// A socket stays in the namespace it was made in, so a thread of its own joins `host` just
// long enough to make it.
int NetLab::udpSocketIn(const QString &host, const QString &address)
{
    int made = -1;
    const QByteArray path = QStringLiteral("/run/netns/%1").arg(host).toLocal8Bit();
    const QByteArray bound = address.toLatin1();
    std::thread([&] {
        const int space = open(path.constData(), O_RDONLY | O_CLOEXEC);
        const bool joined = space >= 0 && setns(space, CLONE_NEWNET) == 0;
        close(space);
        if (!joined)
            return;
        made = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (made >= 0 &&
            (setsockopt(made, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
             inet_pton(AF_INET, bound.constData(), &local.sin_addr) != 1 ||
             bind(made, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0)) {
            close(made);
            made = -1;
        }
    }).join();
    if (made >= 0)
        sockets.append(made);
    return made;
}

bool NetLab::sendFrom(int socket, const QByteArray &bytes, const QString &to, quint16 port)
{
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    return inet_pton(AF_INET, to.toLatin1().constData(), &destination.sin_addr) == 1 &&
           sendto(socket, bytes.constData(), size_t(bytes.size()), 0,
                  reinterpret_cast<const sockaddr *>(&destination),
                  sizeof destination) == bytes.size();
}

bool NetLab::ip(const QString &words)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("ip"), words.split(QLatin1Char(' ')));
    return process.waitForFinished(commandTimeout) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
