// SPDX-License-Identifier: MIT
#include "dialog.h"
#include "logcollector.h"
#include "ptypair.h"
#include "textruns.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLCDNumber>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QtTest>

#include <unistd.h>

// The dialog over a real pseudo-terminal pair: the test plays the device on the far end.
class TestSerialIo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void openAndClose();
    void openFailsOnMissingPath();
    void refusedSettingStillOpens();
    void receive_data();
    void receive();
    void receiveModeSwitchKeepsEarlierText();
    void receiveModeSwitchShowsUnfinishedCharacter();
    void unfinishedCharacterShownAtClose_data();
    void unfinishedCharacterShownAtClose();
    void textPendingAtCloseShownAfterIt();
    void streamReadInFewerPieces();
    void send_data();
    void send();
    void hexInputRefused_data();
    void hexInputRefused();
    void farEndVanishes();

private:
    bool openPort();
    void click(const char *name);
    void writeFromDevice(const QByteArray &bytes);
    QByteArray readAtDevice(int expected);
    template <typename T> T *widget(const char *name) { return dialog->findChild<T *>(name); }

    PtyPair *pair = nullptr;
    Dialog *dialog = nullptr;
    QSerialPort *device = nullptr;
    LogCollector *log = nullptr;
};

void TestSerialIo::init()
{
    if (!PtyPair::available())
        QSKIP("socat is not installed: apt-get install socat");
    pair = new PtyPair;
    QVERIFY(pair->start());
    dialog = new Dialog;
    dialog->show();
    // Pseudo-terminals are not enumerated; list this one as a user would pick it.
    auto *portCtrl = widget<QComboBox>("portCtrl");
    portCtrl->addItem(pair->portPath() + "(pty)", pair->portPath());
    portCtrl->setCurrentIndex(portCtrl->count() - 1);
    device = new QSerialPort(pair->peerPath());
    QVERIFY(device->open(QIODevice::ReadWrite));
    log = new LogCollector;
}

void TestSerialIo::cleanup()
{
    delete log;
    log = nullptr;
    delete dialog;
    dialog = nullptr;
    delete device;
    device = nullptr;
    delete pair;
    pair = nullptr;
}

void TestSerialIo::click(const char *name)
{
    QTest::mouseClick(widget<QPushButton>(name), Qt::LeftButton);
}

bool TestSerialIo::openPort()
{
    click("portConnectionButton");
    return widget<QPushButton>("sendButton")->isEnabled();
}

void TestSerialIo::writeFromDevice(const QByteArray &bytes)
{
    QCOMPARE(device->write(bytes), qint64(bytes.size()));
    QVERIFY(device->waitForBytesWritten(2000));
}

QByteArray TestSerialIo::readAtDevice(int expected)
{
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (received.size() < expected && clock.elapsed() < 5000) {
        QCoreApplication::processEvents();
        if (device->waitForReadyRead(20))
            received += device->readAll();
    }
    // Anything beyond what was expected would be a fault too.
    if (device->waitForReadyRead(50))
        received += device->readAll();
    return received;
}

