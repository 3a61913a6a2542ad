// A JACK MIDI recorder for the end-to-end tests: one client with one MIDI
// input port ("midi_in") that writes down every event it receives.
//
//   jack_recorder [NAME] [--output FILE] [--ready FILE]
//
// NAME is the client's exact JACK name (default "Quillarc USB Controller"); the
// recorder fails if the name is taken rather than pick another. Each event
// becomes one line
//
//   FRAME USECS HH HH HH...
//
// FRAME is the event's frame time (32-bit, wrapping), USECS its real time:
// when the cycle's first frame was due, on JACK's clock (jack_get_time), plus
// its offset at the server's rate. The cycle's start is the player's rule
// (CycleStart) applied to the recorder's own wake-ups, so that how late this
// process happened to wake is not counted against what it records; never
// JACK's filtered estimate (jack_frames_to_time), which lags the real time for
// a second after an xrun. Then the bytes in hex.
// Lines go to FILE (default standard output) within milliseconds of arrival.
// The --ready FILE is created once the port is registered and the client is
// running. SIGTERM or SIGINT (or the server going away) ends the recorder
// after it has written everything it received and a last line "end"; events
// that did not fit in the buffer are counted in a line "dropped N" before it.
//
// With QUILLARC_RECORDER_XRUNS=1 in the environment it also notes the time
// of every xrun the server reports (jack_get_time, microseconds) and writes
// them, one line "xrun USECS" each, before the "dropped" and "end" lines: a
// benchmark can then tell the notes the server lost or held back from the
// player's own.
//
// The process callback only copies events into a lock-free ring buffer and,
// in a cycle that brought any, wakes a writer thread that formats them. The
// writer sleeps while nothing arrives: several recorders run beside the
// programs under test, and a writer polling every millisecond cost about as
// much CPU as the JACK server itself.

#include "jack/CycleStart.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <semaphore.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct EventHeader {
    jack_nframes_t frame;
    std::uint32_t size;
    jack_time_t usecs;
};

constexpr std::size_t kRingBytes = 1 << 20;

jack_client_t* g_client = nullptr;
jack_port_t* g_port = nullptr;
jack_ringbuffer_t* g_ring = nullptr;
std::atomic<std::uint64_t> g_dropped{0};
std::atomic<bool> g_stopWriter{false};
sem_t g_eventsWritten;
CycleStart g_cycleStart;  // the process callback's alone

int process(jack_nframes_t frames, void*)
{
    const jack_time_t wake = jack_get_time();
    const std::uint32_t rate = jack_get_sample_rate(g_client);
    const jack_time_t cycleUsecs = g_cycleStart.next(wake * 1000, frames, rate) / 1000;
    void* buffer = jack_port_get_buffer(g_port, frames);
    const jack_nframes_t cycleStart = jack_last_frame_time(g_client);
    const std::uint32_t count = jack_midi_get_event_count(buffer);
    for (std::uint32_t index = 0; index < count; ++index) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, index) != 0) {
            continue;
        }
        const EventHeader header{cycleStart + event.time, static_cast<std::uint32_t>(event.size),
                                 cycleUsecs + jack_time_t{event.time} * 1000000 / rate};
        if (jack_ringbuffer_write_space(g_ring) < sizeof header + event.size) {
            g_dropped.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        jack_ringbuffer_write(g_ring, reinterpret_cast<const char*>(&header), sizeof header);
        jack_ringbuffer_write(g_ring, reinterpret_cast<const char*>(event.buffer), event.size);
    }
    if (count > 0) {
        sem_post(&g_eventsWritten);
    }
    return 0;
}

// Xrun reports come on JACK's notification thread, not the process thread.
std::mutex g_xrunsMutex;
std::vector<jack_time_t> g_xruns;

int onXrun(void*)
{
    const jack_time_t now = jack_get_time();
    const std::lock_guard lock(g_xrunsMutex);
    g_xruns.push_back(now);
    return 0;
}

void onShutdown(void*)
{
    // Wake the main thread, which waits for these signals.
    ::kill(::getpid(), SIGTERM);
}

