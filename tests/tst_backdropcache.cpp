// SPDX-License-Identifier: MIT
#include "backdropcache.h"
#include "dialog.h"

#include <QLCDNumber>
#include <QLinearGradient>
#include <QScrollBar>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtTest>

// Widgets painted over a copy of their backdrop must look exactly as they did without it.
class TestBackdropCache : public QObject
{
    Q_OBJECT

private slots:
    void opaqueOnlyOverAnOpaqueBackdrop_data();
    void opaqueOnlyOverAnOpaqueBackdrop();
    void looksTheSame_data();
    void looksTheSame();
    void takenAgainAfterAResize();
};

void TestBackdropCache::opaqueOnlyOverAnOpaqueBackdrop_data()
{
    QTest::addColumn<QBrush>("windowBrush");
    QTest::addColumn<bool>("opaque");

    QLinearGradient gradient(0, 0, 0, 200);
    gradient.setColorAt(0, Qt::white);
    gradient.setColorAt(1, Qt::darkGreen);
    QTest::newRow("plain colour") << QBrush(QColor(10, 200, 30)) << true;
    QTest::newRow("gradient") << QBrush(gradient) << true;
    QTest::newRow("pattern with gaps") << QBrush(Qt::darkBlue, Qt::Dense4Pattern) << false;
    QTest::newRow("translucent") << QBrush(QColor(10, 200, 30, 128)) << false;
}

void TestBackdropCache::opaqueOnlyOverAnOpaqueBackdrop()
{
    QFETCH(QBrush, windowBrush);
    QFETCH(bool, opaque);

    QWidget window;
    QPalette palette = window.palette();
    palette.setBrush(QPalette::Window, windowBrush);
    window.setPalette(palette);
    auto *counter = new QLCDNumber(6);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(counter);
    window.resize(200, 200);
    new BackdropCache(counter);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(counter->testAttribute(Qt::WA_OpaquePaintEvent), opaque);
    if (opaque) {
        // Still so once any pending work is done.
        QTest::qWait(20);
        QVERIFY(counter->testAttribute(Qt::WA_OpaquePaintEvent));
    }
}

void TestBackdropCache::looksTheSame_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<bool>("gradient");
    QTest::newRow("receive counter") << "counter" << false;
    QTest::newRow("receive box scroll bar") << "scroll bar" << false;
    // Scaled up, a copy taken at 1x and stretched differs from a gradient painted anew.
    QTest::newRow("receive counter over a gradient") << "counter" << true;
}

void TestBackdropCache::looksTheSame()
{
    QFETCH(QString, which);
    QFETCH(bool, gradient);

    Dialog dialog;
    if (gradient) {
        QLinearGradient shade(0, 0, 0, 100);
        shade.setColorAt(0, Qt::white);
        shade.setColorAt(1, Qt::darkGreen);
        shade.setSpread(QGradient::ReflectSpread);
        QPalette palette = dialog.palette();
        palette.setBrush(QPalette::Window, shade);
        dialog.setPalette(palette);
    }
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *box = dialog.findChild<QTextEdit *>("receiverTextCtl");
    box->setPlainText(QString("line\n").repeated(200)); // shows the scroll bar
    QWidget *widget = which == "counter"
        ? static_cast<QWidget *>(dialog.findChild<QLCDNumber *>("receiveCountLCD"))
        : box->verticalScrollBar();
    QVERIFY(widget);
    auto *cache = widget->findChild<BackdropCache *>();
    QVERIFY(cache);
    QTRY_VERIFY(widget->isVisible() && widget->testAttribute(Qt::WA_OpaquePaintEvent));
    const QRect area(widget->mapTo(&dialog, QPoint(0, 0)), widget->size());
    const QImage cached = dialog.grab(area).toImage();
    // The ordinary way: the widgets behind paint first.
    widget->removeEventFilter(cache);
    widget->setAttribute(Qt::WA_OpaquePaintEvent, false);
    const QImage ordinary = dialog.grab(area).toImage();
    QCOMPARE(cached, ordinary);
}

void TestBackdropCache::takenAgainAfterAResize()
{
    Dialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *counter = dialog.findChild<QLCDNumber *>("receiveCountLCD");
    QTRY_VERIFY(counter->testAttribute(Qt::WA_OpaquePaintEvent));
    dialog.resize(dialog.width() + 120, dialog.height() + 60);
    // Until the copy is taken again, the widgets behind are painted the ordinary way.
    QVERIFY(!counter->testAttribute(Qt::WA_OpaquePaintEvent));
    QTRY_VERIFY(counter->testAttribute(Qt::WA_OpaquePaintEvent));
    const QRect area(counter->mapTo(&dialog, QPoint(0, 0)), counter->size());
    const QImage cached = dialog.grab(area).toImage();
    counter->removeEventFilter(counter->findChild<BackdropCache *>());
    counter->setAttribute(Qt::WA_OpaquePaintEvent, false);
    QCOMPARE(cached, dialog.grab(area).toImage());
}

QTEST_MAIN(TestBackdropCache)
#include "tst_backdropcache.moc"
