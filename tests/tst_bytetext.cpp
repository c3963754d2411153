// SPDX-License-Identifier: MIT
#include "counting.h"
#include "hextext.h"
#include "paragraphs.h"
#include "plaintext.h"

#include <QtTest>
#include <limits>

class TestByteText : public QObject
{
    Q_OBJECT

private slots:
    void hexDisplay_data();
    void hexDisplay();
    void hexParse_data();
    void hexParse();
    void plainSend_data();
    void plainSend();
    void plainDecode_data();
    void plainDecode();
    void unfinishedCharacterGivenUp_data();
    void unfinishedCharacterGivenUp();
    void paragraphBreaks_data();
    void paragraphBreaks();
    void saturatingCount_data();
    void saturatingCount();
};

void TestByteText::hexDisplay_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing") << QByteArray() << QString();
    QTest::newRow("cr, letter, ff") << QByteArray("\x0d\x41\xff") << "0d 41 ff ";
    QTest::newRow("zero and line feed") << QByteArray("\x00\x0a", 2) << "00 0a ";
    QTest::newRow("every nibble") << QByteArray::fromHex("0123456789abcdef")
                                  << "01 23 45 67 89 ab cd ef ";
}

void TestByteText::hexDisplay()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(hexDisplayText(bytes), expected);
}

void TestByteText::hexParse_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << "" << true << QByteArray();
    QTest::newRow("only whitespace") << " \t\n " << true << QByteArray();
    QTest::newRow("two pairs with a blank") << "41 42" << true << QByteArray("AB");
    QTest::newRow("two pairs without a blank") << "4142" << true << QByteArray("AB");
    QTest::newRow("either case") << "aB Cd" << true << QByteArray("\xab\xcd");
    QTest::newRow("tabs and line breaks") << "\t41\r\n4\n2 " << true << QByteArray("AB");
    QTest::newRow("zero byte") << "00 ff" << true << QByteArray("\x00\xff", 2);
    QTest::newRow("odd digit count") << "123" << false << QByteArray();
    QTest::newRow("0x prefix") << "0x41" << false << QByteArray();
    QTest::newRow("letters beyond f") << "zz" << false << QByteArray();
    QTest::newRow("sign") << "-1 41" << false << QByteArray();
    QTest::newRow("full-width digit")
        << QString::fromUtf8("\xef\xbc\x91\x31") << false << QByteArray();
}

void TestByteText::hexParse()
{
    QFETCH(QString, input);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, bytes);
    const HexParseResult result = parseHexInput(input);
    QCOMPARE(result.accepted(), accepted);
    QCOMPARE(result.bytes, bytes);
    QCOMPARE(result.refusal.isEmpty(), accepted);
}

void TestByteText::plainSend_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("no line break at the end") << "AT" << QByteArray("AT");
    QTest::newRow("two lines") << "AT\nOK" << QByteArray("AT\r\nOK");
    QTest::newRow("trailing line feed") << "AT\n" << QByteArray("AT\r\n");
    QTest::newRow("carriage returns dropped") << "A\rB\r\n" << QByteArray("AB\r\n");
    QTest::newRow("chinese as utf-8") << QString::fromUtf8("串口") << QByteArray("串口");
    QTest::newRow("beyond the bmp")
        << QString::fromUtf8("\xf0\x9f\x98\x80") << QByteArray("\xf0\x9f\x98\x80");
    QTest::newRow("latin-1 letter") << QString::fromUtf8("é") << QByteArray("\xc3\xa9");
    QTest::newRow("carriage return inside a surrogate pair")
        << QString(QChar(0xd83d)) + "\r" + QChar(0xde00) << QByteArray("\xf0\x9f\x98\x80");
}

void TestByteText::plainSend()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(plainSendBytes(text), bytes);
}

void TestByteText::plainDecode_data()
{
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("ascii") << QList<QByteArray> { "hello" } << QStringList { "hello" };
    QTest::newRow("zero bytes left out, rest kept") << QList<QByteArray> { QByteArray("AB\x00"
                                                                                      "CD",
        5) } << QStringList { "ABCD" };
    QTest::newRow("carriage returns left out")
        << QList<QByteArray> { "a\r\nb\rc" } << QStringList { "a\nbc" };
    QTest::newRow("character split over two arrivals") << QList<QByteArray> { "A\xe4\xb8",
        "\xb2"
        "B" } << QStringList { "A", QString::fromUtf8("串B") };
    QTest::newRow("four-byte character in three pieces, one read empty")
        << QList<QByteArray> { "\xf0", "\x9f\x98", "", "\x80" }
        << QStringList { "", "", "", QString::fromUtf8("\xf0\x9f\x98\x80") };
    QTest::newRow("malformed byte") << QList<QByteArray> { "a\xff"
                                                           "b" }
                                    << QStringList { QString("a") + QChar(0xfffd) + "b" };
    // Malformed sequences give the replacement characters a single read gives them.
    const QString twoReplacements = QString(2, QChar(0xfffd));
    const QString threeReplacements = QString(3, QChar(0xfffd));
    QTest::newRow("surrogate code point a byte at a time") << QList<QByteArray> { "\xed", "\xa0",
        "\x80" } << QStringList { "", "", threeReplacements };
    QTest::newRow("overlong sequence a byte at a time") << QList<QByteArray> { "\xe0", "\x80",
        "\xaf" } << QStringList { "", "", threeReplacements };
    QTest::newRow("beyond U+10FFFF a byte at a time") << QList<QByteArray> { "\xf4", "\x90", "\x80",
        "\x80" } << QStringList { "", "", "", QString(4, QChar(0xfffd)) };
    QTest::newRow("malformed start held, then a new lead byte")
        << QList<QByteArray> { "\xbb\xf4\x9f", "\xf0" }
        << QStringList { QString(QChar(0xfffd)), twoReplacements };
    QTest::newRow("leading byte-order mark kept")
        << QList<QByteArray> { "\xef\xbb\xbfx" } << QStringList { QString(QChar(0xfeff)) + "x" };
}

