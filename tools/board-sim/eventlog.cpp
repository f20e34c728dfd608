// SPDX-License-Identifier: MIT
#include "eventlog.h"

#include "board.h"

#include <cstdio>

EventLog::EventLog(bool quiet) : quiet(quiet)
{
    clock.start();
}

void EventLog::ready(const QHostAddress &address, quint16 port)
{
    write("READY " + addressText(address) + ' ' + QByteArray::number(port));
}

void EventLog::received(const QHostAddress &source, quint16 port, const char *kind,
                        const QByteArray &bytes)
{
    if (quiet)
        return;
    QByteArray rest = addressText(source) + ' ' + QByteArray::number(port) + ' ' + kind;
    if (!bytes.isEmpty())
        rest += ' ' + bytes.toHex();
    event("RECV", rest);
}

void EventLog::sent(const QHostAddress &destination, quint16 port, const std::uint8_t *data,
                    std::size_t length)
{
    if (quiet)
        return;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(length));
    event("SEND",
          addressText(destination) + ' ' + QByteArray::number(port) + " reply " + bytes.toHex());
}

void EventLog::applied(const std::uint8_t mac[6])
{
    if (!quiet)
        event("APPLY", macText(mac, true).toLatin1());
}

void EventLog::back(const std::uint8_t mac[6])
{
    if (!quiet)
        event("BACK", macText(mac, true).toLatin1());
}

QByteArray EventLog::addressText(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4)
        return QHostAddress(ipv4).toString().toLatin1();
    return address.toString().toLatin1();
}

void EventLog::event(const char *what, const QByteArray &rest)
{
    write(QByteArray::number(clock.elapsed()) + ' ' + what + ' ' + rest);
}

void EventLog::write(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
