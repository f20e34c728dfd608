// SPDX-License-Identifier: MIT
#include "boardsettings.h"

#include "devicetext.h"
#include "tooltext.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

const char *const addressNames[AddressFieldCount] = {"ip", "mask", "gateway", "dns"};

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
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{1,2}(:[0-9a-f]{1,2}){5}$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (!pattern.match(text).hasMatch())
        return false;
    mac = macTextToBytes(text.toLower().toStdString());
    return true;
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
    return storeAddressText(text.toUtf8().toStdString(), address.data());
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
