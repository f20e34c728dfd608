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

QString escapedInput(const QString &text)
{
    return escapedText(text.toUtf8().toStdString());
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
