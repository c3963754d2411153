// SPDX-License-Identifier: MIT
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

// Two linked pseudo-terminals made by socat: the program opens one end, the test the other.
class PtyPair
{
public:
    static bool available() { return !QStandardPaths::findExecutable("socat").isEmpty(); }

    bool start()
    {
        const QString a = portPath(), b = peerPath();
        const QStringList ends { "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b };
        // socat must go with the test even when a watchdog kills the test outright.
        if (!QStandardPaths::findExecutable("setpriv").isEmpty())
            socat.start("setpriv", QStringList { "--pdeathsig", "KILL", "socat" } + ends);
        else
            socat.start("socat", ends);
        if (!socat.waitForStarted(5000))
            return false;
        for (int i = 0; i < 500; ++i) {
            if (QFileInfo::exists(a) && QFileInfo::exists(b))
                return true;
            QThread::msleep(10);
        }
        return false;
    }
    void kill()
    {
        socat.kill();
        socat.waitForFinished(5000);
    }
    ~PtyPair() { kill(); }

    QString portPath() const { return dir.filePath("ttyA"); }
    QString peerPath() const { return dir.filePath("ttyB"); }

private:
    QTemporaryDir dir;
    QProcess socat;
};
