// SPDX-License-Identifier: MIT
#pragma once

// The three datagrams that the tool and the boards exchange on UDP port 4022, and the
// DeviceRecord that a reply becomes. Plain C++ with no toolkit types, so that the window,
// the command-line companion, the board simulator and the fuzzers all share one description
// of the wire format. The field table in protocol.cpp is the only place that knows offsets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::uint16_t devicePort = 4022;
constexpr const char *broadcastAddress = "255.255.255.255";

constexpr std::size_t queryDatagramSize = 9;
constexpr std::size_t replyDatagramSize = 45;
constexpr std::size_t writeDatagramSize = 45;
// A short-layout reply ends after its 5 version characters; anything shorter cannot carry
// a whole record and is not taken as a reply at all.
constexpr std::size_t minReplySize = 41;

// The pace of a search and of a change, the same for the window and the command line: four
// queries one second apart, ten seconds of listening, and a fixed wait while a board
// restarts (it never acknowledges a write).
constexpr int queryIntervalMs = 1000;
constexpr int queriesPerSearch = 4;
constexpr int searchDurationMs = 10000;
constexpr int restartWaitMs = 20000;
// Ten thousand boards answering one query at once bring about 8 MiB of kernel buffer (each
// 45-byte datagram is charged about 800 bytes); the default buffer holds about 250 of them.
// The kernel caps the size at net.core.rmem_max (twice it, in its own accounting).
constexpr int receiveBufferSize = 8 * 1024 * 1024;
// A search lists at most this many different boards, twice the ten thousand a network may
// hold: every reply with a new MAC costs memory, and forged MACs never run out.
constexpr int maxBoardsPerSearch = 20000;

constexpr std::uint8_t flagOn = 'O';
constexpr std::uint8_t flagOff = 'N';

using QueryDatagram = std::array<std::uint8_t, queryDatagramSize>;
using WriteDatagram = std::array<std::uint8_t, writeDatagramSize>;
using MacAddress = std::array<std::uint8_t, 6>;

struct DeviceRecord
{
    std::uint8_t mac[6] = {};
    std::uint8_t dhcp = 0;
    std::uint8_t port[6] = {};
    std::uint8_t ip[4] = {};
    std::uint8_t mask[4] = {};
    std::uint8_t gateway[4] = {};
    std::uint8_t dns[4] = {};
    std::uint8_t cdeNiveau2 = 0;
    std::uint8_t version[8] = {};
};

bool operator==(const DeviceRecord &a, const DeviceRecord &b);
inline bool operator!=(const DeviceRecord &a, const DeviceRecord &b)
{
    return !(a == b);
}

// The "Quorvan?" query, NUL included.
QueryDatagram queryDatagram();

// True when the first `length` bytes of `data` hold a reply: at least minReplySize bytes
// that begin with "QuorvanR".
bool isReply(const std::uint8_t *data, std::size_t length);

// Reads a reply that passed isReply. Only the first `length` bytes are looked at; bytes of
// the layout beyond them read as 0, so a short datagram never shows what a buffer held before.
DeviceRecord parseReply(const std::uint8_t *data, std::size_t length);

WriteDatagram buildWriteDatagram(const DeviceRecord &record);

// What a board sends: for the board simulator and the tests. The short layout carries the
// first five version bytes from byte 36 on and no level-2 code.
enum class ReplyLayout { Long, Short };
// Which layout a reply that passed isReply has: the long one carries 'O' or 'N' at byte 36.
ReplyLayout replyLayout(const std::uint8_t *data, std::size_t length);
// The same, for the command-line companion, which reads a reply by its length too: one of
// fewer than 45 bytes cannot be a long-layout one, whatever byte 36 holds (a 41-byte reply
// of a board whose version begins with 'N'). The window reads byte 36 alone, and so
// parseReply() does.
ReplyLayout replyLayoutByLength(const std::uint8_t *data, std::size_t length);
DeviceRecord parseReplyAs(const std::uint8_t *data, std::size_t length, ReplyLayout layout);
using ReplyDatagram = std::array<std::uint8_t, replyDatagramSize>;
ReplyDatagram buildReplyDatagram(const DeviceRecord &record, ReplyLayout layout);

// Reads the MAC text of a table row ("0:50:c2:0d:e4:05") back into six bytes. Missing
// pieces give 0 bytes; characters that are not lower-case hexadecimal digits count as 0.
MacAddress macTextToBytes(const std::string &text);

bool sameMac(const DeviceRecord &record, const MacAddress &mac);
std::uint64_t macKey(const std::uint8_t mac[6]);
