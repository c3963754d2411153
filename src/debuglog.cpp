// SPDX-License-Identifier: MIT
#include "debuglog.h"

#include <QMutexLocker>
#include <QThread>

#include <cstdio>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
#include <unistd.h>
#define QT_MAY_LOG_TO_STANDARD_ERROR 1
#endif

namespace {

DebugLogBuffer *current = nullptr;

bool qtLogsToStandardError()
{
#if !defined(QT_MAY_LOG_TO_STANDARD_ERROR)
    return false;
#elif defined(QT_CORE_LOGS_TO_JOURNAL)
    // Such a Qt writes to standard error only when it is a terminal.
    return isatty(STDERR_FILENO);
#else
    return true;
#endif
}

} // namespace

DebugLogBuffer::DebugLogBuffer(QObject *parent)
    : QObject(parent)
{
    if (current || !qtLogsToStandardError())
        return;
    held.reserve(2 * mostHeldBytes);
    holdTimer.setSingleShot(true);
    holdTimer.setInterval(holdMs);
    connect(&holdTimer, &QTimer::timeout, this, &DebugLogBuffer::flush);
    current = this;
    active = true;
    previousHandler = qInstallMessageHandler(&DebugLogBuffer::handle);
}

DebugLogBuffer::~DebugLogBuffer()
{
    if (!active)
        return;
    qInstallMessageHandler(previousHandler);
    flush();
    current = nullptr;
}

void DebugLogBuffer::flush()
{
    QMutexLocker lock(&mutex);
    writeHeldLocked();
}

void DebugLogBuffer::handle(
    QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // What Qt's own handler prints: nothing where the pattern gives a null line, otherwise
    // the line in the locale's encoding as far as its first zero (printf's "%s"), and a
    // line feed.
    const QString formatted = qFormatLogMessage(type, context, message);
    if (formatted.isNull())
        return;
    QByteArray line = formatted.toLocal8Bit();
    line.truncate(int(qstrlen(line.constData())));
    line.append('\n');
    current->take(type, line);
}

void DebugLogBuffer::take(QtMsgType type, const QByteArray &line)
{
    QMutexLocker lock(&mutex);
    held.append(line);
    // A warning is wanted now, and a crash must not take it along; another thread cannot
    // start the timer.
    const bool mayWait = (type == QtDebugMsg || type == QtInfoMsg)
        && QThread::currentThread() == thread() && held.size() < mostHeldBytes;
    if (!mayWait)
        writeHeldLocked();
    else if (!holdTimer.isActive())
        holdTimer.start();
}

void DebugLogBuffer::writeHeldLocked()
{
    if (held.isEmpty())
        return;
    std::fwrite(held.constData(), 1, size_t(held.size()), stderr);
    std::fflush(stderr);
    held.resize(0); // keeps what was reserved
}
