// SPDX-License-Identifier: MIT
#include "plaintext.h"

namespace {

constexpr int longestUnfinished = 3; // of a four-byte UTF-8 sequence

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

PlainDisplayDecoder::PlainDisplayDecoder()
    : codec(QTextCodec::codecForName("UTF-8"))
{
    reset();
}

PlainDisplayDecoder::~PlainDisplayDecoder() = default;

QString PlainDisplayDecoder::decode(const QByteArray &bytes)
{
    // An empty call would make the decoder give up the start of a split character.
    if (bytes.isEmpty())
        return QString();
    QString text = codec->toUnicode(bytes.constData(), bytes.size(), state.get());
    recent = bytes.size() >= longestUnfinished ? bytes.right(longestUnfinished)
                                               : (recent + bytes).right(longestUnfinished);
    text.remove(QLatin1Char('\r'));
    text.remove(QChar(0));
    return text;
}

QByteArray PlainDisplayDecoder::takeUnfinished()
{
    // The codec keeps the count of the bytes it holds; they are the last ones it was given.
    const int held = qMin(state->remainingChars, recent.size());
    if (held == 0)
        return QByteArray();
    const QByteArray unfinished = recent.right(held);
    reset();
    return unfinished;
}

void PlainDisplayDecoder::reset()
{
    // IgnoreHeader keeps a leading byte-order mark as a character instead of eating its bytes.
    state = std::make_unique<QTextCodec::ConverterState>(QTextCodec::IgnoreHeader);
    recent.clear();
}
