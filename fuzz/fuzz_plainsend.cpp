// SPDX-License-Identifier: MIT
// A plain send ends every line with CR LF, whatever mix of line ends the text had, and
// otherwise sends the text's own UTF-8.
#include "fuzzcheck.h"
#include "plaintext.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

// Halves of surrogate pairs, and characters whose UTF-8 is several bytes long.
const ushort awkwardUnits[] = { 0xd83d, 0xde00, 0xd800, 0xdbff, 0xdc00, 0xdfff, 0x00e9, 0x4e32,
    0x2028, 0x2029, 0x0085, 0xfeff, 0xfffd, 0x0000 };

// The first byte picks how the rest becomes text: as UTF-16 code units (lone surrogates
// included), as UTF-8, as Latin-1, which reaches CR and LF most easily, or byte by byte
// with ASCII kept and the upper half mapped onto the awkward units above, so that line
// ends meet surrogates often.
QString textFrom(const uint8_t *data, size_t size)
{
    if (size == 0)
        return QString();
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const int restSize = int(size - 1);
    switch (data[0] % 4) {
    case 0: {
        QString text;
        for (int i = 0; i + 1 < restSize; i += 2)
            text.append(QChar(ushort(uint8_t(rest[i]) | (uint8_t(rest[i + 1]) << 8))));
        return text;
    }
    case 1:
        return QString::fromUtf8(rest, restSize);
    case 2:
        return QString::fromLatin1(rest, restSize);
    default: {
        QString text;
        for (int i = 0; i < restSize; ++i) {
            const auto byte = uint8_t(rest[i]);
            if (byte < 0x80)
                text.append(QLatin1Char(char(byte)));
            else
                text.append(QChar(awkwardUnits[(byte - 0x80) % std::size(awkwardUnits)]));
        }
        return text;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = textFrom(data, size);
    const QByteArray bytes = plainSendBytes(text);

    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\n')
            FUZZ_CHECK(i > 0 && bytes.at(i - 1) == '\r');
        if (bytes.at(i) == '\r')
            FUZZ_CHECK(i + 1 < bytes.size() && bytes.at(i + 1) == '\n');
    }

    FUZZ_CHECK(QByteArray(bytes).replace('\r', QByteArray())
        == QString(text).remove(QLatin1Char('\r')).toUtf8());
    return 0;
}
