// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Every byte as two lowercase hex digits and one blank: "0d 41 ff ".
QString hexDisplayText(const QByteArray &bytes);

struct HexParseResult
{
    QByteArray bytes;
    QString refusal; // empty when the input was accepted

    bool accepted() const { return refusal.isEmpty(); }
};

// Characters a hex input may have between its digits: any kind of space or line break.
bool isHexInputBlank(QChar c);

// Blanks anywhere are ignored; anything else that is not a hex digit, or an odd
// number of digits, refuses the whole input so that no guessed bytes reach a device.
HexParseResult parseHexInput(const QString &input);
