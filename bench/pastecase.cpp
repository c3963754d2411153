// SPDX-License-Identifier: MIT
#include "pastecase.h"

#include "dialog.h"
#include "hextext.h"
#include "plaintext.h"
#include "ptypair.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLCDNumber>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// A gap this long between the ticks of a 1 ms timer is time in which a click or a key
// would have gone unanswered.
constexpr qint64 tickUs = 1000;
constexpr qint64 unansweredUs = 50000;

// Times how long the window's event loop stays busy after events are posted to it: until
// the first tick after which it answers without a long gap for quietMs.
class AnswerClock
{
public:
    AnswerClock()
    {
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(int(tickUs / 1000));
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed() / 1000;
            if (answeredAtUs < 0 || now - lastTickUs > unansweredUs)
                answeredAtUs = now;
            worstGapUs = qMax(worstGapUs, now - lastTickUs);
            lastTickUs = now;
            if ((finished ? finished() : now - answeredAtUs >= quietUs) || now > limitUs)
                loop.quit();
        });
    }

    // Posts events to receiver and returns the milliseconds until the window answered again,
    // or -1 when it was still busy after limitMs.
    double timePosted(QObject *receiver, const QList<QEvent *> &events, int quietMs, qint64 limitMs)
    {
        quietUs = quietMs * 1000;
        finished = nullptr;
        run(limitMs, [&] {
            for (QEvent *event : events)
                QCoreApplication::postEvent(receiver, event);
        });
        return answeredAtUs >= 0 && lastTickUs - answeredAtUs >= quietUs ? answeredAtUs / 1000.0
                                                                         : -1;
    }

    // Runs the event loop until done() holds, and returns the longest gap between ticks in
    // milliseconds (the first tick counted from now), or -1 when done() did not hold within
    // limitMs.
    double worstGapUntil(const std::function<bool()> &done, qint64 limitMs)
    {
        finished = done;
        run(limitMs, [] {});
        finished = nullptr;
        return done() ? worstGapUs / 1000.0 : -1;
    }

private:
    void run(qint64 limitMs, const std::function<void()> &begin)
    {
        limitUs = limitMs * 1000;
        answeredAtUs = -1;
        lastTickUs = 0;
        worstGapUs = 0;
        clock.start();
        ticker.start();
        begin();
        loop.exec();
        ticker.stop();
    }

    QTimer ticker;
    QElapsedTimer clock;
    QEventLoop loop;
    std::function<bool()> finished;
    qint64 quietUs = 0;
    qint64 limitUs = 0;
    qint64 answeredAtUs = -1;
    qint64 lastTickUs = 0;
    qint64 worstGapUs = 0;
};

// The device's end of the line, slower than the window can write: reads what arrives at
// about bytesPerSecond, from a thread of its own, and counts it.
class SlowReader
{
public:
    static constexpr int bytesPerSecond = 1000000;

    ~SlowReader()
    {
        stop = true;
        if (reader.joinable())
            reader.join();
        if (fd >= 0)
            ::close(fd);
    }
    bool start(const QString &path)
    {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios settings;
        if (fd < 0 || tcgetattr(fd, &settings) != 0)
            return false;
        cfmakeraw(&settings);
        if (tcsetattr(fd, TCSANOW, &settings) != 0)
            return false;
        reader = std::thread([this] {
            char buffer[4000];
            const auto pause
                = std::chrono::microseconds(1000000LL * sizeof buffer / bytesPerSecond);
            while (!stop) {
                pollfd p { fd, POLLIN, 0 };
                if (::poll(&p, 1, 10) <= 0)
                    continue;
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n > 0)
                    received += n;
                std::this_thread::sleep_for(pause);
            }
        });
        return true;
    }
    qint64 receivedCount() const { return received; }

private:
    int fd = -1;
    std::thread reader;
    std::atomic<qint64> received { 0 };
    std::atomic<bool> stop { false };
};

void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void waitFor(const std::function<bool()> &done)
{
    for (int i = 0; i < 200 && !done(); ++i)
        runEvents(10);
}

// A key press with its release, as a keyboard sends them.
double timeKey(AnswerClock &answers, QWidget *target, int key, Qt::KeyboardModifiers modifiers,
    const QString &text, int quietMs = 300)
{
    return answers.timePosted(target,
        { new QKeyEvent(QEvent::KeyPress, key, modifiers, text),
            new QKeyEvent(QEvent::KeyRelease, key, modifiers, text) },
        quietMs, 600000);
}

