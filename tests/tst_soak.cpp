// SPDX-License-Identifier: MIT
#include "arrivaldisplay.h"
#include "reliability.h"

#include <QApplication>
#include <QLCDNumber>
#include <QRadioButton>
#include <QTextEdit>
#include <QtTest>
#include <deque>
#include <random>

// Long floods through the real window over a pseudo-terminal pair, in both directions: every
// byte counted and delivered, the receive box bounded, and the process not growing with them.
class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void receiveFlood_data();
    void receiveFlood();
    void sendChunks_data();
    void sendChunks();

private:
    bool openPort();

    std::unique_ptr<PtyRig> rig;
};

namespace {

constexpr qint64 mebibyte = 1 << 20;

// SOAK_MB sets how many mebibytes go each way in each form.
qint64 soakBytes()
{
    bool ok = false;
    const int megabytes = qEnvironmentVariableIntValue("SOAK_MB", &ok);
    return (ok && megabytes > 0 ? megabytes : 100) * mebibyte;
}

// What the window logs for every read and every send would be as large as the flood itself;
// it is tallied here instead, and everything else is kept.
struct LogTally
{
    qint64 arrivals = 0;
    qint64 bytesLogged = 0; // sum of the sizes in the read lines
    qint64 lastCount = -1; // from the last "Receive Count:" line
    qint64 countsOutOfStep = 0; // count lines that did not match the reads before them
    qint64 writesLogged = 0;
    QStringList kept;
};
LogTally tally;
QtMessageHandler previousHandler = nullptr;

// Warnings other than the platform plugin's harmless ones.
QStringList unexpectedWarnings()
{
    QStringList warnings;
    for (const QString &line : tally.kept)
        if (line.startsWith("W:") && !line.contains("propagateSizeHints")
            && !line.contains("XDG_RUNTIME_DIR"))
            warnings << line;
    return warnings;
}

void tallyMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QString readLine = QStringLiteral("  Data Read on Serial Port:");
    static const QString countLine = QStringLiteral("Receive Count:  ");
    static const QString writeLine = QStringLiteral("Write Data to Serial Port.[");
    if (type == QtDebugMsg) {
        const int read = message.indexOf(readLine);
        if (read > 0) {
            ++tally.arrivals;
            tally.bytesLogged += message.left(read).toLongLong();
            return;
        }
        if (message.startsWith(countLine)) {
            tally.lastCount = message.mid(countLine.size()).toLongLong();
            if (tally.lastCount != tally.bytesLogged)
                ++tally.countsOutOfStep;
            return;
        }
        if (message.startsWith(writeLine)) {
            ++tally.writesLogged;
            return;
        }
        tally.kept << message;
        return;
    }
    if (type == QtWarningMsg)
        tally.kept << "W:" + message;
    previousHandler(type, context, message);
}

struct Memory
{
    qint64 rssKb = 0;
    qint64 peakKb = 0;
};

