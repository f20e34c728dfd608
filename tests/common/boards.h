// SPDX-License-Identifier: MIT
#pragma once

// Boards for tests that drive the window over the loopback interface: records with
// readable settings, their reply datagrams, and a sender that plays the board.

#include "discovery/protocol.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

DeviceRecord makeBoard(const QByteArray &macHex, const QString &ip = QStringLiteral("10.77.0.50"),
                       const QByteArray &version = QByteArrayLiteral("V3.00.01"));
QByteArray replyBytes(const DeviceRecord &record, ReplyLayout layout = ReplyLayout::Long);
// Sends one datagram to port 4022 of `to` from an ephemeral port on the loopback address.
void sendToTool(const QByteArray &bytes, const QHostAddress &to = QHostAddress::LocalHost);
QByteArray bytesOf(const std::uint8_t *data, int size);
