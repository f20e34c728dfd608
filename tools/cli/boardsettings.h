// SPDX-License-Identifier: MIT
#pragma once

// The settings a command asks for, checked by the settings dialog's rules and applied to a
// board's record the way the dialog applies them (DHCP on keeps the reported addresses, the
// level-2 code of a V1 or V2 board stays as reported), and the comparison of what a board
// reports after its restart with what it was sent.

#include "boardsearch.h"
#include "protocol.h"
#include "tooltext.h"

#include <QMultiHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <cstdint>
#include <optional>

using Address = std::array<std::uint8_t, 4>;

enum AddressField { IpField, MaskField, GatewayField, DnsField, AddressFieldCount };
// "ip", "mask", "gateway", "dns": the option names and the CSV column names.
QString addressFieldName(int field);
std::uint8_t *addressOf(DeviceRecord &record, int field);
const std::uint8_t *addressOf(const DeviceRecord &record, int field);

// A field left out stays as the board reported it.
struct SettingsChange
{
    std::optional<bool> dhcp;
    std::optional<bool> levelTwo;
    std::array<std::optional<Address>, AddressFieldCount> addresses;

    bool isEmpty() const;
    bool hasAddress() const;
};

// With DHCP on the dialog keeps the reported addresses. A command line that names an
// address then asks for something that cannot happen and is refused; a CSV line written by
// `discover` repeats the reported addresses, which is no request and is let through.
enum class AddressRule { RefuseAny, AllowReported };

struct ChangeError
{
    QString field; // "dhcp", "ip", ..., "level2"; empty when nothing is wrong
    QString reason;
    // A setting that is legal but most likely a mistake: sent only with --force.
    bool needsForce = false;
    bool isError() const { return !field.isEmpty(); }
};

// Exactly six groups of one or two hexadecimal digits (either case), all separated by ':' or
// all by '-', as the window shows a MAC ("0:50:c2:0d:e4:05"), with all the leading zeros, or
// as other tools write it ("00-50-C2-0D-E4-05"). Nothing else, not even a trailing newline.
bool parseMacText(const QString &text, MacAddress &mac);
QString macText(const std::uint8_t mac[6]);
QString onOff(bool value);
// Four pieces of one to three ASCII digits, each at most 255, separated by single dots:
// stricter than the window's dialog, which skips runs of dots and takes any number of
// leading zeros. "010" is 10.
bool parseAddressText(const QString &text, Address &address);
// Why `text` was refused, with the text escaped.
QString notAnAddress(const QString &text);
QString addressText(const std::uint8_t address[4]);
QString versionText(const DeviceRecord &record);
QString portText(const DeviceRecord &record);

// Boards whose version begins with "V1" or "V2" cannot take the level-2 code. Exactly two
// bytes are compared, as in the dialog.
bool isLevelTwoLocked(const DeviceRecord &record);

// The record the window would hold after the dialog's "Valider", in `out`.
ChangeError applyChange(const FoundBoard &board, const SettingsChange &change, AddressRule rule,
                        DeviceRecord &out);

quint32 addressValue(const std::uint8_t address[4]);

// Who holds an address on the network, by address: "this PC (eth0)", "board 2:0:00:00:00:04".
using AddressHolders = QMultiHash<quint32, QString>;

// The new settings of a board checked for what would make it unreachable, every problem
// found: a mask that is no mask; an IP that no host can hold or that is the subnet's own
// network or broadcast address. Needing --force: an IP held by one of `holders`, a gateway
// outside the new subnet or equal to the board's IP. Nothing is checked when the board
// keeps its network settings or takes them from DHCP.
QVector<ChangeError> checkNewSettings(const DeviceRecord &reported, const DeviceRecord &sent,
                                      const AddressHolders &holders);

// The fields where the board's new reply differs from what it was sent, as "ip 10.77.0.100
// (sent 10.77.0.99)". A short-layout reply carries no level-2 code, and with DHCP on the
// addresses come from the DHCP server: neither is compared.
QStringList differences(const DeviceRecord &sent, const FoundBoard &back);

// "dhcp off, ip 10.77.0.99, mask 255.255.0.0, gateway 10.77.0.1, dns 10.77.0.53, level2 on"
QString describeSettings(const DeviceRecord &record);
