// SPDX-License-Identifier: MIT
#include "settingsrules.h"

#include "devicetext.h"

#include <algorithm>
#include <cstring>

namespace {

const char *const settingNames[] = {"ip",   "mask",   "gateway", "dns",
                                    "dhcp", "level2", "port",    "version"};

bool sameAddress(const std::uint8_t *a, const std::uint8_t *b)
{
    return std::memcmp(a, b, 4) == 0;
}

int prefixLength(quint32 mask)
{
    int bits = 0;
    while (bits < 32 && (mask & (0x80000000u >> bits)))
        ++bits;
    return bits;
}

// Refusals first, then what the user may confirm.
QVector<SettingsProblem> sortedProblems(QVector<SettingsProblem> found)
{
    std::stable_sort(found.begin(), found.end(),
                     [](const SettingsProblem &a, const SettingsProblem &b) {
                         return !a.needsConfirmation() && b.needsConfirmation();
                     });
    return found;
}

} // namespace

QString settingName(SettingField field)
{
    return QString::fromLatin1(settingNames[field]);
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

bool isLevelTwoLocked(const DeviceRecord &record)
{
    return record.version[0] == 'V' && (record.version[1] == '1' || record.version[1] == '2');
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

SettingsProblem applyChange(const DeviceRecord &reported, const SettingsChange &change,
                            AddressRule rule, DeviceRecord &out)
{
    out = reported;
    const bool dhcpOn = change.dhcp.value_or(reported.dhcp != 0);
    for (int field = 0; field < AddressFieldCount; ++field) {
        const std::optional<Address> &address = change.addresses[std::size_t(field)];
        if (!address)
            continue;
        if (!dhcpOn) {
            std::copy(address->cbegin(), address->cend(), addressOf(out, field));
            continue;
        }
        if (rule == AddressRule::RefuseAny ||
            !sameAddress(address->data(), addressOf(reported, field)))
            return {SettingsProblem::AddressWithDhcp, SettingField(field), {}};
    }
    out.dhcp = dhcpOn ? 1 : 0;
    if (change.levelTwo) {
        if (isLevelTwoLocked(reported) && *change.levelTwo != (reported.cdeNiveau2 != 0))
            return {SettingsProblem::LevelTwoLocked, LevelTwoField, {}};
        out.cdeNiveau2 = *change.levelTwo ? 1 : 0;
    }
    return {};
}

QString subnetText(quint32 address, quint32 mask)
{
    std::uint8_t network[4];
    storeAddressValue(address & mask, network);
    return QStringLiteral("%1/%2").arg(addressText(network)).arg(prefixLength(mask));
}

QVector<SettingsProblem> checkNewSettings(const DeviceRecord &reported, const DeviceRecord &sent,
                                          const AddressHolders &holders)
{
    QVector<SettingsProblem> found;
    const bool networkKept = sent.dhcp == reported.dhcp && sameAddress(sent.ip, reported.ip) &&
                             sameAddress(sent.mask, reported.mask) &&
                             sameAddress(sent.gateway, reported.gateway);
    if (sent.dhcp != 0 || networkKept)
        return found;
    const quint32 ip = addressValue(sent.ip);
    const quint32 mask = addressValue(sent.mask);
    const quint32 gateway = addressValue(sent.gateway);
    const auto add = [&found](SettingsProblem::Kind kind, SettingField field) {
        found.append({kind, field, {}});
    };

    // A mask is a run of one bits from the top: its complement plus one is a power of two.
    const bool maskOk = mask != 0 && ((~mask + 1) & ~mask) == 0;
    if (mask == 0)
        add(SettingsProblem::MaskZero, MaskField);
    else if (!maskOk)
        add(SettingsProblem::MaskGap, MaskField);
    // A /32 leaves the board alone on its link, with a gateway most stacks cannot reach.
    else if (mask == 0xffffffffu)
        add(SettingsProblem::MaskHostOnly, MaskField);

    // A /31 is a point-to-point link whose two addresses are both hosts, and a /32 holds the
    // board alone: neither has a network or a broadcast address.
    const bool hasBroadcast = maskOk && prefixLength(mask) <= 30;
    if (ip == 0)
        add(SettingsProblem::IpZero, IpField);
    else if (ip >> 24 == 0)
        add(SettingsProblem::IpThisNetwork, IpField);
    else if (ip == 0xffffffffu)
        add(SettingsProblem::IpAllOnes, IpField);
    else if (ip >> 28 == 0xf)
        add(SettingsProblem::IpReserved, IpField);
    else if (ip >> 24 == 127)
        add(SettingsProblem::IpLoopback, IpField);
    else if (ip >> 28 == 0xe)
        add(SettingsProblem::IpMulticast, IpField);
    else if (hasBroadcast && (ip & ~mask) == 0)
        add(SettingsProblem::IpNetwork, IpField);
    else if (hasBroadcast && (ip & ~mask) == ~mask)
        add(SettingsProblem::IpBroadcast, IpField);
    else if (ip != addressValue(reported.ip)) {
        AddressHolders others;
        std::copy_if(holders.cbegin(), holders.cend(), std::back_inserter(others),
                     [ip](const AddressHolder &holder) { return holder.address == ip; });
        std::sort(others.begin(), others.end(), [](const AddressHolder &a, const AddressHolder &b) {
            return std::make_pair(int(a.kind), a.name) < std::make_pair(int(b.kind), b.name);
        });
        for (const AddressHolder &holder : std::as_const(others))
            found.append({SettingsProblem::IpHeld, IpField, holder});
    }

    // Boards left without a gateway report 0.0.0.0; keeping it asks nothing of the new subnet.
    const bool noGatewayKept = gateway == 0 && addressValue(reported.gateway) == 0;
    if (noGatewayKept)
        return sortedProblems(found);
    // A /32 holds no other host, so its gateway always lies outside it.
    if (gateway == 0)
        add(SettingsProblem::GatewayNone, GatewayField);
    else if (gateway == ip)
        add(SettingsProblem::GatewayIsIp, GatewayField);
    else if (maskOk && mask != 0xffffffffu && (gateway & mask) != (ip & mask))
        add(SettingsProblem::GatewayOutside, GatewayField);
    else if (hasBroadcast && (gateway & ~mask) == 0)
        add(SettingsProblem::GatewayNetwork, GatewayField);
    else if (hasBroadcast && (gateway & ~mask) == ~mask)
        add(SettingsProblem::GatewayBroadcast, GatewayField);
    return sortedProblems(found);
}

QVector<SettingField> differingFields(const DeviceRecord &sent, const DeviceRecord &back,
                                      ReplyLayout backLayout)
{
    QVector<SettingField> found;
    if ((sent.dhcp != 0) != (back.dhcp != 0))
        found << DhcpField;
    if (sent.dhcp == 0) {
        for (int field = 0; field < AddressFieldCount; ++field) {
            if (!sameAddress(addressOf(sent, field), addressOf(back, field)))
                found << SettingField(field);
        }
    }
    if (portToText(sent.port) != portToText(back.port))
        found << PortField;
    if (backLayout == ReplyLayout::Long && (sent.cdeNiveau2 != 0) != (back.cdeNiveau2 != 0))
        found << LevelTwoField;
    if (versionToText(sent.version) != versionToText(back.version))
        found << VersionField;
    return found;
}
