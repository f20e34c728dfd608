// SPDX-License-Identifier: MIT
#include "boardsettings.h"

#include "devicetext.h"
#include "tooltext.h"

#include <QHostAddress>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

const char *const addressNames[AddressFieldCount] = {"ip", "mask", "gateway", "dns"};

// Exactly as many pieces as `out` has bytes, between single separators, each of one to
// `maxDigits` digits in `base` and at most 255. `out` is left alone unless all of them are.
template <std::size_t N>
bool parsePieces(const QString &text, QChar separator, int base, int maxDigits,
                 std::array<std::uint8_t, N> &out)
{
    const QStringList pieces = text.split(separator);
    if (pieces.size() != int(N))
        return false;
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) {
        const QString &piece = pieces.at(int(i));
        if (piece.isEmpty() || piece.size() > maxDigits)
            return false;
        int value = 0;
        for (const QChar c : piece) {
            const int digit = hexDigitValue(c);
            if (digit < 0 || digit >= base)
                return false;
            value = value * base + digit;
        }
        if (value > 255)
            return false;
        bytes[i] = std::uint8_t(value);
    }
    out = bytes;
    return true;
}

} // namespace

QString addressFieldName(int field)
{
    return QString::fromLatin1(addressNames[field]);
}

std::uint8_t *addressOf(DeviceRecord &record, int field)
{
    switch (field) {
    case IpField:
        return record.ip;
    case MaskField:
        return record.mask;
    case GatewayField:
        return record.gateway;
    default:
        return record.dns;
    }
}

const std::uint8_t *addressOf(const DeviceRecord &record, int field)
{
    return addressOf(const_cast<DeviceRecord &>(record), field);
}

bool SettingsChange::isEmpty() const
{
    return !dhcp && !levelTwo && !hasAddress();
}

bool SettingsChange::hasAddress() const
{
    return std::any_of(addresses.cbegin(), addresses.cend(),
                       [](const std::optional<Address> &a) { return a.has_value(); });
}

bool parseMacText(const QString &text, MacAddress &mac)
{
    const QChar separator = text.contains(QLatin1Char(':')) ? QLatin1Char(':') : QLatin1Char('-');
    return parsePieces(text, separator, 16, 2, mac);
}

QString macText(const std::uint8_t mac[6])
{
    return QString::fromStdString(macToText(mac));
}

QString onOff(bool value)
{
    return value ? QStringLiteral("on") : QStringLiteral("off");
}

bool parseAddressText(const QString &text, Address &address)
{
    return parsePieces(text, QLatin1Char('.'), 10, 3, address);
}

QString notAnAddress(const QString &text)
{
    return QStringLiteral("\"%1\" is not an address: four numbers from 0 to 255 of one to three "
                          "digits, separated by single dots")
        .arg(escapedInput(text));
}

QString addressText(const std::uint8_t address[4])
{
    return QString::fromStdString(addressToText(address));
}

QString versionText(const DeviceRecord &record)
{
    return escapedText(versionToText(record.version));
}

QString portText(const DeviceRecord &record)
{
    return escapedText(portToText(record.port));
}

bool isLevelTwoLocked(const DeviceRecord &record)
{
    return record.version[0] == 'V' && (record.version[1] == '1' || record.version[1] == '2');
}

ChangeError applyChange(const FoundBoard &board, const SettingsChange &change, AddressRule rule,
                        DeviceRecord &out)
{
    out = board.record;
    const bool dhcpOn = change.dhcp.value_or(board.record.dhcp != 0);
    for (int field = 0; field < AddressFieldCount; ++field) {
        const std::optional<Address> &address = change.addresses[std::size_t(field)];
        if (!address)
            continue;
        if (!dhcpOn) {
            std::copy(address->cbegin(), address->cend(), addressOf(out, field));
            continue;
        }
        const bool asReported =
            std::equal(address->cbegin(), address->cend(), addressOf(board.record, field));
        if (rule == AddressRule::RefuseAny || !asReported)
            return {addressFieldName(field),
                    QStringLiteral("cannot be set with DHCP on: the board keeps the addresses it "
                                   "reported (turn DHCP off to set them)")};
    }
    out.dhcp = dhcpOn ? 1 : 0;
    if (change.levelTwo) {
        const std::uint8_t wanted = *change.levelTwo ? 1 : 0;
        if (isLevelTwoLocked(board.record) && wanted != board.record.cdeNiveau2)
            return {QStringLiteral("level2"),
                    QStringLiteral("board version %1 cannot take the level-2 code (versions V1 "
                                   "and V2 keep it as reported)")
                        .arg(versionText(board.record))};
        out.cdeNiveau2 = wanted;
    }
    return {};
}

quint32 addressValue(const std::uint8_t address[4])
{
    return quint32(address[0]) << 24 | quint32(address[1]) << 16 | quint32(address[2]) << 8 |
           address[3];
}

