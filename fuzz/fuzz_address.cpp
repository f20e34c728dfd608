// SPDX-License-Identifier: MIT
// Feeds arbitrary text to the dotted-address reader of the settings dialog and holds it to
// a second, deliberately naive reading of the same rule: pieces between runs of dots,
// exactly four of them, each made of ASCII digits with a value of at most 255.

#include "devicetext.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Not assert(): the property must be checked whatever NDEBUG says, and the message names
// the property instead of an expression.
void require(bool holds, const char *property)
{
    if (holds)
        return;
    std::fprintf(stderr, "fuzz-address: violated: %s\n", property);
    std::abort();
}

std::vector<std::string> referenceSplit(const std::string &text)
{
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        if (c != '.') {
            piece += c;
        } else if (!piece.empty()) {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty())
        pieces.push_back(piece);
    return pieces;
}

bool allDigits(const std::string &piece)
{
    for (char c : piece)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Leading zeros carry no value, however many there are; "000" is still the digit 0. Done
// on the text, so no length of input can overflow an integer here.
std::string withoutLeadingZeros(const std::string &digits)
{
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

bool referencePartValid(const std::string &piece)
{
    if (piece.empty() || !allDigits(piece))
        return false;
    const std::string digits = withoutLeadingZeros(piece);
    return digits.size() < 3 || (digits.size() == 3 && digits <= "255");
}

// Only for pieces that passed referencePartValid: at most three significant digits.
unsigned referenceValue(const std::string &piece)
{
    unsigned value = 0;
    for (char c : withoutLeadingZeros(piece))
        value = value * 10 + unsigned(c - '0');
    return value;
}

bool referenceValid(const std::vector<std::string> &pieces)
{
    if (pieces.size() != 4)
        return false;
    for (const std::string &piece : pieces)
        if (!referencePartValid(piece))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);

    const std::vector<std::string> pieces = splitAddress(text);
    require(pieces == referenceSplit(text), "splitAddress == reference split");
    for (const std::string &piece : pieces)
        require(isValidAddressPart(piece) == referencePartValid(piece),
                "isValidAddressPart == reference rule");

    const bool valid = isValidAddress(text);
    require(valid == referenceValid(pieces), "isValidAddress == reference rule");

    // Two different fills, so that a partial store cannot pass by writing what was there.
    for (std::uint8_t fill : {std::uint8_t(0x00), std::uint8_t(0xA5)}) {
        std::uint8_t out[4];
        std::memset(out, fill, sizeof out);
        const bool stored = storeAddressText(text, out);
        require(stored == valid, "storeAddressText succeeds iff isValidAddress");
        if (!valid) {
            for (std::uint8_t b : out)
                require(b == fill, "rejected text leaves the output untouched");
            continue;
        }
        std::string shown;
        for (int i = 0; i < 4; ++i) {
            require(out[i] == referenceValue(pieces[i]), "stored byte == value of its piece");
            if (i > 0)
                shown += '.';
            shown += withoutLeadingZeros(pieces[i]);
        }
        require(addressToText(out) == shown, "addressToText shows the pieces without zeros");
    }
    return 0;
}
