// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QSerialPort;
class QSocketNotifier;

// Leaves the port alone for a moment while a device streams to it, so that each read takes
// more. Every read is a wake-up of the window, and a stream that comes through a USB adapter
// or a pseudo-terminal arrives a few bytes at a time: at 1.2 MB/s that was thousands of reads
// a second and most of what the window spent. When reads follow each other within
// longestPauseMs, the next read waits until about what one read of a terminal takes
// (gatherBytes) has come at the rate seen, but never longer than longestPauseMs. A read of
// half that or more is followed by the next at once, and a stream too fast to gather that much
// in a millisecond is read without pauses, as before. The bytes wait in the kernel, which holds
// far more than a pause gathers: nothing is lost.
class ReadPacer : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 gatherBytes = 4096;
    static constexpr int longestPauseMs = 10;

    explicit ReadPacer(QSerialPort *serialPort);
    // Called after each read of the port with the number of bytes it took.
    void afterRead(qint64 bytes);

private:
    QSocketNotifier *readNotifier() const;
    void resume();

    QSerialPort *port;
    QPointer<QSocketNotifier> pausedNotifier;
    QTimer pauseTimer;
    // Since the port could last be read, and since the rate has been measured.
    QElapsedTimer sinceReady;
    QElapsedTimer rateClock;
    qint64 bytesSinceRateClock = 0;
};
