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

bool parseIpv4(const QString &text, std::uint32_t &address)
{
    Address bytes{};
    if (!parseAddressText(text, bytes))
        return false;
    address = addressValue(bytes.data());
    return true;
}

bool parseLayout(const QString &text, ReplyLayout &layout)
{
    if (text == QLatin1String("long"))
        layout = ReplyLayout::Long;
    else if (text == QLatin1String("short"))
        layout = ReplyLayout::Short;
    else
        return false;
    return true;
}

bool parseReplyMode(const QString &text, ReplyMode &mode)
{
    if (text == QLatin1String("unicast"))
        mode = ReplyMode::Unicast;
    else if (text == QLatin1String("broadcast"))
        mode = ReplyMode::Broadcast;
    else
        return false;
    return true;
}

bool parseWriteMode(const QString &text, WriteMode &mode)
{
    if (text == QLatin1String("apply"))
        mode = WriteMode::Apply;
    else if (text == QLatin1String("ignore"))
        mode = WriteMode::Ignore;
    else if (text == QLatin1String("mangle"))
        mode = WriteMode::Mangle;
    else if (text == QLatin1String("mangle-gateway"))
        mode = WriteMode::MangleGateway;
    else
        return false;
    return true;
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
