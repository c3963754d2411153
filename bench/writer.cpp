// SPDX-License-Identifier: MIT
#include "writer.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Text lines of 59 printable characters and a line feed, or bytes of any value.
class Payload
{
public:
    Payload(bool textLines, quint32 seed)
        : text(textLines)
        , random(seed)
    { }

    void fill(char *out, qint64 size)
    {
        for (qint64 i = 0; i < size; ++i) {
            if (!text) {
                out[i] = char(random());
                continue;
            }
            out[i] = column == lineLength - 1 ? '\n' : char(' ' + random() % 95);
            column = (column + 1) % lineLength;
        }
    }

private:
    static constexpr int lineLength = 60;
    const bool text;
    std::mt19937 random;
    int column = 0;
};

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd ready { fd, POLLOUT, 0 };
            ::poll(&ready, 1, -1);
            continue;
        }
        if (n < 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

int runWriter(const char *path, bool text, qint64 size, qint64 rate, quint32 seed)
{
    using namespace std::chrono;
    const int fd = ::open(path, O_WRONLY | O_NOCTTY);
    if (fd < 0) {
        std::perror(path);
        return 2;
    }
    Payload payload(text, seed);
    // 1 kB every 11 ms at 92 kB/s: a UART's FIFO-sized trickle, not one burst a second.
    const qint64 chunk = rate > 0 ? 1024 : 65536;
    std::vector<char> buffer(static_cast<size_t>(chunk));
    const auto start = steady_clock::now();
    std::printf(
        "start %lld\n", qlonglong(duration_cast<nanoseconds>(start.time_since_epoch()).count()));
    std::fflush(stdout);
    qint64 written = 0;
    while (written < size) {
        // Keep to the schedule rather than sleep a fixed time, so time lost in a blocked
        // write is made up and the average rate holds.
        if (rate > 0)
            std::this_thread::sleep_until(start + nanoseconds(written * 1000000000 / rate));
        const qint64 n = std::min(chunk, size - written);
        payload.fill(buffer.data(), n);
        if (!writeAll(fd, buffer.data(), n)) {
            std::perror(path);
            return 2;
        }
        written += n;
    }
    std::printf("written %lld\n", qlonglong(written));
    std::fflush(stdout);
    // Closing now would let socat hang up the dialog's end before it has read everything.
    char ignored;
    while (::read(STDIN_FILENO, &ignored, 1) > 0) { }
    ::close(fd);
    return 0;
}
