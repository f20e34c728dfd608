// SPDX-License-Identifier: MIT
#include "boards.h"

#include "discovery/devicetext.h"

#include <QUdpSocket>

#include <cstring>

DeviceRecord makeBoard(const QByteArray &macHex, const QString &ip, const QByteArray &version)
{
    DeviceRecord record;
    const QByteArray mac = QByteArray::fromHex(macHex);
    std::memcpy(record.mac, mac.constData(), std::min<std::size_t>(6, std::size_t(mac.size())));
    storeAddressText(ip.toStdString(), record.ip);
    storeAddressText("255.255.255.0", record.mask);
    storeAddressText("10.77.0.254", record.gateway);
    storeAddressText("10.77.0.253", record.dns);
    std::memcpy(record.port, "502", 3);
    std::memcpy(record.version, version.constData(),
                std::min<std::size_t>(8, std::size_t(version.size())));
    return record;
}

QByteArray replyBytes(const DeviceRecord &record, ReplyLayout layout)
{
    const ReplyDatagram datagram = buildReplyDatagram(record, layout);
    return bytesOf(datagram.data(), int(datagram.size()));
}

void sendToTool(const QByteArray &bytes, const QHostAddress &to)
{
    QUdpSocket board;
    board.bind(QHostAddress(QHostAddress::LocalHost), 0);
    board.writeDatagram(bytes, to, devicePort);
}

QByteArray bytesOf(const std::uint8_t *data, int size)
{
    return QByteArray(reinterpret_cast<const char *>(data), size);
}
