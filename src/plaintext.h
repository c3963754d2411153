// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QTextDecoder;

// The bytes of a plain send: UTF-8, carriage returns dropped, every line feed sent as CR LF.
QByteArray plainSendBytes(const QString &text);

// Text of arrivals in plain form. Keeps a split UTF-8 sequence until the rest of it
// arrives, so valid UTF-8 decodes the same however the port chops it.
class PlainDisplayDecoder
{
public:
    PlainDisplayDecoder();
    ~PlainDisplayDecoder();

    // Carriage returns and zero bytes are left out: the box would otherwise turn a
    // lone CR into a line break and a zero byte into nothing visible.
    QString decode(const QByteArray &bytes);
    void reset();

private:
    std::unique_ptr<QTextDecoder> decoder;
};
