#include "coil/CoilJackClient.h"

#include "jack/JackClientClose.h"
#include "jack/ProcessCycles.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>

namespace {

// Five seconds of recording at 48 kHz: the writer may stall that long.
constexpr std::size_t kRecordedBytes = 1U << 20;
constexpr std::size_t kReportBytes = 64 * sizeof(DutyReport);
// A server that does not let the client go within this margin of its periods
// is going away as it is asked, and will not answer.
constexpr std::chrono::microseconds kCloseMargin = std::chrono::seconds(1);

void quietJackMessage(const char*) {}

// Once the client runs, JACK's own complaints are worth seeing, under our
// name; but not those of a connection to a server that has just gone, which
// JACK's thread can print before the shutdown notice arrives: that notice
// says it in one line.
void prefixedJackMessage(const char* text)
{
    for (const std::string_view lost : {"Cannot read socket", "Cannot write socket", "JackSocketClientChannel",
                                        "CheckRes error", "Could not read result", "Could not write request"}) {
        if (std::string_view(text).starts_with(lost)) {
            return;
        }
    }
    std::fprintf(stderr, "quillarc-coil: JACK: %s\n", text);
}

}  // namespace

CoilJackClient::~CoilJackClient()
{
    deactivate();
    if (m_client != nullptr && (m_leftRunning || !closeJackClient(m_client, false, closeLimit()))) {
        // The server did not let the client go: its callback may still read
        // the ring buffers and the semaphore, so they go with the process.
        return;
    }
    if (m_recorded != nullptr) {
        jack_ringbuffer_free(m_recorded);
    }
    if (m_reports != nullptr) {
        jack_ringbuffer_free(m_reports);
    }
    if (m_semaphoreReady) {
        sem_destroy(&m_work);
    }
}

bool CoilJackClient::open(const std::string& name, std::optional<int> recordRate, std::string& error)
{
    // Without a server, libjack explains its failed connection at length; the
    // one line below says it.
    jack_set_error_function(quietJackMessage);
    jack_set_info_function(quietJackMessage);
    jack_status_t status{};
    m_client = jack_client_open(name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    jack_set_error_function(prefixedJackMessage);
    if (m_client == nullptr) {
        if ((status & JackNameNotUnique) != 0) {
            error = "a JACK client named \"" + name + "\" is already running";
        } else if ((status & JackServerFailed) != 0) {
            error = "no JACK server is running (start one, e.g. jackd -d dummy -r 48000)";
        } else {
            error = "cannot open the JACK client \"" + name + "\"";
        }
        return false;
    }
    m_sampleRate = static_cast<int>(jack_get_sample_rate(m_client));
    m_periodFrames = jack_get_buffer_size(m_client);
    m_midiIn = jack_port_register(m_client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_audioOut = jack_port_register(m_client, "audio_out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    m_recorded = jack_ringbuffer_create(kRecordedBytes);
    m_reports = jack_ringbuffer_create(kReportBytes);
    if (m_midiIn == nullptr || m_audioOut == nullptr || m_recorded == nullptr || m_reports == nullptr) {
        error = "cannot register the JACK ports";
        return false;
    }
    jack_ringbuffer_mlock(m_recorded);
    jack_ringbuffer_mlock(m_reports);
    if (sem_init(&m_work, 0, 0) != 0) {
        error = "cannot create a semaphore";
        return false;
    }
    m_semaphoreReady = true;

    m_synth.emplace(m_sampleRate);
    if (recordRate) {
        m_recordSynth.emplace(*recordRate);
    }
    m_meter.emplace(static_cast<std::uint32_t>(m_sampleRate));
    jack_set_process_callback(m_client, &CoilJackClient::onProcess, this);
    jack_on_shutdown(m_client, &CoilJackClient::onShutdown, this);
    return true;
}

bool CoilJackClient::activate(std::string& error, std::string& connectedTo)
{
    if (jack_activate(m_client) != 0) {
        error = "cannot activate the JACK client";
        return false;
    }
    m_active = true;
    // A mono signal: the same on the first two playback channels.
    const char** playback =
        jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    if (playback != nullptr) {
        for (int i = 0; i < 2 && playback[i] != nullptr; ++i) {
            if (jack_connect(m_client, jack_port_name(m_audioOut), playback[i]) == 0) {
                connectedTo += (connectedTo.empty() ? "" : ", ") + std::string(playback[i]);
            }
        }
        jack_free(static_cast<void*>(playback));
    }
    return true;
}

void CoilJackClient::deactivate()
{
    if (m_serverGone.load()) {
        // Already said: the calls below would only repeat it.
        jack_set_error_function(quietJackMessage);
    }
    if (m_active) {
        m_active = false;
        // A client whose server has gone runs no more cycles; closing it is
        // all that is left to do.
        if (!m_serverGone.load()) {
            jack_client_t* client = m_client;
            m_leftRunning = !finishWithin([client] { jack_deactivate(client); }, closeLimit());
        }
    }
}

std::chrono::microseconds CoilJackClient::closeLimit() const
{
    return cycleWaitLimit(m_periodFrames, static_cast<std::uint32_t>(m_sampleRate), kCloseMargin);
}

std::string CoilJackClient::midiPortName() const
{
    return m_midiIn != nullptr ? jack_port_name(m_midiIn) : "";
}

int CoilJackClient::onProcess(jack_nframes_t frames, void* self)
{
    return static_cast<CoilJackClient*>(self)->process(frames);
}

void CoilJackClient::onShutdown(void* self)
{
    auto* client = static_cast<CoilJackClient*>(self);
    client->m_serverGone.store(true);
    client->wake();
    if (client->m_serverGoneHandler != nullptr) {
        client->m_serverGoneHandler();
    }
}

int CoilJackClient::process(jack_nframes_t frames)
{
    void* midi = jack_port_get_buffer(m_midiIn, frames);
    auto* audio = static_cast<float*>(jack_port_get_buffer(m_audioOut, frames));
    const std::uint32_t count = jack_midi_get_event_count(midi);
    jack_nframes_t done = 0;
    for (std::uint32_t index = 0; index < count; ++index) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, midi, index) != 0) {
            continue;
        }
        const jack_nframes_t at = std::clamp(event.time, done, frames);
        renderUntil(audio, done, at);
        done = at;
        m_synth->receive(event.buffer, event.size);
        if (m_recordSynth) {
            m_recordSynth->receive(event.buffer, event.size);
        }
    }
    renderUntil(audio, done, frames);
    m_cycleStart += frames;
    sem_post(&m_work);
    return 0;
}

