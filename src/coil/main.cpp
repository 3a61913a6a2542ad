// quillarc-coil: a stand-in for the coil controller on a JACK server. It
// listens like the controller, sounds like the coil and writes what it played
// to a WAV file on request.

#include "base/ArgCursor.h"
#include "coil/CoilJackClient.h"
#include "coil/WavWriter.h"
#include "coilmodel/CoilLimitsFile.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifndef QUILLARC_VERSION
#error "QUILLARC_VERSION must be defined by the build"
#endif

namespace {

const char* const kHelp = R"(usage: quillarc-coil [options]

Simulates the coil controller on a running JACK server: a client with one MIDI
input port that the control panel and quillarc-cli find as the controller,
and an audio output that sounds like the coil (a pulse train per note, at most
two notes, one output). Once a second it prints the estimated duty cycle of
the coil over that second, with its peak, and the duty it measured (the part
of the second during which its output was on), and warns on standard error
when the higher of the estimate's peak and the measured duty passes the limit.

options:
  --name NAME          JACK client name (default "Quillarc USB Controller")
  --wav FILE           also write the sound to FILE, a 48 kHz mono WAV
  --duty-limit PERCENT warn when the duty cycle passes it (default: the duty
                       limit of the coil limits file, else 10)
  --version            print the version and exit
  --help               show this text

Ctrl-C, SIGTERM and SIGHUP stop it; the WAV file is finished first.
exit status: 0 when stopped by a signal, 1 when the JACK client could not
start, the WAV could not be written or the server went away, 2 on bad
arguments or a coil limits file that cannot be read.
)";

constexpr int kRecordRate = 48000;

struct Settings {
    std::string name = "Quillarc USB Controller";
    std::optional<std::string> wavPath;
    // Without --duty-limit, the limits file's duty limit, else 10.
    std::optional<double> dutyLimitPercent;
};

constexpr double kDefaultDutyLimitPercent = 10.0;

// The duty limit to warn past: the one given, else the coil's own from the
// limits file, else the default. Nothing after saying why the limits file
// cannot be read.
std::optional<double> dutyLimitInForce(const Settings& settings)
{
    if (settings.dutyLimitPercent) {
        return settings.dutyLimitPercent;
    }
    CoilLimits limits;
    std::string error;
    if (!readCoilLimits(coilLimitsPath(), limits, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return std::nullopt;
    }
    return limits.dutyLimitPercent.value_or(kDefaultDutyLimitPercent);
}

std::optional<double> parsePercent(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !(value >= 0.0 && value <= 100.0)) {
        return std::nullopt;
    }
    return value;
}

// The settings the arguments give; nothing after printing the help or the
// version. Throws UsageError for anything it cannot take.
std::optional<Settings> parseSettings(const std::vector<std::string>& args)
{
    Settings settings;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return std::nullopt;
        }
        if (arg == "--version") {
            std::printf("quillarc-coil %s\n", QUILLARC_VERSION);
            return std::nullopt;
        }
        if (arg == "--name") {
            settings.name = cursor.valueOf(arg);
            if (settings.name.empty()) {
                throw UsageError("--name needs a non-empty name");
            }
        } else if (arg == "--wav") {
            settings.wavPath = cursor.valueOf(arg);
        } else if (arg == "--duty-limit") {
            const std::string& text = cursor.valueOf(arg);
            const std::optional<double> percent = parsePercent(text);
            if (!percent) {
                throw UsageError("--duty-limit takes a percentage from 0 to 100, not '" + text + "'");
            }
            settings.dutyLimitPercent = *percent;
        } else {
            throw UsageError("unknown argument " + arg);
        }
    }
    return settings;
}

void raiseServerGone()
{
    ::kill(::getpid(), SIGUSR1);
}

// The thread that takes what the callback produced: the recording to the WAV
// file, the duty reports to the terminal.
class Monitor {
public:
    Monitor(CoilJackClient& client, WavWriter* wav, double limitPercent)
        : m_client(client), m_wav(wav), m_limitPercent(limitPercent)
    {
    }

