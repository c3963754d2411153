// SPDX-License-Identifier: MIT
#include "arrivaldisplay.h"
#include "dialog.h"
#include "hextext.h"
#include "textruns.h"

#include <QGroupBox>
#include <QLCDNumber>
#include <QPaintEvent>
#include <QTextEdit>
#include <QtTest>

// How arrivals land in the receive box when they come faster than it is drawn.
class TestReceiveBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void longHexArrivalIsCutIntoParagraphs();
    void batchedArrivalsKeepTheirColours();
    void boxKeepsTheMostRecentText_data();
    void boxKeepsTheMostRecentText();
    void boundsHoldExactly_data();
    void boundsHoldExactly();
    void counterGrowsDigits_data();
    void counterGrowsDigits();
    void batchRepaintsOnlyTheBox();

private:
    QTextEdit *box = nullptr;
    QLCDNumber *counter = nullptr;
    ArrivalDisplay *display = nullptr;
};

void TestReceiveBox::init()
{
    box = new QTextEdit;
    counter = new QLCDNumber(6);
    display = new ArrivalDisplay(box, counter);
}

void TestReceiveBox::cleanup()
{
    delete display;
    delete counter;
    delete box;
}

void TestReceiveBox::longHexArrivalIsCutIntoParagraphs()
{
    QByteArray bytes(10000, 0);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    display->add(hexDisplayText(bytes), BreakUnit::HexGroup, false);
    display->flush();
    const QString shown = box->toPlainText();
    const QStringList paragraphs = shown.split('\n');
    QCOMPARE(paragraphs.size(), 8); // 30,000 characters in paragraphs of 1,365 groups
    for (const QString &paragraph : paragraphs)
        QVERIFY(paragraph.size() <= maxParagraphLength);
    QCOMPARE(paragraphs.join(QString()), hexDisplayText(bytes));
}

void TestReceiveBox::batchedArrivalsKeepTheirColours()
{
    display->add("one", BreakUnit::Character, false);
    display->add("", BreakUnit::Character, false); // shows nothing, takes no colour
    display->add("two", BreakUnit::Character, true);
    display->add("three", BreakUnit::Character, false);
    QVERIFY(box->toPlainText().isEmpty()); // nothing drawn before the batch is due
    QTRY_COMPARE(colouredRuns(box->document()), (QStringList { "R:one", "B:two\n", "R:three" }));
    display->add("four", BreakUnit::Character, false);
    display->flush();
    QCOMPARE(
        colouredRuns(box->document()), (QStringList { "R:one", "B:two\n", "R:three", "B:four" }));
}

void TestReceiveBox::boxKeepsTheMostRecentText_data()
{
    QTest::addColumn<bool>("lines");
    QTest::addColumn<int>("arrivalSize");
    QTest::addColumn<int>("flushEvery");
    QTest::addColumn<int>("shownFirst");
    QTest::newRow("lines, shown as they arrive") << true << 60000 << 1 << 0;
    QTest::newRow("lines, flood larger than the box in one batch") << true << 60000 << 0 << 0;
    QTest::newRow("lines, one huge arrival") << true << 3000000 << 1 << 0;
    QTest::newRow("no line breaks, in one batch") << false << 1291 << 0 << 0;
    QTest::newRow("no line breaks, shown in batches") << false << 1291 << 100 << 0;
    QTest::newRow("no line breaks, batch larger than what the box keeps")
        << false << 900000 << 1 << 510000;
}

void TestReceiveBox::boxKeepsTheMostRecentText()
{
    QFETCH(bool, lines);
    QFETCH(int, arrivalSize);
    QFETCH(int, flushEvery);
    QFETCH(int, shownFirst);
    // Numbered lines, so any cut shows where it fell; or a stream the box has to cut up.
    QString stream;
    for (int line = 0; stream.size() < 3000000; ++line)
        stream += QString("%1").arg(line, 59, 10, QLatin1Char('.')) + (lines ? "\n" : ".");
    int at = 0;
    if (shownFirst > 0) {
        display->add(stream.left(shownFirst), BreakUnit::Character, false);
        display->flush();
        at = shownFirst;
    }
    for (int count = 1; at < stream.size(); at += arrivalSize, ++count) {
        display->add(stream.mid(at, arrivalSize), BreakUnit::Character, false);
        if (flushEvery > 0 && count % flushEvery == 0)
            display->flush();
    }
    display->flush();
    const QString shown = box->toPlainText();
    QVERIFY(shown.size() <= ArrivalDisplay::maxCharacters);
    QVERIFY(shown.size() >= ArrivalDisplay::trimmedCharacters - maxParagraphLength);
    if (lines) {
        QVERIFY(stream.endsWith(shown));
        QCOMPARE(stream.at(stream.size() - shown.size() - 1), QChar('\n'));
        return;
    }
    // The box broke the stream every 4,096 characters; what it keeps starts at one of those.
    const QStringList paragraphs = shown.split('\n');
    for (int i = 0; i + 1 < paragraphs.size(); ++i)
        QCOMPARE(paragraphs.at(i).size(), maxParagraphLength);
    const QString joined = paragraphs.join(QString());
    QVERIFY(stream.endsWith(joined));
    QCOMPARE((stream.size() - joined.size()) % maxParagraphLength, 0);
}

