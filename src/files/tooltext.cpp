// SPDX-License-Identifier: MIT
#include "tooltext.h"

int hexDigitValue(QChar c)
{
    const char latin = c.toLatin1();
    if (latin >= '0' && latin <= '9')
        return latin - '0';
    if (latin >= 'a' && latin <= 'f')
        return latin - 'a' + 10;
    if (latin >= 'A' && latin <= 'F')
        return latin - 'A' + 10;
    return -1;
}

bool parseOnOff(const QString &text, bool &on)
{
    if (text == QLatin1String("on"))
        on = true;
    else if (text == QLatin1String("off"))
        on = false;
    else
        return false;
    return true;
}

QString escapedText(const std::string &bytes)
{
    QString text;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\')
            text += QStringLiteral("\\\\");
        else if (byte >= 0x20 && byte < 0x7f)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(unsigned(byte), 2, 16, QLatin1Char('0'));
    }
    return text;
}

QByteArray systemBytes(const QString &text)
{
    QByteArray bytes;
    for (int i = 0; i < text.size(); ++i) {
        const ushort unit = text.at(i).unicode();
        const bool high =
            QChar::isHighSurrogate(unit) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (unit >= 0xdc80 && unit <= 0xdcff)
            bytes += char(unit - 0xdc00);
        else
            bytes += text.mid(i, high ? 2 : 1).toUtf8();
        if (high)
            ++i;
    }
    return bytes;
}

QString systemText(const QByteArray &bytes)
{
    QString text;
    int start = 0;
    while (start < bytes.size()) {
        // The longest run that is valid UTF-8 on its own: a decoder marks every other byte
        // with U+FFFD, which does not encode back to it.
        int end = start;
        while (end < bytes.size() && (static_cast<unsigned char>(bytes.at(end)) < 0x80))
            ++end;
        if (end == start) {
            const auto lead = static_cast<unsigned char>(bytes.at(start));
            const int length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
            const QByteArray piece = bytes.mid(start, length);
            const QString decoded = QString::fromUtf8(piece.constData(), int(piece.size()));
            if (length > 1 && piece.size() == length && decoded.toUtf8() == piece) {
                text += decoded;
                start += length;
            } else {
                text += QChar(ushort(0xdc00 + lead));
                ++start;
            }
            continue;
        }
        text += QString::fromLatin1(bytes.constData() + start, end - start);
        start = end;
    }
    return text;
}

QString escapedInput(const QString &text)
{
    // A pasted file or a runaway variable must not fill the terminal: the start tells what
    // it was. The cut falls between escapes, never inside one.
    constexpr int maxEchoed = 200;
    const QByteArray bytes = systemBytes(text);
    QString escaped;
    for (const char byte : bytes) {
        const QString piece = escapedText(std::string(1, byte));
        if (escaped.size() + piece.size() > maxEchoed)
            return escaped + QStringLiteral("…");
        escaped += piece;
    }
    return escaped;
}

bool parseByteText(const QString &text, int maxLength, QByteArray &bytes)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\\')) {
                out += '\\';
                ++i;
                continue;
            }
            if (i + 3 >= text.size() || text.at(i + 1) != QLatin1Char('x'))
                return false;
            const int high = hexDigitValue(text.at(i + 2));
            const int low = hexDigitValue(text.at(i + 3));
            if (high < 0 || low < 0)
                return false;
            out += char(high * 16 + low);
            i += 3;
            continue;
        }
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
        out += char(c.unicode());
    }
    if (out.size() > maxLength)
        return false;
    bytes = out;
    return true;
}
