// SPDX-License-Identifier: MIT
#include "pastecase.h"
#include "platformdefaults.h"
#include "receivecase.h"
#include "writer.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *const description = R"(
Measures how well the terminal window keeps up with a device that sends a lot.
Each case drives the real Dialog over a socat pseudo-terminal pair: the port is
opened with the window's own button, and a writer process plays the device.
  plain:      60-character lines of printable ASCII (59 and a line feed),
              received in plain display form;
  chinese:    the same lines of Chinese words of a device's messages and
              blanks, as UTF-8, in plain display form;
  devanagari, thai, bmp:
              the same lines of random characters of that script (bmp: of
              the whole Basic Multilingual Plane from U+00A0, a new glyph
              for nearly every character), as UTF-8, in plain display form;
  noise:      random bytes, received in plain display form;
  hex:        random bytes, received in hex display form.
With --close, each full-speed case runs once more and the port is closed with
the window's button the moment every byte has been read, while the box is
still behind.
Every form runs at full speed for every size, and at each paced rate for the
smallest size only (100 MB at 92 kB/s would take 18 minutes). Sizes and rates
take k (1000) and M (1000000); 921600 baud carries 92160 B/s.

Each case runs in a process of its own, so CPU and peak RSS are that case's,
and the writer is a further process whose CPU is not counted.
Figures, one row per case:
  drained       kB/s (1000 B/s) from the writer's first byte until the
                dialog had counted every byte;
  CPU           user + system seconds of the window's process, start-up
                included, until every byte was counted;
  peak RSS      VmHWM of the window's process at that point;
  RSS at end    VmRSS one second later (the receive box caught up);
  stall         how late a 5 ms repeating timer fired from the first byte
                until the box had shown everything: the worst tick and the
                99th and 95th percentiles;
  first batch   how late the tick after the window's first batch was;
  close         how long the click that closed the port took (--close);
  check         the dialog's count (its log line and its counter) against
                the bytes the writer wrote; "STALLED at P %" when the count
                stopped moving for 60 s or the case ran out of time.
The dialog logs every arrival's text and count with qDebug; the benchmark's
message handler keeps the count and drops the rest, so qDebug's formatting is
measured but printing megabytes to a terminal is not.

The window is shown on the Qt platform the environment gives: offscreen when
there is no DISPLAY, xcb under `xvfb-run -a serialbench` (closer to a desktop).
Default: the 4 cases of 10 MB and the 2 full-speed cases of 100 MB.

With --paste it measures the send box instead: a long text on the clipboard is
pasted into it with Ctrl+V, then one character is typed at its end and deleted.
  hex:   hex digits, pasted in hex input form;
  plain: printable ASCII text (a blank in about every 95 characters), pasted
         in plain input form;
each as one line and with a line break after every 64 characters. Under X11
the clipboard is filled by xclip, a program of its own, as a user's copy from
another program would; without a display the window's own process fills it.
Then the port is opened on a socat pseudo-terminal pair whose far end reads
about 1 MB/s, and the text is sent with the window's send button.
Figures: the milliseconds until the window answered again (no gap of 50 ms or
more between the ticks of a 1 ms timer for 1 s after the paste, 300 ms after a
key or the send), the longest gap between ticks until the far end had every
byte, and the check: the box holds exactly the text pasted, and the far end
and the sent counter have exactly the bytes of its send. A case still busy
after --limit seconds is stopped and shown as "> limit".
Default sizes with --paste: 100k,1M,10M characters.)";

struct Case
{
    CaseSettings settings;
    QString label;
};

qint64 parseAmount(const QString &text, bool *ok)
{
    QString digits = text.trimmed();
    qint64 unit = 1;
    if (digits.endsWith('k', Qt::CaseInsensitive))
        unit = 1000;
    else if (digits.endsWith('M'))
        unit = 1000000;
    if (unit != 1)
        digits.chop(1);
    const qint64 value = digits.toLongLong(ok) * unit;
    *ok = *ok && value > 0;
    return value;
}

