// SPDX-License-Identifier: MIT
#pragma once

// The texts that the board simulator and the command-line companion share: "on"/"off"
// option values, and board texts (port, version) written as printable ASCII, "\\" for a
// backslash and "\xHH" for any other byte, so that no output format can be broken by a
// byte and the simulator can be given any byte. User input echoed in a message is written
// the same way.

#include <QByteArray>
#include <QString>

#include <string>

bool parseOnOff(const QString &text, bool &on);
// The value of a hexadecimal digit (either case), or -1.
int hexDigitValue(QChar c);
// The escaped form of raw bytes.
QString escapedText(const std::string &bytes);
// The escaped form of a text read from a file, an argument or the environment (its UTF-8
// bytes), so that what a user typed or a file held can be echoed without reaching the
// terminal as control sequences; cut with "…" after a few hundred characters.
QString escapedInput(const QString &text);
// Bytes from the system (a command-line argument, a file name) as text, and back again
// unchanged: valid UTF-8 is decoded, any other byte becomes the lone surrogate U+DC80 to
// U+DCFF, so that a file name that is not UTF-8 still names its file.
QString systemText(const QByteArray &bytes);
QByteArray systemBytes(const QString &text);
// Resolves the escapes; false on a malformed text or one longer than `maxLength` bytes.
bool parseByteText(const QString &text, int maxLength, QByteArray &bytes);
