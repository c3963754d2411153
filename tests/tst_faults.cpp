// SPDX-License-Identifier: MIT
#include "logcollector.h"
#include "ptypair.h"
#include "reliability.h"

#include <QApplication>
#include <QDir>
#include <QLCDNumber>
#include <QSignalSpy>
#include <QTextEdit>
#include <QtTest>
#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <termios.h>

enum class Traffic { Idle, Receiving, Sending };
Q_DECLARE_METATYPE(Traffic)

// Devices that vanish, ports that are busy, windows closed mid-transfer: each time the window
// must end up in a state the user can work from, and the port must be left usable.
class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void farEndVanishes_data();
    void farEndVanishes();
    void openAndCloseRepeatedly();
    void adapterPulledWhileSettingUp_data();
    void adapterPulledWhileSettingUp();
    void portHeldByAnotherProcess_data();
    void portHeldByAnotherProcess();
    void destroyedWhileBusy_data();
    void destroyedWhileBusy();

private:
    bool bytesFlowBothWays(FarEnd &device, const QByteArray &tag);
    QStringList unexpectedWarnings();

    Dialog *dialog = nullptr;
    Window window { nullptr };
    LogCollector *log = nullptr;
    QStringList figures; // reported once the collector no longer swallows them
};

namespace {

// The line settings reach the device through tcsetattr. Counting its calls from zero, the
// one numbered failingTcsetattrCall fails as an adapter pulled out mid-way would (EIO).
int tcsetattrCalls = 0;
int failingTcsetattrCall = 0;

} // namespace

extern "C" int tcsetattr(int fd, int actions, const termios *settings)
{
    using Real = int (*)(int, int, const termios *);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "tcsetattr"));
    if (++tcsetattrCalls == failingTcsetattrCall) {
        errno = EIO;
        return -1;
    }
    return real(fd, actions, settings);
}

namespace {

// Endless random bytes, in blocks the size of a pseudo-terminal's buffer.
std::function<QByteArray()> endlessNoise()
{
    return [] {
        QByteArray block(4096, Qt::Uninitialized);
        for (char &byte : block)
            byte = char(QRandomGenerator::global()->generate());
        return block;
    };
}

// More than a pseudo-terminal pair buffers while nobody reads, so much of it stays queued in
// the port. In lines: the send box lays a single huge paragraph out very slowly.
QString queuedSendText()
{
    return QString(63, 'x').append('\n').repeated(4096);
}

int openDescriptors()
{
    return QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size();
}

QString openedLine(const QString &path)
{
    return QString("Serial Port Opened: \"%1\" , 9600 , QSerialPort::NoParity , "
                   "QSerialPort::Data8 , QSerialPort::OneStop , QSerialPort::NoFlowControl")
        .arg(path);
}

// The helper that holds a port, run as this same program with "--hold-port PATH": it opens
// the port as any Qt program would (exclusive, with a lock file), says "held", echoes what
// arrives, and lets go when its standard input closes.
int holdPort(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(argv[2]));
    if (!port.open(QIODevice::ReadWrite)) {
        printf("failed: %s\n", qPrintable(port.errorString()));
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    for (;;) {
        pollfd input { STDIN_FILENO, POLLIN, 0 };
        if (::poll(&input, 1, 0) > 0)
            return 0;
        if (port.waitForReadyRead(20)) {
            port.write(port.readAll());
            port.waitForBytesWritten(1000);
        }
    }
}

} // namespace

void TestFaults::initTestCase()
{
    if (!PtyPair::available())
        QSKIP("socat is not installed: apt-get install socat");
    qRegisterMetaType<QSerialPort::SerialPortError>();
}

void TestFaults::init()
{
    dialog = new Dialog;
    window.dialog = dialog;
    dialog->show();
    log = new LogCollector;
    figures.clear();
}

void TestFaults::cleanup()
{
    delete dialog;
    dialog = nullptr;
    delete log;
    log = nullptr;
    for (const QString &figure : qAsConst(figures))
        qInfo().noquote() << figure;
}

QStringList TestFaults::unexpectedWarnings()
{
    QStringList warnings;
    for (const QString &line : log->take(QtWarningMsg))
        // Font matching warns once per font and script it finds no tables for, as random
        // bytes bring scripts such as Syriac to the box.
        if (!line.contains("propagateSizeHints") && !line.contains("XDG_RUNTIME_DIR")
            && !line.contains("OpenType support missing"))
            warnings << line;
    return warnings;
}

// The device says something and the window shows it; the window sends and the device gets it.
bool TestFaults::bytesFlowBothWays(FarEnd &device, const QByteArray &tag)
{
    auto *box = window.widget<QTextEdit>("receiverTextCtl");
    box->clear();
    device.startReading(1024);
    device.startWriting([tag, sent = false]() mutable {
        QByteArray block = sent ? QByteArray() : "in:" + tag;
        sent = true;
        return block;
    });
    const bool arrived = runEventsUntil(
        [&] { return box->toPlainText().endsWith(QString::fromLatin1("in:" + tag)); }, 5000);
    device.stopWriting();
    window.widget<QTextEdit>("sendTextCtrl")->setPlainText(QString::fromLatin1("out:" + tag));
    window.widget<QPushButton>("sendButton")->click();
    const bool sent = device.receiveAtLeast(4 + tag.size(), 5000);
    device.stopReading();
    return arrived && sent && device.receivedBytes() == "out:" + tag;
}

