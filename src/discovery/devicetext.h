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

// The table's form ("0:50:c2:0d:e4:05"), or with every group in two digits.
std::string macToText(const std::uint8_t mac[6], bool allTwoDigits = false);
std::string addressToText(const std::uint8_t address[4]);
std::string flagToText(std::uint8_t flag);
std::string portToText(const std::uint8_t port[6]);
std::string versionToText(const std::uint8_t version[8]);

// The pieces of a text between `separator`s. With `skipEmpty` a run of separators counts as
// one and separators at either end are dropped, so no piece is empty; without it every
// separator ends a piece, empty ones included.
std::vector<std::string> splitText(const std::string &text, char separator, bool skipEmpty);
// The value of a piece made only of digits of `base` (10, or 16 in either case), at most 256
// however long the piece is; -1 for an empty piece or any other character.
int pieceValue(const std::string &piece, int base);
// Exactly `count` pieces between single separators, each of one to `maxDigits` digits of
// `base` with a value of at most 255: the strict form that option values and files use.
// `out` is left alone unless the whole text is read.
bool readStrictPieces(const std::string &text, char separator, int base, int maxDigits,
                      std::uint8_t *out, std::size_t count);

// Dotted decimal input as the settings dialog takes it: a run of dots is one separator,
// leading and trailing dots are skipped, and each of exactly four pieces is a run of ASCII
// digits (leading zeros allowed) whose value is at most 255, however long the piece is.
std::vector<std::string> splitAddress(const std::string &text);
bool isValidAddressPart(const std::string &piece);
bool isValidAddress(const std::string &text);
// Stores a text that passed isValidAddress; returns false and leaves `out` alone otherwise.
bool storeAddressText(const std::string &text, std::uint8_t out[4]);
