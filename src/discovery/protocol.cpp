// SPDX-License-Identifier: MIT
#include "protocol.h"

#include "devicetext.h"

#include <cstring>

namespace {

// One entry per datagram field: where it lies in a 45-byte reply or write datagram.
struct Field
{
    std::size_t offset;
    std::size_t width;
};

constexpr Field magicField{0, 8};
constexpr Field macField{8, 6};
constexpr Field dhcpField{14, 1};
constexpr Field portField{15, 5};
constexpr Field ipField{20, 4};
constexpr Field maskField{24, 4};
constexpr Field gatewayField{28, 4};
constexpr Field dnsField{32, 4};
constexpr Field levelTwoField{36, 1}; // long layout only; any other byte means the short layout
constexpr Field versionField{37, 8};
constexpr Field shortVersionField{36, 5};

constexpr char queryMagic[] = "Quorvan?";
constexpr char replyMagic[] = "QuorvanR";
constexpr char writeMagic[] = "QuorvanW";

// A received datagram of any length, read as if it were padded with zeros to the layout.
class Reply
{
public:
    Reply(const std::uint8_t *data, std::size_t length) : data(data), length(length) {}

    std::uint8_t at(std::size_t offset) const { return offset < length ? data[offset] : 0; }

    void copy(Field field, std::uint8_t *out) const
    {
        for (std::size_t i = 0; i < field.width; ++i)
            out[i] = at(field.offset + i);
    }

private:
    const std::uint8_t *data;
    std::size_t length;
};

bool isLongLayout(const Reply &reply)
{
    const std::uint8_t flag = reply.at(levelTwoField.offset);
    return flag == flagOn || flag == flagOff;
}

// Readers: reply bytes into record fields.

void readMac(const Reply &reply, DeviceRecord &record)
{
    reply.copy(macField, record.mac);
}

void readAddresses(const Reply &reply, DeviceRecord &record)
{
    reply.copy(ipField, record.ip);
    reply.copy(maskField, record.mask);
    reply.copy(gatewayField, record.gateway);
    reply.copy(dnsField, record.dns);
}

void readDhcp(const Reply &reply, DeviceRecord &record)
{
    if (reply.at(dhcpField.offset) == flagOn)
        record.dhcp = 1;
}

// The port text stops at its first NUL; what follows it inside the field is dropped.
void readPort(const Reply &reply, DeviceRecord &record)
{
    for (std::size_t i = 0; i < portField.width; ++i) {
        const std::uint8_t c = reply.at(portField.offset + i);
        if (c == 0)
            break;
        record.port[i] = c;
    }
}

void readLevelTwoAndVersion(const Reply &reply, ReplyLayout layout, DeviceRecord &record)
{
    if (layout == ReplyLayout::Long) {
        record.cdeNiveau2 = reply.at(levelTwoField.offset) == flagOn ? 1 : 0;
        reply.copy(versionField, record.version);
    } else {
        record.cdeNiveau2 = 0;
        reply.copy(shortVersionField, record.version);
    }
}

// Writers: record fields into write-datagram bytes.

// Write and reply datagrams share one layout and differ only in their magic.
using Datagram = std::array<std::uint8_t, writeDatagramSize>;
static_assert(writeDatagramSize == replyDatagramSize, "one layout for replies and writes");

void put(Datagram &out, Field field, const void *bytes)
{
    std::memcpy(out.data() + field.offset, bytes, field.width);
}

void putFlag(Datagram &out, Field field, std::uint8_t value)
{
    out[field.offset] = value != 0 ? flagOn : flagOff;
}

void writeMac(Datagram &out, const DeviceRecord &r)
{
    put(out, macField, r.mac);
}

void writeAddresses(Datagram &out, const DeviceRecord &r)
{
    put(out, ipField, r.ip);
    put(out, maskField, r.mask);
    put(out, gatewayField, r.gateway);
    put(out, dnsField, r.dns);
}

void writeDhcp(Datagram &out, const DeviceRecord &r)
{
    putFlag(out, dhcpField, r.dhcp);
}
void writePort(Datagram &out, const DeviceRecord &r)
{
    put(out, portField, r.port);
}

void writeLevelTwo(Datagram &out, const DeviceRecord &r)
{
    putFlag(out, levelTwoField, r.cdeNiveau2);
}

void writeVersion(Datagram &out, const DeviceRecord &r)
{
    put(out, versionField, r.version);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

} // namespace

bool operator==(const DeviceRecord &a, const DeviceRecord &b)
{
    return std::memcmp(&a, &b, sizeof(DeviceRecord)) == 0;
}

QueryDatagram queryDatagram()
{
    QueryDatagram query{};
    std::memcpy(query.data(), queryMagic, queryDatagramSize);
    return query;
}

bool isReply(const std::uint8_t *data, std::size_t length)
{
    return length >= minReplySize && std::memcmp(data, replyMagic, magicField.width) == 0;
}

DeviceRecord parseReply(const std::uint8_t *data, std::size_t length)
{
    return parseReplyAs(data, length, replyLayout(data, length));
}

DeviceRecord parseReplyAs(const std::uint8_t *data, std::size_t length, ReplyLayout layout)
{
    const Reply reply(data, length);
    DeviceRecord record;
    readMac(reply, record);
    readAddresses(reply, record);
    readDhcp(reply, record);
    readPort(reply, record);
    readLevelTwoAndVersion(reply, layout, record);
    return record;
}

WriteDatagram buildWriteDatagram(const DeviceRecord &record)
{
    WriteDatagram out{};
    put(out, magicField, writeMagic);
    writeMac(out, record);
    writeAddresses(out, record);
    writeDhcp(out, record);
    writePort(out, record);
    writeLevelTwo(out, record);
    writeVersion(out, record);
    return out;
}

ReplyLayout replyLayout(const std::uint8_t *data, std::size_t length)
{
    return isLongLayout(Reply(data, length)) ? ReplyLayout::Long : ReplyLayout::Short;
}

ReplyLayout replyLayoutByLength(const std::uint8_t *data, std::size_t length)
{
    return length < replyDatagramSize ? ReplyLayout::Short : replyLayout(data, length);
}

ReplyDatagram buildReplyDatagram(const DeviceRecord &record, ReplyLayout layout)
{
    ReplyDatagram out{};
    put(out, magicField, replyMagic);
    writeMac(out, record);
    writeAddresses(out, record);
    writeDhcp(out, record);
    writePort(out, record);
    if (layout == ReplyLayout::Long) {
        writeLevelTwo(out, record);
        writeVersion(out, record);
    } else {
        put(out, shortVersionField, record.version);
    }
    return out;
}

MacAddress macTextToBytes(const std::string &text)
{
    MacAddress mac{};
    const std::vector<std::string> pieces = splitText(text, ':', true);
    for (std::size_t i = 0; i < mac.size() && i < pieces.size(); ++i) {
        unsigned value = 0;
        for (char c : pieces[i])
            value = (value * 16 + unsigned(hexDigit(c))) & 0xFF;
        mac[i] = std::uint8_t(value);
    }
    return mac;
}

bool sameMac(const DeviceRecord &record, const MacAddress &mac)
{
    return std::memcmp(record.mac, mac.data(), mac.size()) == 0;
}

std::uint64_t macKey(const std::uint8_t mac[6])
{
    std::uint64_t key = 0;
    for (int i = 0; i < 6; ++i)
        key = (key << 8) | mac[i];
    return key;
}
