// SPDX-License-Identifier: MIT
#include "replyreader.h"

#include "discoverysockets.h"
#include "settingstext.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {

// A broadcast reply names no local address: the card's address in the board's subnet is
// the one the board can be reached from, and the first IPv4 address otherwise.
QHostAddress cardAddressFor(const QNetworkInterface &card, const DeviceRecord &record)
{
    QHostAddress first;
    const quint32 board = addressValue(record.ip);
    for (const QNetworkAddressEntry &entry : card.addressEntries()) {
        if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const quint32 mask = entry.netmask().toIPv4Address();
        if ((entry.ip().toIPv4Address() & mask) == (board & mask))
            return entry.ip();
        if (first.isNull())
            first = entry.ip();
    }
    return first;
}

} // namespace

void ReplyReader::refresh()
{
    ownAddresses = sockets.addresses();
    cards.clear();
}

std::optional<HeardReply> ReplyReader::read(QUdpSocket *socket)
{
    // A reply is 45 bytes; the rest of a longer datagram is cut, as the parser would ignore
    // it: under a flood of large datagrams, each read copies no more than that.
    const QNetworkDatagram datagram = socket->receiveDatagram(qint64(replyDatagramSize));
    const QByteArray data = datagram.data();
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data.constData());
    if (!datagram.isValid() || !isReply(bytes, std::size_t(data.size())))
        return std::nullopt;
    HeardReply reply;
    const std::size_t length = std::size_t(data.size());
    if (layoutByLength) {
        reply.layout = replyLayoutByLength(bytes, length);
        reply.record = parseReplyAs(bytes, length, reply.layout);
    } else {
        reply.layout = replyLayout(bytes, length);
        reply.record = parseReply(bytes, length);
    }
    const QNetworkInterface receiver = card(datagram.interfaceIndex());
    reply.interfaceName = receiver.isValid() ? receiver.name() : QString();
    QHostAddress destination = datagram.destinationAddress();
    if (destination.isNull() && !sockets.isListener(socket))
        destination = socket->localAddress();
    if (!destination.isNull() && ownAddresses.contains(destination)) {
        reply.card = destination;
        return reply;
    }
    reply.viaBroadcast = true;
    if (receiver.isValid())
        reply.card = cardAddressFor(receiver, reply.record);
    return reply;
}

QNetworkInterface ReplyReader::card(int index)
{
    if (index <= 0)
        return QNetworkInterface();
    auto cached = cards.find(index);
    if (cached == cards.end())
        cached = cards.insert(index, QNetworkInterface::interfaceFromIndex(index));
    return cached.value();
}
