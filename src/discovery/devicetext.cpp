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
std::string macToText(const std::uint8_t mac[6])
{
    std::string text;
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            text += ':';
        if (i >= 2 && isBelowSixteen(mac[i]))
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

std::vector<std::string> splitAddress(const std::string &text)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t dot = text.find('.', start);
        const std::size_t end = dot == std::string::npos ? text.size() : dot;
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

bool isValidAddressPart(const std::string &piece)
{
    if (piece.empty())
        return false;
    unsigned value = 0;
    for (char c : piece) {
        if (c < '0' || c > '9')
            return false;
        // Stop growing once above 255, so that no length of digits can overflow.
        value = std::min(value * 10 + unsigned(c - '0'), 256u);
    }
    return value <= 255;
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
    for (int i = 0; i < 4; ++i) {
        unsigned value = 0;
        for (char c : pieces[i])
            value = value * 10 + unsigned(c - '0');
        out[i] = std::uint8_t(value);
    }
    return true;
}
