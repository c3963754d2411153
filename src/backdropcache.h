// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPixmap>

class QWidget;

// A widget that paints only part of itself (a counter's digits, a scroll bar beside a
// rounded frame) makes each of its updates repaint the widgets behind it first: group
// boxes, frames, the window. This keeps a copy of what they paint behind the widget,
// paints it as the widget's background and marks the widget opaque, so an update repaints
// the widget alone, with the same pixels. When the widget or anything behind it changes
// size, place, palette, style or state, the copy is dropped and taken again; until then
// the widget is painted the ordinary way.
class BackdropCache : public QObject
{
    Q_OBJECT

public:
    explicit BackdropCache(QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void invalidate();
    void refresh();
    void watchAncestors();

    QWidget *widget;
    QPixmap copy;
    bool refreshPending = false;
};
