// SPDX-License-Identifier: MIT
#include "arrivaldisplay.h"

#include "backdropcache.h"
#include "counting.h"
#include "lazytextlayout.h"

#include <QLCDNumber>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace {

QTextCharFormat colourFormat(bool red)
{
    QTextCharFormat format;
    format.setForeground(QBrush(red ? Qt::red : Qt::blue, Qt::SolidPattern));
    // Shaping each line with the full OpenType machinery is most of the cost of laying
    // out a stream of plain Latin text; scripts that need shaping still get it.
    format.setFontStyleStrategy(QFont::PreferNoShaping);
    return format;
}

} // namespace

ArrivalDisplay::ArrivalDisplay(QTextEdit *receiveBox, QLCDNumber *receiveCounter, QObject *parent)
    : QObject(parent)
    , box(receiveBox)
    , counter(receiveCounter)
{
    // Nobody can undo into a read-only box, and the undo stack would hold every byte again.
    box->setUndoRedoEnabled(false);
    box->document()->setDocumentLayout(new LazyTextLayout(box->document(), box->viewport()));
    // The window's style sheet leaves the box's viewport to paint its own white background
    // without marking it opaque, so every batch also repainted the group box behind the
    // whole box. Filling it as the background once the sheet is applied says it is opaque.
    box->ensurePolished();
    box->viewport()->setAutoFillBackground(true);
    // The counter and the scroll bar change with every batch; the group box and the box's
    // rounded frame behind them need not be redrawn each time.
    new BackdropCache(counter);
    new BackdropCache(box->verticalScrollBar());
    flushTimer.setSingleShot(true);
    connect(&flushTimer, &QTimer::timeout, this, [this] { insertPending(false); });
}

void ArrivalDisplay::add(const QString &text, BreakUnit unit, bool lineBreak)
{
    if (text.isEmpty() && !lineBreak)
        return;
    const int before = pendingText.size();
    pendingText.append(breakLongParagraphs(text, openParagraphLength, unit));
    if (lineBreak) {
        pendingText.append(QLatin1Char('\n'));
        openParagraphLength = 0;
    }
    const Run run { int(pendingText.size() - before), !lastRed };
    lastRed = run.red;
    pendingCharacters += run.length;
    pending.push_back(run);
    dropOverflowingPending();
    if (!flushTimer.isActive())
        flushTimer.start(flushDelayMs);
}

void ArrivalDisplay::setCount(int newCount)
{
    count = newCount;
    countChanged = true;
    if (!flushTimer.isActive())
        flushTimer.start(flushDelayMs);
}

void ArrivalDisplay::flush()
{
    flushTimer.stop();
    insertPending(true);
}

void ArrivalDisplay::insertPending(bool unbounded)
{
    if (countChanged) {
        showCount(counter, count);
        countChanged = false;
    }
    if (pending.empty())
        return;
    QElapsedTimer clock;
    clock.start();
    // The document does its work when the edit block ends, so the work is bounded by the
    // number of characters, at a cost per character learnt from earlier batches.
    qint64 budget = unbounded ? pendingCharacters : qMin(pendingCharacters, charactersPerFlush);
    const bool trimmed = trimBox(budget);
    // A trim removes half the box at once and may cost as much as a whole batch: it comes out
    // of this batch's time, so that the window still answers within the budget.
    const qint64 trimNanoseconds = clock.nsecsElapsed();
    if (trimmed && !unbounded) {
        const double left = 1.0 - double(trimNanoseconds) / (flushBudgetMs * 1e6);
        budget = qMin(pendingCharacters, qint64(qMax(0.0, left) * double(budget)));
    }
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::End);
    // An edit block makes the document lay out and signal once for all it inserts. But the
    // document gives back the text it trimmed only at the end of an edit, once its buffer is
    // nine tenths full: a large batch in one edit would outgrow the buffer first and double
    // it. Edits of a tenth of the box keep the buffer the size of the box.
    qint64 inserted = 0;
    while (inserted < budget && !pending.empty()) {
        cursor.beginEditBlock();
        const qint64 taken = takePending(cursor, qMin(budget - inserted, charactersPerEdit));
        cursor.endEditBlock();
        if (taken == 0)
            break;
        inserted += taken;
    }
    pendingCharacters -= inserted;
    releaseTakenPending();
    box->moveCursor(QTextCursor::End);
    learnCost(inserted, clock.nsecsElapsed() - trimNanoseconds);
    if (!pending.empty())
        flushTimer.start(catchUpDelayMs); // reading and the user come first
}

