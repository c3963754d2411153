// SPDX-License-Identifier: MIT
#include "receivecase.h"

#include "dialog.h"
#include "ptypair.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QLCDNumber>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What the message handler sees of the dialog's receive path.
struct Progress
{
    qint64 target = 0;
    qint64 counted = 0;
    bool complete = false;
    Clock::time_point completedAt;
    double cpuSeconds = 0;
    qint64 peakRssKb = 0;
    QEventLoop *loop = nullptr;
};
Progress progress;
QString caseName;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

qint64 procStatusKb(const char *field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).simplified().split(' ').value(0).toLongLong();
    return -1;
}

// The dialog logs each arrival's text and the running count. Printing megabytes of text
// would measure the terminal, so only the count is kept; qDebug's formatting still runs.
void countOnly(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg) {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(caseName), qPrintable(message));
        return;
    }
    static const QString countPrefix = QStringLiteral("Receive Count:");
    if (!message.startsWith(countPrefix))
        return;
    progress.counted = message.mid(countPrefix.size()).trimmed().toLongLong();
    if (progress.counted >= progress.target && !progress.complete) {
        progress.complete = true;
        progress.completedAt = Clock::now();
        progress.cpuSeconds = cpuSeconds();
        progress.peakRssKb = procStatusKb("VmHWM:");
        if (progress.loop)
            progress.loop->quit();
    }
}

// A repeating timer that notes how late each of its ticks is: how long the event loop
// was busy elsewhere while the user's clicks and the window's painting waited.
class StallMeter
{
public:
    static constexpr qint64 intervalUs = 5000;

    StallMeter()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(int(intervalUs / 1000));
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed() / 1000;
            lateness.push_back(std::max<qint64>(0, now - last - intervalUs));
            last = now;
            if (marked) {
                markedUs = lateness.back();
                marked = false;
            }
        });
    }
    void start()
    {
        clock.start();
        last = 0;
        timer.start();
    }
    void stop() { timer.stop(); }
    // The next tick's lateness is remembered as that of the pass running now.
    void markPass() { marked = markedUs < 0; }
    qint64 markedPassUs() const { return markedUs; }
    qint64 worstUs() const
    {
        return lateness.empty() ? 0 : *std::max_element(lateness.begin(), lateness.end());
    }
    qint64 percentileUs(int percent)
    {
        if (lateness.empty())
            return 0;
        const auto at = lateness.begin() + qint64(lateness.size() - 1) * percent / 100;
        std::nth_element(lateness.begin(), at, lateness.end());
        return *at;
    }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    std::vector<qint64> lateness;
    bool marked = false;
    qint64 markedUs = -1;
};

// Runs events until the box has not changed for a while: it has shown everything.
void runEventsUntilShown(QTextDocument *document)
{
    QElapsedTimer sinceChange;
    sinceChange.start();
    const QMetaObject::Connection changes = QObject::connect(
        document, &QTextDocument::contentsChanged, [&] { sinceChange.restart(); });
    QElapsedTimer overall;
    overall.start();
    while (sinceChange.elapsed() < 300 && overall.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QObject::disconnect(changes);
}

void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int fail(const QString &why)
{
    std::printf("RESULT status=error reason=%s\n", qPrintable(QString(why).replace(' ', '_')));
    return 1;
}

// The case ends early when nothing has arrived for this long, or after the overall limit.
constexpr qint64 quietLimitS = 60;
qint64 overallLimitS(const CaseSettings &settings)
{
    return settings.rate > 0 ? 2 * settings.size / settings.rate + 60 : 900;
}

} // namespace

bool isReceiveForm(const QString &form)
{
    static const QStringList forms { "plain", "chinese", "devanagari", "thai", "bmp", "noise",
        "hex" };
    return forms.contains(form);
}