void TestByteText::plainDecode()
{
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(QStringList, texts);
    PlainDisplayDecoder decoder;
    for (int i = 0; i < arrivals.size(); ++i)
        QCOMPARE(decoder.decode(arrivals.at(i)), texts.at(i));
    decoder.reset();
    QCOMPARE(decoder.decode("\xb2"), QString(QChar(0xfffd)));
}

void TestByteText::unfinishedCharacterGivenUp_data()
{
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<QByteArray>("unfinished");
    QTest::newRow("nothing held") << QList<QByteArray> { "AB" } << QByteArray();
    QTest::newRow("character completed")
        << QList<QByteArray> { "A\xe4", "\xb8\xb2" } << QByteArray();
    QTest::newRow("two of three bytes")
        << QList<QByteArray> { "A\xe4\xb8" } << QByteArray("\xe4\xb8");
    QTest::newRow("three of four bytes over three reads")
        << QList<QByteArray> { "x\xf0", "\x9f", "\x98" } << QByteArray("\xf0\x9f\x98");
    QTest::newRow("held byte after a long read")
        << QList<QByteArray> { QByteArray(100, 'a') + "\xc3" } << QByteArray("\xc3");
    QTest::newRow("malformed lead byte is not held")
        << QList<QByteArray> { "a\xff" } << QByteArray();
}

void TestByteText::unfinishedCharacterGivenUp()
{
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(QByteArray, unfinished);
    PlainDisplayDecoder decoder;
    for (const QByteArray &arrival : arrivals)
        decoder.decode(arrival);
    QCOMPARE(decoder.takeUnfinished(), unfinished);
    QCOMPARE(decoder.takeUnfinished(), QByteArray());
    // What comes later does not join the bytes given up.
    QCOMPARE(decoder.decode("\xa9z"), QString(QChar(0xfffd)) + "z");
}

void TestByteText::paragraphBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tail");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<int>("expectedTail");

    QTest::newRow("short text") << "abc" << 0 << false << 3;
    QTest::newRow("line breaks reset") << QString(5000, 'a') + "\n" + "xy" << 0 << false << 2;
    QTest::newRow("continues a long paragraph") << QString(10, 'a') << 4090 << false << 4;
    QTest::newRow("hex stream") << hexDisplayText(QByteArray(10000, 'A')) << 0 << true
                                << (30000 % 4095);
    QTest::newRow("hex after text") << hexDisplayText("abc") << 4094 << true << 9;
    QTest::newRow("surrogate pair not split")
        << QString(4095, 'a') + QString::fromUtf8("\xf0\x9f\x98\x80") << 0 << false << 2;
}

void TestByteText::paragraphBreaks()
{
    QFETCH(QString, text);
    QFETCH(int, tail);
    QFETCH(bool, hex);
    QFETCH(int, expectedTail);
    int open = tail;
    const QString result
        = breakLongParagraphs(text, open, hex ? BreakUnit::HexGroup : BreakUnit::Character);
    QCOMPARE(open, expectedTail);
    // Everything but the inserted breaks is the text itself, in order.
    const QStringList paragraphs = result.split('\n');
    for (int i = 0; i < paragraphs.size(); ++i) {
        const int limit = i == 0 ? maxParagraphLength - tail : maxParagraphLength;
        QVERIFY2(paragraphs.at(i).size() <= limit, qPrintable(QString::number(i)));
        QVERIFY(paragraphs.at(i).isEmpty() || !paragraphs.at(i).at(0).isLowSurrogate());
        if (hex)
            QCOMPARE(paragraphs.at(i).size() % 3, 0);
    }
    QCOMPARE(QString(result).remove('\n'), QString(text).remove('\n'));
}

void TestByteText::saturatingCount_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<qint64>("amount");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("digits");
    const int max = std::numeric_limits<int>::max();
    QTest::newRow("zero") << 0 << qint64(0) << 0 << 6;
    QTest::newRow("six digits") << 999990 << qint64(9) << 999999 << 6;
    QTest::newRow("seven digits") << 999999 << qint64(1) << 1000000 << 7;
    QTest::newRow("stops at the largest int") << max - 5 << qint64(100) << max << 10;
    QTest::newRow("stays at the largest int") << max << qint64(1) << max << 10;
    QTest::newRow("huge write") << 1 << (qint64(1) << 32) << max << 10;
}

void TestByteText::saturatingCount()
{
    QFETCH(int, total);
    QFETCH(qint64, amount);
    QFETCH(int, expected);
    QFETCH(int, digits);
    const int sum = addSaturating(total, amount);
    QCOMPARE(sum, expected);
    QCOMPARE(lcdDigitsFor(sum), digits);
}

QTEST_APPLESS_MAIN(TestByteText)
#include "tst_bytetext.moc"
