// SPDX-License-Identifier: MIT
#include "paragraphs.h"

bool isParagraphBreak(QChar c)
{
    const ushort u = c.unicode();
    // U+FDD0 and U+FDD1 are the text document's frame markers.
    return u == '\n' || u == '\r' || u == QChar::ParagraphSeparator || u == 0xfdd0 || u == 0xfdd1;
}

QString breakLongParagraphs(const QString &text, int &tailLength, BreakUnit unit)
{
    const int step = unit == BreakUnit::HexGroup ? 3 : 1;
    QString result;
    int copied = 0; // text before this index is already in result
    int length = tailLength;
    for (int i = 0; i < text.size();) {
        if (isParagraphBreak(text.at(i))) {
            length = 0;
            ++i;
            continue;
        }
        int width = step;
        if (unit == BreakUnit::Character && text.at(i).isHighSurrogate() && i + 1 < text.size()
            && text.at(i + 1).isLowSurrogate())
            width = 2;
        width = qMin(width, text.size() - i);
        if (length > 0 && length + width > maxParagraphLength) {
            if (result.isNull())
                result.reserve(text.size() + text.size() / maxParagraphLength + 1);
            result.append(text.constData() + copied, i - copied);
            result.append(QLatin1Char('\n'));
            copied = i;
            length = 0;
        }
        length += width;
        i += width;
    }
    tailLength = length;
    if (result.isNull())
        return text;
    result.append(text.constData() + copied, text.size() - copied);
    return result;
}