int runReceiveCase(const CaseSettings &settings)
{
    caseName = QStringLiteral("%1 %2 B at %3 B/s")
                   .arg(settings.form)
                   .arg(settings.size)
                   .arg(settings.rate);
    progress.target = settings.size;
    qInstallMessageHandler(countOnly);

    if (!PtyPair::available())
        return fail("socat is not installed: apt-get install socat");
    PtyPair pair;
    if (!pair.start())
        return fail("socat did not make the pseudo-terminal pair");

    Dialog dialog;
    dialog.show();
    // Pseudo-terminals are not enumerated; list this one as a user would pick it.
    auto *ports = dialog.findChild<QComboBox *>("portCtrl");
    ports->addItem(pair.portPath() + "(pty)", pair.portPath());
    ports->setCurrentIndex(ports->count() - 1);
    if (settings.hex())
        dialog.findChild<QRadioButton *>("displayByHexRadio")->click();
    QTextDocument *box = dialog.findChild<QTextEdit *>("receiverTextCtl")->document();
    auto *connectButton = dialog.findChild<QPushButton *>("portConnectionButton");
    connectButton->click();
    if (!dialog.findChild<QPushButton *>("sendButton")->isEnabled())
        return fail("the dialog did not open the port");
    runEvents(300); // the window is shown and painted before the clock starts

    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(QCoreApplication::applicationFilePath(),
        { "--writer", pair.peerPath(), settings.payload(), QString::number(settings.size),
            QString::number(settings.rate), "1" });
    if (!writer.waitForStarted(5000))
        return fail("the writer did not start");

    StallMeter stalls;
    stalls.start();
    // The first batch of a fresh window has not learnt what its text costs.
    QObject::connect(box, &QTextDocument::contentsChanged, [&] { stalls.markPass(); });
    QEventLoop loop;
    progress.loop = &loop;
    QElapsedTimer sinceStart, sinceProgress;
    sinceStart.start();
    sinceProgress.start();
    qint64 lastCounted = 0;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (progress.counted != lastCounted) {
            lastCounted = progress.counted;
            sinceProgress.restart();
        }
        if (sinceProgress.elapsed() > quietLimitS * 1000
            || sinceStart.elapsed() > overallLimitS(settings) * 1000
            || writer.state() == QProcess::NotRunning)
            loop.quit();
    });
    watchdog.start(500);
    if (!progress.complete)
        loop.exec();
    progress.loop = nullptr;
    watchdog.stop();
    const bool stalled = !progress.complete;
    const double cpu = stalled ? cpuSeconds() : progress.cpuSeconds;
    const qint64 peakRssKb = stalled ? procStatusKb("VmHWM:") : progress.peakRssKb;

    // The meter runs on while the box catches up: those passes keep a user waiting too.
    QElapsedTimer closeClock;
    closeClock.start();
    if (settings.closeWhileBehind)
        connectButton->click();
    const qint64 closeUs = settings.closeWhileBehind ? closeClock.nsecsElapsed() / 1000 : -1;
    // Let the receive box catch up, and any byte beyond the total show up in the count.
    runEvents(1000);
    runEventsUntilShown(box);
    stalls.stop();
    const qint64 rssKb = procStatusKb("VmRSS:");
    const int shown = dialog.findChild<QLCDNumber *>("receiveCountLCD")->intValue();
    if (!settings.closeWhileBehind)
        connectButton->click(); // closed here, the writer's exit cannot hang up an open port

    writer.closeWriteChannel();
    if (!writer.waitForFinished(5000))
        writer.kill();
    writer.waitForFinished(5000);
    qint64 startNs = 0, written = -1;
    for (const QByteArray &line : writer.readAllStandardOutput().split('\n')) {
        if (line.startsWith("start "))
            startNs = line.mid(6).toLongLong();
        else if (line.startsWith("written "))
            written = line.mid(8).toLongLong();
    }
    if (startNs == 0)
        return fail("the writer did not start writing");

    const std::chrono::nanoseconds drained
        = progress.completedAt.time_since_epoch() - std::chrono::nanoseconds(startNs);
    QString status = "ok";
    if (stalled)
        status = "stalled";
    else if (written != settings.size || progress.counted != written || shown != written)
        status = "mismatch";
    std::printf("RESULT status=%s platform=%s written=%lld counted=%lld shown=%d seconds=%.3f "
                "cpu=%.2f hwm_kb=%lld rss_kb=%lld stall_max_us=%lld stall_p99_us=%lld "
                "stall_p95_us=%lld first_batch_us=%lld close_us=%lld\n",
        qPrintable(status), qPrintable(QGuiApplication::platformName()), written, progress.counted,
        shown, stalled ? 0.0 : drained.count() / 1e9, cpu, peakRssKb, rssKb, stalls.worstUs(),
        stalls.percentileUs(99), stalls.percentileUs(95), stalls.markedPassUs(), closeUs);
    return status == "ok" ? 0 : 1;
}