    void run()
    {
        while (true) {
            m_client.waitForWork();
            const bool last = m_stop.load();
            drain();
            if (last) {
                return;
            }
        }
    }
    // Ends run() after one more drain; call once the callback has stopped.
    void stop()
    {
        m_stop.store(true);
        m_client.wake();
    }
    double peakPercent() const { return m_peakPercent; }
    double peakMeasuredPercent() const { return m_peakMeasuredPercent; }
    bool wavFailed() const { return m_wavFailed; }

private:
    void drain()
    {
        std::size_t frames = 0;
        while ((frames = m_client.takeRecorded(m_block.data(), m_block.size())) > 0) {
            if (m_wav != nullptr && !m_wavFailed && !m_wav->write(m_block.data(), frames)) {
                std::fprintf(stderr, "quillarc-coil: %s\n", m_wav->error().c_str());
                m_wavFailed = true;
            }
        }
        while (const std::optional<DutyReport> report = m_client.takeReport()) {
            const double mean = report->mean * 100.0;
            const double peak = report->peak * 100.0;
            const double measured = report->measured * 100.0;
            m_peakPercent = std::max(m_peakPercent, peak);
            m_peakMeasuredPercent = std::max(m_peakMeasuredPercent, measured);
            std::printf("duty %.2f %% (peak %.2f %%), measured %.2f %%\n", mean, peak, measured);
            std::fflush(stdout);
            // The pulses may ask more of the coil than the estimate says
            // (a note's first pulse comes at once), or less (overlapping
            // pulses count once): the coil suffers the worse of the two.
            const double worst = std::max(peak, measured);
            if (worst > m_limitPercent) {
                std::fprintf(stderr, "quillarc-coil: warning: duty cycle %.2f %% is past the limit of %g %%\n", worst,
                             m_limitPercent);
            }
        }
    }

    CoilJackClient& m_client;
    WavWriter* m_wav;
    double m_limitPercent;
    std::atomic<bool> m_stop{false};
    std::array<float, 4096> m_block{};
    double m_peakPercent = 0.0;
    double m_peakMeasuredPercent = 0.0;
    bool m_wavFailed = false;
};

}  // namespace

int main(int argc, char** argv)
{
    std::optional<Settings> parsed;
    try {
        parsed = parseSettings(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "quillarc-coil: %s (see quillarc-coil --help)\n", error.what());
        return 2;
    }
    if (!parsed) {
        return 0;
    }
    const Settings& settings = *parsed;
    const std::optional<double> dutyLimit = dutyLimitInForce(settings);
    if (!dutyLimit) {
        return 2;
    }

    // Every thread started from here on, JACK's included, leaves these
    // signals to the sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
        sigaddset(&signals, signal);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CoilJackClient client;
    client.setServerGoneHandler(raiseServerGone);
    std::string error;
    if (!client.open(settings.name, settings.wavPath ? std::optional<int>(kRecordRate) : std::nullopt, error)) {
        std::fprintf(stderr, "quillarc-coil: %s\n", error.c_str());
        return 1;
    }
    WavWriter wav;
    if (settings.wavPath && !wav.open(*settings.wavPath, kRecordRate)) {
        std::fprintf(stderr, "quillarc-coil: %s\n", wav.error().c_str());
        return 1;
    }
    Monitor monitor(client, settings.wavPath ? &wav : nullptr, *dutyLimit);
    std::thread monitorThread(&Monitor::run, &monitor);
    std::string connectedTo;
    if (!client.activate(error, connectedTo)) {
        std::fprintf(stderr, "quillarc-coil: %s\n", error.c_str());
        monitor.stop();
        monitorThread.join();
        return 1;
    }
    std::printf("quillarc-coil: listening on %s at %d Hz; sound to %s\n", client.midiPortName().c_str(),
                client.sampleRate(), connectedTo.empty() ? "no playback port" : connectedTo.c_str());
    if (settings.wavPath) {
        std::printf("quillarc-coil: writing %s\n", settings.wavPath->c_str());
    }
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);

    // No sample is produced after deactivation, so the last drain is complete.
    client.deactivate();
    monitor.stop();
    monitorThread.join();
    bool failed = monitor.wavFailed();
    if (client.lostFrames() > 0) {
        std::fprintf(stderr, "quillarc-coil: %llu samples of the recording were lost: the disk did not keep up\n",
                     static_cast<unsigned long long>(client.lostFrames()));
    }
    if (settings.wavPath) {
        const double seconds = static_cast<double>(wav.framesWritten()) / kRecordRate;
        if (!wav.close()) {
            std::fprintf(stderr, "quillarc-coil: %s\n", wav.error().c_str());
            failed = true;
        } else {
            std::printf("quillarc-coil: wrote %.2f s to %s\n", seconds, settings.wavPath->c_str());
        }
    }
    std::printf("quillarc-coil: peak duty %.2f %%, measured %.2f %%\n", monitor.peakPercent(),
                monitor.peakMeasuredPercent());
    std::fflush(stdout);
    if (client.serverGone()) {
        std::fprintf(stderr, "quillarc-coil: the JACK server went away\n");
        return 1;
    }
    return failed ? 1 : 0;
}
