// SPDX-License-Identifier: MIT
// Feeds a stream of arrivals through the paragraph breaker the way the receive box does,
// carrying the open paragraph's length from one arrival to the next, and checks that no
// paragraph outgrows the limit, that only needed line feeds are added, and that they never
// land inside a hex group or a surrogate pair.
#include "fuzzcheck.h"
#include "hextext.h"
#include "paragraphs.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <iterator>

namespace {

// Keeps one input's work small enough for thousands of runs a second.
constexpr int streamBudget = 6 * maxParagraphLength;

// The characters that QTextCursor::insertText turns into a new block, listed afresh.
bool startsNewParagraph(QChar c)
{
    switch (c.unicode()) {
    case 0x000a: // line feed
    case 0x000d: // carriage return
    case 0x2029: // paragraph separator
    case 0xfdd0: // beginning of a frame
    case 0xfdd1: // end of a frame
        return true;
    default:
        return false;
    }
}

// Plain text made of runs of one character each, so that a few bytes of input reach
// paragraphs longer than the limit. The last choice is a run of surrogate pairs.
QString plainText(FuzzedDataProvider &input, int budget)
{
    static const ushort units[]
        = { 'a', 0x00e9, 0x2028, '\t', 0x0000, '\n', '\r', 0x2029, 0xfdd0, 0xfdd1, 0xd83d, 0xde00 };
    const int choices = int(std::size(units)) + 1;
    QString text;
    const int runs = input.ConsumeIntegralInRange<int>(0, 6);
    for (int run = 0; run < runs && text.size() < budget; ++run) {
        const int choice = input.ConsumeIntegralInRange<int>(0, choices - 1);
        const int count = input.ConsumeIntegralInRange<int>(0, maxParagraphLength + 3);
        if (choice == choices - 1)
            text += QString::fromUtf8("\xf0\x9f\x98\x80").repeated(count);
        else
            text += QString(count, QChar(units[choice]));
    }
    return text.left(budget);
}

int unitWidth(const QString &text, int at, BreakUnit unit)
{
    if (unit == BreakUnit::HexGroup)
        return qMin(3, text.size() - at);
    if (at + 1 < text.size() && text.at(at).isHighSurrogate() && text.at(at + 1).isLowSurrogate())
        return 2;
    return 1;
}

// tailBefore is the open paragraph that text continues, tailAfter what the call reported.
// Hex steps skip over whatever is inside a group, so for text that is not made of whole
// groups (which the receive box never passes) they may count a paragraph break as part of
// a paragraph: only the limit and the round trip hold there, not the exact lengths.
void checkBreaks(const QString &text, int tailBefore, BreakUnit unit, bool wholeHexGroups,
    const QString &result, int tailAfter)
{
    const bool exact = unit == BreakUnit::Character || wholeHexGroups;
    int length = tailBefore;
    int matched = 0; // characters of text found in result so far
    for (const QChar c : result) {
        if (matched < text.size() && c == text.at(matched)) {
            ++matched;
            if (startsNewParagraph(c))
                length = 0;
            else
                FUZZ_CHECK(++length <= maxParagraphLength);
            continue;
        }
        // Anything else must be an added line feed, placed where the next unit would not
        // have fitted, and never inside a unit.
        FUZZ_CHECK(c == QLatin1Char('\n'));
        FUZZ_CHECK(matched < text.size());
        if (exact) {
            FUZZ_CHECK(length > 0);
            FUZZ_CHECK(length + unitWidth(text, matched, unit) > maxParagraphLength);
        }
        if (wholeHexGroups)
            FUZZ_CHECK(matched % 3 == 0);
        if (unit == BreakUnit::Character && matched > 0)
            FUZZ_CHECK(
                !(text.at(matched - 1).isHighSurrogate() && text.at(matched).isLowSurrogate()));
        length = 0;
    }
    FUZZ_CHECK(matched == text.size());
    if (exact)
        FUZZ_CHECK(tailAfter == length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    int tail = input.ConsumeIntegralInRange<int>(0, maxParagraphLength);
    int budget = streamBudget;
    while (input.remaining_bytes() > 0 && budget > 0) {
        const bool hex = input.ConsumeBool();
        // Hex arrivals are whole "xx " groups, as the receive box gets them; plain text
        // broken by hex groups is checked for the limits alone.
        const bool groups = hex && input.ConsumeBool();
        QString text;
        if (groups) {
            const int byteCount = input.ConsumeIntegralInRange<int>(0, budget / 3);
            text = hexDisplayText(QByteArray(byteCount, char(input.ConsumeIntegral<uint8_t>())));
        } else {
            text = plainText(input, budget);
        }
        budget -= text.size();

        const BreakUnit unit = hex ? BreakUnit::HexGroup : BreakUnit::Character;
        const int tailBefore = tail;
        const QString result = breakLongParagraphs(text, tail, unit);
        checkBreaks(text, tailBefore, unit, groups, result, tail);

        // The box may end an arrival with a line break of its own.
        if (input.ConsumeBool())
            tail = 0;
    }
    return 0;
}