void CoilJackClient::renderUntil(float* audio, jack_nframes_t from, jack_nframes_t to)
{
    if (to <= from) {
        return;
    }
    const double duty = m_synth->modelDuty();
    float* const out = audio + from;
    m_meter->addRendered(
        to - from, duty,
        [this, out](std::uint64_t offset, std::uint64_t count) {
            return m_synth->render(out + offset, static_cast<std::size_t>(count));
        },
        [this](const DutyReport& report) {
            if (jack_ringbuffer_write_space(m_reports) >= sizeof report) {
                jack_ringbuffer_write(m_reports, reinterpret_cast<const char*>(&report), sizeof report);
            }
        });
    if (m_recordSynth) {
        // The same moment at the recording's rate, rounded down.
        const std::uint64_t serverFrame = m_cycleStart + to;
        record(serverFrame * static_cast<std::uint64_t>(m_recordSynth->sampleRate()) /
               static_cast<std::uint64_t>(m_sampleRate));
    }
}

void CoilJackClient::record(std::uint64_t untilFrame)
{
    while (m_recordSynth->position() < untilFrame) {
        const auto frames = static_cast<std::size_t>(
            std::min<std::uint64_t>(untilFrame - m_recordSynth->position(), m_recordBlock.size()));
        m_recordSynth->render(m_recordBlock.data(), frames);
        const std::size_t bytes = frames * sizeof(float);
        if (jack_ringbuffer_write_space(m_recorded) < bytes) {
            m_lostFrames.fetch_add(frames, std::memory_order_relaxed);
            continue;
        }
        jack_ringbuffer_write(m_recorded, reinterpret_cast<const char*>(m_recordBlock.data()), bytes);
    }
}

void CoilJackClient::waitForWork()
{
    while (sem_wait(&m_work) != 0 && errno == EINTR) {
    }
}

void CoilJackClient::wake()
{
    sem_post(&m_work);
}

std::size_t CoilJackClient::takeRecorded(float* out, std::size_t maxFrames)
{
    const std::size_t frames = std::min(jack_ringbuffer_read_space(m_recorded) / sizeof(float), maxFrames);
    jack_ringbuffer_read(m_recorded, reinterpret_cast<char*>(out), frames * sizeof(float));
    return frames;
}

std::optional<DutyReport> CoilJackClient::takeReport()
{
    DutyReport report;
    if (jack_ringbuffer_read_space(m_reports) < sizeof report) {
        return std::nullopt;
    }
    jack_ringbuffer_read(m_reports, reinterpret_cast<char*>(&report), sizeof report);
    return report;
}
