// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects what the program writes to the debug log, one entry per message, while it lives.
class LogCollector
{
public:
    LogCollector()
    {
        lines().clear();
        previous = qInstallMessageHandler(&LogCollector::collect);
    }
    ~LogCollector() { qInstallMessageHandler(previous); }

    QStringList take()
    {
        QStringList taken = lines();
        lines().clear();
        return taken;
    }
    // Lines of the given kind only; Qt's own platform chatter is left out.
    QStringList take(QtMsgType type)
    {
        QStringList taken;
        for (const QString &line : take())
            if (line.startsWith(prefix(type)))
                taken << line.mid(prefix(type).size());
        return taken;
    }

private:
    static QString prefix(QtMsgType type)
    {
        return type == QtDebugMsg ? QStringLiteral("D:") : QStringLiteral("W:");
    }
    static QStringList &lines()
    {
        static QStringList collected;
        return collected;
    }
    static void collect(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtDebugMsg || type == QtWarningMsg)
            lines() << prefix(type) + message;
    }

    QtMessageHandler previous;
};