namespace {

QString subnetText(quint32 address, quint32 mask)
{
    int bits = 0;
    while (bits < 32 && (mask & (0x80000000u >> bits)))
        ++bits;
    return QStringLiteral("%1/%2").arg(QHostAddress(address & mask).toString()).arg(bits);
}

} // namespace

QVector<ChangeError> checkNewSettings(const DeviceRecord &reported, const DeviceRecord &sent,
                                      const AddressHolders &holders)
{
    QVector<ChangeError> found;
    const bool networkKept = sent.dhcp == reported.dhcp &&
                             std::memcmp(sent.ip, reported.ip, sizeof sent.ip) == 0 &&
                             std::memcmp(sent.mask, reported.mask, sizeof sent.mask) == 0 &&
                             std::memcmp(sent.gateway, reported.gateway, sizeof sent.gateway) == 0;
    if (sent.dhcp != 0 || networkKept)
        return found;
    const quint32 ip = addressValue(sent.ip);
    const quint32 mask = addressValue(sent.mask);
    const quint32 gateway = addressValue(sent.gateway);
    const QString ipText = addressText(sent.ip);
    const auto refuse = [&found](const char *field, const QString &reason, bool needsForce) {
        found.append({QLatin1String(field), reason, needsForce});
    };

    // A mask is a run of one bits from the top: its complement plus one is a power of two.
    const bool maskOk = mask != 0 && ((~mask + 1) & ~mask) == 0;
    if (mask == 0)
        refuse("mask", QStringLiteral("0.0.0.0 leaves no subnet"), false);
    else if (!maskOk)
        refuse("mask",
               QStringLiteral("%1 is not a subnet mask: its one bits must come first, with no "
                              "gap")
                   .arg(addressText(sent.mask)),
               false);

    if (ip == 0)
        refuse("ip", QStringLiteral("0.0.0.0 is no address a board can hold"), false);
    else if (ip == 0xffffffffu)
        refuse("ip", QStringLiteral("255.255.255.255 is the broadcast address"), false);
    else if (ip >> 24 == 127)
        refuse("ip", QStringLiteral("%1 is a loopback address").arg(ipText), false);
    else if (ip >> 28 == 0xe)
        refuse("ip", QStringLiteral("%1 is a multicast address").arg(ipText), false);
    else if (maskOk && (ip & ~mask) == 0)
        refuse("ip",
               QStringLiteral("%1 is the network address of the subnet %2")
                   .arg(ipText, subnetText(ip, mask)),
               false);
    else if (maskOk && (ip & ~mask) == ~mask)
        refuse("ip",
               QStringLiteral("%1 is the broadcast address of the subnet %2")
                   .arg(ipText, subnetText(ip, mask)),
               false);
    else if (ip != addressValue(reported.ip)) {
        QStringList others = holders.values(ip);
        others.sort();
        for (const QString &holder : others)
            refuse("ip", QStringLiteral("%1 is held by %2").arg(ipText, holder), true);
    }

    if (gateway == ip)
        refuse("gateway", QStringLiteral("%1 is the board's own IP address").arg(ipText), true);
    else if (maskOk && (gateway & mask) != (ip & mask))
        refuse("gateway",
               QStringLiteral("%1 lies outside the new subnet %2")
                   .arg(addressText(sent.gateway), subnetText(ip, mask)),
               true);
    return found;
}

QStringList differences(const DeviceRecord &sent, const FoundBoard &back)
{
    QStringList found;
    const DeviceRecord &got = back.record;
    const auto compare = [&found](const char *name, const QString &reported,
                                  const QString &wanted) {
        if (reported != wanted)
            found << QStringLiteral("%1 %2 (sent %3)").arg(QLatin1String(name), reported, wanted);
    };
    compare("dhcp", onOff(got.dhcp != 0), onOff(sent.dhcp != 0));
    if (sent.dhcp == 0) {
        for (int field = 0; field < AddressFieldCount; ++field)
            compare(addressNames[field], addressText(addressOf(got, field)),
                    addressText(addressOf(sent, field)));
    }
    compare("port", portText(got), portText(sent));
    if (back.layout == ReplyLayout::Long)
        compare("level2", onOff(got.cdeNiveau2 != 0), onOff(sent.cdeNiveau2 != 0));
    compare("version", versionText(got), versionText(sent));
    return found;
}

QString describeSettings(const DeviceRecord &record)
{
    QStringList parts{QStringLiteral("dhcp ") + onOff(record.dhcp != 0)};
    for (int field = 0; field < AddressFieldCount; ++field)
        parts << addressFieldName(field) + QLatin1Char(' ') + addressText(addressOf(record, field));
    parts << QStringLiteral("level2 ") + onOff(record.cdeNiveau2 != 0);
    return parts.join(QStringLiteral(", "));
}
