// SPDX-License-Identifier: MIT
// Feeds arbitrary datagrams to the reply reader and checks what must hold for every record it
// returns. A violation aborts with the name of the broken property, so that libFuzzer keeps
// the input that broke it.

#include "devicetext.h"
#include "protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Longer than any datagram of the protocol, so that inputs past the 45-byte layout are seen,
// yet short enough to keep every run cheap.
constexpr std::size_t maxInput = 128;

// Not assert(): the property must be checked whatever NDEBUG says, and the message names
// the property instead of an expression.
void require(bool holds, const char *property)
{
    if (holds)
        return;
    std::fprintf(stderr, "fuzz-protocol: violated: %s\n", property);
    std::abort();
}

bool isFlag(std::uint8_t byte)
{
    return byte == flagOn || byte == flagOff;
}

// Reads the reply layout the slow, obvious way, without sharing any code with protocol.cpp,
// so that a mistake in the field table does not hide in both.
DeviceRecord referenceRecord(const std::uint8_t *data, std::size_t size)
{
    const auto byte = [&](std::size_t offset) -> std::uint8_t {
        return offset < size ? data[offset] : 0;
    };
    DeviceRecord r;
    for (std::size_t i = 0; i < 6; ++i)
        r.mac[i] = byte(8 + i);
    r.dhcp = byte(14) == 'O' ? 1 : 0;
    for (std::size_t i = 0; i < 5 && byte(15 + i) != 0; ++i)
        r.port[i] = byte(15 + i);
    for (std::size_t i = 0; i < 4; ++i) {
        r.ip[i] = byte(20 + i);
        r.mask[i] = byte(24 + i);
        r.gateway[i] = byte(28 + i);
        r.dns[i] = byte(32 + i);
    }
    if (byte(36) == 'O' || byte(36) == 'N') {
        r.cdeNiveau2 = byte(36) == 'O' ? 1 : 0;
        for (std::size_t i = 0; i < 8; ++i)
            r.version[i] = byte(37 + i);
    } else {
        for (std::size_t i = 0; i < 5; ++i)
            r.version[i] = byte(36 + i);
    }
    return r;
}

// The table shows the first two groups without a leading zero and the last four with two
// digits; the round trip below would not notice a change of that look.
std::string referenceMacText(const std::uint8_t mac[6])
{
    char text[18];
    std::snprintf(text, sizeof text, "%x:%x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return text;
}

void checkMacRoundTrip(const std::uint8_t mac[6])
{
    require(macToText(mac) == referenceMacText(mac), "macToText == reference text");
    const MacAddress back = macTextToBytes(macToText(mac));
    require(std::equal(back.begin(), back.end(), mac), "macTextToBytes(macToText(mac)) == mac");
}

// A write datagram is always in the long layout with normalised flags, so reading it back
// as a reply must give the record that was written, whatever layout the record came from.
void checkWriteReadsBack(const DeviceRecord &record)
{
    const WriteDatagram write = buildWriteDatagram(record);
    require(std::memcmp(write.data(), "QuorvanW", 8) == 0, "write datagram begins QuorvanW");
    WriteDatagram asReply = write;
    std::memcpy(asReply.data(), "QuorvanR", 8);
    require(isReply(asReply.data(), asReply.size()), "write datagram reads as a reply");
    require(parseReply(asReply.data(), asReply.size()) == record, "record -> write -> parse");
}

void checkRecordShape(const DeviceRecord &record)
{
    const std::uint8_t *firstNul = std::find(record.port, record.port + 6, 0);
    require(firstNul < record.port + 6, "port NUL-terminated within 6 bytes");
    require(std::all_of(firstNul, record.port + 6, [](std::uint8_t c) { return c == 0; }),
            "nothing after the first NUL of the port");
    require(record.dhcp <= 1, "dhcp is 0 or 1");
    require(record.cdeNiveau2 <= 1, "cdeNiveau2 is 0 or 1");
    require(portToText(record.port).size() <= 5, "port text at most 5 characters");
    require(versionToText(record.version).size() <= 8, "version text at most 8 characters");
}

// Bytes past `size` may hold anything the receive buffer held before; none of them may
// reach the record.
void checkOnlySizeBytesCount(const std::uint8_t *data, std::size_t size, const DeviceRecord &record)
{
    std::uint8_t garbage[maxInput];
    std::uint8_t zeros[maxInput];
    std::memset(garbage, 0xAA, sizeof garbage);
    std::memset(zeros, 0x00, sizeof zeros);
    std::memcpy(garbage, data, size);
    std::memcpy(zeros, data, size);
    require(parseReply(garbage, size) == record, "bytes past the size ignored (0xAA fill)");
    require(parseReply(zeros, size) == record, "bytes past the size ignored (0x00 fill)");
}

// With flags the writer reproduces and a port field it keeps byte for byte, a long-layout
// reply is exactly what the write datagram carries after its magic.
void checkLongReplyRewrites(const std::uint8_t *data, std::size_t size, const DeviceRecord &record)
{
    if (size < replyDatagramSize || !isFlag(data[36]) || !isFlag(data[14]))
        return;
    const std::uint8_t *port = data + 15;
    const std::uint8_t *firstNul = std::find(port, port + 5, 0);
    if (!std::all_of(firstNul, port + 5, [](std::uint8_t c) { return c == 0; }))
        return;
    const WriteDatagram write = buildWriteDatagram(record);
    require(std::memcmp(write.data() + 8, data + 8, replyDatagramSize - 8) == 0,
            "long reply bytes 8-44 == write datagram bytes 8-44");
}

void checkReply(const std::uint8_t *data, std::size_t size)
{
    const DeviceRecord record = parseReply(data, size);
    require(record == referenceRecord(data, size), "parseReply == reference reader");
    checkRecordShape(record);
    checkOnlySizeBytesCount(data, size, record);
    checkLongReplyRewrites(data, size, record);
    checkWriteReadsBack(record);
    checkMacRoundTrip(record.mac);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    size = std::min(size, maxInput);

    std::uint8_t mac[6] = {};
    std::memcpy(mac, data, std::min<std::size_t>(size, 6));
    checkMacRoundTrip(mac);

    const bool reply = isReply(data, size);
    const bool expected = size >= minReplySize && std::memcmp(data, "QuorvanR", 8) == 0;
    require(reply == expected, "isReply iff at least 41 bytes beginning QuorvanR");
    if (reply)
        checkReply(data, size);
    return 0;
}
