// SPDX-License-Identifier: MIT
#include "arrivaldisplay.h"

#include "counting.h"

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
    flushTimer.setSingleShot(true);
    connect(&flushTimer, &QTimer::timeout, this, [this] {
        QElapsedTimer clock;
        clock.start();
        insertPending(clock, false);
    });
}

void ArrivalDisplay::add(const QString &text, BreakUnit unit, bool lineBreak)
{
    if (text.isEmpty() && !lineBreak)
        return;
    Segment segment { breakLongParagraphs(text, openParagraphLength, unit), !lastRed };
    lastRed = segment.red;
    if (lineBreak) {
        segment.text.append(QLatin1Char('\n'));
        openParagraphLength = 0;
    }
    pendingCharacters += segment.text.size();
    pending.push_back(std::move(segment));
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
    insertPending(QElapsedTimer(), true);
}

void ArrivalDisplay::insertPending(const QElapsedTimer &clock, bool unbounded)
{
    if (countChanged) {
        showCount(counter, count);
        countChanged = false;
    }
    if (pending.empty())
        return;
    trimBox(pendingCharacters);
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::End);
    // One edit block makes the document lay out and signal once for the whole batch.
    cursor.beginEditBlock();
    while (!pending.empty()) {
        Segment &segment = pending.front();
        cursor.insertText(segment.text, colourFormat(segment.red));
        pendingCharacters -= segment.text.size();
        pending.pop_front();
        if (!unbounded && clock.elapsed() >= flushBudgetMs)
            break;
    }
    cursor.endEditBlock();
    box->moveCursor(QTextCursor::End);
    if (!pending.empty())
        flushTimer.start(0); // let input and painting in before the rest
}

// Text that the box would trim before it was ever shown is not worth inserting.
void ArrivalDisplay::dropOverflowingPending()
{
    if (pendingCharacters <= maxCharacters)
        return;
    box->clear();
    while (pendingCharacters - pending.front().text.size() >= trimmedCharacters) {
        pendingCharacters -= pending.front().text.size();
        pending.pop_front();
    }
    // Cut the oldest kept segment at a paragraph boundary, like a trim of the box.
    Segment &oldest = pending.front();
    const qint64 excess = pendingCharacters - trimmedCharacters;
    if (excess > 0) {
        int cut = oldest.text.indexOf(QLatin1Char('\n'), int(excess) - 1);
        cut = cut < 0 ? oldest.text.size() : cut + 1;
        oldest.text.remove(0, cut);
        pendingCharacters -= cut;
    }
}

int ArrivalDisplay::boxCharacters() const
{
    return box->document()->characterCount() - 1; // less the document's final separator
}

void ArrivalDisplay::trimBox(qint64 incoming)
{
    const int present = boxCharacters();
    if (present + incoming <= maxCharacters)
        return;
    QTextDocument *document = box->document();
    const qint64 removeAtLeast = present + incoming - trimmedCharacters;
    QTextCursor cursor(document);
    if (removeAtLeast >= present) {
        document->clear();
        return;
    }
    // Remove whole paragraphs: up to the start of the block after the cut point.
    const QTextBlock cutBlock = document->findBlock(int(removeAtLeast) - 1);
    const QTextBlock firstKept = cutBlock.next();
    if (!firstKept.isValid()) {
        document->clear();
        return;
    }
    cursor.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}
