// SPDX-License-Identifier: MIT
#include "dialog.h"
#include "solidbackdrop.h"

#include <QGroupBox>
#include <QLCDNumber>
#include <QLinearGradient>
#include <QVBoxLayout>
#include <QtTest>

// A counter filled with the colour behind it must look exactly as it did unfilled.
class TestSolidBackdrop : public QObject
{
    Q_OBJECT

private slots:
    void fillsOnlyOverOnePlainColour_data();
    void fillsOnlyOverOnePlainColour();
    void receiveCounterLooksTheSame();
};

void TestSolidBackdrop::fillsOnlyOverOnePlainColour_data()
{
    QTest::addColumn<QBrush>("windowBrush");
    QTest::addColumn<bool>("filled");

    QLinearGradient gradient(0, 0, 0, 200);
    gradient.setColorAt(0, Qt::white);
    gradient.setColorAt(1, Qt::darkGreen);
    QTest::newRow("plain colour") << QBrush(QColor(10, 200, 30)) << true;
    QTest::newRow("gradient") << QBrush(gradient) << false;
    QTest::newRow("pattern") << QBrush(Qt::darkBlue, Qt::Dense4Pattern) << false;
}

void TestSolidBackdrop::fillsOnlyOverOnePlainColour()
{
    QFETCH(QBrush, windowBrush);
    QFETCH(bool, filled);

    QWidget window;
    QPalette palette = window.palette();
    palette.setBrush(QPalette::Window, windowBrush);
    window.setPalette(palette);
    auto *counter = new QLCDNumber(6);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(counter);
    window.resize(200, 200);
    new SolidBackdrop(counter);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(counter->autoFillBackground(), filled);
    if (filled)
        QCOMPARE(counter->palette().color(counter->backgroundRole()), windowBrush.color());
}

void TestSolidBackdrop::receiveCounterLooksTheSame()
{
    Dialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *counter = dialog.findChild<QLCDNumber *>("receiveCountLCD");
    QVERIFY(counter);
    counter->display(1234567);
    // The style draws the group box around the counter in one plain colour inside.
    QTRY_VERIFY(counter->autoFillBackground());
    const QRect area(counter->mapTo(&dialog, QPoint(0, 0)), counter->size());
    const QImage filled = dialog.grab(area).toImage();
    counter->setAutoFillBackground(false);
    const QImage unfilled = dialog.grab(area).toImage();
    QCOMPARE(filled, unfilled);
}

QTEST_MAIN(TestSolidBackdrop)
#include "tst_solidbackdrop.moc"
