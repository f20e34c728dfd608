// SPDX-License-Identifier: MIT
#pragma once

// The simulator's command line: the global options, the board descriptions given with
// --board and --config, and the list of boards they make.

#include "board.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// What the global options say about every board that a description leaves open. Board i
// of the generated boards (or of the descriptions) gets the MAC and the IP address plus i.
struct BoardDefaults
{
    std::uint64_t firstMac = 0x020000000001;
    std::uint32_t firstIp = 0x0A4D0064; // 10.77.0.100
    std::uint32_t mask = 0xFFFFFF00;    // 255.255.255.0
    std::uint32_t gateway = 0x0A4D00FE; // 10.77.0.254
    std::uint32_t dns = 0x0A4D00FE;     // 10.77.0.254
    QByteArray port = QByteArrayLiteral("502");
    QByteArray version = QByteArrayLiteral("V3.00.01"); // short boards take its first 5 bytes
    bool dhcp = false;
    bool levelTwo = false;
    ReplyMode reply = ReplyMode::Unicast;
    ReplyLayout layout = ReplyLayout::Long;
    bool mixedLayout = false; // even boards long, odd boards short
    WriteMode write = WriteMode::Apply;
    int delay = 0;
};

struct SimOptions
{
    std::vector<Board> boards;
    QHostAddress bind; // null: the first non-loopback IPv4 address, else the any-address
    int jitter = 0;
    int restart = 3000;
    bool seeded = false;
    std::uint32_t seed = 0;
    bool quiet = false;
};

enum class ParseResult { Run, Help, Error };

// Board `index` as the global options alone make it.
bool makeBoard(const BoardDefaults &defaults, int index, Board &board, QString &error);

// Board `index` of the descriptions: "key=value,key=value", the keys left out taken from
// the global options.
bool parseBoardDescription(const QString &description, const BoardDefaults &defaults, int index,
                           Board &board, QString &error);

// Reads a whole command line, program name first. On Help `message` is the help text, on
// Error a single line saying what is wrong.
ParseResult parseCommandLine(const QStringList &arguments, SimOptions &options, QString &message);
