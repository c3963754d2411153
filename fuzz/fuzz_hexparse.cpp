// SPDX-License-Identifier: MIT
// The hex send form either sends exactly the bytes its digits spell or refuses the whole
// input with a reason; it never sends a guess.
#include "fuzzcheck.h"
#include "hextext.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

// Code units that random bytes seldom reach but that a parser gets wrong: Unicode blanks,
// look-alike digits and letters, invisible characters, lone surrogates.
const ushort awkwardUnits[] = { 0x0085, 0x00a0, 0x1680, 0x180e, 0x2000, 0x2001, 0x2002, 0x2003,
    0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200a, 0x200b, 0x2028, 0x2029, 0x202f, 0x205f,
    0x3000, 0xfeff, 0x001c, 0x001f, 0xff10, 0xff19, 0xff21, 0xff41, 0x0660, 0x00b2, 0x0130, 0x0131,
    0x212a, 0x00e9, 0xd800, 0xdc00, 0x0000, 0xfffd };

// The first byte picks how the rest becomes text: as UTF-16 code units, or byte by byte
// with ASCII kept and the upper half mapped onto the awkward units above.
QString textFrom(const uint8_t *data, size_t size)
{
    QString text;
    if (size == 0)
        return text;
    if (data[0] % 2 == 0) {
        for (size_t i = 1; i + 1 < size; i += 2)
            text.append(QChar(ushort(data[i] | (data[i + 1] << 8))));
    } else {
        for (size_t i = 1; i < size; ++i) {
            if (data[i] < 0x80)
                text.append(QLatin1Char(char(data[i])));
            else
                text.append(QChar(awkwardUnits[(data[i] - 0x80) % std::size(awkwardUnits)]));
        }
    }
    return text;
}

// Whitespace as QChar::isSpace defines it, restated from the Unicode categories.
bool isBlank(QChar c)
{
    switch (c.category()) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    const ushort u = c.unicode();
    return (u >= 0x09 && u <= 0x0d) || u == 0x85;
}

bool isHexDigit(QChar c)
{
    static const QString digits = QStringLiteral("0123456789abcdefABCDEF");
    return digits.contains(c);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = textFrom(data, size);

    QByteArray digits;
    bool onlyDigitsAndBlanks = true;
    for (const QChar c : input) {
        if (isHexDigit(c))
            digits.append(char(c.unicode()));
        else if (!isBlank(c))
            onlyDigitsAndBlanks = false;
    }
    const bool acceptable = onlyDigitsAndBlanks && digits.size() % 2 == 0;

    const HexParseResult result = parseHexInput(input);
    FUZZ_CHECK(result.accepted() == acceptable);
    if (acceptable) {
        FUZZ_CHECK(result.refusal.isEmpty());
        FUZZ_CHECK(result.bytes == QByteArray::fromHex(digits));
    } else {
        FUZZ_CHECK(!result.refusal.isEmpty());
        FUZZ_CHECK(result.bytes.isEmpty());
    }
    return 0;
}
