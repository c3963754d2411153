// SPDX-License-Identifier: MIT
// What the receive box shows in hex form must be something the hex send form reads back
// as the very bytes that arrived.
#include "fuzzcheck.h"
#include "hextext.h"

#include <cstddef>
#include <cstdint>

namespace {

bool isLowercaseHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString text = hexDisplayText(bytes);

    FUZZ_CHECK(text.size() == 3 * bytes.size());
    for (int i = 0; i < text.size(); i += 3) {
        FUZZ_CHECK(isLowercaseHexDigit(text.at(i)));
        FUZZ_CHECK(isLowercaseHexDigit(text.at(i + 1)));
        FUZZ_CHECK(text.at(i + 2) == QLatin1Char(' '));
    }
    if (!bytes.isEmpty())
        FUZZ_CHECK(text == QString::fromLatin1(bytes.toHex(' ')) + QLatin1Char(' '));

    const HexParseResult parsed = parseHexInput(text);
    FUZZ_CHECK(parsed.accepted());
    FUZZ_CHECK(parsed.refusal.isEmpty());
    FUZZ_CHECK(parsed.bytes == bytes);
    return 0;
}
