// SPDX-License-Identifier: MIT
#include "arrivaldisplay.h"
#include "logcollector.h"
#include "paragraphs.h"
#include "reliability.h"

#include <QClipboard>
#include <QLCDNumber>
#include <QRadioButton>
#include <QTextEdit>
#include <QtTest>
#include <random>

// Input no one should send and floods no device should produce: refused or sent whole,
// shown by the rules of each display form, and counted to the byte.
class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void hugeHexInputRefused_data();
    void hugeHexInputRefused();
    void hugePastedInputSentWhole_data();
    void hugePastedInputSentWhole();
    void receivedFlood_data();
    void receivedFlood();

private:
    std::unique_ptr<PtyRig> rig;
    LogCollector *log = nullptr;
};

namespace {

constexpr int mebibyte = 1 << 20;

// Text as it comes from a file: lines of width characters.
QString inLines(const QString &text, int width = 64)
{
    QString lines;
    lines.reserve(text.size() + text.size() / width + 1);
    for (int i = 0; i < text.size(); i += width)
        lines += text.mid(i, width) + '\n';
    return lines;
}

QString randomCharacters(int count, const QString &from)
{
    std::mt19937 random(11);
    QString text(count, Qt::Uninitialized);
    for (QChar &c : text)
        c = from.at(int(random() % from.size()));
    return text;
}

QString hexGroups(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ') + ' ');
}

} // namespace

void TestBadInput::initTestCase()
{
    if (!PtyPair::available())
        QSKIP("socat is not installed: apt-get install socat");
}

void TestBadInput::init()
{
    rig = std::make_unique<PtyRig>();
    QVERIFY(rig->start());
    log = new LogCollector;
}

void TestBadInput::cleanup()
{
    delete log;
    log = nullptr;
    rig.reset();
}

void TestBadInput::hugeHexInputRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    const QString hexDigits = "0123456789abcdefABCDEF";
    const QString printable = [] {
        QString all;
        for (char c = ' '; c <= '~'; ++c)
            all += QLatin1Char(c);
        return all;
    }();
    QTest::newRow("random printable characters")
        << inLines(randomCharacters(mebibyte, printable)) << "not a hex digit";
    QTest::newRow("random characters from all over Unicode") << inLines(
        randomCharacters(mebibyte, randomCharacters(4096, [] {
            QString bmp;
            for (int u = 0x20; u < 0xd800; u += 37)
                bmp += QChar(u);
            return bmp;
        }()))) << "not a hex digit";
    QTest::newRow("hex digits with one stray letter at the very end")
        << inLines(randomCharacters(mebibyte, hexDigits) + 'g') << "not a hex digit at position";
    QTest::newRow("hex digits, one short of a whole byte")
        << inLines(randomCharacters(mebibyte - 1, hexDigits)) << "odd number of hex digits";
}

void TestBadInput::hugeHexInputRefused()
{
    QFETCH(QString, text);
    QFETCH(QString, reason);
    rig->window.widget<QRadioButton>("inputByHexStringRadio")->click();
    rig->window.clickConnection();
    QVERIFY(rig->window.looksOpen());
    rig->device.startReading(16);
    auto *sendText = rig->window.widget<QTextEdit>("sendTextCtrl");
    auto *sentLCD = rig->window.widget<QLCDNumber>("sentLCD");
    // Something sent first, so that an unchanged count means more than a zero.
    sendText->setPlainText("41");
    rig->window.widget<QPushButton>("sendButton")->click();
    QVERIFY(rig->device.receiveAtLeast(1, 5000));
    QCOMPARE(sentLCD->intValue(), 1);
    log->take();

    sendText->setPlainText(text);
    rig->window.widget<QPushButton>("sendButton")->click();
    runEventsUntil([] { return false; }, 200);
    QCOMPARE(rig->device.receivedCount(), qint64(1));
    QCOMPARE(sentLCD->intValue(), 1);
    const QStringList warnings = log->take(QtWarningMsg).filter("Hex input not sent:");
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(reason), qPrintable(warnings.first()));
    QCOMPARE(log->take(QtDebugMsg).filter("Write Data"), QStringList());
    QVERIFY(rig->window.looksOpen());
}

void TestBadInput::hugePastedInputSentWhole_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    const int size = 10 * mebibyte;
    const QString ascii = inLines(randomCharacters(size * 63 / 64, "abcdefghij 0123456789"), 63);
    QTest::newRow("ASCII lines") << false << ascii
                                 << QByteArray(ascii.toLatin1()).replace("\n", "\r\n");
    const QString chinese = inLines(
        randomCharacters(size / 3 * 20 / 21, QString::fromUtf8("串口调试助手数据发送接收")), 20);
    QTest::newRow("Chinese lines") << false << chinese << chinese.toUtf8().replace("\n", "\r\n");
    // Pasted from a file with CR LF line ends: one CR LF each on the wire, never CR CR LF.
    QTest::newRow("lines pasted with CR LF ends")
        << false << QString(ascii).replace("\n", "\r\n")
        << QByteArray(ascii.toLatin1()).replace("\n", "\r\n");
    // A dump copied as one line, and a blob without a line break.
    const QString digits = randomCharacters(10000000, "0123456789abcdefABCDEF");
    QTest::newRow("hex digits on one line")
        << true << digits << QByteArray::fromHex(digits.toLatin1());
    const QString line = randomCharacters(size, "abcdefghij 0123456789");
    QTest::newRow("text on one line") << false << line << line.toLatin1();
}

