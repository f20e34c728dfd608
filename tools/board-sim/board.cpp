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

QString macText(const std::uint8_t mac[6])
{
    QString text;
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            text += QLatin1Char(':');
        text += QStringLiteral("%1").arg(unsigned(mac[i]), 2, 16, QLatin1Char('0'));
    }
    return text;
}

bool parseMac(const QString &text, std::uint64_t &mac)
{
    const QStringList pieces = text.split(QLatin1Char(':'));
    if (pieces.size() != 6)
        return false;
    std::uint64_t value = 0;
    for (const QString &piece : pieces) {
        if (piece.isEmpty() || piece.size() > 2)
            return false;
        unsigned byte = 0;
        for (QChar c : piece) {
            const int digit = hexDigitValue(c);
            if (digit < 0)
                return false;
            byte = byte * 16 + unsigned(digit);
        }
        value = (value << 8) | byte;
    }
    mac = value;
    return true;
}

bool parseIpv4(const QString &text, std::uint32_t &address)
{
    const QStringList pieces = text.split(QLatin1Char('.'));
    if (pieces.size() != 4)
        return false;
    std::uint32_t value = 0;
    for (const QString &piece : pieces) {
        if (piece.isEmpty() || piece.size() > 3)
            return false;
        unsigned byte = 0;
        for (QChar c : piece) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            byte = byte * 10 + unsigned(c.unicode() - '0');
        }
        if (byte > 255)
            return false;
        value = (value << 8) | byte;
    }
    address = value;
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

void storeIpv4(std::uint32_t address, std::uint8_t out[4])
{
    for (int i = 3; i >= 0; --i) {
        out[i] = std::uint8_t(address & 0xFF);
        address >>= 8;
    }
}
