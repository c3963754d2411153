// SPDX-License-Identifier: MIT
#include "arrivaldisplay.h"
#include "hextext.h"
#include "textruns.h"

#include <QLCDNumber>
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
    void counterGrowsDigits_data();
    void counterGrowsDigits();

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
    QTest::addColumn<int>("arrivalSize");
    QTest::addColumn<bool>("flushEach");
    QTest::newRow("shown as it arrives") << 60000 << true;
    QTest::newRow("flood larger than the box in one batch") << 60000 << false;
    QTest::newRow("one huge arrival") << 3000000 << true;
}

void TestReceiveBox::boxKeepsTheMostRecentText()
{
    QFETCH(int, arrivalSize);
    QFETCH(bool, flushEach);
    // Numbered 60-character lines, so any cut shows where it fell.
    QString stream;
    for (int line = 0; stream.size() < 3000000; ++line)
        stream += QString("%1").arg(line, 59, 10, QLatin1Char('.')) + "\n";
    for (int at = 0; at < stream.size(); at += arrivalSize) {
        display->add(stream.mid(at, arrivalSize), BreakUnit::Character, false);
        if (flushEach)
            display->flush();
    }
    display->flush();
    const QString shown = box->toPlainText();
    QVERIFY(shown.size() <= ArrivalDisplay::maxCharacters);
    QVERIFY(shown.size() >= ArrivalDisplay::trimmedCharacters - 4096);
    QVERIFY(stream.endsWith(shown));
    QCOMPARE(stream.at(stream.size() - shown.size() - 1), QChar('\n'));
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

QTEST_MAIN(TestReceiveBox)
#include "tst_receivebox.moc"