void TestBadInput::hugePastedInputSentWhole()
{
    QFETCH(bool, hex);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    if (hex)
        rig->window.widget<QRadioButton>("inputByHexStringRadio")->click();
    rig->window.clickConnection();
    QVERIFY(rig->window.looksOpen());
    rig->device.startReading(0);
    log->take();
    QGuiApplication::clipboard()->setText(text);
    rig->window.widget<QTextEdit>("sendTextCtrl")->paste();
    rig->window.widget<QPushButton>("sendButton")->click();
    // Counted at once: the port took the whole send in one write.
    QCOMPARE(rig->window.widget<QLCDNumber>("sentLCD")->intValue(), bytes.size());
    QCOMPARE(log->take(QtDebugMsg).filter("Write Data to Serial Port.[").size(), 1);
    QVERIFY(rig->device.receiveAtLeast(bytes.size(), 60000));
    rig->device.stopReading();
    QCOMPARE(rig->device.receivedCount(), qint64(bytes.size()));
    QCOMPARE(rig->device.receivedHash().toHex(),
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
    QCOMPARE(QStringList(log->take(QtWarningMsg).filter("serial port", Qt::CaseInsensitive)),
        QStringList());
}

void TestBadInput::receivedFlood_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    const QByteArray zeros(mebibyte, '\0');
    const QByteArray carriageReturns = QByteArray("line\r").repeated(mebibyte / 5);
    const QByteArray invalid = QByteArray("\xc3(").repeated(mebibyte / 2);
    const QByteArray ff(mebibyte, '\xff');
    const QString replacement(QChar(0xfffd));
    QTest::newRow("plain, zero bytes") << false << "begin" + zeros + "end"
                                       << "beginend";
    QTest::newRow("plain, lone carriage returns")
        << false << carriageReturns << QString("line").repeated(mebibyte / 5);
    QTest::newRow("plain, invalid UTF-8")
        << false << invalid << QString(replacement + "(").repeated(mebibyte / 2);
    QTest::newRow("plain, 0xff bytes") << false << ff << replacement.repeated(mebibyte);
    QTest::newRow("hex, zero bytes") << true << zeros << hexGroups(zeros);
    QTest::newRow("hex, lone carriage returns")
        << true << carriageReturns << hexGroups(carriageReturns);
    QTest::newRow("hex, invalid UTF-8") << true << invalid << hexGroups(invalid);
    QTest::newRow("hex, 0xff bytes") << true << ff << hexGroups(ff);
}

void TestBadInput::receivedFlood()
{
    QFETCH(bool, hex);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    if (hex)
        rig->window.widget<QRadioButton>("displayByHexRadio")->click();
    rig->window.clickConnection();
    QVERIFY(rig->window.looksOpen());
    log->take();
    rig->device.startWriting([&bytes, offset = 0]() mutable {
        const QByteArray block = bytes.mid(offset, 65536);
        offset += block.size();
        return block;
    });
    const QString counted = QString("Receive Count:  %1").arg(bytes.size());
    QStringList lines;
    QVERIFY(
        runEventsUntil([&] { return (lines += log->take(QtDebugMsg)).contains(counted); }, 60000));
    rig->device.stopWriting();
    runEventsUntil([] { return false; }, 100); // and nothing after it
    rig->window.clickConnection();
    QVERIFY(runEventsUntilBoxSettles(rig->window.widget<QTextEdit>("receiverTextCtl")));
    lines += log->take(QtDebugMsg);
    QCOMPARE(lines.filter("Receive Count:").last(), counted);
    QCOMPARE(rig->window.widget<QLCDNumber>("receiveCountLCD")->intValue(), bytes.size());

    const QString box = rig->window.widget<QTextEdit>("receiverTextCtl")->toPlainText();
    const QString expected
        = withParagraphLimit(shown, hex ? maxParagraphLength / 3 * 3 : maxParagraphLength);
    QVERIFY(box.size() <= ArrivalDisplay::maxCharacters);
    QVERIFY2(box.size()
            >= qMin(expected.size(), ArrivalDisplay::trimmedCharacters - maxParagraphLength - 1),
        qPrintable(QString("box holds %1 characters").arg(box.size())));
    const QString mismatch = tailMismatch(box, expected);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
