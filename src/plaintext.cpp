// SPDX-License-Identifier: MIT
#include "plaintext.h"

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
    // The codec holds back the start of a character cut off by the end of the bytes; it
    // tells how many, and they are the last ones it was given.
    const int held = state->remainingChars;
    unfinished
        = held <= bytes.size() ? bytes.right(held) : unfinished.right(held - bytes.size()) + bytes;
    text.remove(QLatin1Char('\r'));
    text.remove(QChar(0));
    return text;
}

QByteArray PlainDisplayDecoder::takeUnfinished()
{
    if (unfinished.isEmpty())
        return QByteArray();
    const QByteArray taken = unfinished;
    reset();
    return taken;
}

void PlainDisplayDecoder::reset()
{
    // IgnoreHeader keeps a leading byte-order mark as a character instead of eating its bytes.
    state = std::make_unique<QTextCodec::ConverterState>(QTextCodec::IgnoreHeader);
    unfinished.clear();
}
