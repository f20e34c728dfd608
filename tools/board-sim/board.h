// SPDX-License-Identifier: MIT
#pragma once

// One simulated board: the record it answers with and how it behaves on the wire, plus the
// text conversions that the command line and the board descriptions need.

#include "protocol.h"
#include "settingstext.h"
#include "tooltext.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

enum class ReplyMode { Unicast, Broadcast, SubnetBroadcast };
enum class WriteMode { Apply, Ignore, Mangle, MangleGateway };

struct Board
{
    DeviceRecord record;
    ReplyLayout layout = ReplyLayout::Long;
    ReplyMode reply = ReplyMode::Unicast;
    WriteMode write = WriteMode::Apply;
    int delay = 0;    // ms before each reply, before the jitter is added
    int restart = -1; // ms of silence after a write; -1: the global --restart
    // The bytes after the version's terminating zero change from one reply to the next, as
    // some firmware leaves whatever its buffer held there.
    bool varyPadding = false;
};

constexpr std::size_t longVersionWidth = 8;
constexpr std::size_t shortVersionWidth = 5;
constexpr std::size_t portTextWidth = 5;

// A short-layout reply is told from a long one by byte 36, its first version character: an
// 'O' or 'N' there would read as a level-2 code.
bool isValidShortVersion(const std::uint8_t version[8]);

// Takes what a write datagram carries (DHCP, port, addresses and level-2 code) into
// `record`; the MAC and the version stay as the board has them.
void takeWrite(DeviceRecord &record, const std::uint8_t *data, std::size_t length);

// Parsers for the option values; each returns false on malformed input. A MAC and an
// address are read as the command-line companion reads them.
bool parseMac(const QString &text, std::uint64_t &mac);
bool parseLayout(const QString &text, ReplyLayout &layout);
bool parseReplyMode(const QString &text, ReplyMode &mode);
bool parseWriteMode(const QString &text, WriteMode &mode);
bool parseMilliseconds(const QString &text, int &ms);

void storeMac(std::uint64_t mac, std::uint8_t out[6]);