Memory processMemory()
{
    QFile status("/proc/self/status");
    Memory memory;
    if (!status.open(QIODevice::ReadOnly))
        return memory;
    for (const QByteArray &line : status.readAll().split('\n')) {
        const auto value = [&] { return line.mid(6).trimmed().split(' ').value(0).toLongLong(); };
        if (line.startsWith("VmRSS:"))
            memory.rssKb = value();
        else if (line.startsWith("VmHWM:"))
            memory.peakKb = value();
    }
    return memory;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

// Far above what the bounded box needs, far below what keeping every byte would take;
// the address sanitizer holds freed memory back for a while, so it gets more.
constexpr qint64 peakCeilingKb = (sanitized ? 1200 : 400) * 1024;

// The longest the event loop went without running a 5 ms timer.
class StallMeter
{
public:
    StallMeter()
    {
        QObject::connect(
            &timer, &QTimer::timeout, [this] { worst = qMax(worst, clock.restart()); });
        clock.start();
        timer.start(5);
    }
    qint64 worstMs() const { return worst; }
    // Leaves out the test's own work between two waits, which no user would see.
    void resume() { clock.restart(); }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 worst = 0;
};

// Plain form: numbered 60-character lines, two of their characters outside ASCII so that
// reads split UTF-8 sequences, ended as a device would end them.
QByteArray textLine(qint64 index)
{
    static const QString alphabet
        = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    QString line = QString("%1 ").arg(index, 9, 10, QLatin1Char('0'));
    for (int i = 0; i < 48; ++i)
        line += alphabet.at((index + i) % alphabet.size());
    line += QString::fromUtf8("串口");
    return line.toUtf8() + "\r\n";
}
const int textLineBytes = textLine(0).size();

// Blocks of random bytes whose sizes are whole paragraphs of hex groups, so that a tail
// of blocks starts a paragraph of the box's hex text.
constexpr int hexGroupsPerParagraph = maxParagraphLength / 3;
constexpr int randomBlockBytes = hexGroupsPerParagraph * 48;

// Feeds the far end and keeps the most recent blocks, from which the box's text follows.
struct FloodSource
{
    FloodSource(bool hexForm, qint64 bytes)
        : hex(hexForm)
        , total(bytes)
    { }

    bool hex;
    qint64 total;
    qint64 offset = 0;
    std::deque<QByteArray> tail;
    std::mt19937 random { 20240601 };

    QByteArray next()
    {
        QByteArray block;
        if (hex) {
            block.resize(int(qMin<qint64>(randomBlockBytes, total - offset)));
            for (char &byte : block)
                byte = char(random() & 0xff);
        } else {
            for (qint64 line = offset / textLineBytes;
                 block.size() < 65536 && offset + block.size() < total; ++line)
                block += textLine(line);
        }
        offset += block.size();
        tail.push_back(block);
        qint64 kept = 0;
        for (const QByteArray &b : tail)
            kept += b.size();
        // Twice what the box can show of either form.
        while (kept - tail.front().size() > 2 * ArrivalDisplay::maxCharacters) {
            kept -= tail.front().size();
            tail.pop_front();
        }
        return block;
    }
    QString expectedText() const
    {
        QByteArray bytes;
        for (const QByteArray &b : tail)
            bytes += b;
        if (hex)
            return withParagraphLimit(
                QString::fromLatin1(bytes.toHex(' ') + ' '), hexGroupsPerParagraph * 3);
        return withParagraphLimit(QString::fromUtf8(bytes).remove('\r'), maxParagraphLength);
    }
};

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / mebibyte, 'f', 1) + " MiB";
}

} // namespace

void TestSoak::initTestCase()
{
    if (!PtyPair::available())
        QSKIP("socat is not installed: apt-get install socat");
    previousHandler = qInstallMessageHandler(&tallyMessage);
    qInfo().noquote() << "soaking with" << megabytes(soakBytes())
                      << "each way (set SOAK_MB to change)";
}

void TestSoak::cleanupTestCase()
{
    if (previousHandler)
        qInstallMessageHandler(previousHandler);
}

void TestSoak::init()
{
    tally = LogTally();
    rig = std::make_unique<PtyRig>();
    QVERIFY(rig->start());
}

void TestSoak::cleanup()
{
    rig.reset();
}

bool TestSoak::openPort()
{
    rig->window.clickConnection();
    return rig->window.looksOpen();
}

void TestSoak::receiveFlood_data()
{
    QTest::addColumn<bool>("hex");
    QTest::newRow("plain, 60-character lines") << false;
    QTest::newRow("hex, random bytes") << true;
}

void TestSoak::receiveFlood()
{
    QFETCH(bool, hex);
    if (hex)
        rig->window.widget<QRadioButton>("displayByHexRadio")->click();
    QVERIFY(openPort());

    FloodSource source(hex, soakBytes());
    if (!hex)
        source.total -= source.total % textLineBytes;
    const qint64 total = source.total;
    const Memory before = processMemory();
    Memory quarter;
    StallMeter stalls;
    QElapsedTimer clock;
    clock.start();
    rig->device.startWriting([&source] { return source.next(); });
    const bool allRead = runEventsUntil(
        [&] {
            if (quarter.rssKb == 0 && tally.bytesLogged >= total / 4)
                quarter = processMemory();
            return tally.bytesLogged >= total && rig->device.writingDone();
        },
        int(60000 + 20 * total / mebibyte * 1000));
    const qint64 elapsed = clock.elapsed();
    rig->device.stopWriting();
    QVERIFY2(allRead,
        qPrintable(QString("read %1 of %2 bytes written").arg(tally.bytesLogged).arg(total)));
    // Nothing beyond what was written turns up either.
    runEventsUntil([] { return false; }, 100);
    rig->window.clickConnection();
    QVERIFY(runEventsUntilBoxSettles(rig->window.widget<QTextEdit>("receiverTextCtl")));
    const Memory after = processMemory();

    qInfo().noquote() << megabytes(total) << (hex ? "hex" : "plain") << "in" << elapsed << "ms,"
                      << tally.arrivals << "reads; worst event-loop stall" << stalls.worstMs()
                      << "ms";
    qInfo().noquote() << "VmRSS kB: before" << before.rssKb << "at a quarter" << quarter.rssKb
                      << "after" << after.rssKb << "; VmHWM" << after.peakKb << "kB";

    QCOMPARE(rig->device.writtenCount(), total);
    QCOMPARE(tally.bytesLogged, total);
    QCOMPARE(tally.lastCount, total);
    QCOMPARE(tally.countsOutOfStep, qint64(0));
    QCOMPARE(qint64(rig->window.widget<QLCDNumber>("receiveCountLCD")->intValue()), total);
    QCOMPARE(unexpectedWarnings(), QStringList());

    const QString box = rig->window.widget<QTextEdit>("receiverTextCtl")->toPlainText();
    const QString expected = source.expectedText();
    QVERIFY(box.size() <= ArrivalDisplay::maxCharacters);
    QVERIFY2(box.size() >= ArrivalDisplay::trimmedCharacters - maxParagraphLength - 1,
        qPrintable(QString("box trimmed to %1 characters").arg(box.size())));
    const QString mismatch = tailMismatch(box, expected);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

    QVERIFY2(after.peakKb < peakCeilingKb,
        qPrintable(QString("peak resident size %1 kB").arg(after.peakKb)));
}

