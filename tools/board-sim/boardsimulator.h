// SPDX-License-Identifier: MIT
#pragma once

// Plays a set of boards on UDP port 4022: every board answers each query after its delay,
// takes a write for its MAC, stays silent while it restarts and then answers with its new
// settings. One timer drains a time-ordered queue of the replies and restarts to come, so
// that ten thousand boards cost one timer and not ten thousand.

#include "board.h"
#include "eventlog.h"
#include "simoptions.h"

#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <cstdint>
#include <memory>
#include <queue>
#include <random>
#include <unordered_map>
#include <vector>

class BoardSimulator : public QObject
{
    Q_OBJECT

public:
    explicit BoardSimulator(const SimOptions &options, QObject *parent = nullptr);

    // Binds the sockets and prints READY; false with `error` set when a bind fails.
    bool start(QString &error);

    QHostAddress bindAddress() const { return bind; }
    const std::vector<Board> &boardList() const { return boards; }
    bool isRestarting(std::size_t board) const { return states.at(board).restarting; }

private slots:
    void readDatagrams();
    void processDue();

private:
    struct Pending
    {
        qint64 due = 0;
        std::uint64_t order = 0; // keeps boards of one query in board order
        std::size_t board = 0;
        std::uint32_t generation = 0;
        bool back = false; // the end of a restart rather than a reply
        std::uint32_t address = 0;
        quint16 port = 0;
    };
    struct Later
    {
        bool operator()(const Pending &a, const Pending &b) const
        {
            return a.due != b.due ? a.due > b.due : a.order > b.order;
        }
    };
    struct BoardState
    {
        bool restarting = false;
        // Counts the writes taken: a reply queued before a restart is not sent after it.
        std::uint32_t generation = 0;
        std::uint8_t replies = 0; // for the varying padding
    };

    void readSocket(QUdpSocket &socket);
    void handleDatagram(const QByteArray &data, const QHostAddress &source, quint16 port);
    void answerQuery(const QHostAddress &source, quint16 port);
    void takeWriteDatagram(const QByteArray &data);
    void enqueue(Pending item);
    void armTimer(bool more);
    bool sendReply(const Pending &item);
    static QHostAddress defaultBindAddress();

    EventLog log;
    std::vector<Board> boards;
    std::vector<BoardState> states;
    std::unordered_multimap<std::uint64_t, std::size_t> boardsByMac;
    std::priority_queue<Pending, std::vector<Pending>, Later> queue;
    std::uint64_t nextOrder = 0;
    QHostAddress requestedBind;
    QHostAddress bind;
    std::uint32_t subnetBroadcast = 0;
    QUdpSocket receiver;
    std::unique_ptr<QUdpSocket> ownSender;
    QUdpSocket *sender = &receiver;
    QTimer timer;
    std::mt19937 random;
    int jitter = 0;
    int restart = 3000;
    int retries = 0;
    bool sendFailing = false;
};
