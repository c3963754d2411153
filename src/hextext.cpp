// SPDX-License-Identifier: MIT
#include "hextext.h"

namespace {

int hexDigitValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

QString hexDisplayText(const QByteArray &bytes)
{
    static const char digits[] = "0123456789abcdef";
    QString text(bytes.size() * 3, Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = QLatin1Char(digits[value >> 4]);
        *out++ = QLatin1Char(digits[value & 0x0f]);
        *out++ = QLatin1Char(' ');
    }
    return text;
}

bool isHexInputBlank(QChar c)
{
    return c.isSpace();
}

HexParseResult parseHexInput(const QString &input)
{
    HexParseResult result;
    result.bytes.reserve(input.size() / 2);
    int pending = -1; // high nibble waiting for its partner
    int digitCount = 0;
    for (int i = 0; i < input.size(); ++i) {
        const QChar c = input.at(i);
        if (isHexInputBlank(c))
            continue;
        const int value = hexDigitValue(c);
        if (value < 0) {
            result.bytes.clear();
            result.refusal = QStringLiteral("not a hex digit at position %1: U+%2")
                                 .arg(i)
                                 .arg(c.unicode(), 4, 16, QLatin1Char('0'));
            return result;
        }
        ++digitCount;
        if (pending < 0) {
            pending = value;
        } else {
            result.bytes.append(static_cast<char>((pending << 4) | value));
            pending = -1;
        }
    }
    if (pending >= 0) {
        result.bytes.clear();
        result.refusal = QStringLiteral("odd number of hex digits (%1)").arg(digitCount);
    }
    return result;
}
