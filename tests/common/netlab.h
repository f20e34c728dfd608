// SPDX-License-Identifier: MIT
#pragma once

// A small network of private namespaces for end-to-end tests. The test program itself runs
// in a namespace of its own (tests/netns-run) and plays the PC; each host added here is a
// further namespace joined to it by a veth pair, where board simulators run. Everything is
// removed when the NetLab goes away.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

// One line of the board simulator's log: a datagram it received or sent, or a change of
// a board's state (APPLY when it takes a write, BACK when it answers again).
struct SimEvent
{
    qint64 msecs = 0;
    QString what; // RECV, SEND, APPLY, BACK
    QString address;
    int port = 0;
    QString kind; // query, reply, write, other (for RECV and SEND); the MAC for APPLY/BACK
    QByteArray bytes;
};

class Simulator
{
public:
    ~Simulator() { stop(); }

    bool start(const QString &host, const QStringList &arguments);
    void stop();
    QVector<SimEvent> events(const QString &what, const QString &kind = QString());

private:
    void readLines();

    QProcess process;
    QByteArray pending;
    QVector<SimEvent> log;
    bool ready = false;
};

class NetLab
{
public:
    NetLab();
    ~NetLab();

    // A new namespace with its loopback up; returns its name.
    QString addHost();
    // A veth pair from the test's own namespace to `host`: `ownAddress` (CIDR) on this
    // side, `hostAddresses` (CIDR, the first is the primary) on the other. Returns the name
    // of the interface on this side.
    QString link(const QString &host, const QString &ownAddress, const QStringList &hostAddresses);
    // Gives this side of a link another name (any bytes an interface name may hold); the
    // lab still deletes it at the end.
    bool renameLink(const QString &own, const QString &name);
    // A new host linked to the test's namespace as `link` does; its name, empty on failure.
    QString linkedHost(const QString &ownAddress, const QStringList &hostAddresses);
    // Starts the board simulator in `host` and waits until it listens.
    Simulator *startSimulator(const QString &host, const QStringList &arguments);
    // A UDP socket made inside `host` and bound there to `address` (an ephemeral port), with
    // broadcasts allowed: a board whose datagrams the test sends itself, at the moment it
    // chooses, from any thread. Closed with the lab; -1 on failure.
    int udpSocketIn(const QString &host, const QString &address);
    static bool sendFrom(int socket, const QByteArray &bytes, const QString &to,
                         quint16 port = 4022);

    // Runs `ip` with the given words (separated by single spaces).
    static bool ip(const QString &words);

private:
    QString prefix;
    QStringList hosts;
    QStringList ownLinks;
    int links = 0;
    std::vector<std::unique_ptr<Simulator>> simulators;
    QVector<int> sockets;
};