void TestSerialIo::openAndClose()
{
    QVERIFY(openPort());
    const QString opened = QString("Serial Port Opened: \"%1\" , 9600 , QSerialPort::NoParity , "
                                   "QSerialPort::Data8 , QSerialPort::OneStop , "
                                   "QSerialPort::NoFlowControl")
                               .arg(pair->portPath());
    QCOMPARE(log->take(QtDebugMsg), (QStringList { "Open / Close Serial Port", opened }));
    for (const char *name :
        { "portCtrl", "bandrateCtrl", "parityCtrl", "databitCtrl", "stopbitCtrl" })
        QVERIFY(!widget<QComboBox>(name)->isEnabled());
    const QString buttonText = widget<QPushButton>("portConnectionButton")->text();

    click("portConnectionButton");
    QCOMPARE(
        log->take(QtDebugMsg), (QStringList { "Open / Close Serial Port", "Serial Port Closed" }));
    for (const char *name :
        { "portCtrl", "bandrateCtrl", "parityCtrl", "databitCtrl", "stopbitCtrl" })
        QVERIFY(widget<QComboBox>(name)->isEnabled());
    QVERIFY(!widget<QPushButton>("sendButton")->isEnabled());
    QCOMPARE(widget<QPushButton>("portConnectionButton")->text(), buttonText);

    // Settings chosen in the boxes reach the port.
    widget<QComboBox>("bandrateCtrl")->setCurrentIndex(7);
    widget<QComboBox>("stopbitCtrl")->setCurrentIndex(2);
    QVERIFY(openPort());
    QCOMPARE(log->take(QtDebugMsg).last(),
        QString("Serial Port Opened: \"%1\" , 115200 , QSerialPort::NoParity , "
                "QSerialPort::Data8 , QSerialPort::TwoStop , QSerialPort::NoFlowControl")
            .arg(pair->portPath()));
}

void TestSerialIo::openFailsOnMissingPath()
{
    auto *portCtrl = widget<QComboBox>("portCtrl");
    portCtrl->addItem("gone", "/nonexistent/ttyGone");
    portCtrl->setCurrentIndex(portCtrl->count() - 1);
    QVERIFY(!openPort());
    QCOMPARE(log->take(QtDebugMsg),
        (QStringList {
            "Open / Close Serial Port", "Can not Open Serial Port \"/nonexistent/ttyGone\"" }));
    QVERIFY(portCtrl->isEnabled());
    // The next click tries again, now on a port that exists.
    portCtrl->setCurrentIndex(portCtrl->count() - 2);
    QVERIFY(openPort());
}

void TestSerialIo::refusedSettingStillOpens()
{
    widget<QComboBox>("databitCtrl")->setCurrentIndex(1); // a pty has no 6-bit bytes
    QVERIFY(openPort());
    const QStringList warnings = log->take(QtWarningMsg);
    QVERIFY2(warnings.filter("Serial port refused the data bits setting:").size() == 1,
        qPrintable(warnings.join('|')));
    writeFromDevice("still works");
    QTRY_COMPARE(widget<QTextEdit>("receiverTextCtl")->toPlainText(), QString("still works"));
}

void TestSerialIo::receive_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("lineBreaks");
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<QStringList>("runs");
    using Arrivals = QList<QByteArray>;
    QTest::newRow("plain, three arrivals alternate")
        << false << false << Arrivals { "one", "two", "three" }
        << QStringList { "R:one", "B:two", "R:three" };
    QTest::newRow("plain, zero byte left out") << false << false
                                               << Arrivals { QByteArray("AB\x00"
                                                                        "CD",
                                                      5) }
                                               << QStringList { "R:ABCD" };
    QTest::newRow("plain, crlf is one break, lone cr dropped")
        << false << false << Arrivals { "a\r\nb\rc" } << QStringList { "R:a\nbc" };
    QTest::newRow("plain, only carriage returns keep the colour")
        << false << false << Arrivals { "x", "\r\r", "y" } << QStringList { "R:x", "B:y" };
    QTest::newRow("plain, character split over two arrivals")
        << false << false
        << Arrivals { "A\xe4\xb8",
               "\xb2"
               "B" }
        << QStringList { "R:A", QString::fromUtf8("B:串B") };
    QTest::newRow("plain, malformed byte")
        << false << false << Arrivals { "a\xff" } << QStringList { QString("R:a") + QChar(0xfffd) };
    QTest::newRow("plain, line break after each")
        << false << true << Arrivals { "one\n", "two" } << QStringList { "R:one\n\n", "B:two\n" };
    QTest::newRow("hex, no line breaks of its own")
        << true << false << Arrivals { "\r\n", QByteArray("A\x00\xff", 3) }
        << QStringList { "R:0d 0a ", "B:41 00 ff " };
    QTest::newRow("hex, line break after each")
        << true << true << Arrivals { "A", "B" } << QStringList { "R:41 \n", "B:42 \n" };
}

