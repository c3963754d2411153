// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QObject>
#include <optional>

class QWidget;

// A widget that paints only part of itself, such as a counter's digits, has every update
// repaint the widgets behind it first: frames, group boxes, the window. Where those leave
// one plain colour behind it, filling the widget with that colour gives the same pixels
// and spares them the repaint. Anywhere else the widget is left as it was.
class SolidBackdrop : public QObject
{
    Q_OBJECT

public:
    explicit SolidBackdrop(QWidget *widget);

    // The one opaque colour the widget's ancestors paint behind it, if there is one.
    static std::optional<QColor> backdropColour(const QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();

    QWidget *widget;
    bool refreshPending = false;
};
