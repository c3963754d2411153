// SPDX-License-Identifier: MIT
#pragma once

#include "dialog.h"
#include "ptypair.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QString>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// Runs the real event loop, which sleeps when idle, until done() holds or the time is up.
// QTest::qWait sleeps between its rounds of events, which would throttle a flooded port.
inline bool runEventsUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    loop.exec();
    return done();
}

// The dialog's widgets, and the port a user would pick in it.
// A flood still pending in the box is shown in batches, after the port has closed too: runs
// events until the box has not changed for a while.
inline bool runEventsUntilBoxSettles(QTextEdit *box, int timeoutMs = 60000)
{
    QElapsedTimer sinceChange;
    sinceChange.start();
    const QMetaObject::Connection changes = QObject::connect(
        box->document(), &QTextDocument::contentsChanged, [&] { sinceChange.restart(); });
    const bool settled = runEventsUntil([&] { return sinceChange.elapsed() >= 300; }, timeoutMs);
    QObject::disconnect(changes);
    return settled;
}

struct Window
{
    Dialog *dialog;

    template <typename T> T *widget(const char *name) const { return dialog->findChild<T *>(name); }
    QSerialPort *port() const { return dialog->findChild<QSerialPort *>(); }
    // Pseudo-terminals are not enumerated; one entry stands for whichever pair is in use.
    void choosePort(const QString &path) const
    {
        auto *portCtrl = widget<QComboBox>("portCtrl");
        const int index = portCtrl->findText("(pty)", Qt::MatchEndsWith);
        if (index < 0) {
            portCtrl->addItem(path + "(pty)", path);
        } else {
            portCtrl->setItemText(index, path + "(pty)");
            portCtrl->setItemData(index, path);
        }
        portCtrl->setCurrentIndex(portCtrl->findData(path));
    }
    void clickConnection() const { widget<QPushButton>("portConnectionButton")->click(); }
    // What a user sees of the connection: the setting boxes locked and sending possible.
    bool looksOpen() const
    {
        for (const char *name :
            { "portCtrl", "bandrateCtrl", "parityCtrl", "databitCtrl", "stopbitCtrl" })
            if (widget<QComboBox>(name)->isEnabled())
                return false;
        return widget<QPushButton>("sendButton")->isEnabled();
    }
    bool looksClosed() const
    {
        for (const char *name :
            { "portCtrl", "bandrateCtrl", "parityCtrl", "databitCtrl", "stopbitCtrl" })
            if (!widget<QComboBox>(name)->isEnabled())
                return false;
        return !widget<QPushButton>("sendButton")->isEnabled();
    }
};

// The device's end of a pseudo-terminal pair, as a raw descriptor driven from threads of its
// own, so that the test's event loop, which is also the dialog's, never waits on it.
class FarEnd
{
public:
    ~FarEnd()
    {
        stopReading();
        stopWriting();
        if (fd >= 0)
            ::close(fd);
    }

    bool open(const QString &path)
    {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return false;
        termios settings;
        if (tcgetattr(fd, &settings) != 0)
            return false;
        cfmakeraw(&settings); // no echo, and a line feed leaves as it is
        return tcsetattr(fd, TCSANOW, &settings) == 0;
    }

