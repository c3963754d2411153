// SPDX-License-Identifier: MIT
#include "solidbackdrop.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>

SolidBackdrop::SolidBackdrop(QWidget *filled)
    : QObject(filled)
    , widget(filled)
{
    // Any of these can change what lies behind the widget, or where it lies.
    for (QWidget *watched = widget; watched; watched = watched->parentWidget()) {
        watched->installEventFilter(this);
        if (watched->isWindow())
            break;
    }
    QTimer::singleShot(0, this, &SolidBackdrop::refresh);
}

std::optional<QColor> SolidBackdrop::backdropColour(const QWidget *widget)
{
    if (widget->size().isEmpty() || widget->isWindow())
        return std::nullopt;
    QImage backdrop(widget->size(), QImage::Format_ARGB32_Premultiplied);
    backdrop.fill(Qt::transparent);
    QList<QWidget *> ancestors;
    for (QWidget *ancestor = widget->parentWidget(); ancestor;
         ancestor = ancestor->parentWidget()) {
        ancestors.prepend(ancestor);
        if (ancestor->isWindow())
            break;
    }
    {
        QPainter painter(&backdrop);
        // From the window down, each ancestor paints what it shows behind the widget, as
        // it would when the widget is updated, but none of its other children. Only the
        // window fills its background unasked.
        for (QWidget *ancestor : qAsConst(ancestors)) {
            const QRect behind(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
            const QWidget::RenderFlags flags
                = ancestor->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags();
            ancestor->render(&painter, QPoint(0, 0), QRegion(behind), flags);
        }
    }
    const QRgb first = backdrop.pixel(0, 0);
    if (qAlpha(first) != 255)
        return std::nullopt;
    for (int y = 0; y < backdrop.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(backdrop.constScanLine(y));
        for (int x = 0; x < backdrop.width(); ++x) {
            if (line[x] != first)
                return std::nullopt;
        }
    }
    return QColor(first);
}

bool SolidBackdrop::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
        // Later, once layouts have placed everything and not in the middle of an event.
        if (!refreshPending) {
            refreshPending = true;
            QTimer::singleShot(0, this, [this] {
                refreshPending = false;
                refresh();
            });
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void SolidBackdrop::refresh()
{
    const std::optional<QColor> colour = backdropColour(widget);
    if (colour && widget->palette().color(widget->backgroundRole()) != *colour) {
        QPalette palette = widget->palette();
        palette.setColor(widget->backgroundRole(), *colour);
        widget->setPalette(palette);
    }
    widget->setAutoFillBackground(colour.has_value());
}