void TestFaults::farEndVanishes_data()
{
    QTest::addColumn<Traffic>("traffic");
    QTest::addColumn<int>("rounds");
    QTest::newRow("idle") << Traffic::Idle << 100;
    QTest::newRow("while receiving a flood") << Traffic::Receiving << 100;
    QTest::newRow("while a send is still queued") << Traffic::Sending << 100;
}

void TestFaults::farEndVanishes()
{
    QFETCH(Traffic, traffic);
    QFETCH(int, rounds);
    int mostErrorsAfterClose = 0;
    int mostErrors = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString where = QString("round %1").arg(round);
        PtyPair pair;
        QVERIFY2(pair.start(), qPrintable(where));
        FarEnd device;
        QVERIFY2(device.open(pair.peerPath()), qPrintable(where));
        window.choosePort(pair.portPath());
        window.clickConnection();
        QVERIFY2(window.looksOpen(), qPrintable(where));
        // Every round opens a fresh port after the last one failed under the window.
        QVERIFY2(bytesFlowBothWays(device, where.toLatin1()), qPrintable(where));

        if (traffic == Traffic::Receiving) {
            device.startWriting(endlessNoise());
            QVERIFY2(runEventsUntil([&] { return device.writtenCount() > 65536; }, 5000),
                qPrintable(where));
        } else if (traffic == Traffic::Sending) {
            // Far more than the pair buffers, so most of it is still queued in the port.
            window.widget<QTextEdit>("sendTextCtrl")->setPlainText(queuedSendText());
            window.widget<QPushButton>("sendButton")->click();
            runEventsUntil([] { return false; }, 20);
            QVERIFY2(window.port()->bytesToWrite() > 0, qPrintable(where));
        }
        QVERIFY2(unexpectedWarnings().isEmpty(), qPrintable(where));
        log->take();
        QSignalSpy errors(window.port(), &QSerialPort::errorOccurred);
        pair.kill();
        QVERIFY2(runEventsUntil([&] { return window.looksClosed(); }, 5000), qPrintable(where));
        const int atClose = errors.count();
        runEventsUntil([] { return false; }, 100);
        device.stopWriting();

        // A port left open after its device went away reports errors without end.
        QVERIFY2(!window.port()->isOpen(), qPrintable(where));
        QVERIFY2(errors.count() - atClose < 10,
            qPrintable(QString("%1: %2 errors after the close").arg(where).arg(errors.count())));
        mostErrorsAfterClose = qMax(mostErrorsAfterClose, errors.count() - atClose);
        mostErrors = qMax(mostErrors, errors.count());
        const QStringList warnings = unexpectedWarnings();
        QVERIFY2(
            warnings.size() == 1 && warnings.first().startsWith("Serial Port Closed on Error:"),
            qPrintable(where + ": " + warnings.join('|')));
    }
    figures << QString("far end vanished %1 times; at most %2 port errors in a round, %3 after "
                       "the close")
                   .arg(rounds)
                   .arg(mostErrors)
                   .arg(mostErrorsAfterClose);
}

void TestFaults::openAndCloseRepeatedly()
{
    PtyPair pair;
    QVERIFY(pair.start());
    FarEnd device;
    QVERIFY(device.open(pair.peerPath()));
    window.choosePort(pair.portPath());
    const int descriptors = openDescriptors();
    log->take();
    const int cycles = 1000;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const QString where = QString("cycle %1").arg(cycle);
        window.clickConnection();
        QVERIFY2(window.looksOpen(), qPrintable(where));
        QCOMPARE(log->take(QtDebugMsg),
            (QStringList { "Open / Close Serial Port", openedLine(pair.portPath()) }));
        if (cycle % 100 == 99)
            QVERIFY2(bytesFlowBothWays(device, where.toLatin1()), qPrintable(where));
        log->take(); // the exchange's own lines
        window.clickConnection();
        QVERIFY2(window.looksClosed(), qPrintable(where));
        QCOMPARE(log->take(QtDebugMsg),
            (QStringList { "Open / Close Serial Port", "Serial Port Closed" }));
    }
    QCOMPARE(unexpectedWarnings(), QStringList());
    // A descriptor or lock kept per opening would run out long before a user stopped clicking.
    QCOMPARE(openDescriptors(), descriptors);
    figures << QString("opened and closed %1 times").arg(cycles);
}

void TestFaults::adapterPulledWhileSettingUp_data()
{
    // The open itself makes the first two calls, then each setting one in this order.
    QTest::addColumn<int>("failingCall");
    QTest::newRow("baud rate") << 3;
    QTest::newRow("parity") << 4;
    QTest::newRow("data bits") << 5;
    QTest::newRow("stop bits") << 6;
    QTest::newRow("flow control") << 7;
}

