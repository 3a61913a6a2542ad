// Cost of MidiOutput::sendNoteOn on the sending thread, through JackMidiService
// to a JACK recorder: run it under tests/e2e/with_jack.sh (bench/midiout_send.sh
// does). Every call is timed on its own; the counters give the median and the
// 99th percentile in microseconds.
//
//  - BackToBack: calls as fast as they return; includes the waits for room
//    once the port's queue is full.
//  - OnePerMillisecond: one call per millisecond, the pace of a busy song.
//  - RtMidiDirect: RtMidiOut::sendMessage on its own, without this program's
//    layers, for comparison.

#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"

#include <benchmark/benchmark.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void reportPercentiles(benchmark::State& state, std::vector<double>& micros)
{
    if (micros.empty()) {
        return;
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
}

int controllerOrSkip(benchmark::State& state)
{
    const int controller = findController();
    if (controller < 0) {
        state.SkipWithError("no device named Quillarc USB Controller: run under tests/e2e/with_jack.sh");
    }
    return controller;
}

void BackToBack(benchmark::State& state)
{
    const int controller = controllerOrSkip(state);
    if (controller < 0) {
        return;
    }
    MidiOutput output(controller, 1);
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(state.max_iterations));
    int key = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int result = output.sendNoteOn(0, key, 64);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (result != 0) {
            state.SkipWithError("send failed");
            break;
        }
        key = (key + 1) & 0x7F;
    }
    reportPercentiles(state, micros);
}

void OnePerMillisecond(benchmark::State& state)
{
    const int controller = controllerOrSkip(state);
    if (controller < 0) {
        return;
    }
    MidiOutput output(controller, 1);
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(state.max_iterations));
    auto due = Clock::now();
    int key = 0;
    for (auto _ : state) {
        due += std::chrono::milliseconds(1);
        std::this_thread::sleep_until(due);
        const auto start = Clock::now();
        const int result = output.sendNoteOn(0, key, 64);
        const auto elapsed = std::chrono::duration<double>(Clock::now() - start);
        state.SetIterationTime(elapsed.count());
        micros.push_back(elapsed.count() * 1e6);
        if (result != 0) {
            state.SkipWithError("send failed");
            break;
        }
        key = (key + 1) & 0x7F;
    }
    reportPercentiles(state, micros);
}

void RtMidiDirect(benchmark::State& state)
{
    RtMidiOut out(RtMidi::UNIX_JACK, "Quillarc bench direct");
    int index = -1;
    for (unsigned int port = 0; port < out.getPortCount(); ++port) {
        if (out.getPortName(port).starts_with(std::string(kControllerName) + ":")) {
            index = static_cast<int>(port);
        }
    }
    if (index < 0) {
        state.SkipWithError("no JACK port of Quillarc USB Controller");
        return;
    }
    out.openPort(static_cast<unsigned int>(index), "direct");
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(state.max_iterations));
    auto due = Clock::now();
    unsigned char message[3] = {0x90, 0, 64};
    for (auto _ : state) {
        due += std::chrono::milliseconds(1);
        std::this_thread::sleep_until(due);
        const auto start = Clock::now();
        out.sendMessage(message, 3);
        const auto elapsed = std::chrono::duration<double>(Clock::now() - start);
        state.SetIterationTime(elapsed.count());
        micros.push_back(elapsed.count() * 1e6);
        message[1] = static_cast<unsigned char>((message[1] + 1) & 0x7F);
    }
    reportPercentiles(state, micros);
}

}  // namespace

BENCHMARK(BackToBack)->Iterations(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(OnePerMillisecond)->Iterations(3000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RtMidiDirect)->Iterations(3000)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