void TestSoak::sendChunks_data()
{
    QTest::addColumn<bool>("hex");
    QTest::newRow("plain input, text lines") << false;
    QTest::newRow("hex input, random bytes") << true;
}

void TestSoak::sendChunks()
{
    QFETCH(bool, hex);
    if (hex)
        rig->window.widget<QRadioButton>("inputByHexStringRadio")->click();
    QVERIFY(openPort());
    rig->device.startReading();

    const int chunks = int(soakBytes() / mebibyte);
    auto *sendText = rig->window.widget<QTextEdit>("sendTextCtrl");
    auto *sendButton = rig->window.widget<QPushButton>("sendButton");
    QCryptographicHash expectedHash(QCryptographicHash::Sha1);
    std::mt19937 random(7);
    qint64 total = 0;
    qint64 line = 0;
    StallMeter stalls;
    QElapsedTimer clock;
    clock.start();
    for (int chunk = 0; chunk < chunks; ++chunk) {
        QString text;
        QByteArray bytes;
        if (hex) {
            bytes.resize(int(mebibyte));
            for (char &byte : bytes)
                byte = char(random() & 0xff);
            // Typed as a user might paste it: groups on lines of sixteen.
            QByteArray typed = bytes.toHex(' ');
            for (int i = 16 * 3 - 1; i < typed.size(); i += 16 * 3)
                typed[i] = '\n';
            text = QString::fromLatin1(typed);
        } else {
            while (bytes.size() < mebibyte) {
                const QByteArray wire = textLine(line++);
                bytes += wire;
                text += QString::fromUtf8(wire.left(wire.size() - 2)) + '\n';
            }
        }
        stalls.resume();
        sendText->setPlainText(text);
        sendButton->click();
        expectedHash.addData(bytes);
        total += bytes.size();
        // One chunk on the wire at a time keeps the port's write buffer, not the test, bounded.
        QVERIFY2(runEventsUntil([&] { return rig->device.receivedCount() >= total; }, 60000),
            qPrintable(QString("chunk %1: %2 of %3 bytes arrived")
                           .arg(chunk)
                           .arg(rig->device.receivedCount())
                           .arg(total)));
    }
    const qint64 elapsed = clock.elapsed();
    QVERIFY(rig->device.receiveAtLeast(total, 1000));
    rig->device.stopReading();
    const Memory after = processMemory();

    qInfo().noquote() << megabytes(total) << (hex ? "hex" : "plain") << "sent in" << chunks
                      << "chunks in" << elapsed << "ms; worst event-loop stall" << stalls.worstMs()
                      << "ms";
    qInfo().noquote() << "VmRSS" << after.rssKb << "kB; VmHWM" << after.peakKb << "kB";

    QCOMPARE(rig->device.receivedCount(), total);
    QCOMPARE(rig->device.receivedHash().toHex(), expectedHash.result().toHex());
    QCOMPARE(qint64(rig->window.widget<QLCDNumber>("sentLCD")->intValue()), total);
    QCOMPARE(tally.writesLogged, qint64(chunks));
    QCOMPARE(unexpectedWarnings(), QStringList());
    QVERIFY2(after.peakKb < peakCeilingKb,
        qPrintable(QString("peak resident size %1 kB").arg(after.peakKb)));
}

int main(int argc, char *argv[])
{
    // Qt Test stops any test function after five minutes; a big SOAK_MB needs longer.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT",
            QByteArray::number(qMax<qint64>(300, 8 * soakBytes() / mebibyte) * 1000));
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestSoak test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soak.moc"
