// SPDX-License-Identifier: MIT
#include "readpacer.h"

#include <QSerialPort>
#include <QSocketNotifier>

namespace {

constexpr qint64 nanosecondsPerMs = 1000000;

} // namespace

ReadPacer::ReadPacer(QSerialPort *serialPort)
    : QObject(serialPort)
    , port(serialPort)
{
    pauseTimer.setSingleShot(true);
    pauseTimer.setTimerType(Qt::PreciseTimer);
    connect(&pauseTimer, &QTimer::timeout, this, &ReadPacer::resume);
}

void ReadPacer::afterRead(qint64 bytes)
{
    const qint64 longestPause = longestPauseMs * nanosecondsPerMs;
    const bool streaming = sinceReady.isValid() && sinceReady.nsecsElapsed() < longestPause;
    sinceReady.start();
    // The rate is measured afresh when a stream begins, and now and then, so that a stream
    // that slows down is paced again.
    if (!streaming || !rateClock.isValid() || rateClock.nsecsElapsed() > 5 * longestPause) {
        rateClock.start();
        bytesSinceRateClock = 0;
        return;
    }
    bytesSinceRateClock += bytes;
    // A read that took about all one read of a terminal can take leaves more behind.
    if (bytes >= gatherBytes / 2)
        return;
    const qint64 untilGathered
        = gatherBytes * rateClock.nsecsElapsed() / qMax<qint64>(bytesSinceRateClock, 1);
    const qint64 pause = qMin(untilGathered, longestPause);
    if (pause < nanosecondsPerMs)
        return;
    QSocketNotifier *notifier = readNotifier();
    if (!notifier)
        return;
    notifier->setEnabled(false);
    pausedNotifier = notifier;
    pauseTimer.start(int(pause / nanosecondsPerMs));
    rateClock.start();
    bytesSinceRateClock = 0;
}

// The port reads when the socket notifier it keeps as a child says there is data. Where it
// has none (not a Unix system), reads are not paced.
QSocketNotifier *ReadPacer::readNotifier() const
{
    const auto notifiers
        = port->findChildren<QSocketNotifier *>(QString(), Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read && notifier->isEnabled())
            return notifier;
    }
    return nullptr;
}

void ReadPacer::resume()
{
    // Closing the port deletes its notifier; opening it again makes a new one.
    if (pausedNotifier && port->isOpen())
        pausedNotifier->setEnabled(true);
    pausedNotifier = nullptr;
    sinceReady.start();
}
