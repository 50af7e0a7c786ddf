// How long the session's waits really last and what they cost, on the real Qt event loop of the
// program's own composition (window shown, real serial port and probe left unused):
//   - waitFor(2000) against a plain sleep_for(2000 ms) (accuracy),
//   - waitFor(2000) and a stage-8 pass (the dots and the 15 s timer running) against a loop of bare
//     yields until the same deadline, the busy wait that waitFor replaces (CPU),
//   - waitFor(23), the wait before each data line, 100 times.
// Usage: delay_bench [RUNS]   (default 3; each run of each kind lasts 2 s)
// Prints a table, then one "ROW" line per result for bench/run.

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/qt/application.h"
#include "bench/result_row.h"

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Sample {
    double wallMs;
    double cpuMs;
};

template <typename F>
Sample measure(F&& f) {
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    f();
    return {static_cast<double>(wall.nsecsElapsed()) / 1e6, (cpuSeconds() - cpu0) * 1e3};
}

struct Summary {
    double minMs = 1e18, maxMs = 0, cpuPercent = 0;
};

Summary summarise(const std::vector<Sample>& samples) {
    Summary s;
    double wall = 0, cpu = 0;
    for (const Sample& x : samples) {
        s.minMs = std::min(s.minMs, x.wallMs);
        s.maxMs = std::max(s.maxMs, x.wallMs);
        wall += x.wallMs;
        cpu += x.cpuMs;
    }
    s.cpuPercent = 100.0 * cpu / wall;
    return s;
}

void tableRow(const char* what, const std::vector<Sample>& samples) {
    const Summary s = summarise(samples);
    std::printf("| %-40s | %4zu | %9.2f | %9.2f | %8.2f %% |\n", what, samples.size(), s.minMs,
                s.maxMs, s.cpuPercent);
}

using vigie::bench::fmt;
using vigie::bench::resultRow;

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApp(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    vigie::Application app;
    vigie::MainForm& form = app.form;
    vigie::QtPlatform& platform = app.platform;
    app.window.show();
    platform.doEvents();

    std::vector<Sample> sleeps, delays, stage8, yieldsIdle, yields8;
    // The busy wait waitFor replaces: bare yields until the deadline.
    auto spin = [&] {
        const std::int64_t deadline = platform.tickCount() + 2000;
        while (platform.tickCount() <= deadline)
            platform.doEvents();
    };
    for (int i = 0; i < runs; ++i)
        sleeps.push_back(
            measure([] { std::this_thread::sleep_for(std::chrono::milliseconds(2000)); }));
    std::int64_t minTicks = INT64_MAX, maxTicks = 0;
    for (int i = 0; i < runs; ++i) {
        const std::int64_t tick0 = platform.tickCount();
        delays.push_back(measure([&] { form.session().waitFor(2000); }));
        minTicks = std::min(minTicks, platform.tickCount() - tick0);
        maxTicks = std::max(maxTicks, platform.tickCount() - tick0);
    }
    // The wait before each data line of the transfer.
    std::vector<double> shortWaits;
    for (int i = 0; i < 100; ++i)
        shortWaits.push_back(measure([&] { form.session().waitFor(23); }).wallMs);
    yieldsIdle.push_back(measure(spin));

    // The saving phase: the dots and the 15 s timer run while the session waits pass after pass.
    form.setTimerEnabled(form.dotsTimer, true);
    form.setTimerEnabled(form.session().savingTimer, true);
    form.session().stage = vigie::UpdateSession::Saving;
    for (int i = 0; i < runs; ++i)
        stage8.push_back(measure([&] {
            platform.doEvents();
            form.session().waitFor(2000);
        }));
    yields8.push_back(measure([&] {
        platform.doEvents();
        spin();
    }));
    form.setTimerEnabled(form.dotsTimer, false);
    form.setTimerEnabled(form.session().savingTimer, false);

    std::printf("Waits of 2000 ms on the Qt event loop, %d runs each\n\n", runs);
    std::printf("| %-40s | %4s | %9s | %9s | %10s |\n", "wait", "runs", "min ms", "max ms", "CPU");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(42, '-').c_str(), std::string(6, '-').c_str(),
                std::string(11, '-').c_str(), std::string(11, '-').c_str(),
                std::string(12, '-').c_str());
    tableRow("sleep_for(2000 ms)", sleeps);
    tableRow("Delay(2000)", delays);
    tableRow("bare yields for 2000 ms", yieldsIdle);
    tableRow("stage-8 pass: Delay(2000), timers on", stage8);
    tableRow("stage-8 pass: bare yields, timers on", yields8);
    std::printf("\n");

    const Summary d = summarise(delays), s = summarise(sleeps), y = summarise(yieldsIdle);
    const Summary p8 = summarise(stage8), y8 = summarise(yields8);
    std::sort(shortWaits.begin(), shortWaits.end());
    const double shortMedian = shortWaits[shortWaits.size() / 2];
    const double shortP99 = shortWaits[(shortWaits.size() * 99 + 99) / 100 - 1];
    std::printf("Delay(23), %zu runs: min %.3f, median %.3f, p99 %.3f, max %.3f ms\n",
                shortWaits.size(), shortWaits.front(), shortMedian, shortP99, shortWaits.back());
    std::printf("Delay(2000) on the program's clock: %lld-%lld ticks\n\n",
                static_cast<long long>(minTicks), static_cast<long long>(maxTicks));
    // The program counts whole milliseconds: the wait must last 2001 to 2020 of its ticks, and no
    // more than 2020 ms of wall time (it starts from a tick that may be up to 1 ms old).
    resultRow("Delay(2000): wall time, min-max of " + std::to_string(runs),
              fmt("%.1f-%.1f ms", d.minMs, d.maxMs), fmt("%.1f ms sleep_for", s.maxMs),
              fmt("%.4f", d.maxMs / s.maxMs), "2001-2020 ms",
              minTicks >= 2001 && maxTicks <= 2020 && d.maxMs <= 2020.0);
    resultRow("Delay(23): wall time, median / p99", fmt("%.3f / %.3f ms", shortMedian, shortP99),
              "23 ms", fmt("%.4f", shortMedian / 23.0), "min >= 23, median <= 24 ms",
              shortWaits.front() >= 23.0 && shortMedian <= 24.0);
    resultRow("Delay(2000): CPU while waiting", fmt("%.2f %% core", d.cpuPercent),
              fmt("%.1f %% bare yields", y.cpuPercent), fmt("%.4f", d.cpuPercent / y.cpuPercent),
              "< 2 % core", d.cpuPercent < 2.0);
    resultRow("stage-8 pass (timers on): CPU", fmt("%.2f %% core", p8.cpuPercent),
              fmt("%.1f %% bare yields", y8.cpuPercent), fmt("%.4f", p8.cpuPercent / y8.cpuPercent),
              "< 2 % core", p8.cpuPercent < 2.0);
    return 0;
}
