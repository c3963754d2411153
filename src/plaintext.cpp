// SPDX-License-Identifier: MIT
#include "plaintext.h"

#include <QTextCodec>
#include <QTextDecoder>

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
{
    reset();
}

PlainDisplayDecoder::~PlainDisplayDecoder() = default;

QString PlainDisplayDecoder::decode(const QByteArray &bytes)
{
    // An empty call would make the decoder give up the start of a split character.
    if (bytes.isEmpty())
        return QString();
    QString text = decoder->toUnicode(bytes.constData(), bytes.size());
    text.remove(QLatin1Char('\r'));
    text.remove(QChar(0));
    return text;
}

void PlainDisplayDecoder::reset()
{
    // IgnoreHeader keeps a leading byte-order mark as a character instead of eating its bytes.
    decoder.reset(QTextCodec::codecForName("UTF-8")->makeDecoder(QTextCodec::IgnoreHeader));
}
