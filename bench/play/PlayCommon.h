#pragma once
// What the playing probes share: the file's frame delays read independently of any
// decoder, frame-interval statistics, process start time, CPU and memory figures.
// Every probe prints `key=value` lines that bench/play/measure.py collects.

#include "FileBytes.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QStringList>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace play {

using SteadyTime = std::chrono::steady_clock::time_point;

// Each frame's delay in milliseconds as a viewer plays it (a stored 0 or 1 plays as
// 10 hundredths, as browsers do); empty when the file cannot be walked.
inline std::vector<int> frameDelaysMs(const std::string& path)
{
    // Mapped, not read: a copy of a large file would stand in the memory figures.
    const auto file = frolix::FileBytes::open(path).value();
    const std::span<const std::uint8_t> b = file->bytes();
    std::vector<int> delays;
    if (b.size() < 13)
        return delays;
    std::size_t at = 13;
    if (b[10] & 0x80)
        at += 3u << ((b[10] & 7) + 1);
    int pending = 0;
    auto skipBlocks = [&] {
        while (at < b.size() && b[at] != 0)
            at += b[at] + 1u;
        ++at;
    };
    while (at < b.size()) {
        std::uint8_t kind = b[at++];
        if (kind == 0x3B)
            break;
        if (kind == 0x21) {
            if (at + 5 < b.size() && b[at] == 0xF9)
                pending = b[at + 3] | (b[at + 4] << 8);
            ++at;
            skipBlocks();
        } else if (kind == 0x2C) {
            if (at + 9 > b.size())
                break;
            std::uint8_t flags = b[at + 8];
            at += 9;
            if (flags & 0x80)
                at += 3u << ((flags & 7) + 1);
            ++at; // minimum code size
            skipBlocks();
            delays.push_back((pending <= 1 ? 10 : pending) * 10);
            pending = 0;
        } else {
            break;
        }
    }
    return delays;
}

inline long statusKiB(const char* field, const char* file = "/proc/self/status")
{
    std::ifstream status(file);
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atol(line.c_str() + prefix.size());
    return -1;
}

// Resident KiB of the mappings whose path contains `part`, from /proc/self/smaps.
inline long mappedRssKiB(const std::string& part)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inPart = false;
    long kib = 0;
    while (std::getline(smaps, line)) {
        if (line.rfind("Rss:", 0) == 0) {
            if (inPart)
                kib += std::atol(line.c_str() + 4);
        } else if (line.find('-') < line.find(' ')) { // a mapping's header: "start-end perms ..."
            inPart = line.find(part) != std::string::npos;
        }
    }
    return kib;
}

inline double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

// Milliseconds since the launcher spawned us: PLAY_T0_NS is its wall clock (ns since
// the epoch) taken just before the spawn. -1 without it.
inline double msSinceLaunch()
{
    const char* t0 = std::getenv("PLAY_T0_NS");
    if (!t0 || !*t0)
        return -1;
    auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
                   .count();
    return double(now - std::atoll(t0)) / 1e6;
}

// Milliseconds since the kernel started this process (its start time only has clock-tick
// resolution, 10 ms here), as a cross-check of msSinceLaunch().
inline double msSinceProcessStart()
{
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long start = 0;
    // Field 22 of the file is the 20th after the command name.
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22)
            start = std::stoull(field);
    timespec boot {};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    double nowMs = double(boot.tv_sec) * 1e3 + double(boot.tv_nsec) / 1e6;
    return nowMs - double(start) * 1e3 / double(sysconf(_SC_CLK_TCK));
}

// Frame changes as seen by the probe: when, and which frame (from 1) was then shown.
struct Steps {
    std::vector<SteadyTime> at;
    std::vector<int> frame;

    void record(int shownFrame)
    {
        at.push_back(std::chrono::steady_clock::now());
        frame.push_back(shownFrame);
    }