void TestReceiveBox::boundsHoldExactly_data()
{
    // before: the box's text; arrival: one arrival, shown first in a timed batch or at once.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("arrival");
    QTest::addColumn<bool>("timed");
    QTest::addColumn<QString>("kept");
    const auto lines = [](int width, int count) {
        return (QString(width - 1, QLatin1Char('.')) + '\n').repeated(count);
    };
    // The first timed batch of a new box ends here inside a surrogate pair; box and batch
    // together are exactly what the box may hold.
    const QString emojiLine = 'x' + QString::fromUtf8("\U0001F600").repeated(31) + '\n';
    QTest::newRow("batch cut inside a surrogate pair, box filled exactly")
        << lines(64, (ArrivalDisplay::maxCharacters - ArrivalDisplay::firstBatchCharacters) / 64)
        << "y\n" + emojiLine.repeated(1100) << true << QString();
    QTest::newRow("arrival of the trimmed size after a box that ends a paragraph")
        << lines(100, 6000) << lines(100, ArrivalDisplay::trimmedCharacters / 100) << false
        << lines(100, ArrivalDisplay::trimmedCharacters / 100);
}

void TestReceiveBox::boundsHoldExactly()
{
    QFETCH(QString, before);
    QFETCH(QString, arrival);
    QFETCH(bool, timed);
    QFETCH(QString, kept);
    box->setPlainText(before);
    int largest = 0;
    connect(box->document(), &QTextDocument::contentsChanged,
        [&] { largest = qMax(largest, box->document()->characterCount() - 1); });
    display->add(arrival, BreakUnit::Character, false);
    if (timed)
        QTRY_VERIFY(largest > before.size());
    display->flush();
    QVERIFY2(largest <= ArrivalDisplay::maxCharacters, qPrintable(QString::number(largest)));
    const QString shown = box->toPlainText();
    QVERIFY((before + arrival).endsWith(shown));
    if (!kept.isNull())
        QCOMPARE(shown.size(), kept.size());
}

void TestReceiveBox::counterGrowsDigits_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("digits");
    QTest::newRow("fits six") << 999999 << 6;
    QTest::newRow("seven") << 1000000 << 7;
    QTest::newRow("largest int") << 2147483647 << 10;
}

void TestReceiveBox::counterGrowsDigits()
{
    QFETCH(int, count);
    QFETCH(int, digits);
    display->setCount(count);
    display->flush();
    QCOMPARE(counter->digitCount(), digits);
    QCOMPARE(counter->intValue(), count);
    QVERIFY(!counter->checkOverflow(count));
}

namespace {

// Remembers where a widget was asked to repaint itself.
class PaintRecorder : public QObject
{
public:
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

} // namespace

// The window's style sheet gives the box rounded corners. Unless the box's inside is
// marked opaque, every batch also repaints the group box and window behind it.
void TestReceiveBox::batchRepaintsOnlyTheBox()
{
    Dialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *group = dialog.findChild<QGroupBox *>("groupBox_2");
    auto *receiveBox = dialog.findChild<QTextEdit *>("receiverTextCtl");
    auto *arrivals = dialog.findChild<ArrivalDisplay *>();
    auto *receiveCounter = dialog.findChild<QLCDNumber *>("receiveCountLCD");
    QVERIFY(group && receiveBox && arrivals && receiveCounter);
    QTRY_VERIFY(receiveCounter->testAttribute(Qt::WA_OpaquePaintEvent)); // once laid out
    PaintRecorder recorder;
    group->installEventFilter(&recorder);
    for (int batch = 0; batch < 5; ++batch) {
        for (int line = 0; line < 40; ++line)
            arrivals->add(
                QString("batch %1 line %2").arg(batch).arg(line), BreakUnit::Character, true);
        arrivals->setCount(40 * (batch + 1));
        arrivals->flush();
        QCoreApplication::processEvents();
    }
    QTRY_VERIFY(receiveBox->toPlainText().endsWith("batch 4 line 39\n"));
    QWidget *inside = receiveBox->viewport();
    const QRect insideInGroup(inside->mapTo(group, QPoint(0, 0)), inside->size());
    QVERIFY2(!recorder.painted.intersects(insideInGroup),
        "a batch repainted the group box behind the receive box");
    const QRect counterInGroup(receiveCounter->mapTo(group, QPoint(0, 0)), receiveCounter->size());
    QVERIFY2(!recorder.painted.intersects(counterInGroup),
        "a batch repainted the group box behind the receive counter");
}

QTEST_MAIN(TestReceiveBox)
#include "tst_receivebox.moc"
