// SPDX-License-Identifier: MIT
#pragma once

// The texts that the board simulator and the command-line companion share: "on"/"off"
// option values, and board texts (port, version) written as printable ASCII, "\\" for a
// backslash and "\xHH" for any other byte, so that no output format can be broken by a
// byte and the simulator can be given any byte.

#include <QByteArray>
#include <QString>

#include <string>

bool parseOnOff(const QString &text, bool &on);
// The value of a hexadecimal digit (either case), or -1.
int hexDigitValue(QChar c);
// The escaped form of raw bytes.
QString escapedText(const std::string &bytes);
// Resolves the escapes; false on a malformed text or one longer than `maxLength` bytes.
bool parseByteText(const QString &text, int maxLength, QByteArray &bytes);
