// SPDX-License-Identifier: MIT
#pragma once

// The simulator's log on stdout: one line per event, flushed at once because the tests
// read it live through a pipe. Times are ms of a monotonic clock started with the log.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>

#include <cstddef>
#include <cstdint>

class EventLog
{
public:
    explicit EventLog(bool quiet);

    qint64 elapsed() const { return clock.elapsed(); }
    bool isQuiet() const { return quiet; }

    // Printed even when quiet: the tests wait for it before they send anything.
    void ready(const QHostAddress &address, quint16 port);
    void received(const QHostAddress &source, quint16 port, const char *kind,
                  const QByteArray &bytes);
    void sent(const QHostAddress &destination, quint16 port, const std::uint8_t *data,
              std::size_t length);
    void applied(const std::uint8_t mac[6]);
    void back(const std::uint8_t mac[6]);

    // Dotted IPv4 text, also for an IPv4 address that a socket reports in mapped form.
    static QByteArray addressText(const QHostAddress &address);

private:
    void event(const char *what, const QByteArray &rest);
    static void write(const QByteArray &line);

    QElapsedTimer clock;
    bool quiet = false;
};