QList<qint64> parseAmounts(const QString &list, bool allowUnlimited)
{
    QList<qint64> amounts;
    for (const QString &item : list.split(',', Qt::SkipEmptyParts)) {
        bool ok = allowUnlimited && item == "unlimited";
        const qint64 value = ok ? 0 : parseAmount(item, &ok);
        if (!ok) {
            std::fprintf(stderr, "serialbench: not an amount: %s\n", qPrintable(item));
            std::exit(2);
        }
        amounts << value;
    }
    return amounts;
}

QString amountText(qint64 amount)
{
    if (amount % 1000000 == 0)
        return QString::number(amount / 1000000) + "M";
    if (amount % 1000 == 0)
        return QString::number(amount / 1000) + "k";
    return QString::number(amount);
}

QList<Case> plannedCases(const QCommandLineParser &options)
{
    const QStringList forms = options.value("cases").split(',', Qt::SkipEmptyParts);
    QList<qint64> sizes
        = parseAmounts(options.isSet("quick") ? "1M" : options.value("sizes"), false);
    const QList<qint64> rates = parseAmounts(options.value("rates"), true);
    std::sort(sizes.begin(), sizes.end());
    QList<Case> cases;
    for (const qint64 size : sizes) {
        for (const QString &form : forms) {
            if (!isReceiveForm(form)) {
                std::fprintf(stderr, "serialbench: no such case: %s\n", qPrintable(form));
                std::exit(2);
            }
            for (const qint64 rate : rates) {
                if (rate > 0 && size != sizes.first())
                    continue;
                const QString pace = rate > 0 ? amountText(rate) + "B/s" : "full speed";
                const QString label = QStringLiteral("%1 %2B %3").arg(form, amountText(size), pace);
                cases << Case { { form, size, rate, false }, label };
                if (rate == 0 && options.isSet("close"))
                    cases << Case { { form, size, rate, true }, label + ", closed while behind" };
            }
        }
    }
    return cases;
}

QMap<QString, QString> resultFields(const QByteArray &output);

QMap<QString, QString> runInChild(const CaseSettings &settings)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
        { "--case", settings.form, "--size", QString::number(settings.size), "--rate",
            QString::number(settings.rate), "--close", settings.closeWhileBehind ? "1" : "0" });
    child.waitForFinished(-1);
    QMap<QString, QString> result = resultFields(child.readAllStandardOutput());
    if (result.isEmpty())
        result.insert("status", QStringLiteral("crashed (exit %1)").arg(child.exitCode()));
    return result;
}

QString checkText(const Case &c, const QMap<QString, QString> &r)
{
    const QString status = r["status"];
    if (status == "stalled") // rounded down: 99.99 % is not done
        return QStringLiteral("STALLED at %1 %")
            .arg(std::floor(1000.0 * r["counted"].toDouble() / c.settings.size) / 10, 0, 'f', 1);
    if (status == "mismatch")
        return QStringLiteral("MISMATCH: wrote %1, counted %2, shown %3")
            .arg(r["written"], r["counted"], r["shown"]);
    if (status == "error")
        return "ERROR: " + QString(r["reason"]).replace('_', ' ');
    return status;
}

QString tableRow(const Case &c, const QMap<QString, QString> &r)
{
    const QString status = r["status"];
    if (status != "ok" && status != "stalled" && status != "mismatch")
        return QStringLiteral("| %1 | | | | | | | | | | %2 |").arg(c.label, checkText(c, r));
    const auto mib
        = [&](const char *key) { return QString::number(r[key].toDouble() / 1024, 'f', 1); };
    const auto ms
        = [&](const char *key) { return QString::number(r[key].toDouble() / 1000, 'f', 1); };
    const double seconds = r["seconds"].toDouble();
    const QString rate
        = seconds > 0 ? QString::number(c.settings.size / seconds / 1000, 'f', 0) : "-";
    const auto optionalMs = [&](const char *key) { return r[key] == "-1" ? QString() : ms(key); };
    return QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 | %11 |")
        .arg(c.label, rate, r["cpu"], mib("hwm_kb"), mib("rss_kb"), ms("stall_max_us"),
            ms("stall_p99_us"), ms("stall_p95_us"), optionalMs("first_batch_us"))
        .arg(optionalMs("close_us"), checkText(c, r));
}