    // Counts and hashes everything that arrives until stopReading(); keeps the last
    // keepLimit bytes as well, for tests that look at them.
    void startReading(int keepLimit = 0)
    {
        received = 0;
        hash.reset();
        kept.clear();
        readStop = false;
        reader = std::thread([this, keepLimit] {
            char buffer[65536];
            while (!readStop) {
                pollfd p { fd, POLLIN, 0 };
                if (::poll(&p, 1, 10) <= 0)
                    continue;
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0) {
                    if (n < 0 && errno == EAGAIN)
                        continue;
                    QThread::msleep(10); // the pair is gone
                    continue;
                }
                std::lock_guard<std::mutex> lock(mutex);
                hash.addData(QByteArray::fromRawData(buffer, int(n)));
                kept.append(buffer, int(n));
                if (kept.size() > keepLimit)
                    kept.remove(0, kept.size() - keepLimit);
                received += n;
            }
        });
    }
    qint64 receivedCount() const { return received; }
    // Waits, with the event loop running, until count bytes have arrived and nothing more
    // comes for a moment: more than was sent would be a fault too.
    bool receiveAtLeast(qint64 count, int timeoutMs)
    {
        if (!runEventsUntil([&] { return received >= count; }, timeoutMs))
            return false;
        qint64 before;
        do {
            before = received;
            runEventsUntil([] { return false; }, 20);
        } while (received != before);
        return true;
    }
    void stopReading()
    {
        readStop = true;
        if (reader.joinable())
            reader.join();
    }
    QByteArray receivedHash()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return hash.result();
    }
    QByteArray receivedBytes()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return kept;
    }

    // Writes what next() returns, as fast as the pair takes it, until it returns nothing.
    void startWriting(std::function<QByteArray()> next)
    {
        written = 0;
        writeStop = false;
        writeDone = false;
        writer = std::thread([this, next] {
            for (QByteArray block = next(); !block.isEmpty() && !writeStop; block = next()) {
                for (qint64 done = 0; done < block.size() && !writeStop;) {
                    const ssize_t n = ::write(fd, block.constData() + done, block.size() - done);
                    if (n > 0) {
                        done += n;
                        written += n;
                        continue;
                    }
                    if (n < 0 && errno != EAGAIN)
                        return; // the pair is gone
                    pollfd p { fd, POLLOUT, 0 };
                    ::poll(&p, 1, 10);
                }
            }
            writeDone = true;
        });
    }
    bool writingDone() const { return writeDone; }
    qint64 writtenCount() const { return written; }
    void stopWriting()
    {
        writeStop = true;
        if (writer.joinable())
            writer.join();
    }

private:
    int fd = -1;
    std::thread reader;
    std::thread writer;
    std::mutex mutex;
    QCryptographicHash hash { QCryptographicHash::Sha1 };
    QByteArray kept;
    std::atomic<qint64> received { 0 };
    std::atomic<qint64> written { 0 };
    std::atomic<bool> readStop { false };
    std::atomic<bool> writeStop { false };
    std::atomic<bool> writeDone { false };
};

// The window on one end of a fresh pseudo-terminal pair, the device on the other.
// Members go in reverse: the device lets go, then the window, then socat.
struct PtyRig
{
    PtyPair pair;
    Dialog dialog;
    Window window { &dialog };
    FarEnd device;

    bool start()
    {
        if (!pair.start())
            return false;
        dialog.show();
        window.choosePort(pair.portPath());
        return device.open(pair.peerPath());
    }
};

// The stream as the receive box shows it: no paragraph longer than limit characters, a
// longer one continued on a new line. Hex form passes the length of its whole groups.
inline QString withParagraphLimit(const QString &stream, int limit)
{
    QString out;
    out.reserve(stream.size() + stream.size() / limit + 1);
    int length = 0;
    for (const QChar c : stream) {
        if (c == QLatin1Char('\n')) {
            length = 0;
        } else if (length == limit) {
            out += QLatin1Char('\n');
            length = 1;
        } else {
            ++length;
        }
        out += c;
    }
    return out;
}

// Empty when the box holds the end of expected, cut at a paragraph boundary; expected itself
// must begin at one. Otherwise what differs, for the failure message.
inline QString tailMismatch(const QString &box, const QString &expected)
{
    if (box.size() > expected.size())
        return QString("box holds %1 characters, more than the %2 expected")
            .arg(box.size())
            .arg(expected.size());
    const int start = expected.size() - box.size();
    for (int i = box.size() - 1; i >= 0; --i)
        if (box.at(i) != expected.at(start + i))
            return QString("character %1 of %2 in the box is U+%3, expected U+%4")
                .arg(i)
                .arg(box.size())
                .arg(box.at(i).unicode(), 4, 16, QLatin1Char('0'))
                .arg(expected.at(start + i).unicode(), 4, 16, QLatin1Char('0'));
    if (start > 0 && expected.at(start - 1) != QLatin1Char('\n') && box.startsWith('\n'))
        return QString("box of %1 characters begins with the line break of a paragraph it no "
                       "longer holds")
            .arg(box.size());
    if (start > 0 && expected.at(start - 1) != QLatin1Char('\n'))
        return QString("box of %1 characters begins %2 characters into a paragraph")
            .arg(box.size())
            .arg(start - 1 - expected.lastIndexOf(QLatin1Char('\n'), start - 1));
    return QString();
}
