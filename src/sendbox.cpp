// SPDX-License-Identifier: MIT
#include "sendbox.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

namespace {

bool isLong(const QTextBlock &block)
{
    return block.length() - 1 > longParagraphLength; // less the paragraph separator
}

bool hasLongParagraph(const QTextDocument *document, int from, int to)
{
    for (QTextBlock block = document->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next())
        if (isLong(block))
            return true;
    return false;
}

} // namespace

void keepQuickWithLongParagraphs(QTextEdit *sendBox)
{
    const QTextOption::WrapMode usualMode = sendBox->wordWrapMode();
    QTextDocument *document = sendBox->document();
    // The document emits this before it lays the change out, so a long paragraph is never
    // laid out wrapping between words.
    QObject::connect(document, &QTextDocument::contentsChange, sendBox,
        [sendBox, document, usualMode, atEdge = false](int from, int, int added) mutable {
            bool wanted = false;
            for (QTextBlock block = document->findBlock(from);
                 block.isValid() && block.position() <= from + added; block = block.next()) {
                if (isLong(block)) {
                    block.layout()->setCacheEnabled(true);
                    wanted = true;
                }
            }
            // Any change can split or shorten the long paragraph, or remove it.
            if (!wanted && atEdge)
                wanted = hasLongParagraph(document, 0, document->characterCount());
            if (wanted == atEdge)
                return;
            atEdge = wanted;
            sendBox->setWordWrapMode(atEdge ? QTextOption::WrapAnywhere : usualMode);
        });
}
