// SPDX-License-Identifier: MIT
#pragma once

// The rules of a board's settings, the same for the settings dialog, the command-line
// companion and the board simulator: which boards may take the level-2 code, how a change
// becomes the record that is written (DHCP on keeps the reported addresses), which new
// settings would leave a board unreachable or fighting over an address, and how what a board
// reports after its restart compares with what it was sent. Problems are returned as codes;
// each program words them in its own language.

#include "protocol.h"
#include "settingstext.h"

#include <QString>
#include <QVector>

#include <array>
#include <optional>

// The four addresses come first, in the record's order, so that they index `addresses`.
enum SettingField {
    IpField,
    MaskField,
    GatewayField,
    DnsField,
    DhcpField,
    LevelTwoField,
    PortField,
    VersionField
};
constexpr int AddressFieldCount = 4;
// "ip", "mask", "gateway", "dns", "dhcp", "level2", "port", "version"
QString settingName(SettingField field);
std::uint8_t *addressOf(DeviceRecord &record, int field);
const std::uint8_t *addressOf(const DeviceRecord &record, int field);

// Boards whose version begins with "V1" or "V2" cannot take the level-2 code. Exactly two
// bytes are compared, so a zero byte is a character like any other.
bool isLevelTwoLocked(const DeviceRecord &record);

// A field left out stays as the board reported it.
struct SettingsChange
{
    std::optional<bool> dhcp;
    std::optional<bool> levelTwo;
    std::array<std::optional<Address>, AddressFieldCount> addresses;

    bool isEmpty() const;
    bool hasAddress() const;
};

// With DHCP on the board keeps the reported addresses. A request that names an address then
// asks for something that cannot happen and is refused; a list that repeats the reported
// addresses asks nothing and is let through.
enum class AddressRule { RefuseAny, AllowReported };

// Who holds an address on the network: this PC (`name` is the interface) or a board (`name`
// is its MAC text). `fileLine` is the line of a list of changes that gives a board the
// address, 0 when the board holds it already.
struct AddressHolder
{
    enum Kind { ThisPc, Board };
    quint32 address = 0;
    Kind kind = Board;
    QString name;
    int fileLine = 0;
};
using AddressHolders = QVector<AddressHolder>;

struct SettingsProblem
{
    enum Kind {
        None,
        AddressWithDhcp, // an address named while DHCP is on
        LevelTwoLocked,  // a level-2 code for a V1 or V2 board
        MaskZero,
        MaskGap,
        IpZero,
        IpThisNetwork, // 0.0.0.0/8 besides 0.0.0.0
        IpAllOnes,
        IpReserved, // 240.0.0.0/4 besides 255.255.255.255
        IpLoopback,
        IpMulticast,
        IpNetwork,   // the new subnet's own network address
        IpBroadcast, // the new subnet's broadcast address
        // Legal but most likely a mistake: sent only once the user confirms.
        IpHeld,
        GatewayIsIp,
        GatewayOutside,
        GatewayNetwork,   // the new subnet's own network address
        GatewayBroadcast, // the new subnet's broadcast address
        MaskHostOnly,     // a /32: the board alone on its link
        GatewayNone       // 0.0.0.0 where the board reported a gateway
    };
    Kind kind = None;
    SettingField field = IpField;
    AddressHolder holder; // for IpHeld

    bool isError() const { return kind != None; }
    bool needsConfirmation() const { return kind >= IpHeld; }
};

// The record that results from `change` on what the board reported, in `out` (DHCP and the
// level-2 code stored as 1 or 0), or why the change cannot be made.
SettingsProblem applyChange(const DeviceRecord &reported, const SettingsChange &change,
                            AddressRule rule, DeviceRecord &out);

// The new settings checked for what would make the board unreachable, every problem found,
// refusals first: a mask that is no mask; an IP that no host can hold or that is the
// subnet's own network or broadcast address (a /31 or /32 point-to-point subnet has
// neither). To be confirmed: a /32 mask, an IP held by one of `holders`, a gateway equal to
// the IP, outside the new subnet or equal to its network or broadcast address, and a gateway
// 0.0.0.0 ("no gateway") where the board reported one. A gateway 0.0.0.0 that the board
// reported and keeps is not checked. Nothing is checked
// when the board takes its settings from DHCP, or keeps its DHCP, IP, mask and gateway.
QVector<SettingsProblem> checkNewSettings(const DeviceRecord &reported, const DeviceRecord &sent,
                                          const AddressHolders &holders);

// "10.0.0.0/24"
QString subnetText(quint32 address, quint32 mask);

// The fields in which a board's reply after its restart differs from what it was sent. A
// short-layout reply carries no level-2 code, and with DHCP on the addresses come from the
// DHCP server: neither is compared.
QVector<SettingField> differingFields(const DeviceRecord &sent, const DeviceRecord &back,
                                      ReplyLayout backLayout);
