// SPDX-License-Identifier: MIT
#include "arrivaldisplay.h"
#include "dialog.h"
#include "hextext.h"
#include "textruns.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QGroupBox>
#include <QLCDNumber>
#include <QPaintEvent>
#include <QScrollBar>
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
    void linesStandWhereQtPutsThem_data();
    void linesStandWhereQtPutsThem();
    void textLaidOutLate_data();
    void textLaidOutLate();

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
    // The next timed batch ends inside the second of these; the rest keeps its colour.
    const QString five(1500, 'a'), six(1500, 'b');
    QVERIFY(five.size() < ArrivalDisplay::firstBatchCharacters
        && five.size() + six.size() > ArrivalDisplay::firstBatchCharacters);
    display->add(five, BreakUnit::Character, false);
    display->add(six, BreakUnit::Character, false);
    QTRY_COMPARE(colouredRuns(box->document()),
        (QStringList { "R:one", "B:two\n", "R:three", "B:four", "R:" + five, "B:" + six }));
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

void TestReceiveBox::linesStandWhereQtPutsThem_data()
{
    QTest::addColumn<QString>("text");
    QString latin;
    QString chinese;
    for (int line = 0; line < 300; ++line) {
        latin += QString("%1").arg(line, 59, 10, QLatin1Char('.')) + '\n';
        chinese
            += QString::fromUtf8("数据后添加换行 中文日志 第%1行 ").arg(line).repeated(1 + line % 5)
            + '\n';
    }
    QTest::newRow("Latin lines") << latin;
    QTest::newRow("Chinese lines, some wrapped") << chinese;
    QTest::newRow("hex paragraphs") << hexDisplayText(QByteArray(9000, '\x5a'));
}

// Paragraphs laid out late stand, wrap and scroll exactly as in QTextEdit's own layout.
void TestReceiveBox::linesStandWhereQtPutsThem()
{
    QFETCH(QString, text);
    QTextEdit reference;
    for (QTextEdit *edit : { box, &reference }) {
        edit->resize(500, 300);
        edit->show();
        QVERIFY(QTest::qWaitForWindowExposed(edit));
    }
    display->add(text, BreakUnit::HexGroup, false);
    display->flush();
    reference.setPlainText(box->toPlainText());
    QAbstractTextDocumentLayout *lazy = box->document()->documentLayout();
    QAbstractTextDocumentLayout *qts = reference.document()->documentLayout();
    QCOMPARE(box->document()->blockCount(), reference.document()->blockCount());
    for (QTextBlock ours = box->document()->firstBlock(),
                    theirs = reference.document()->firstBlock();
         ours.isValid(); ours = ours.next(), theirs = theirs.next()) {
        QCOMPARE(lazy->blockBoundingRect(ours), qts->blockBoundingRect(theirs));
        QCOMPARE(ours.layout()->lineCount(), theirs.layout()->lineCount());
    }
    QCOMPARE(lazy->documentSize(), qts->documentSize());
    QTRY_COMPARE(box->verticalScrollBar()->maximum(), reference.verticalScrollBar()->maximum());
}

void TestReceiveBox::textLaidOutLate_data()
{
    // lines: numbered lines of 64 characters in the box; then, with the view at the top,
    // more arrive, or some lines at the top are selected with the mouse and copied.
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("arriving");
    QTest::addColumn<int>("selected");
    QTest::newRow("box scrolled up while text arrives") << 2000 << 100 << 0;
    QTest::newRow("selection and copy of text laid out late") << 15000 << 0 << 3;
    QTest::newRow("scroll range after a trim") << 15600 << 200 << 0;
}

void TestReceiveBox::textLaidOutLate()
{
    QFETCH(int, lines);
    QFETCH(int, arriving);
    QFETCH(int, selected);
    const auto numbered = [](int from, int count) {
        QString text;
        for (int line = from; line < from + count; ++line)
            text += QString("%1").arg(line, 63, 10, QLatin1Char('.')) + '\n';
        return text;
    };
    box->resize(600, 300);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    display->add(numbered(0, lines), BreakUnit::Character, false);
    display->flush();
    QScrollBar *bar = box->verticalScrollBar();
    bar->setValue(0);
    QCoreApplication::processEvents();
    if (arriving > 0) {
        display->add(numbered(lines, arriving), BreakUnit::Character, false);
        display->flush();
        QCoreApplication::processEvents();
        // The view goes to the end, as it always did.
        QTextCursor endOfBox(box->document());
        endOfBox.movePosition(QTextCursor::End);
        QVERIFY(box->viewport()->rect().contains(box->cursorRect(endOfBox)));
    }
    if (selected > 0) {
        const int spacing = box->fontMetrics().lineSpacing();
        QTest::mousePress(box->viewport(), Qt::LeftButton, {}, QPoint(5, 5 + spacing / 2));
        const QPoint end(box->viewport()->width() - 2, 5 + spacing * (selected - 1) + spacing / 2);
        QMouseEvent drag(QEvent::MouseMove, end, box->viewport()->mapToGlobal(end), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(box->viewport(), &drag);
        QTest::mouseRelease(box->viewport(), Qt::LeftButton, {}, end);
        box->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), numbered(0, selected).chopped(1));
    }
    // The estimated scroll range is near the laid-out one, and once all is laid out, exact.
    const int estimated = bar->maximum();
    int height = 0;
    QAbstractTextDocumentLayout *layout = box->document()->documentLayout();
    for (QTextBlock block = box->document()->firstBlock(); block.isValid(); block = block.next())
        height += int(layout->blockBoundingRect(block).height());
    const int laidOut
        = height + 2 * int(box->document()->documentMargin()) - box->viewport()->height();
    QVERIFY2(qAbs(estimated - laidOut) <= laidOut / 100, qPrintable(QString::number(estimated)));
    QTRY_COMPARE(bar->maximum(), laidOut);
}

QTEST_MAIN(TestReceiveBox)
#include "tst_receivebox.moc"
