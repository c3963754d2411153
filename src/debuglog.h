// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QTimer>

// Writes the log to standard error in fewer, larger writes. Qt writes and flushes every line
// on its own, the window logs two lines per arrival, and a fast device makes thousands of
// arrivals a second: those writes were a fifth of the window's work. The bytes are those Qt
// would write, message pattern and all. Only debug and info lines of the GUI thread wait, at
// most holdMs; any other line is written at once, after them.
//
// It takes the log over only where Qt would write it to standard error: not where Qt hands
// it to the system (Windows without a console, macOS, Android, a Qt built for the journal).
class DebugLogBuffer : public QObject
{
    Q_OBJECT

public:
    static constexpr int holdMs = 20;
    static constexpr int mostHeldBytes = 64 * 1024;

    explicit DebugLogBuffer(QObject *parent = nullptr);
    // Writes what is held and gives the log back to the handler that was there before.
    ~DebugLogBuffer() override;

    bool isActive() const { return active; }
    void flush();

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);
    void take(QtMsgType type, const QByteArray &line);
    void writeHeldLocked();

    bool active = false;
    QtMessageHandler previousHandler = nullptr;
    QMutex mutex;
    QByteArray held;
    QTimer holdTimer;
};