void TestSerialIo::receive()
{
    QFETCH(bool, hex);
    QFETCH(bool, lineBreaks);
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(QStringList, runs);
    if (hex)
        widget<QRadioButton>("displayByHexRadio")->click();
    widget<QCheckBox>("crlfModeCtrl")->setChecked(lineBreaks);
    QVERIFY(openPort());
    log->take();

    int total = 0;
    QStringList lines;
    const auto seen = [&] { return lines += log->take(QtDebugMsg); };
    for (const QByteArray &arrival : arrivals) {
        writeFromDevice(arrival);
        total += arrival.size();
        // Wait until the dialog has read it, so each write is one arrival.
        QTRY_VERIFY(seen().contains(QString("Receive Count:  %1").arg(total)));
    }
    QCOMPARE(lines.size(), 2 * arrivals.size());
    QTRY_COMPARE(colouredRuns(widget<QTextEdit>("receiverTextCtl")->document()), runs);
    QTRY_COMPARE(widget<QLCDNumber>("receiveCountLCD")->intValue(), total);
}

void TestSerialIo::receiveModeSwitchKeepsEarlierText()
{
    QVERIFY(openPort());
    writeFromDevice("AB");
    QTRY_COMPARE(widget<QLCDNumber>("receiveCountLCD")->intValue(), 2);
    log->take();
    widget<QRadioButton>("displayByHexRadio")->click();
    writeFromDevice(QByteArray("\x00\x01", 2));
    QTRY_COMPARE(widget<QLCDNumber>("receiveCountLCD")->intValue(), 4);
    QTRY_COMPARE(colouredRuns(widget<QTextEdit>("receiverTextCtl")->document()),
        (QStringList { "R:AB", "B:00 01 " }));
    const QStringList lines = log->take(QtDebugMsg);
    QCOMPARE(lines,
        (QStringList {
            "Display Mothed:  2", "2  Data Read on Serial Port: \x01", "Receive Count:  4" }));
}

void TestSerialIo::receiveModeSwitchShowsUnfinishedCharacter()
{
    QVERIFY(openPort());
    writeFromDevice("A\xe4");
    QTRY_COMPARE(widget<QLCDNumber>("receiveCountLCD")->intValue(), 2);
    widget<QRadioButton>("displayByHexRadio")->click();
    writeFromDevice("\xb8\xb2");
    QTRY_COMPARE(widget<QLCDNumber>("receiveCountLCD")->intValue(), 4);
    QTRY_COMPARE(colouredRuns(widget<QTextEdit>("receiverTextCtl")->document()),
        (QStringList { "R:A", "B:e4 b8 b2 " }));
    widget<QRadioButton>("displayByPlainRadio")->click();
    writeFromDevice("\xa9z");
    QTRY_COMPARE(widget<QLCDNumber>("receiveCountLCD")->intValue(), 6);
    QTRY_COMPARE(colouredRuns(widget<QTextEdit>("receiverTextCtl")->document()),
        (QStringList { "R:A", "B:e4 b8 b2 ", "R:" + QString(QChar(0xfffd)) + "z" }));
}

void TestSerialIo::unfinishedCharacterShownAtClose_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("lineBreaks");
    QTest::addColumn<QString>("shownAtClose");
    QTest::newRow("plain") << false << false << QString(QChar(0xfffd));
    QTest::newRow("turned to hex") << true << false << "e2 82 ";
    // The arrival that held the character already had its line break.
    QTest::newRow("plain, a line break after each arrival")
        << false << true << QString(QChar(0xfffd)) + "\n";
}

