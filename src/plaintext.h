// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// The bytes of a plain send: UTF-8, carriage returns dropped, every line feed sent as CR LF.
QByteArray plainSendBytes(const QString &text);

// The send box's text as typed, from its document's raw text: paragraph breaks and the line
// separator that Shift+Enter types become line feeds, but a no-break space stays itself.
QString typedText(const QString &rawDocumentText);

// Text of arrivals in plain form. Keeps a split UTF-8 sequence until the rest of it
// arrives, so the text does not depend on how the port chops the stream, even where the
// bytes are malformed.
class PlainDisplayDecoder
{
public:
    // Carriage returns and zero bytes are left out: the box would otherwise turn a
    // lone CR into a line break and a zero byte into nothing visible.
    QString decode(const QByteArray &bytes);
    // Gives up the first bytes of a character whose rest has not arrived, and starts
    // afresh: when the display turns to hex they are shown with the bytes that follow
    // instead of being lost, or joined to bytes that come much later.
    QByteArray takeUnfinished();
    // The stream has ended: the start of a character cut short is malformed, and shown
    // as such. Starts afresh.
    QString finish();
    void reset();

private:
    // The start of a character whose rest has not arrived.
    QByteArray unfinished;
};
