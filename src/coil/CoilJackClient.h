#pragma once

#include "coil/CoilSynth.h"
#include "coil/DutyMeter.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// The simulated controller on a JACK server: a client with one MIDI input
// port ("midi_in") and one audio output port ("audio_out"). Its process
// callback plays what arrives through a CoilSynth at the server's rate,
// sample-accurately within the cycle, and measures in windows of one second
// the duty-cycle estimate and the duty of the pulses it makes. With a recording rate it runs a second CoilSynth at
// that rate on the same messages for a file; its samples, like the duty
// reports, go through lock-free ring buffers to the thread that calls the
// take functions. The callback neither allocates, locks nor does I/O.
//
// Call open, then activate, then the take functions from one other thread;
// deactivate (or the destructor) before the last takes.
class CoilJackClient {
public:
    CoilJackClient() = default;
    ~CoilJackClient();
    CoilJackClient(const CoilJackClient&) = delete;
    CoilJackClient& operator=(const CoilJackClient&) = delete;

    // Opens the client under exactly `name` (never starting a server) and
    // registers its ports; `recordRate` asks for the recording synthesis.
    // False with the reason in `error`.
    bool open(const std::string& name, std::optional<int> recordRate, std::string& error);
    // Starts the callback and connects the audio output to the system's
    // playback ports, when there are any; returns their names.
    bool activate(std::string& error, std::string& connectedTo);
    // Stops the callback: nothing is produced afterwards. A server that does
    // not answer within a second and a few of its periods is not waited for:
    // the client is then left to the process's exit.
    void deactivate();

    int sampleRate() const { return m_sampleRate; }
    std::string midiPortName() const;

    // Waits until the callback has produced something since the last wait,
    // or wake() was called.
    void waitForWork();
    void wake();
    // Moves up to `maxFrames` recorded samples to `out`; returns how many.
    std::size_t takeRecorded(float* out, std::size_t maxFrames);
    std::optional<DutyReport> takeReport();
    // Recorded samples lost because the reader fell behind.
    std::uint64_t lostFrames() const { return m_lostFrames.load(); }
    // Set when the server shut the client down.
    bool serverGone() const { return m_serverGone.load(); }
    // Called on a JACK thread when the server shuts the client down; only
    // async-signal-safe work belongs there. Set before open.
    void setServerGoneHandler(void (*handler)()) { m_serverGoneHandler = handler; }

private:
    static int onProcess(jack_nframes_t frames, void* self);
    static void onShutdown(void* self);
    int process(jack_nframes_t frames);
    // Renders this cycle's samples [from, to) and the recording up to the same moment.
    void renderUntil(float* audio, jack_nframes_t from, jack_nframes_t to);
    void record(std::uint64_t untilFrame);
    std::chrono::microseconds closeLimit() const;

    jack_client_t* m_client = nullptr;
    jack_port_t* m_midiIn = nullptr;
    jack_port_t* m_audioOut = nullptr;
    int m_sampleRate = 0;
    std::uint32_t m_periodFrames = 0;
    bool m_active = false;
    bool m_leftRunning = false;  // a deactivation that did not finish in time

    std::optional<CoilSynth> m_synth;
    std::optional<CoilSynth> m_recordSynth;
    std::optional<DutyMeter> m_meter;
    std::uint64_t m_cycleStart = 0;  // samples at the server's rate before this cycle
    std::array<float, 1024> m_recordBlock{};

    jack_ringbuffer_t* m_recorded = nullptr;
    jack_ringbuffer_t* m_reports = nullptr;
    sem_t m_work{};
    bool m_semaphoreReady = false;
    std::atomic<std::uint64_t> m_lostFrames{0};
    std::atomic<bool> m_serverGone{false};
    void (*m_serverGoneHandler)() = nullptr;
};
