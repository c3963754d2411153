// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractTextDocumentLayout>
#include <QPointer>

class QFontMetricsF;
class QTextBlock;
class QWidget;

// Lays out a plain document of paragraphs (no tables, frames or images) for a QTextEdit,
// but only the paragraphs that are drawn, hit or asked for, and those at the end, where
// the box is kept. Every other paragraph gets a height estimated from its length, so the
// scroll bar still spans the whole text in proportion; it is laid out when it comes into
// view. QTextEdit's own layout lays out every paragraph the moment it is inserted, which
// costs more than everything else a fast stream does.
//
// Each paragraph's height in pixels is kept in the block's line count, which the document
// sums in its block tree: that gives the top of any paragraph, and the paragraph at any
// height, without a walk over the paragraphs above. A block's user state says whether it
// is laid out at the current width.
class LazyTextLayout : public QAbstractTextDocumentLayout
{
    Q_OBJECT

public:
    // view is the widget the document is shown in: the last of its height of the text is
    // always laid out exactly, so a view kept at the end shows the end.
    LazyTextLayout(QTextDocument *document, QWidget *view);

    void draw(QPainter *painter, const PaintContext &context) override;
    int hitTest(const QPointF &point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override;
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame *frame) const override;
    QRectF blockBoundingRect(const QTextBlock &block) const override;

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    qreal lineWidth() const;
    qreal margin() const;
    bool wraps() const;
    qreal top(const QTextBlock &block) const;
    int contentHeight() const;
    QTextBlock blockAt(qreal y) const;
    void forget(QTextBlock block);
    void estimate(QTextBlock block, const QFontMetricsF &metrics);
    // True when the block's height turned out other than estimated.
    bool ensureLaidOut(QTextBlock block);
    void layOutTail();
    void laidOutLate(const QTextBlock &block);
    void reportSize();

    QPointer<QWidget> view;
    QSizeF reportedSize;
    bool reportPending = false;
    qreal widest = 0;
    // What laid-out lines measured so far, for the estimates.
    qreal measuredWidth = 0;
    qreal measuredCharacters = 0;
    qreal measuredAdvance = 0;
    qreal measuredLines = 0;
    qreal measuredExtra = 0; // below the last line's advance
    qreal measuredBlocks = 0;
};
