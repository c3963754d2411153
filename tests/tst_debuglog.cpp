// SPDX-License-Identifier: MIT
#include "debuglog.h"

#include <QLoggingCategory>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

Q_LOGGING_CATEGORY(sampleCategory, "serial.sample")

namespace {

// Standard error goes to a file while it lives; bytes() is what was written to it.
class CapturedStandardError
{
public:
    CapturedStandardError()
    {
        file.open();
        std::fflush(stderr);
        dup2(file.handle(), STDERR_FILENO);
    }
    ~CapturedStandardError()
    {
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
    QByteArray bytes()
    {
        file.seek(0);
        return file.readAll();
    }

private:
    QTemporaryFile file;
    int saved = dup(STDERR_FILENO);
};

void logSample()
{
    qDebug().noquote() << 9 << " Data Read on Serial Port:" << QString::fromUtf8("串口 ok ");
    qDebug() << "Receive Count: " << 9;
    qWarning() << "Hex input not sent:" << 3;
    qDebug().noquote() << QString("zero") + QChar(0) + "after";
    qInfo() << "info";
    qCDebug(sampleCategory) << "in a category";
    qDebug() << "";
}

} // namespace

class TestDebugLog : public QObject
{
    Q_OBJECT

private slots:
    void sameBytesAsQt_data();
    void sameBytesAsQt();
    void debugLinesWaitWarningsDoNot();
};

void TestDebugLog::sameBytesAsQt_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::newRow("Qt's default pattern") << "%{if-category}%{category}: %{endif}%{message}";
    QTest::newRow("type, function and line") << "%{type} %{function}:%{line} %{message}";
    QTest::newRow("warnings only") << "%{if-warning}%{message}%{endif}";
}

void TestDebugLog::sameBytesAsQt()
{
    QFETCH(QString, pattern);
    qSetMessagePattern(pattern);
    const QtMessageHandler testLog = qInstallMessageHandler(nullptr);
    CapturedStandardError byQt;
    logSample();
    CapturedStandardError buffered;
    {
        const DebugLogBuffer debugLog;
        QVERIFY(debugLog.isActive());
        logSample();
    }
    qInstallMessageHandler(testLog);
    qSetMessagePattern("%{if-category}%{category}: %{endif}%{message}");
    QVERIFY(byQt.bytes().contains("Hex input not sent: 3"));
    QCOMPARE(buffered.bytes(), byQt.bytes());
}

void TestDebugLog::debugLinesWaitWarningsDoNot()
{
    const QtMessageHandler testLog = qInstallMessageHandler(nullptr);
    CapturedStandardError captured;
    const DebugLogBuffer debugLog;
    qDebug("first");
    const QByteArray whileHeld = captured.bytes();
    qWarning("second");
    const QByteArray afterWarning = captured.bytes();
    qDebug("third");
    QTRY_COMPARE(captured.bytes(), QByteArray("first\nsecond\nthird\n"));
    qInstallMessageHandler(testLog);
    QCOMPARE(whileHeld, QByteArray());
    QCOMPARE(afterWarning, QByteArray("first\nsecond\n"));
}

QTEST_GUILESS_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
