// SPDX-License-Identifier: MIT
#include "devicetext.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t belowSixteen[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr char hexDigits[] = "0123456789abcdef";

std::string hex(std::uint8_t byte)
{
    std::string text;
    if (byte >= 16)
        text += hexDigits[byte >> 4];
    text += hexDigits[byte & 0x0F];
    return text;
}

std::string textUpToNul(const std::uint8_t *bytes, std::size_t width)
{
    const auto *begin = reinterpret_cast<const char *>(bytes);
    return std::string(begin, std::find(begin, begin + width, '\0'));
}

} // namespace

bool isBelowSixteen(std::uint8_t byte)
{
    return std::find(std::begin(belowSixteen), std::end(belowSixteen), byte) !=
           std::end(belowSixteen);
}

// The first two groups never get a leading zero, the last four always have two digits.
std::string macToText(const std::uint8_t mac[6], bool allTwoDigits)
{
    std::string text;
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            text += ':';
        if ((i >= 2 || allTwoDigits) && isBelowSixteen(mac[i]))
            text += '0';
        text += hex(mac[i]);
    }
    return text;
}

std::string addressToText(const std::uint8_t address[4])
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            text += '.';
        text += std::to_string(unsigned(address[i]));
    }
    return text;
}

std::string flagToText(std::uint8_t flag)
{
    return flag != 0 ? "Oui" : "Non";
}

std::string portToText(const std::uint8_t port[6])
{
    return textUpToNul(port, 6);
}

std::string versionToText(const std::uint8_t version[8])
{
    return textUpToNul(version, 8);
}

std::vector<std::string> splitText(const std::string &text, char separator, bool skipEmpty)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t found = text.find(separator, start);
        const std::size_t end = found == std::string::npos ? text.size() : found;
        if (end > start || !skipEmpty)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

int pieceValue(const std::string &piece, int base)
{
    if (piece.empty())
        return -1;
    int value = 0;
    for (char c : piece) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= base)
            return -1;
        // Stop growing once above 255, so that no length of digits can overflow.
        value = std::min(value * base + digit, 256);
    }
    return value;
}

bool readStrictPieces(const std::string &text, char separator, int base, int maxDigits,
                      std::uint8_t *out, std::size_t count)
{
    const std::vector<std::string> pieces = splitText(text, separator, false);
    if (pieces.size() != count)
        return false;
    for (const std::string &piece : pieces) {
        const int value = pieceValue(piece, base);
        if (int(piece.size()) > maxDigits || value < 0 || value > 255)
            return false;
    }
    for (std::size_t i = 0; i < count; ++i)
        out[i] = std::uint8_t(pieceValue(pieces[i], base));
    return true;
}

std::vector<std::string> splitAddress(const std::string &text)
{
    return splitText(text, '.', true);
}

bool isValidAddressPart(const std::string &piece)
{
    const int value = pieceValue(piece, 10);
    return value >= 0 && value <= 255;
}

bool isValidAddress(const std::string &text)
{
    const std::vector<std::string> pieces = splitAddress(text);
    return pieces.size() == 4 && std::all_of(pieces.begin(), pieces.end(), isValidAddressPart);
}

bool storeAddressText(const std::string &text, std::uint8_t out[4])
{
    if (!isValidAddress(text))
        return false;
    const std::vector<std::string> pieces = splitAddress(text);
    for (int i = 0; i < 4; ++i)
        out[i] = std::uint8_t(pieceValue(pieces[i], 10));
    return true;
}
