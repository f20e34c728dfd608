// SPDX-License-Identifier: MIT
#include "boardsettings.h"

#include "devicetext.h"
#include "tooltext.h"

QString addressFieldName(int field)
{
    return settingName(SettingField(field));
}

QString notAnAddress(const QString &text)
{
    return QStringLiteral("\"%1\" is not an address: four numbers from 0 to 255 of one to three "
                          "digits, separated by single dots")
        .arg(escapedInput(text));
}

QString problemReason(const SettingsProblem &problem, const DeviceRecord &reported,
                      const DeviceRecord &sent)
{
    const QString ip = addressText(sent.ip);
    const QString subnet = subnetText(addressValue(sent.ip), addressValue(sent.mask));
    switch (problem.kind) {
    case SettingsProblem::None:
        break;
    case SettingsProblem::AddressWithDhcp:
        return QStringLiteral("cannot be set with DHCP on: the board keeps the addresses it "
                              "reported (turn DHCP off to set them)");
    case SettingsProblem::LevelTwoLocked:
        return QStringLiteral("board version %1 cannot take the level-2 code (versions V1 and V2 "
                              "keep it as reported)")
            .arg(versionText(reported));
    case SettingsProblem::MaskZero:
        return QStringLiteral("0.0.0.0 leaves no subnet");
    case SettingsProblem::MaskGap:
        return QStringLiteral("%1 is not a subnet mask: its one bits must come first, with no gap")
            .arg(addressText(sent.mask));
    case SettingsProblem::IpZero:
        return QStringLiteral("0.0.0.0 is no address a board can hold");
    case SettingsProblem::IpThisNetwork:
        return QStringLiteral("%1 lies in 0.0.0.0/8, which means \"this network\": no board can "
                              "hold it")
            .arg(ip);
    case SettingsProblem::IpAllOnes:
        return QStringLiteral("255.255.255.255 is the broadcast address");
    case SettingsProblem::IpReserved:
        return QStringLiteral("%1 lies in 240.0.0.0/4, which is reserved: no board can hold it")
            .arg(ip);
    case SettingsProblem::IpLoopback:
        return QStringLiteral("%1 is a loopback address").arg(ip);
    case SettingsProblem::IpMulticast:
        return QStringLiteral("%1 is a multicast address").arg(ip);
    case SettingsProblem::IpNetwork:
        return QStringLiteral("%1 is the network address of the subnet %2").arg(ip, subnet);
    case SettingsProblem::IpBroadcast:
        return QStringLiteral("%1 is the broadcast address of the subnet %2").arg(ip, subnet);
    case SettingsProblem::IpHeld: {
        const AddressHolder &holder = problem.holder;
        if (holder.kind == AddressHolder::ThisPc)
            return QStringLiteral("%1 is held by this PC (%2)").arg(ip, escapedInput(holder.name));
        if (holder.fileLine > 0)
            return QStringLiteral("%1 is held by board %2, which line %3 gives it too")
                .arg(ip, holder.name)
                .arg(holder.fileLine);
        return QStringLiteral("%1 is held by board %2").arg(ip, holder.name);
    }
    case SettingsProblem::GatewayIsIp:
        return QStringLiteral("%1 is the board's own IP address").arg(ip);
    case SettingsProblem::GatewayOutside:
        return QStringLiteral("%1 lies outside the new subnet %2")
            .arg(addressText(sent.gateway), subnet);
    case SettingsProblem::GatewayNetwork:
        return QStringLiteral("%1 is the network address of the new subnet %2")
            .arg(addressText(sent.gateway), subnet);
    case SettingsProblem::GatewayBroadcast:
        return QStringLiteral("%1 is the broadcast address of the new subnet %2")
            .arg(addressText(sent.gateway), subnet);
    case SettingsProblem::GatewayNone:
        return QStringLiteral("0.0.0.0 means no gateway: the board will answer only on its own "
                              "subnet %1")
            .arg(subnet);
    case SettingsProblem::MaskHostOnly:
        return QStringLiteral("255.255.255.255 leaves the board alone on its link, with no "
                              "other host or gateway it can reach");
    }
    return QString();
}

namespace {

QString valueText(const DeviceRecord &record, SettingField field)
{
    switch (field) {
    case DhcpField:
        return onOff(record.dhcp != 0);
    case LevelTwoField:
        return onOff(record.cdeNiveau2 != 0);
    case PortField:
        return portText(record);
    case VersionField:
        return versionText(record);
    default:
        return addressText(addressOf(record, field));
    }
}

} // namespace

QStringList differences(const DeviceRecord &sent, const FoundBoard &back)
{
    QStringList found;
    for (SettingField field : differingFields(sent, back.record, back.layout))
        found << QStringLiteral("%1 %2 (sent %3)")
                     .arg(settingName(field), valueText(back.record, field),
                          valueText(sent, field));
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
