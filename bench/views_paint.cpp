// Time to the first paint of each analysis window on a large song, and of a
// repaint, against `quillarc-cli notes` on the same file.
//
//   views_paint generate OUT.mid NOTES     write a song of NOTES notes
//   views_paint measure FILE CLI RUNS      print the medians, in ms
//
// A first paint is timed from the menu command (a fresh cache, so the song is
// read, paired and charted again) to the end of the window's first paint; a
// repaint is a synchronous repaint of the open window. The CLI runs with its
// CSV sent to /dev/null.

#include "views/AnalysisMakers.h"
#include "views/AnalysisWindows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

void putVlq(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t groups[5];
    int n = 0;
    groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
    while ((value >>= 7) != 0) {
        groups[n++] = static_cast<std::uint8_t>(0x80 | (value & 0x7F));
    }
    while (n > 0) {
        out.push_back(groups[--n]);
    }
}

// Format 0, 480 ticks per quarter at 120 bpm: a note every 10 ms on channel
// 0, each held for 6 ms, keys and velocities from a fixed pseudo-random walk.
int generate(const std::string& path, long notes)
{
    std::vector<std::uint8_t> track;
    track.reserve(static_cast<std::size_t>(notes) * 8 + 16);
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525U + 1013904223U;
        return state >> 8;
    };
    // 10 ms is 9.6 ticks: alternate 10 and 9 ticks between note starts.
    for (long i = 0; i < notes; ++i) {
        const int key = 36 + static_cast<int>(next() % 58);
        const int velocity = 30 + static_cast<int>(next() % 98);
        putVlq(track, i == 0 ? 0 : (i % 5 < 3 ? 4 : 3));
        track.insert(track.end(), {0x90, static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(velocity)});
        putVlq(track, 6);
        track.insert(track.end(), {0x80, static_cast<std::uint8_t>(key), 64});
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<std::uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    const auto size = static_cast<std::uint32_t>(track.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        file.push_back(static_cast<std::uint8_t>(size >> shift));
    }
    file.insert(file.end(), track.begin(), track.end());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
    return 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Runs `cli notes file` with its output on /dev/null; returns the wall time in ms.
double timeCliNotes(const std::string& cli, const std::string& file)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args{cli, "notes", file};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::cerr << "cannot run " << cli << '\n';
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    posix_spawn_file_actions_destroy(&actions);
    return ms;
}

class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

struct WindowTimes {
    double firstPaint = 0;
    std::vector<double> repaints;
};

WindowTimes timeWindow(ChartKind kind, const std::string& file)
{
    QWidget panel;
    PanelSelection selection{true, 0, file, {}, {}, {}, {}};
    WindowTimes times;
    {
        AnalysisWindows windows(analysisMakers(noDiagnostics()), [&] { return selection; }, &panel);
        ChartWindow* window = nullptr;
        QObject::connect(&windows, &AnalysisWindows::windowOpened, [&](ChartWindow* opened) { window = opened; });
        QElapsedTimer timer;
        timer.start();
        windows.open(kind);
        while (window == nullptr || window->paints() == 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        times.firstPaint = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        for (int i = 0; i < 30; ++i) {
            timer.restart();
            window->repaint();
            times.repaints.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        window->close();
        QCoreApplication::processEvents();
    }
    return times;
}

int measure(const std::string& file, const std::string& cli, int runs)
{
    // The windows print two lines per paint; keep them out of the figures' way.
    NullBuffer null;
    std::streambuf* const saved = std::cout.rdbuf(&null);
    const char* names[] = {"spectrum", "notes", "duty"};
    std::vector<double> cli_ms;
    std::vector<std::vector<double>> first(3);
    std::vector<std::vector<double>> repaint(3);
    timeCliNotes(cli, file);  // warm the page cache
    for (int run = 0; run < runs; ++run) {
        cli_ms.push_back(timeCliNotes(cli, file));
        for (int k = 0; k < 3; ++k) {
            const WindowTimes times = timeWindow(static_cast<ChartKind>(k), file);
            first[static_cast<std::size_t>(k)].push_back(times.firstPaint);
            const auto& r = times.repaints;
            repaint[static_cast<std::size_t>(k)].insert(repaint[static_cast<std::size_t>(k)].end(), r.begin(), r.end());
        }
    }
    std::cout.rdbuf(saved);
    const double notes = median(cli_ms);
    std::printf("quillarc-cli notes: median %.1f ms over %d runs\n", notes, runs);
    bool met = true;
    for (std::size_t k = 0; k < 3; ++k) {
        const double f = median(first[k]);
        const double r = median(repaint[k]);
        const double worst = *std::max_element(repaint[k].begin(), repaint[k].end());
        std::printf("%-8s first paint: median %.1f ms (%.2f x notes); repaint: median %.2f ms, worst %.2f ms\n",
                    names[k], f, f / notes, r, worst);
        met = met && f <= 1.3 * notes && r < 16.0;
    }
    std::printf("targets (first paint <= 1.3 x notes, repaint < 16 ms): %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "generate") {
        return generate(args[1], std::stol(args[2]));
    }
    if (args.size() == 4 && args[0] == "measure") {
        QApplication application(argc, argv);
        return measure(args[1], args[2], std::stoi(args[3]));
    }
    std::cerr << "usage: views_paint generate OUT.mid NOTES | views_paint measure FILE CLI RUNS\n";
    return 2;
}
