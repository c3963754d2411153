// SPDX-License-Identifier: MIT
#include "backdropcache.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace {

// What the widget's ancestors paint behind it, or a null image where any of it is not
// opaque.
QImage backdrop(const QWidget *widget)
{
    if (widget->size().isEmpty() || widget->isWindow())
        return QImage();
    // At the screen's scale, or a gradient behind would come out blocky.
    const qreal ratio = widget->devicePixelRatioF();
    QImage image(widget->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QList<QWidget *> ancestors;
    for (QWidget *ancestor = widget->parentWidget(); ancestor;
         ancestor = ancestor->parentWidget()) {
        ancestors.prepend(ancestor);
        if (ancestor->isWindow())
            break;
    }
    {
        QPainter painter(&image);
        // From the window down, each ancestor paints what it shows behind the widget, as
        // it does when the widget is updated, but none of its other children. Only the
        // window fills its background unasked.
        for (QWidget *ancestor : qAsConst(ancestors)) {
            const QRect behind(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
            const QWidget::RenderFlags flags
                = ancestor->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags();
            ancestor->render(&painter, QPoint(0, 0), QRegion(behind), flags);
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                return QImage();
        }
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

BackdropCache::BackdropCache(QWidget *cached)
    : QObject(cached)
    , widget(cached)
{
    watchAncestors();
    invalidate();
}

bool BackdropCache::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Paint:
        if (watched == widget && !copy.isNull()) {
            const QPixmap painted = copy;
            // The window went to a screen of another scale: the widgets behind were left
            // out of this paint, so the old copy stands in once more.
            if (!qFuzzyCompare(painted.devicePixelRatioF(), widget->devicePixelRatioF())) {
                invalidate();
                widget->update();
            }
            QPainter painter(widget);
            painter.drawPixmap(0, 0, painted);
        }
        break;
    case QEvent::Move:
        if (watched != widget->window())
            invalidate();
        break;
    case QEvent::Show:
    case QEvent::Resize:
    case QEvent::ParentChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::ScreenChangeInternal:
    case QEvent::EnabledChange:
    case QEvent::ActivationChange:
    // A style may draw a frame differently while it has the focus or the mouse.
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::Enter:
    case QEvent::Leave:
        invalidate();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void BackdropCache::invalidate()
{
    copy = QPixmap();
    widget->setAttribute(Qt::WA_OpaquePaintEvent, false);
    // Later, once layouts have placed everything and the widgets behind have taken in
    // the change.
    if (!refreshPending) {
        refreshPending = true;
        QTimer::singleShot(0, this, &BackdropCache::refresh);
    }
}

void BackdropCache::refresh()
{
    refreshPending = false;
    watchAncestors();
    const QImage image = backdrop(widget);
    if (image.isNull())
        return;
    copy = QPixmap::fromImage(image);
    widget->setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void BackdropCache::watchAncestors()
{
    // Installing a filter again moves it, so the widgets newly behind after a move to
    // another parent are watched as well.
    for (QWidget *watched = widget; watched; watched = watched->parentWidget()) {
        watched->installEventFilter(this);
        if (watched->isWindow())
            break;
    }
}
