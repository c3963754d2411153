// SPDX-License-Identifier: MIT
#include "plaintext.h"

namespace {

bool isContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xc0) == 0x80;
}

// Length of the sequence a lead byte starts, or 0 where the byte cannot start one.
int sequenceLength(char byte)
{
    const auto lead = static_cast<unsigned char>(byte);
    if (lead < 0xc2)
        return lead < 0x80 ? 1 : 0;
    if (lead < 0xe0)
        return 2;
    if (lead < 0xf0)
        return 3;
    return lead < 0xf5 ? 4 : 0;
}

// How many of the last bytes are the start of a character cut off by the end: a lead
// byte and fewer continuation bytes than it needs. Anything else there is malformed
// already and is decoded now.
int unfinishedTail(const char *bytes, int size)
{
    int continuations = 0;
    while (continuations < 3 && continuations < size
        && isContinuation(bytes[size - 1 - continuations]))
        ++continuations;
    if (continuations == size)
        return 0;
    const int needed = sequenceLength(bytes[size - 1 - continuations]);
    return needed > continuations + 1 ? continuations + 1 : 0;
}

// QString::fromUtf8 drops a byte-order mark at the start; on a serial line it is just a
// character that happens to arrive first.
QString decodeKeepingByteOrderMarks(const char *bytes, int size)
{
    static const char mark[] = "\xef\xbb\xbf";
    QString text;
    while (size >= 3 && qstrncmp(bytes, mark, 3) == 0) {
        text.append(QChar(0xfeff));
        bytes += 3;
        size -= 3;
    }
    const QString rest = QString::fromUtf8(bytes, size);
    return text.isEmpty() ? rest : text + rest;
}

} // namespace

QByteArray plainSendBytes(const QString &text)
{
    // Carriage returns go before the encoding, so one between the halves of a surrogate
    // pair cannot turn the pair into two question marks.
    const QByteArray utf8 = QString(text).remove(QLatin1Char('\r')).toUtf8();
    QByteArray bytes;
    bytes.reserve(utf8.size() + utf8.count('\n'));
    for (const char byte : utf8) {
        if (byte == '\n')
            bytes.append('\r');
        bytes.append(byte);
    }
    return bytes;
}

QString typedText(const QString &rawDocumentText)
{
    QString text = rawDocumentText;
    for (QChar &c : text) {
        // U+FDD0 and U+FDD1 are the document's frame markers.
        const ushort u = c.unicode();
        if (u == QChar::ParagraphSeparator || u == QChar::LineSeparator || u == 0xfdd0
            || u == 0xfdd1)
            c = QLatin1Char('\n');
    }
    return text;
}

QString PlainDisplayDecoder::decode(const QByteArray &bytes)
{
    // The held bytes are decoded again together with the new ones, so a malformed sequence
    // that spans reads gives the replacement characters it gives in a single read.
    const QByteArray joined = unfinished.isEmpty() ? bytes : unfinished + bytes;
    const int held = unfinishedTail(joined.constData(), joined.size());
    QString text = decodeKeepingByteOrderMarks(joined.constData(), joined.size() - held);
    unfinished = joined.right(held);
    text.remove(QLatin1Char('\r'));
    text.remove(QChar(0));
    return text;
}

QByteArray PlainDisplayDecoder::takeUnfinished()
{
    const QByteArray taken = unfinished;
    reset();
    return taken;
}

QString PlainDisplayDecoder::finish()
{
    // As when held bytes meet a byte that cannot continue them: one replacement character.
    return takeUnfinished().isEmpty() ? QString() : QString(QChar::ReplacementCharacter);
}

void PlainDisplayDecoder::reset()
{
    unfinished.clear();
}
