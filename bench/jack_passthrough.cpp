// Baseline for the live latency benchmark: the plainest JACK MIDI
// pass-through, every event of its input port copied to its output port in
// the same cycle at the same frame. Nothing is forwarded sooner than this.
//
//   jack_passthrough NAME [--ready FILE]      (ports "midi_in", "midi_out")
#include <jack/jack.h>
#include <jack/midiport.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

jack_port_t* g_in = nullptr;
jack_port_t* g_out = nullptr;
volatile std::sig_atomic_t g_stop = 0;

int process(jack_nframes_t frames, void*)
{
    void* in = jack_port_get_buffer(g_in, frames);
    void* out = jack_port_get_buffer(g_out, frames);
    jack_midi_clear_buffer(out);
    const std::uint32_t count = jack_midi_get_event_count(in);
    for (std::uint32_t index = 0; index < count; ++index) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, index) == 0) {
            jack_midi_event_write(out, event.time, event.buffer, event.size);
        }
    }
    return 0;
}

void onSignal(int)
{
    g_stop = 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--ready")) {
        std::fprintf(stderr, "usage: jack_passthrough NAME [--ready FILE]\n");
        return 2;
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    jack_status_t status{};
    jack_client_t* client =
        jack_client_open(argv[1], static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    if (!client) {
        std::fprintf(stderr, "jack_passthrough: cannot open JACK client '%s'\n", argv[1]);
        return 1;
    }
    g_in = jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    g_out = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!g_in || !g_out || jack_set_process_callback(client, process, nullptr) != 0 || jack_activate(client) != 0) {
        std::fprintf(stderr, "jack_passthrough: cannot start the client\n");
        return 1;
    }
    if (argc == 4) {
        std::ofstream(argv[3]) << "";
    }
    while (!g_stop) {
        ::pause();
    }
    jack_deactivate(client);
    jack_client_close(client);
    return 0;
}
