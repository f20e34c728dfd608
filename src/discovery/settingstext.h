// SPDX-License-Identifier: MIT
#pragma once

// The text forms of a MAC and of an IPv4 address as the window, the command-line companion
// and the board simulator read and write them, and an address as a 32-bit number. The
// readers here are the strict ones of option values and files; the settings dialog's
// lenient reading of dotted text is in devicetext.h, on the same piece reader.

#include "protocol.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstdint>

using Address = std::array<std::uint8_t, 4>;

// Exactly six groups of one or two hexadecimal digits (either case), all separated by ':' or
// all by '-', as the window shows a MAC ("0:50:c2:0d:e4:05"), with all the leading zeros, or
// as other tools write it ("00-50-C2-0D-E4-05"). Nothing else, not even a trailing newline.
bool parseMacText(const QString &text, MacAddress &mac);
// The table's form, or with every group in two digits ("00:50:c2:0d:e4:05").
QString macText(const std::uint8_t mac[6], bool allTwoDigits = false);

// Four pieces of one to three ASCII digits, each at most 255, separated by single dots:
// stricter than the settings dialog, which skips runs of dots and takes any number of
// leading zeros. "010" is 10.
bool parseAddressText(const QString &text, Address &address);
QString addressText(const std::uint8_t address[4]);
// The same reading, as a number (see addressValue).
bool parseAddressValue(const QString &text, quint32 &value);

// The first byte is the most significant.
quint32 addressValue(const std::uint8_t address[4]);
void storeAddressValue(quint32 value, std::uint8_t out[4]);