    // Interval statistics over the intervals that start `warmupMs` or more after the
    // first step; each interval is compared with the delay of the frame shown during it.
    void print(const std::vector<int>& delaysMs, double warmupMs) const
    {
        double sumInterval = 0, sumDelay = 0, worstRatio = 0;
        long counted = 0, within = 0, outOfOrder = 0;
        const int n = int(delaysMs.size());
        for (std::size_t i = 1; i < at.size(); ++i) {
            double start = std::chrono::duration<double, std::milli>(at[i - 1] - at.front()).count();
            if (start < warmupMs)
                continue;
            int f = frame[i - 1];
            if (f < 1 || f > n)
                continue;
            double interval = std::chrono::duration<double, std::milli>(at[i] - at[i - 1]).count();
            double delay = delaysMs[std::size_t(f - 1)];
            sumInterval += interval;
            sumDelay += delay;
            ++counted;
            if (std::abs(interval - delay) <= 4.0)
                ++within;
            worstRatio = std::max(worstRatio, interval / delay);
            // Forward by one (with wrap), backward by one, or a ping-pong turn.
            int d = frame[i] - f;
            if (!(d == 1 || d == -1 || d == 1 - n || d == n - 1))
                ++outOfOrder;
        }
        std::printf("steps=%zu\n", at.size());
        std::printf("intervals=%ld\n", counted);
        if (counted > 0) {
            std::printf("mean_interval_ms=%.3f\n", sumInterval / double(counted));
            std::printf("mean_delay_ms=%.3f\n", sumDelay / double(counted));
            std::printf("interval_ratio=%.5f\n", sumInterval / sumDelay);
            std::printf("within4_pct=%.2f\n", 100.0 * double(within) / double(counted));
            std::printf("longest_interval_ratio=%.3f\n", worstRatio);
            std::printf("jumps=%ld\n", outOfOrder);
        }
    }
};

// Anonymous memory (heap and the like, not the file's mapped pages): sampled now and
// then for its peak, and read from smaps_rollup with the whole resident size at the end.
class AnonymousPeak {
public:
    void sample() { m_peakKiB = std::max(m_peakKiB, statusKiB("RssAnon")); }
    void print() const
    {
        std::printf("rss_anon_peak_kib=%ld\n", m_peakKiB);
        std::printf("smaps_rss_kib=%ld\n", statusKiB("Rss", "/proc/self/smaps_rollup"));
        std::printf("smaps_anonymous_kib=%ld\n", statusKiB("Anonymous", "/proc/self/smaps_rollup"));
    }

private:
    long m_peakKiB = 0;
};

// Notes the first paint of a widget, with a callback run then.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<void()> onFirst)
        : m_onFirst(std::move(onFirst))
    {
    }
    double launchMs = -1, kernelMs = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && launchMs < 0) {
            launchMs = msSinceLaunch();
            kernelMs = msSinceProcessStart();
            if (launchMs < 0)
                launchMs = kernelMs;
            if (m_onFirst)
                m_onFirst();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onFirst;
};

// The first paint of a widget after arm(): a load's first frame on the screen.
class PaintAfter : public QObject {
public:
    void arm()
    {
        m_armedAt = std::chrono::steady_clock::now();
        m_paintedAt.reset();
    }
    // -1 while nothing was painted since arm().
    double msFromArming() const
    {
        return m_paintedAt ? std::chrono::duration<double, std::milli>(*m_paintedAt - m_armedAt).count() : -1;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_paintedAt)
            m_paintedAt = std::chrono::steady_clock::now();
        return QObject::eventFilter(watched, event);
    }

private:
    SteadyTime m_armedAt;
    std::optional<SteadyTime> m_paintedAt;
};

// Time since launch and resident memory at named points of start-up, printed with the
// other figures to show where start-up goes.
struct Stages {
    struct Mark {
        const char* name;
        double ms;
        long rssKiB;
    };
    std::vector<Mark> marks;
    void mark(const char* name) { marks.push_back({ name, msSinceLaunch(), statusKiB("VmRSS") }); }
    void print() const
    {
        for (const Mark& m : marks)
            std::printf("stage_%s_ms=%.2f\nstage_%s_rss_kib=%ld\n", m.name, m.ms, m.name, m.rssKiB);
    }
};

inline void printCommon(const FirstPaint& paint, long idleRssKiB)
{
    std::printf("first_paint_ms=%.2f\n", paint.launchMs);
    std::printf("first_paint_kernel_ms=%.2f\n", paint.kernelMs);
    std::printf("rss_idle_kib=%ld\n", idleRssKiB);
    std::printf("vmhwm_kib=%ld\n", statusKiB("VmHWM"));
    // Qt links ICU, so it is always mapped; only what it touches is resident.
    std::printf("icu_rss_kib=%ld\n", mappedRssKiB("/libicu"));
    std::printf("cpu_self_s=%.3f\n", cpuSeconds());
    std::fflush(stdout);
}

// `--name value` from the command line, or `fallback`.
inline QString option(const QStringList& args, const QString& name, const QString& fallback = QString())
{
    int i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
}

} // namespace play
