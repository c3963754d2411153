// SPDX-License-Identifier: MIT
// A port hands over a stream in pieces of any size; the plain receive text must not depend
// on where the pieces end, and must never carry the CR or NUL that the box mishandles.
#include "fuzzcheck.h"
#include "plaintext.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

namespace {

QString withoutCrAndNul(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QChar(0));
    return text;
}

bool hasCrOrNul(const QString &text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('\r') || c.unicode() == 0)
            return true;
    }
    return false;
}

// Cuts bytes into pieces of the given sizes, taken in turn and over again; pieces of
// size zero are kept, since a read may return nothing.
std::vector<QByteArray> cut(const QByteArray &bytes, const std::vector<int> &sizes)
{
    std::vector<QByteArray> pieces;
    const bool progresses = std::any_of(sizes.begin(), sizes.end(), [](int s) { return s > 0; });
    if (!progresses) {
        pieces.push_back(bytes);
        return pieces;
    }
    int at = 0;
    for (size_t next = 0; at < bytes.size(); ++next) {
        const int size = std::min(sizes[next % sizes.size()], bytes.size() - at);
        pieces.push_back(bytes.mid(at, size));
        at += size;
    }
    return pieces;
}

QString decodeAll(PlainDisplayDecoder &decoder, const std::vector<QByteArray> &pieces)
{
    QString text;
    for (const QByteArray &piece : pieces) {
        const QString part = decoder.decode(piece);
        FUZZ_CHECK(!hasCrOrNul(part));
        text += part;
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The end of the input chooses the piece sizes, the rest is the stream. Small pieces
    // are the interesting ones: they cut through multi-byte sequences.
    FuzzedDataProvider input(data, size);
    std::vector<int> sizes(input.ConsumeIntegralInRange<size_t>(0, 16));
    for (int &pieceSize : sizes)
        pieceSize = input.ConsumeIntegralInRange<int>(0, 9);
    const size_t switchAfter = input.ConsumeIntegralInRange<size_t>(0, 64);
    const std::vector<uint8_t> rest = input.ConsumeRemainingBytes<uint8_t>();
    const QByteArray raw(reinterpret_cast<const char *>(rest.data()), int(rest.size()));

    // Any bytes at all, in any pieces: never a CR or NUL in what is shown, and the very
    // text of decoding them in one go, malformed sequences and the end of the stream included.
    PlainDisplayDecoder decoder;
    PlainDisplayDecoder oneGo;
    QString inPieces = decodeAll(decoder, cut(raw, sizes));
    inPieces += decoder.finish();
    QString inOneGo = oneGo.decode(raw);
    inOneGo += oneGo.finish();
    FUZZ_CHECK(inPieces == inOneGo);

    // Valid UTF-8 decodes the same however it is cut, and as QString::fromUtf8 does.
    const QString unicode = QString::fromUtf8(raw.constData(), raw.size());
    const QByteArray valid = unicode.toUtf8();
    QString expected = withoutCrAndNul(QString::fromUtf8(valid.constData(), valid.size()));
    // QString::fromUtf8 drops a leading byte-order mark; the decoder shows it on purpose,
    // since in a serial stream those bytes are data, not a header.
    if (valid.startsWith("\xef\xbb\xbf"))
        expected.prepend(QChar(0xfeff));

    PlainDisplayDecoder whole;
    FUZZ_CHECK(whole.decode(valid) == expected);

    PlainDisplayDecoder pieces;
    FUZZ_CHECK(decodeAll(pieces, cut(valid, sizes)) == expected);

    // The first decoder may have stopped inside a sequence: a reset forgets it.
    decoder.reset();
    FUZZ_CHECK(decodeAll(decoder, cut(valid, sizes)) == expected);

    // When the display turns to hex after some piece, the text shown so far and the bytes
    // given up are exactly the stream so far: nothing lost, nothing shown twice.
    QByteArray shownAsText = valid;
    shownAsText.replace('\r', QByteArray()).replace('\0', QByteArray());
    const std::vector<QByteArray> parts = cut(shownAsText, sizes);
    const size_t switchPoint = std::min(switchAfter, parts.size());
    PlainDisplayDecoder switched;
    QByteArray soFar;
    const std::vector<QByteArray> before(parts.begin(), parts.begin() + switchPoint);
    for (const QByteArray &part : before)
        soFar += part;
    const QString text = decodeAll(switched, before);
    FUZZ_CHECK(text.toUtf8() + switched.takeUnfinished() == soFar);
    FUZZ_CHECK(switched.takeUnfinished().isEmpty());
    return 0;
}
