// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

// The document as runs of one colour: "R:text" for red, "B:text" for blue, "-:text" for
// uncoloured; a paragraph break is a line feed in the run it ends.
inline QStringList colouredRuns(const QTextDocument *document)
{
    QStringList runs;
    QString previousTag;
    const auto add = [&](const QString &tag, const QString &text) {
        if (tag == previousTag && !runs.isEmpty())
            runs.last() += text;
        else
            runs << tag + ":" + text;
        previousTag = tag;
    };
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QBrush brush = it.fragment().charFormat().foreground();
            const QString tag = brush.style() == Qt::NoBrush ? "-"
                : brush.color() == QColor(Qt::red)           ? "R"
                : brush.color() == QColor(Qt::blue)          ? "B"
                                                             : "?";
            add(tag, it.fragment().text());
        }
        if (block.next().isValid()) {
            if (runs.isEmpty())
                add("-", "");
            runs.last() += "\n";
        }
    }
    return runs;
}