// The dialog logs every send and click; only warnings matter here.
void warningsOnly(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "[paste] %s\n", qPrintable(message));
}

} // namespace

QString pasteText(const PasteSettings &settings)
{
    std::mt19937 random(7);
    const char *const hexDigits = "0123456789abcdef";
    QString text(int(settings.size), Qt::Uninitialized);
    for (int i = 0; i < text.size(); ++i) {
        if (settings.lineLength > 0 && i % (settings.lineLength + 1) == settings.lineLength)
            text[i] = QLatin1Char('\n');
        else
            text[i]
                = QLatin1Char(settings.hex ? hexDigits[random() % 16] : char(' ' + random() % 95));
    }
    return text;
}

int runPasteCase(const PasteSettings &settings, bool fillClipboard)
{
    qInstallMessageHandler(warningsOnly);
    const QString text = pasteText(settings);
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (fillClipboard)
        clipboard->setText(text);
    const QMimeData *offered = clipboard->mimeData();
    if (!offered || !offered->hasText()) {
        std::printf("RESULT status=error reason=nothing_on_the_clipboard\n");
        return 1;
    }

    Dialog dialog;
    dialog.show();
    // As on a desktop: the window active and the send box's cursor blinking, which repaints it.
    waitFor([&] { return dialog.windowHandle() && dialog.windowHandle()->isExposed(); });
    dialog.activateWindow();
    waitFor([&] { return dialog.isActiveWindow(); });
    dialog.findChild<QRadioButton *>(settings.hex ? "inputByHexStringRadio" : "inputByPlainRadio")
        ->click();
    auto *sendBox = dialog.findChild<QTextEdit *>("sendTextCtrl");
    sendBox->setFocus();
    runEvents(300); // shown and painted before the clock starts
    if (!sendBox->hasFocus()) {
        std::printf("RESULT status=error reason=the_send_box_did_not_get_the_focus\n");
        return 1;
    }

    AnswerClock answers;
    const double pasteMs
        = timeKey(answers, sendBox, Qt::Key_V, Qt::ControlModifier, QString(), 1000);
    const bool pasted = sendBox->document()->characterCount() > 1;
    // The paste leaves the cursor at the end of the text, where the keys go.
    const double typeMs = timeKey(answers, sendBox, Qt::Key_X, Qt::NoModifier, "x");
    const double deleteMs = timeKey(answers, sendBox, Qt::Key_Backspace, Qt::NoModifier, QString());

    const QString held = sendBox->toPlainText();
    const char *status = !pasted ? "not_pasted" : held == text ? "ok" : "mismatch";

    // Then the send, to a port that takes the bytes more slowly than the window writes them.
    double sendMs = 0, drainGapMs = 0;
    const qint64 expected
        = settings.hex ? parseHexInput(text).bytes.size() : plainSendBytes(text).size();
    PtyPair pair;
    SlowReader device;
    if (!PtyPair::available() || !pair.start() || !device.start(pair.peerPath())) {
        std::printf("RESULT status=error reason=no_pseudo-terminal_pair\n");
        return 1;
    }
    auto *ports = dialog.findChild<QComboBox *>("portCtrl");
    ports->addItem(pair.portPath() + "(pty)", pair.portPath());
    ports->setCurrentIndex(ports->count() - 1);
    dialog.findChild<QPushButton *>("portConnectionButton")->click();
    runEvents(100);
    auto *sendButton = dialog.findChild<QPushButton *>("sendButton");
    sendMs = timeKey(answers, sendButton, Qt::Key_Space, Qt::NoModifier, " ");
    drainGapMs = answers.worstGapUntil(
        [&] { return device.receivedCount() >= expected; }, 60000 + expected / 1000);
    runEvents(100); // and nothing more
    const int counted = dialog.findChild<QLCDNumber *>("sentLCD")->intValue();
    if (qstrcmp(status, "ok") == 0 && (device.receivedCount() != expected || counted != expected))
        status = "send_mismatch";
    dialog.findChild<QPushButton *>("portConnectionButton")->click();

    std::printf("RESULT status=%s platform=%s held=%lld paste_ms=%.0f type_ms=%.1f "
                "delete_ms=%.1f send_ms=%.0f drain_gap_ms=%.1f sent=%lld counted=%d\n",
        status, qPrintable(QGuiApplication::platformName()), qint64(held.size()), pasteMs, typeMs,
        deleteMs, sendMs, drainGapMs, device.receivedCount(), counted);
    return qstrcmp(status, "ok") == 0 ? 0 : 1;
}
