// SPDX-License-Identifier: MIT
#pragma once

// How the fields of a DeviceRecord read as text: the cells of the device table, the fields
// of the settings dialog and the output of the command-line companion. Texts are 8-bit
// strings that end at the first NUL byte of the field they come from; the bytes are never
// interpreted otherwise.

#include <cstdint>
#include <string>
#include <vector>

bool isBelowSixteen(std::uint8_t byte);

std::string macToText(const std::uint8_t mac[6]);
std::string addressToText(const std::uint8_t address[4]);
std::string flagToText(std::uint8_t flag);
std::string portToText(const std::uint8_t port[6]);
std::string versionToText(const std::uint8_t version[8]);

// Dotted decimal input as the settings dialog takes it: a run of dots is one separator,
// leading and trailing dots are skipped, and each of exactly four pieces is a run of ASCII
// digits (leading zeros allowed) whose value is at most 255, however long the piece is.
std::vector<std::string> splitAddress(const std::string &text);
bool isValidAddressPart(const std::string &piece);
bool isValidAddress(const std::string &text);
// Stores a text that passed isValidAddress; returns false and leaves `out` alone otherwise.
bool storeAddressText(const std::string &text, std::uint8_t out[4]);