void TestSerialIo::unfinishedCharacterShownAtClose()
{
    QFETCH(bool, hex);
    QFETCH(bool, lineBreaks);
    QFETCH(QString, shownAtClose);
    widget<QCheckBox>("crlfModeCtrl")->setChecked(lineBreaks);
    const QString lineEnd = lineBreaks ? "\n" : "";
    QVERIFY(openPort());
    writeFromDevice("abc\xe2\x82");
    QTRY_COMPARE(widget<QLCDNumber>("receiveCountLCD")->intValue(), 5);
    if (hex)
        widget<QRadioButton>("displayByHexRadio")->click();
    click("portConnectionButton");
    auto *box = widget<QTextEdit>("receiverTextCtl");
    QTRY_COMPARE(
        colouredRuns(box->document()), (QStringList { "R:abc" + lineEnd, "B:" + shownAtClose }));
    // The next connection does not finish the old character.
    widget<QRadioButton>("displayByPlainRadio")->click();
    QVERIFY(openPort());
    writeFromDevice("\xac!");
    QTRY_COMPARE(widget<QLCDNumber>("receiveCountLCD")->intValue(), 7);
    QTRY_COMPARE(
        colouredRuns(box->document()).last(), "R:" + QString(QChar(0xfffd)) + "!" + lineEnd);
}

void TestSerialIo::textPendingAtCloseShownAfterIt()
{
    QString flood;
    for (int line = 0; flood.size() < 300000; ++line)
        flood += QString("%1\n").arg(line, 59, 10, QLatin1Char('.'));
    QVERIFY(openPort());
    device->write(flood.toLatin1());
    const QString counted = QString("Receive Count:  %1").arg(flood.size());
    QElapsedTimer clock;
    clock.start();
    while (!log->take(QtDebugMsg).contains(counted) && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // Every byte is read, but the box shows a flood in batches: the click does not wait for
    // it, yet nothing is lost and a new connection's arrivals come after it.
    auto *box = widget<QTextEdit>("receiverTextCtl");
    click("portConnectionButton");
    QVERIFY(box->document()->characterCount() - 1 < flood.size());
    QVERIFY(openPort());
    writeFromDevice("next");
    QTRY_COMPARE_WITH_TIMEOUT(box->toPlainText(), flood + "next", 10000);
}

// A device that sends a piece every millisecond is read in far fewer pieces, each byte in its
// place. (Pieces sent one at a time, each read before the next, stay arrivals: receive().)
void TestSerialIo::streamReadInFewerPieces()
{
    const int pieces = 300;
    const int gapMs = 1;
    QVERIFY(openPort());
    log->take();
    QByteArray sent;
    QElapsedTimer clock;
    clock.start();
    for (int piece = 0; piece < pieces; ++piece) {
        while (clock.elapsed() < qint64(piece) * gapMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const QByteArray bytes = QByteArray::number(piece).rightJustified(63, '.') + '\n';
        QCOMPARE(::write(device->handle(), bytes.constData(), size_t(bytes.size())),
            ssize_t(bytes.size()));
        sent += bytes;
    }
    auto *box = widget<QTextEdit>("receiverTextCtl");
    QTRY_COMPARE(box->toPlainText(), QString::fromLatin1(sent));
    int arrivals = 0;
    for (const QString &line : log->take(QtDebugMsg))
        arrivals += line.startsWith("Receive Count:");
    QVERIFY2(arrivals < pieces / 3, qPrintable(QString::number(arrivals)));
    // Closed and opened again, perhaps in a pause: the new connection reads at once.
    click("portConnectionButton");
    QVERIFY(openPort());
    writeFromDevice("next");
    QTRY_COMPARE(box->toPlainText(), QString::fromLatin1(sent) + "next");
}

void TestSerialIo::send_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("logged");
    QTest::newRow("plain, two lines") << false << "AT\nOK" << QByteArray("AT\r\nOK")
                                      << "Write Data to Serial Port.[ \"AT\\nOK\" ]";
    QTest::newRow("plain, chinese as utf-8")
        << false << QString::fromUtf8("串口") << QByteArray("串口")
        << "Write Data to Serial Port.[ \"\\xE4\\xB8\\xB2\\xE5\\x8F\\xA3\" ]";
    QTest::newRow("plain, no-break space as typed, shift+enter's line separator a line break")
        << false << QString::fromUtf8("x\u00a0y\u2028z\nw") << QByteArray("x\xc2\xa0y\r\nz\r\nw")
        << "Write Data to Serial Port.[ \"x\\xC2\\xA0y\\nz\\nw\" ]";
    QTest::newRow("hex, pairs with blanks") << true << "41 42\n0d 0A" << QByteArray("AB\r\n")
                                            << "Write Data to Serial Port.[ \"41420d0A\" ]";
    QTest::newRow("hex, no-break space and line separator between pairs")
        << true << QString::fromUtf8("41\u00a042\u20280d") << QByteArray("AB\r")
        << "Write Data to Serial Port.[ \"41420d\" ]";
    QTest::newRow("hex, ideographic and thin spaces between pairs")
        << true << QString::fromUtf8("41\u300042\u200943") << QByteArray("ABC")
        << "Write Data to Serial Port.[ \"414243\" ]";
    QTest::newRow("hex, zero byte")
        << true << "00" << QByteArray(1, '\0') << "Write Data to Serial Port.[ \"00\" ]";
}

void TestSerialIo::send()
{
    QFETCH(bool, hex);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, logged);
    if (hex)
        widget<QRadioButton>("inputByHexStringRadio")->click();
    QVERIFY(openPort());
    log->take();
    widget<QTextEdit>("sendTextCtrl")->setPlainText(text);
    click("sendButton");
    QCOMPARE(readAtDevice(bytes.size()), bytes);
    QCOMPARE(widget<QLCDNumber>("sentLCD")->intValue(), bytes.size());
    QCOMPARE(log->take(QtDebugMsg), QStringList { logged });
    // The box keeps its text, so the same send can be made again.
    click("sendButton");
    QCOMPARE(readAtDevice(bytes.size()), bytes);
    QCOMPARE(widget<QLCDNumber>("sentLCD")->intValue(), 2 * bytes.size());
}

