// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// A QTextEdit lays a whole paragraph out again on every insertion into it, so a stream
// without line breaks (hex form, or a device that never sends one) must be cut up.
constexpr int maxParagraphLength = 4096;

// How much of a stream a cut may not split: one hex group "xx ", or one character.
enum class BreakUnit { Character, HexGroup };

// Returns text with line breaks inserted where a paragraph would otherwise pass
// maxParagraphLength. tailLength is the length of the paragraph that text continues;
// it is updated to the length of the paragraph that the result leaves open.
QString breakLongParagraphs(const QString &text, int &tailLength, BreakUnit unit);

// True for the characters that QTextCursor::insertText turns into a paragraph break.
bool isParagraphBreak(QChar c);
