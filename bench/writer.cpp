// SPDX-License-Identifier: MIT
#include "writer.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Lines of 60 characters (59 and a line feed) drawn from a range of code points, as UTF-8,
// or bytes of any value.
class Payload
{
public:
    Payload(const char *kind, quint32 seed)
        : random(seed)
    {
        const std::string name = kind;
        if (name == "latin")
            range = { 0x20, 0x7e };
        else if (name == "chinese")
            words = true;
        else if (name == "devanagari")
            range = { 0x0900, 0x097f };
        else if (name == "thai")
            range = { 0x0e01, 0x0e5b };
        else if (name == "bmp")
            range = { 0x00a0, 0xfffd };
        else
            text = false;
    }

    void fill(char *out, qint64 size)
    {
        for (qint64 i = 0; i < size; ++i) {
            if (!text) {
                out[i] = char(random());
                continue;
            }
            if (next == character.size()) {
                nextCharacter();
                next = 0;
            }
            out[i] = character[next++];
        }
    }

private:
    static constexpr int lineLength = 60;

    void nextCharacter()
    {
        character.clear();
        if (column++ == lineLength - 1) {
            column = 0;
            character.push_back('\n');
            return;
        }
        if (words) {
            nextWordCharacter();
            return;
        }
        char32_t c;
        do // surrogates are not characters
            c = range.first + random() % (range.second - range.first + 1);
        while (c >= 0xd800 && c <= 0xdfff);
        if (c < 0x80) {
            character.push_back(char(c));
        } else if (c < 0x800) {
            character.push_back(char(0xc0 | (c >> 6)));
            character.push_back(char(0x80 | (c & 0x3f)));
        } else {
            character.push_back(char(0xe0 | (c >> 12)));
            character.push_back(char(0x80 | ((c >> 6) & 0x3f)));
            character.push_back(char(0x80 | (c & 0x3f)));
        }
    }

    // A device's messages: words of a small vocabulary and blanks, as Chinese log lines are.
    void nextWordCharacter()
    {
        static const char *const vocabulary[] = { "温度", "湿度", "压力", "电压", "电流", "功率",
            "频率", "转速", "位置", "速度", "状态", "正常", "异常", "报警", "故障", "错误", "超时",
            "重试", "连接", "断开", "发送", "接收", "数据", "校验", "成功", "失败", "开始", "结束",
            "启动", "停止", "复位", "等待", "设备", "模块", "传感器", "控制器", "电机", "阀门",
            "水泵", "风扇", "加热", "冷却", "通道", "端口", "地址", "命令", "参数", "配置", "版本",
            "固件", "升级", "电池", "电量", "充电", "信号", "强度", "网络", "时间", "日期", "剩余",
            "当前", "目标", "设定", "测量", "采样", "周期", "计数", "累计", "最大", "最小", "平均",
            "上限", "下限", "已", "未", "请", "检查", "号", "第", "次", "秒", "分钟", "小时" };
        if (word.empty()) {
            word = std::string(vocabulary[random() % (sizeof vocabulary / sizeof *vocabulary)])
                + ' ';
            wordAt = 0;
        }
        // One UTF-8 character of the word: its lead byte tells how many bytes.
        const auto lead = static_cast<unsigned char>(word[wordAt]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        character = word.substr(wordAt, length);
        wordAt += length;
        if (wordAt == word.size())
            word.clear();
    }

    bool text = true;
    bool words = false;
    std::string word;
    size_t wordAt = 0;
    std::pair<char32_t, char32_t> range;
    std::mt19937 random;
    int column = 0;
    std::string character;
    size_t next = 0;
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

int runWriter(const char *path, const char *payloadKind, qint64 size, qint64 rate, quint32 seed)
{
    using namespace std::chrono;
    const int fd = ::open(path, O_WRONLY | O_NOCTTY);
    if (fd < 0) {
        std::perror(path);
        return 2;
    }
    Payload payload(payloadKind, seed);
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
