// A JACK MIDI sender for the end-to-end tests and the live benchmark: a
// keyboard stand-in, one client with one MIDI output port ("midi_out") that
// plays a fixed script.
//
//   jack_sender NAME --script FILE [--connections N] [--ready FILE]
//               [--log FILE] [--done FILE]
//
// Each script line is "MS HH HH HH..." (milliseconds after the start, then
// the bytes in hex, one JACK event). The client is created under its exact
// NAME; once --ready's FILE exists, the script starts as soon as the port has
// N connections (default 1), 20 ms later, each event written at the frame of
// its time. --log FILE gets one line "FRAME HH HH HH..." per event as it
// was sent (the frame as the recorder counts them), --done FILE is created
// once every event was sent. The client stays until SIGTERM or SIGINT.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Event {
    jack_nframes_t offsetFrames;  // from the start
    std::vector<unsigned char> bytes;
    jack_nframes_t sentAt = 0;
};

jack_client_t* g_client = nullptr;
jack_port_t* g_port = nullptr;
std::vector<Event> g_events;
int g_connections = 1;
// Written by the process callback only, read after g_next reaches the end.
std::atomic<bool> g_started{false};
jack_nframes_t g_startFrame = 0;
std::atomic<std::size_t> g_next{0};
volatile std::sig_atomic_t g_stop = 0;

int process(jack_nframes_t frames, void*)
{
    void* buffer = jack_port_get_buffer(g_port, frames);
    jack_midi_clear_buffer(buffer);
    const jack_nframes_t cycleStart = jack_last_frame_time(g_client);
    if (!g_started.load(std::memory_order_relaxed)) {
        if (jack_port_connected(g_port) < g_connections) {
            return 0;
        }
        g_startFrame = cycleStart + jack_get_sample_rate(g_client) / 50;
        g_started.store(true, std::memory_order_relaxed);
    }
    std::size_t next = g_next.load(std::memory_order_relaxed);
    while (next < g_events.size()) {
        Event& event = g_events[next];
        const jack_nframes_t due = g_startFrame + event.offsetFrames;
        const auto ahead = static_cast<std::int32_t>(due - cycleStart);
        if (ahead >= static_cast<std::int32_t>(frames)) {
            break;
        }
        const jack_nframes_t offset = ahead < 0 ? 0 : static_cast<jack_nframes_t>(ahead);
        if (jack_midi_event_write(buffer, offset, event.bytes.data(), event.bytes.size()) != 0) {
            break;  // no room left in this cycle
        }
        event.sentAt = cycleStart + offset;
        ++next;
    }
    g_next.store(next, std::memory_order_release);
    return 0;
}

void onSignal(int)
{
    g_stop = 1;
}

void touch(const std::string& path)
{
    if (!path.empty()) {
        std::ofstream(path) << "";
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string name;
    std::string script, ready, log, done;
    for (int index = 1; index < argc; ++index) {
        const std::string arg = argv[index];
        if (index + 1 < argc && (arg == "--script" || arg == "--ready" || arg == "--log" || arg == "--done" ||
                                 arg == "--connections")) {
            const std::string value = argv[++index];
            if (arg == "--connections") {
                g_connections = std::stoi(value);
            }
            (arg == "--script" ? script : arg == "--ready" ? ready : arg == "--log" ? log : done) = value;
        } else if (name.empty() && !arg.starts_with("--")) {
            name = arg;
        } else {
            std::fprintf(stderr, "usage: jack_sender NAME --script FILE [--connections N] [--ready FILE] "
                                 "[--log FILE] [--done FILE]\n");
            return 2;
        }
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    jack_status_t status{};
    g_client = jack_client_open(name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    if (!g_client) {
        std::fprintf(stderr, "jack_sender: cannot open JACK client '%s'\n", name.c_str());
        return 1;
    }
    const double framesPerMs = jack_get_sample_rate(g_client) / 1000.0;
    std::ifstream in(script);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        double ms = 0;
        if (!(fields >> ms)) {
            continue;
        }
        Event event{static_cast<jack_nframes_t>(ms * framesPerMs + 0.5), {}};
        for (std::string hex; fields >> hex;) {
            event.bytes.push_back(static_cast<unsigned char>(std::stoul(hex, nullptr, 16)));
        }
        g_events.push_back(std::move(event));
    }
    g_port = jack_port_register(g_client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!g_port || jack_set_process_callback(g_client, process, nullptr) != 0 || jack_activate(g_client) != 0) {
        std::fprintf(stderr, "jack_sender: cannot start the client\n");
        return 1;
    }
    touch(ready);
    bool reported = false;
    while (!g_stop) {
        if (!reported && g_next.load(std::memory_order_acquire) == g_events.size() && g_started.load()) {
            if (!log.empty()) {
                std::ofstream out(log);
                for (const Event& event : g_events) {
                    out << event.sentAt;
                    for (const unsigned char byte : event.bytes) {
                        char hex[4];
                        std::snprintf(hex, sizeof hex, " %02x", byte);
                        out << hex;
                    }
                    out << '\n';
                }
            }
            touch(done);
            reported = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    jack_deactivate(g_client);
    jack_client_close(g_client);
    return 0;
}
