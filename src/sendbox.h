// SPDX-License-Identifier: MIT
#pragma once

class QTextEdit;

// A paragraph longer than this may be a pasted dump of hex digits or a blob with no place
// to break a line between words; shorter ones are ordinary text.
constexpr int longParagraphLength = 10000;

// Keeps the send box answering whatever is pasted into it. The box lays out a paragraph as
// a whole, and a long one costs far more than its length:
// - wrapped between words, a paragraph with no place to break costs time in the square of
//   its length (a million hex digits take minutes), so while the box holds a paragraph
//   longer than longParagraphLength, all its lines wrap at the box's edge, inside words too;
// - a paragraph's layout drops its character data after laying out and after each paint,
//   and works it out again for the whole paragraph to place the cursor, twice for every
//   blink of it, so a long paragraph's layout keeps that data.
void keepQuickWithLongParagraphs(QTextEdit *sendBox);