struct PasteCase
{
    PasteSettings settings;
    QString label;
};

QList<PasteCase> plannedPasteCases(const QCommandLineParser &options)
{
    const QStringList forms = options.value("cases").split(',', Qt::SkipEmptyParts);
    QList<qint64> sizes
        = parseAmounts(options.isSet("sizes") ? options.value("sizes") : "100k,1M,10M", false);
    std::sort(sizes.begin(), sizes.end());
    QList<PasteCase> cases;
    for (const qint64 size : sizes) {
        for (const QString &form : forms) {
            if (form != "plain" && form != "hex") {
                std::fprintf(stderr, "serialbench: no such case: %s\n", qPrintable(form));
                std::exit(2);
            }
            for (const int lineLength : { 0, 64 })
                cases << PasteCase { { form == "hex", size, lineLength },
                    QStringLiteral("%1 %2 %3")
                        .arg(form, amountText(size),
                            lineLength > 0 ? "in lines of 64" : "on one line") };
        }
    }
    return cases;
}

QMap<QString, QString> resultFields(const QByteArray &output)
{
    QMap<QString, QString> result;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.startsWith("RESULT "))
            continue;
        for (const QByteArray &field : line.mid(7).split(' ')) {
            const int equals = field.indexOf('=');
            if (equals > 0)
                result.insert(field.left(equals), field.mid(equals + 1));
        }
    }
    return result;
}

// Under X11 the text goes on the clipboard from a program of its own, which serves it until
// the case is over; otherwise the window's process puts it there itself.
QMap<QString, QString> runPasteInChild(const PasteSettings &settings, int limitS)
{
    QProcess xclip;
    QTemporaryFile file;
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY")
        && !QStandardPaths::findExecutable("xclip").isEmpty();
    if (x11) {
        if (!file.open() || file.write(pasteText(settings).toUtf8()) < 0 || !file.flush())
            return { { "status", "error" }, { "reason", "no_temporary_file" } };
        xclip.start("xclip", { "-selection", "clipboard", "-quiet", "-i", file.fileName() });
        if (!xclip.waitForStarted(5000))
            return { { "status", "error" }, { "reason", "xclip_did_not_start" } };
        xclip.waitForFinished(300); // it owns the clipboard by then
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
        { "--paste-case", settings.hex ? "hex" : "plain", QString::number(settings.size),
            QString::number(settings.lineLength), x11 ? "x11" : "own" });
    QMap<QString, QString> result;
    if (!child.waitForFinished(limitS * 1000)) {
        child.kill();
        child.waitForFinished(5000);
        result.insert("status", "busy");
    } else {
        result = resultFields(child.readAllStandardOutput());
        if (result.isEmpty())
            result.insert("status", QStringLiteral("crashed (exit %1)").arg(child.exitCode()));
    }
    xclip.kill();
    xclip.waitForFinished(5000);
    return result;
}

int runPasteCases(const QCommandLineParser &options)
{
    bool ok = false;
    const int limitS = options.value("limit").toInt(&ok);
    if (!ok || limitS <= 0) {
        std::fprintf(stderr, "serialbench: not a number of seconds: %s\n",
            qPrintable(options.value("limit")));
        return 2;
    }
    QStringList rows;
    QString platform;
    bool allOk = true;
    for (const PasteCase &c : plannedPasteCases(options)) {
        std::fprintf(stderr, "serialbench: paste %s ...\n", qPrintable(c.label));
        const QMap<QString, QString> r = runPasteInChild(c.settings, limitS);
        const QString status = r["status"];
        allOk = allOk && status == "ok";
        if (platform.isEmpty())
            platform = r["platform"];
        const auto ms
            = [&](const char *key) { return r[key] == "-1" ? QStringLiteral("-") : r[key]; };
        if (status == "busy")
            rows << QStringLiteral("| %1 | > %2 s | | | | | busy |").arg(c.label).arg(limitS);
        else if (status == "ok" || status.contains("mismatch") || status == "not_pasted")
            rows << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 |")
                        .arg(c.label, ms("paste_ms"), ms("type_ms"), ms("delete_ms"), ms("send_ms"),
                            ms("drain_gap_ms"),
                            status == "ok" ? status : status.toUpper().replace('_', ' '));
        else
            rows << QStringLiteral("| %1 | | | | | | %2 %3 |").arg(c.label, status, r["reason"]);
    }
    QTextStream out(stdout);
    out << "Qt " << qVersion() << ", platform " << platform << "\n\n"
        << "| Paste | Answers after paste ms | Type a character ms | Delete it ms | "
           "Answers after send ms | Worst stall while sending ms | Check |\n"
        << "|---|---:|---:|---:|---:|---:|---|\n"
        << rows.join('\n') << '\n';
    return allOk ? 0 : 1;
}

