// SPDX-License-Identifier: MIT
#include "board.h"

#include <QStringList>

#include <cstring>

namespace {

constexpr int maxMilliseconds = 24 * 60 * 60 * 1000;
} // namespace

bool isValidShortVersion(const std::uint8_t version[8])
{
    return version[0] != flagOn && version[0] != flagOff;
}

void takeWrite(DeviceRecord &record, const std::uint8_t *data, std::size_t length)
{
    const DeviceRecord written = parseReply(data, length);
    record.dhcp = written.dhcp;
    std::memcpy(record.port, written.port, sizeof record.port);
    std::memcpy(record.ip, written.ip, sizeof record.ip);
    std::memcpy(record.mask, written.mask, sizeof record.mask);
    std::memcpy(record.gateway, written.gateway, sizeof record.gateway);
    std::memcpy(record.dns, written.dns, sizeof record.dns);
    record.cdeNiveau2 = written.cdeNiveau2;
}

bool parseMac(const QString &text, std::uint64_t &mac)
{
    MacAddress bytes{};
    if (!parseMacText(text, bytes))
        return false;
    mac = macKey(bytes.data());
    return true;
}

namespace {

// One of the `names`, each standing for the value at the same place in `values`.
template <typename T, std::size_t N>
bool parseKeyword(const QString &text, const char *const (&names)[N], const T (&values)[N], T &out)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (text == QLatin1String(names[i])) {
            out = values[i];
            return true;
        }
    }
    return false;
}

} // namespace

bool parseLayout(const QString &text, ReplyLayout &layout)
{
    return parseKeyword(text, {"long", "short"}, {ReplyLayout::Long, ReplyLayout::Short}, layout);
}

bool parseReplyMode(const QString &text, ReplyMode &mode)
{
    return parseKeyword(text, {"unicast", "broadcast", "subnet"},
                        {ReplyMode::Unicast, ReplyMode::Broadcast, ReplyMode::SubnetBroadcast},
                        mode);
}

bool parseWriteMode(const QString &text, WriteMode &mode)
{
    return parseKeyword(
        text, {"apply", "ignore", "mangle", "mangle-gateway"},
        {WriteMode::Apply, WriteMode::Ignore, WriteMode::Mangle, WriteMode::MangleGateway}, mode);
}

bool parseMilliseconds(const QString &text, int &ms)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0 || value > maxMilliseconds)
        return false;
    ms = value;
    return true;
}

void storeMac(std::uint64_t mac, std::uint8_t out[6])
{
    for (int i = 5; i >= 0; --i) {
        out[i] = std::uint8_t(mac & 0xFF);
        mac >>= 8;
    }
}
