// SPDX-License-Identifier: MIT
#include "netlab.h"

#include <QCoreApplication>
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

bool runCommand(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished(commandTimeout) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

Simulator::~Simulator()
{
    stop();
}

bool Simulator::start(const QString &host, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("ip"), QStringList{QStringLiteral("netns"), QStringLiteral("exec"),
                                                    host, QStringLiteral(QUORVAN_BOARD_SIM)} +
                                            arguments);
    if (!process.waitForStarted(commandTimeout))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < commandTimeout) {
        process.waitForReadyRead(100);
        readLines();
        if (ready)
            return true;
        if (process.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

void Simulator::stop()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
}

QVector<SimEvent> Simulator::events()
{
    readLines();
    return log;
}

QVector<SimEvent> Simulator::events(const QString &what, const QString &kind)
{
    QVector<SimEvent> matching;
    for (const SimEvent &event : events()) {
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
        if (fields.value(0) == "READY")
            ready = true;
        if (fields.size() < 3 || fields.at(0) == "READY")
            continue;
        SimEvent event;
        event.msecs = fields.at(0).toLongLong();
        event.what = QString::fromLatin1(fields.at(1));
        if (fields.size() >= 5) {
            event.address = QString::fromLatin1(fields.at(2));
            event.port = fields.at(3).toInt();
            event.kind = QString::fromLatin1(fields.at(4));
            if (fields.size() >= 6)
                event.bytes = QByteArray::fromHex(fields.at(5));
        } else {
            event.kind = QString::fromLatin1(fields.at(2));
        }
        log.append(event);
    }
}

// Names stay unique for the whole test program: a namespace that was just deleted may
// still hold its end of a veth pair for a moment.
NetLab::NetLab() : prefix(QStringLiteral("qv%1").arg(getpid()))
{
    static int labs = 0;
    prefix += QLatin1Char('x') + QString::number(labs++);
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
        ip({QStringLiteral("link"), QStringLiteral("del"), own});
    for (const QString &host : hosts)
        ip({QStringLiteral("netns"), QStringLiteral("del"), host});
}

QString NetLab::addHost()
{
    const QString host = QStringLiteral("%1-%2").arg(prefix).arg(hosts.size());
    if (!ip({QStringLiteral("netns"), QStringLiteral("add"), host}))
        return QString();
    hosts.append(host);
    run(host, {QStringLiteral("ip"), QStringLiteral("link"), QStringLiteral("set"),
               QStringLiteral("lo"), QStringLiteral("up")});
    return host;
}

QString NetLab::link(const QString &host, const QString &ownAddress,
                     const QStringList &hostAddresses)
{
    const QString own = QStringLiteral("%1a%2").arg(prefix).arg(links);
    const QString peer = QStringLiteral("%1b%2").arg(prefix).arg(links);
    ++links;
    ownLinks.append(own);
    bool ok = ip({QStringLiteral("link"), QStringLiteral("add"), own, QStringLiteral("type"),
                  QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), peer,
                  QStringLiteral("netns"), host});
    ok = ok && ip({QStringLiteral("addr"), QStringLiteral("add"), ownAddress, QStringLiteral("dev"),
                   own});
    ok = ok && ip({QStringLiteral("link"), QStringLiteral("set"), own, QStringLiteral("up")});
    for (const QString &address : hostAddresses)
        ok = ok && run(host, {QStringLiteral("ip"), QStringLiteral("addr"), QStringLiteral("add"),
                              address, QStringLiteral("dev"), peer});
    ok = ok && run(host, {QStringLiteral("ip"), QStringLiteral("link"), QStringLiteral("set"), peer,
                          QStringLiteral("up")});
    return ok ? own : QString();
}

bool NetLab::run(const QString &host, const QStringList &command)
{
    if (host.isEmpty())
        return runCommand(command.first(), command.mid(1));
    return ip(QStringList{QStringLiteral("netns"), QStringLiteral("exec"), host} + command);
}

Simulator *NetLab::startSimulator(const QString &host, const QStringList &arguments)
{
    simulators.push_back(std::make_unique<Simulator>());
    Simulator *simulator = simulators.back().get();
    return simulator->start(host, arguments) ? simulator : nullptr;
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
        if (space < 0)
            return;
        if (setns(space, CLONE_NEWNET) == 0) {
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
        }
        close(space);
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

bool NetLab::ip(const QStringList &arguments)
{
    return runCommand(QStringLiteral("ip"), arguments);
}