int runCases(const QCommandLineParser &options)
{
    const QList<Case> cases = plannedCases(options);
    QStringList rows;
    QString platform;
    bool allOk = true;
    for (const Case &c : cases) {
        std::fprintf(stderr, "serialbench: %s ...\n", qPrintable(c.label));
        const QMap<QString, QString> result = runInChild(c.settings);
        if (result["status"] != "ok") {
            allOk = false;
            std::fprintf(stderr, "serialbench: %s FAILED: %s\n", qPrintable(c.label),
                qPrintable(checkText(c, result)));
        }
        if (platform.isEmpty())
            platform = result["platform"];
        rows << tableRow(c, result);
    }
    QTextStream out(stdout);
    out << "Qt " << qVersion() << ", platform " << platform << "\n\n"
        << "| Case | Drained kB/s | CPU s | Peak RSS MiB | RSS at end MiB | Worst stall ms | "
           "p99 stall ms | p95 stall ms | First batch ms | Close ms | Check |\n"
        << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n"
        << rows.join('\n') << '\n';
    return allOk ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    // The device's end: no Qt at all, so it starts fast and stays small.
    if (argc == 7 && std::strcmp(argv[1], "--writer") == 0)
        return runWriter(argv[2], argv[3], std::atoll(argv[4]), std::atoll(argv[5]),
            quint32(std::strtoul(argv[6], nullptr, 10)));

    const bool receiveCase = argc == 9 && std::strcmp(argv[1], "--case") == 0;
    const bool pasteCase = argc == 6 && std::strcmp(argv[1], "--paste-case") == 0;
    if ((receiveCase || pasteCase) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window starts as the program starts it.
    setPlatformDefaults();
    if (pasteCase) {
        QApplication app(argc, argv);
        PasteSettings settings;
        settings.hex = std::strcmp(argv[2], "hex") == 0;
        settings.size = std::atoll(argv[3]);
        settings.lineLength = std::atoi(argv[4]);
        return runPasteCase(settings, std::strcmp(argv[5], "own") == 0);
    }
    if (receiveCase) {
        QApplication app(argc, argv);
        CaseSettings settings;
        settings.form = QString::fromLatin1(argv[2]);
        settings.size = std::atoll(argv[4]);
        settings.rate = std::atoll(argv[6]);
        settings.closeWhileBehind = std::strcmp(argv[8], "1") == 0;
        return runReceiveCase(settings);
    }

    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(QString(description).trimmed());
    options.addHelpOption();
    options.addOptions({
        { "cases",
            "Cases to run: plain, chinese, devanagari, thai, bmp, noise, hex (default: plain,hex).",
            "list", "plain,hex" },
        { "close", "Also close the port while the box is behind, after each full-speed case." },
        { "sizes", "Bytes per case (default: 10M,100M; with --paste characters, 100k,1M,10M).",
            "list", "10M,100M" },
        { "rates", "Writer rates in B/s, unlimited for full speed (default: unlimited,92k).",
            "list", "unlimited,92k" },
        { "quick", "1 MB cases only, for a smoke run." },
        { "paste", "Measure pasting into the send box instead of receiving." },
        { "limit", "With --paste: seconds before a busy case is stopped (default: 120).", "seconds",
            "120" },
    });
    options.process(app);
    return options.isSet("paste") ? runPasteCases(options) : runCases(options);
}
