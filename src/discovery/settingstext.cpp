// SPDX-License-Identifier: MIT
#include "settingstext.h"

#include "devicetext.h"

bool parseMacText(const QString &text, MacAddress &mac)
{
    const char separator = text.contains(QLatin1Char(':')) ? ':' : '-';
    return readStrictPieces(text.toUtf8().toStdString(), separator, 16, 2, mac.data(), mac.size());
}

QString macText(const std::uint8_t mac[6], bool allTwoDigits)
{
    return QString::fromStdString(macToText(mac, allTwoDigits));
}

bool parseAddressText(const QString &text, Address &address)
{
    return readStrictPieces(text.toUtf8().toStdString(), '.', 10, 3, address.data(),
                            address.size());
}

bool parseAddressValue(const QString &text, quint32 &value)
{
    Address address{};
    if (!parseAddressText(text, address))
        return false;
    value = addressValue(address.data());
    return true;
}

QString addressText(const std::uint8_t address[4])
{
    return QString::fromStdString(addressToText(address));
}

quint32 addressValue(const std::uint8_t address[4])
{
    return quint32(address[0]) << 24 | quint32(address[1]) << 16 | quint32(address[2]) << 8 |
           address[3];
}

void storeAddressValue(quint32 value, std::uint8_t out[4])
{
    for (int i = 3; i >= 0; --i) {
        out[i] = std::uint8_t(value & 0xFF);
        value >>= 8;
    }
}