// Writes out whatever the ring buffer holds; true when anything was written.
bool drain(std::FILE* out)
{
    bool wrote = false;
    EventHeader header;
    // The process callback writes an event's header and its bytes in two
    // steps: an event is taken only once both are there, or its bytes would
    // be read as missing and the next header from the middle of them.
    while (jack_ringbuffer_peek(g_ring, reinterpret_cast<char*>(&header), sizeof header) == sizeof header &&
           jack_ringbuffer_read_space(g_ring) >= sizeof header + header.size) {
        jack_ringbuffer_read_advance(g_ring, sizeof header);
        std::string bytes(header.size, '\0');
        jack_ringbuffer_read(g_ring, bytes.data(), header.size);
        std::fprintf(out, "%u %llu", static_cast<unsigned>(header.frame),
                     static_cast<unsigned long long>(header.usecs));
        for (const char byte : bytes) {
            std::fprintf(out, " %02x", static_cast<unsigned>(static_cast<unsigned char>(byte)));
        }
        std::fputc('\n', out);
        wrote = true;
    }
    if (wrote) {
        std::fflush(out);
    }
    return wrote;
}

void writerLoop(std::FILE* out)
{
    while (!g_stopWriter.load()) {
        drain(out);
        while (sem_wait(&g_eventsWritten) != 0 && errno == EINTR) {
        }
    }
}

void stopWriter(std::thread& writer)
{
    g_stopWriter.store(true);
    sem_post(&g_eventsWritten);
    writer.join();
}

// JACK's own messages (a server that went away, say) carry our name.
void prefixedJackMessage(const char* text)
{
    std::fprintf(stderr, "jack_recorder: %s\n", text);
}

int usage()
{
    std::fprintf(stderr, "usage: jack_recorder [NAME] [--output FILE] [--ready FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string name = "Quillarc USB Controller";
    std::string outputPath;
    std::string readyPath;
    for (int index = 1; index < argc; ++index) {
        const std::string arg = argv[index];
        if ((arg == "--output" || arg == "--ready") && index + 1 < argc) {
            (arg == "--output" ? outputPath : readyPath) = argv[++index];
        } else if (!arg.starts_with("--")) {
            name = arg;
        } else {
            return usage();
        }
    }

    // Every thread started from here on leaves these signals to sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    jack_set_error_function(prefixedJackMessage);
    std::FILE* out = stdout;
    if (!outputPath.empty()) {
        out = std::fopen(outputPath.c_str(), "w");
        if (!out) {
            std::fprintf(stderr, "jack_recorder: cannot write %s\n", outputPath.c_str());
            return 1;
        }
    }

    jack_status_t status{};
    g_client = jack_client_open(name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    if (!g_client) {
        std::fprintf(stderr, "jack_recorder: cannot open JACK client '%s' (status 0x%x)\n", name.c_str(),
                     static_cast<unsigned>(status));
        return 1;
    }
    g_ring = jack_ringbuffer_create(kRingBytes);
    g_port = jack_port_register(g_client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!g_ring || !g_port) {
        std::fprintf(stderr, "jack_recorder: cannot register the MIDI input port\n");
        return 1;
    }
    jack_ringbuffer_mlock(g_ring);
    jack_set_process_callback(g_client, process, nullptr);
    jack_on_shutdown(g_client, onShutdown, nullptr);
    const char* noteXruns = std::getenv("QUILLARC_RECORDER_XRUNS");
    if (noteXruns != nullptr && std::string(noteXruns) == "1") {
        jack_set_xrun_callback(g_client, onXrun, nullptr);
    }

    sem_init(&g_eventsWritten, 0, 0);
    std::thread writer(writerLoop, out);
    if (jack_activate(g_client) != 0) {
        std::fprintf(stderr, "jack_recorder: cannot activate the client\n");
        stopWriter(writer);
        return 1;
    }
    if (!readyPath.empty()) {
        if (std::FILE* ready = std::fopen(readyPath.c_str(), "w")) {
            std::fclose(ready);
        }
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);

    // No event arrives after deactivation, so the last drain is complete.
    jack_deactivate(g_client);
    stopWriter(writer);
    drain(out);
    {
        const std::lock_guard lock(g_xrunsMutex);
        for (const jack_time_t at : g_xruns) {
            std::fprintf(out, "xrun %llu\n", static_cast<unsigned long long>(at));
        }
    }
    if (const std::uint64_t dropped = g_dropped.load()) {
        std::fprintf(out, "dropped %llu\n", static_cast<unsigned long long>(dropped));
    }
    std::fprintf(out, "end\n");
    std::fflush(out);
    jack_client_close(g_client);
    jack_ringbuffer_free(g_ring);
    if (out != stdout) {
        std::fclose(out);
    }
    return 0;
}