void TestFaults::adapterPulledWhileSettingUp()
{
    QFETCH(int, failingCall);
    PtyPair pair;
    QVERIFY(pair.start());
    window.choosePort(pair.portPath());
    log->take();
    tcsetattrCalls = 0;
    failingTcsetattrCall = failingCall;
    window.clickConnection();
    failingTcsetattrCall = 0;
    QVERIFY(tcsetattrCalls >= failingCall);
    QVERIFY(window.looksClosed());
    QVERIFY(!window.port()->isOpen());
    const QStringList lines = log->take();
    QCOMPARE(lines.filter(QRegularExpression("^D:")), QStringList { "D:Open / Close Serial Port" });
    const QStringList warnings = lines.filter(QRegularExpression("^W:(?!.*propagateSizeHints)"));
    QVERIFY2(warnings.size() == 1 && warnings.first().startsWith("W:Serial Port Closed on Error:"),
        qPrintable(warnings.join('|')));
    // The next click finds the port as usable as ever.
    window.clickConnection();
    QVERIFY(window.looksOpen());
    QCOMPARE(log->take(QtDebugMsg).last(), openedLine(pair.portPath()));
    FarEnd device;
    QVERIFY(device.open(pair.peerPath()));
    QVERIFY(bytesFlowBothWays(device, "after the failure"));
}

void TestFaults::portHeldByAnotherProcess_data()
{
    QTest::addColumn<bool>("holderKilled");
    QTest::newRow("holder lets go") << false;
    QTest::newRow("holder killed, leaving its lock file") << true;
}

void TestFaults::portHeldByAnotherProcess()
{
    QFETCH(bool, holderKilled);
    PtyPair pair;
    QVERIFY(pair.start());
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), { "--hold-port", pair.portPath() });
    QByteArray said;
    QVERIFY2(runEventsUntil(
                 [&] { return (said += holder.readAllStandardOutput()).contains("held"); }, 10000),
        said.constData());
    window.choosePort(pair.portPath());
    auto *portCtrl = window.widget<QComboBox>("portCtrl");
    const int chosen = portCtrl->currentIndex();
    log->take();

    window.clickConnection();
    QCOMPARE(log->take(QtDebugMsg),
        (QStringList { "Open / Close Serial Port",
            QString("Can not Open Serial Port \"%1\"").arg(pair.portPath()) }));
    QVERIFY(window.looksClosed());
    QVERIFY(!window.port()->isOpen());
    QCOMPARE(portCtrl->currentIndex(), chosen);
    QCOMPARE(unexpectedWarnings(), QStringList());
    // The failed attempt took nothing from the holder: it still answers its device.
    FarEnd device;
    QVERIFY(device.open(pair.peerPath()));
    device.startReading(64);
    device.startWriting([sent = false]() mutable {
        QByteArray block = sent ? QByteArray() : "echo";
        sent = true;
        return block;
    });
    QVERIFY(device.receiveAtLeast(4, 5000));
    QCOMPARE(device.receivedBytes(), QByteArray("echo"));
    device.stopWriting();
    device.stopReading();

    if (holderKilled)
        holder.kill();
    else
        holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    window.clickConnection();
    QVERIFY(window.looksOpen());
    QCOMPARE(log->take(QtDebugMsg).last(), openedLine(pair.portPath()));
    QVERIFY(bytesFlowBothWays(device, "after the holder"));
}

void TestFaults::destroyedWhileBusy_data()
{
    QTest::addColumn<Traffic>("traffic");
    QTest::newRow("receiving a flood") << Traffic::Receiving;
    QTest::newRow("with a send still queued") << Traffic::Sending;
}

void TestFaults::destroyedWhileBusy()
{
    QFETCH(Traffic, traffic);
    PtyPair pair;
    QVERIFY(pair.start());
    FarEnd device;
    QVERIFY(device.open(pair.peerPath()));
    window.choosePort(pair.portPath());
    window.clickConnection();
    QVERIFY(window.looksOpen());
    if (traffic == Traffic::Receiving) {
        device.startWriting(endlessNoise());
        QVERIFY(runEventsUntil(
            [&] { return window.widget<QLCDNumber>("receiveCountLCD")->intValue() > 65536; },
            5000));
    } else {
        window.widget<QTextEdit>("sendTextCtrl")->setPlainText(queuedSendText());
        window.widget<QPushButton>("sendButton")->click();
        runEventsUntil([] { return false; }, 20);
        QVERIFY(window.port()->bytesToWrite() > 0);
    }
    delete dialog;
    dialog = nullptr;
    // Events still queued for the window or its port must find nothing dangling.
    runEventsUntil([] { return false; }, 100);
    device.stopWriting();

    // The port was released: another program can open it and talk over it.
    QSerialPort again(pair.portPath());
    QVERIFY2(again.open(QIODevice::ReadWrite), qPrintable(again.errorString()));
    again.clear();
    device.startReading(64);
    QCOMPARE(again.write("again"), qint64(5));
    QVERIFY(again.waitForBytesWritten(2000));
    QVERIFY(device.receiveAtLeast(5, 5000));
    // Whatever the pair still held from before comes first.
    QVERIFY(device.receivedBytes().endsWith("again"));
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--hold-port") == 0)
        return holdPort(argc, argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
