// SPDX-License-Identifier: MIT
#include "lazytextlayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QWidget>
#include <QtMath>

namespace {

constexpr int notLaidOut = -1; // what a new block's user state is
constexpr int laidOut = 1;
// What the measurements behind the estimates may add up to before the old ones count half,
// so that the estimates follow the text when it changes its kind.
constexpr qreal measuredCharactersLimit = 100000;
QRectF everythingBelow(qreal y)
{
    return QRectF(0, y, 1e9, 1e9);
}

} // namespace

LazyTextLayout::LazyTextLayout(QTextDocument *document, QWidget *shownIn)
    : QAbstractTextDocumentLayout(document)
    , view(shownIn)
{ }

qreal LazyTextLayout::margin() const
{
    return document()->documentMargin();
}

qreal LazyTextLayout::lineWidth() const
{
    return document()->pageSize().width() - 2 * margin();
}

qreal LazyTextLayout::top(const QTextBlock &block) const
{
    return margin() + block.firstLineNumber();
}

int LazyTextLayout::contentHeight() const
{
    return document()->lineCount();
}

QTextBlock LazyTextLayout::blockAt(qreal y) const
{
    const int inContent = qFloor(y - margin());
    if (inContent <= 0)
        return document()->firstBlock();
    if (inContent >= contentHeight())
        return document()->lastBlock();
    return document()->findBlockByLineNumber(inContent);
}

void LazyTextLayout::forget(QTextBlock block)
{
    if (block.userState() == laidOut) {
        block.layout()->clearLayout();
        block.setUserState(notLaidOut);
    }
}

void LazyTextLayout::estimate(QTextBlock block, const QFontMetricsF &metrics)
{
    const qreal fontHeight = metrics.ascent() + metrics.descent();
    const qreal characterWidth
        = measuredCharacters > 0 ? measuredWidth / measuredCharacters : metrics.averageCharWidth();
    const qreal advance = measuredLines > 0 ? measuredAdvance / measuredLines
                                            : qCeil(fontHeight + metrics.leading());
    const qreal lastLineExtra = measuredBlocks > 0
        ? measuredExtra / measuredBlocks
        : fontHeight + qMax<qreal>(0, metrics.leading()) - advance;
    int lines = 1;
    if (wraps())
        lines = qMax(1, qCeil((block.length() - 1) * characterWidth / lineWidth()));
    block.setLineCount(qMax(1, qRound(lines * advance + lastLineExtra)));
}

bool LazyTextLayout::wraps() const
{
    const QTextOption::WrapMode wrap = document()->defaultTextOption().wrapMode();
    return lineWidth() > 0 && wrap != QTextOption::NoWrap && wrap != QTextOption::ManualWrap;
}

bool LazyTextLayout::ensureLaidOut(QTextBlock block)
{
    if (block.userState() == laidOut)
        return false;
    QTextLayout *layout = block.layout();
    QTextOption option = document()->defaultTextOption();
    const qreal width = qMax<qreal>(lineWidth(), 0);
    if (width == 0)
        option.setWrapMode(QTextOption::ManualWrap);
    layout->setTextOption(option);
    layout->beginLayout();
    // Lines stand as far apart as in QTextEdit's own layout, and a paragraph ends at the
    // bottom of its last line.
    int y = 0;
    qreal bottom = 0;
    int lines = 0;
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        bottom = y + line.height();
        const int advance = qCeil(line.ascent() + line.descent() + line.leading());
        y += advance;
        ++lines;
        widest = qMax(widest, line.naturalTextWidth());
        measuredWidth += line.naturalTextWidth();
        measuredCharacters += line.textLength();
        measuredAdvance += advance;
    }
    layout->endLayout();
    block.setUserState(laidOut);
    const int height = qMax(1, qCeil(bottom));
    measuredLines += lines;
    measuredExtra += height - y;
    measuredBlocks += 1;
    if (measuredCharacters > measuredCharactersLimit) {
        for (qreal *measured : { &measuredWidth, &measuredCharacters, &measuredAdvance,
                 &measuredLines, &measuredExtra, &measuredBlocks })
            *measured /= 2;
    }
    if (block.lineCount() == height)
        return false;
    block.setLineCount(height);
    return true;
}

// A view kept at the end shows the end, not a guess of where it is.
void LazyTextLayout::layOutTail()
{
    const int tail = view ? view->height() : 0;
    int height = 0;
    for (QTextBlock block = document()->lastBlock(); block.isValid() && height <= tail;
         block = block.previous()) {
        ensureLaidOut(block);
        height += block.lineCount();
    }
}

void LazyTextLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    Q_UNUSED(charsRemoved)
    QTextDocument *doc = document();
    const int end = doc->characterCount() - 1;
    const QTextBlock first = doc->findBlock(qBound(0, from, end));
    const QTextBlock last = doc->findBlock(qBound(0, from + charsAdded, end));
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        forget(block);
        if (block == last)
            break;
    }
    // The end first, so that what it measures makes the estimates for the rest.
    layOutTail();
    const QFontMetricsF metrics(doc->defaultFont());
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        if (block.userState() != laidOut)
            estimate(block, metrics);
        if (block == last)
            break;
    }
    emit update(everythingBelow(top(first) - margin()));
    reportSize();
}

void LazyTextLayout::laidOutLate(const QTextBlock &block)
{
    emit update(everythingBelow(top(block)));
    if (reportPending)
        return;
    // Not from inside a paint or a hit test: the scroll bar follows once they are done.
    reportPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            reportPending = false;
            reportSize();
        },
        Qt::QueuedConnection);
}

void LazyTextLayout::reportSize()
{
    const QSizeF size = documentSize();
    if (size == reportedSize)
        return;
    reportedSize = size;
    emit documentSizeChanged(size);
}

void LazyTextLayout::draw(QPainter *painter, const PaintContext &context)
{
    const QRectF clip = context.clip.isValid() ? context.clip : QRectF(QPointF(), documentSize());
    const int cursorWidth = property("cursorWidth").isValid() ? property("cursorWidth").toInt() : 1;
    painter->setPen(context.palette.color(QPalette::Text));
    QTextBlock firstChanged;
    for (QTextBlock block = blockAt(clip.top()); block.isValid(); block = block.next()) {
        if (ensureLaidOut(block) && !firstChanged.isValid())
            firstChanged = block;
        const QPointF origin(margin(), top(block));
        if (origin.y() > clip.bottom())
            break;
        const int start = block.position();
        const int end = start + block.length();
        QVector<QTextLayout::FormatRange> selections;
        for (const Selection &selection : context.selections) {
            const int selectedFrom = qMax(selection.cursor.selectionStart(), start);
            const int selectedTo = qMin(selection.cursor.selectionEnd(), end);
            if (selectedFrom >= selectedTo)
                continue;
            QTextLayout::FormatRange range;
            range.start = selectedFrom - start;
            range.length = selectedTo - selectedFrom;
            range.format = selection.format;
            selections.append(range);
        }
        block.layout()->draw(painter, origin, selections, clip);
        if (context.cursorPosition >= start && context.cursorPosition < end)
            block.layout()->drawCursor(
                painter, origin, context.cursorPosition - start, cursorWidth);
    }
    if (firstChanged.isValid())
        laidOutLate(firstChanged);
}

int LazyTextLayout::hitTest(const QPointF &point, Qt::HitTestAccuracy accuracy) const
{
    const QTextBlock block = blockAt(point.y());
    if (!block.isValid())
        return -1;
    auto *self = const_cast<LazyTextLayout *>(this);
    if (self->ensureLaidOut(block))
        self->laidOutLate(block);
    const QPointF inBlock = point - QPointF(margin(), top(block));
    const QTextLayout *layout = block.layout();
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        if (i + 1 < layout->lineCount() && inBlock.y() >= layout->lineAt(i + 1).y())
            continue;
        if (accuracy == Qt::ExactHit
            && (inBlock.x() < line.x() || inBlock.x() > line.x() + line.naturalTextWidth()
                || inBlock.y() < line.y() || inBlock.y() > line.y() + line.height()))
            return -1;
        return block.position() + line.xToCursor(inBlock.x());
    }
    return block.position() + block.length() - 1;
}

int LazyTextLayout::pageCount() const
{
    return 1;
}

QSizeF LazyTextLayout::documentSize() const
{
    const qreal width = document()->pageSize().width();
    return QSizeF(
        wraps() ? width : qMax(width, widest + 2 * margin()), contentHeight() + 2 * margin());
}

QRectF LazyTextLayout::frameBoundingRect(QTextFrame *frame) const
{
    if (frame != document()->rootFrame())
        return QRectF();
    return QRectF(QPointF(), documentSize());
}

QRectF LazyTextLayout::blockBoundingRect(const QTextBlock &block) const
{
    if (!block.isValid())
        return QRectF();
    auto *self = const_cast<LazyTextLayout *>(this);
    if (self->ensureLaidOut(block))
        self->laidOutLate(block);
    return QRectF(margin(), top(block), qMax<qreal>(lineWidth(), 0), block.lineCount());
}