void TestSerialIo::hexInputRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("odd digits") << "123"
                                << "odd number of hex digits";
    QTest::newRow("0x prefix") << "0x41"
                               << "not a hex digit";
    QTest::newRow("letters beyond f") << "zz"
                                      << "not a hex digit";
}

void TestSerialIo::hexInputRefused()
{
    QFETCH(QString, text);
    QFETCH(QString, reason);
    widget<QRadioButton>("inputByHexStringRadio")->click();
    QVERIFY(openPort());
    log->take();
    widget<QTextEdit>("sendTextCtrl")->setPlainText(text);
    click("sendButton");
    QCOMPARE(readAtDevice(0), QByteArray());
    QCOMPARE(widget<QLCDNumber>("sentLCD")->intValue(), 0);
    const QStringList warnings = log->take(QtWarningMsg);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(reason), qPrintable(warnings.first()));
}

void TestSerialIo::farEndVanishes()
{
    QVERIFY(openPort());
    log->take();
    delete device;
    device = nullptr;
    pair->kill();
    QTRY_VERIFY(widget<QPushButton>("sendButton")->isEnabled() == false);
    QTest::qWait(200); // a port left open would keep reporting errors meanwhile
    QVERIFY(!dialog->findChild<QSerialPort *>()->isOpen());
    for (const char *name :
        { "portCtrl", "bandrateCtrl", "parityCtrl", "databitCtrl", "stopbitCtrl" })
        QVERIFY(widget<QComboBox>(name)->isEnabled());
    const QStringList warnings = log->take(QtWarningMsg);
    QCOMPARE(warnings.filter("Serial Port Closed on Error:").size(), 1);
}

QTEST_MAIN(TestSerialIo)
#include "tst_serialio.moc"