// Inserts up to room characters of the pending text at the cursor, in their colours.
qint64 ArrivalDisplay::takePending(QTextCursor &cursor, qint64 room)
{
    qint64 taken = 0;
    while (!pending.empty() && taken < room) {
        Run &run = pending.front();
        int take = int(qMin<qint64>(run.length, room - taken));
        // Never part a surrogate pair, nor take more than the room the box was trimmed to.
        if (take < run.length && pendingText.at(pendingStart + take - 1).isHighSurrogate())
            --take;
        if (take == 0)
            break;
        cursor.insertText(pendingText.mid(pendingStart, take), colourFormat(run.red));
        pendingStart += take;
        run.length -= take;
        if (run.length == 0)
            pending.pop_front();
        taken += take;
    }
    return taken;
}

// Once nothing waits, the buffer is kept for the next arrivals, unless a flood grew it: a
// buffer given back and taken again costs its pages afresh with every batch. A box that stays
// behind moves what still waits to the front, so the buffer stays the size of what waits.
void ArrivalDisplay::releaseTakenPending()
{
    if (!pending.empty())
        pendingText.remove(0, pendingStart);
    else if (pendingText.capacity() > keptPendingCapacity)
        pendingText = QString();
    else
        pendingText.resize(0);
    pendingStart = 0;
}

void ArrivalDisplay::learnCost(qint64 characters, qint64 nanoseconds)
{
    // Small batches say little about the cost per character; they don't steer.
    if (characters < fewestPerFlush)
        return;
    const double affordable
        = double(characters) * flushBudgetMs * 1e6 / qMax<qint64>(nanoseconds, 1);
    const double smoothed = (charactersPerFlush + affordable) / 2;
    // Text that was cheap may be followed by text that is not: grow by doubling at most, but
    // shrink at once.
    charactersPerFlush = qBound(
        fewestPerFlush, qint64(smoothed), qMin<qint64>(2 * charactersPerFlush, maxCharacters));
}

// Text that the box would trim before it was ever shown is not worth inserting.
void ArrivalDisplay::dropOverflowingPending()
{
    if (pendingCharacters <= maxCharacters)
        return;
    box->document()->clear();
    dropPendingThroughParagraph(pendingCharacters - trimmedCharacters);
}

// Drops at least atLeast characters from the front of the pending text and on to the end of
// the paragraph they end in, so that what is left starts a paragraph of its own.
void ArrivalDisplay::dropPendingThroughParagraph(qint64 atLeast)
{
    while (!pending.empty()) {
        Run &oldest = pending.front();
        int end = int(qBound(qint64(1), atLeast, qint64(oldest.length) + 1)) - 1;
        while (end < oldest.length && !isParagraphBreak(pendingText.at(pendingStart + end)))
            ++end;
        const bool breakFound = end < oldest.length;
        const int dropped = breakFound ? end + 1 : oldest.length;
        pendingStart += dropped;
        pendingCharacters -= dropped;
        oldest.length -= dropped;
        if (oldest.length == 0)
            pending.pop_front();
        if (breakFound)
            break;
        atLeast -= dropped;
    }
    releaseTakenPending();
}

int ArrivalDisplay::boxCharacters() const
{
    return box->document()->characterCount() - 1; // less the document's final separator
}

bool ArrivalDisplay::trimBox(qint64 incoming)
{
    const int present = boxCharacters();
    if (present + incoming <= maxCharacters)
        return false;
    QTextDocument *document = box->document();
    const qint64 removeAtLeast = present + incoming - trimmedCharacters;
    if (removeAtLeast <= present) {
        // Remove whole paragraphs: up to the start of the block after the cut point.
        const QTextBlock firstKept = document->findBlock(int(removeAtLeast) - 1).next();
        if (firstKept.isValid()) {
            QTextCursor cursor(document);
            cursor.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            return true;
        }
    }
    // Nothing of the box stays, so the incoming text must not begin with the rest of
    // the paragraph that the box ended in.
    document->clear();
    dropPendingThroughParagraph(qMax<qint64>(0, removeAtLeast - present));
    return true;
}
