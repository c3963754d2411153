// SPDX-License-Identifier: MIT
#include "plaintext.h"

#include <QTextCodec>
#include <QTextDecoder>

QByteArray plainSendBytes(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray bytes;
    bytes.reserve(utf8.size() + utf8.count('\n'));
    for (const char byte : utf8) {
        if (byte == '\r')
            continue;
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
