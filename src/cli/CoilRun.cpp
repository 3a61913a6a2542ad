#include "cli/CoilRun.h"

#include "platform/TerminalMode.h"

namespace {

// How long the main thread waits at most before it looks at the worker again.
constexpr int kLookIntervalMs = 100;

}  // namespace

bool takeOutputOption(const std::string& arg, ArgCursor& cursor, OutputArgs& args)
{
    if (arg == "--port") {
        args.port = cursor.intValueOf(arg);
    } else if (arg == "--device") {
        args.device = cursor.valueOf(arg);
    } else {
        return takeSendOption(arg, cursor, args.send) || takeLimitOption(arg, cursor, args.limits);
    }
    return true;
}

void checkOutputArgs(const OutputArgs& args)
{
    if (args.port && args.device) {
        throw UsageError("give either --port or --device, not both");
    }
}

CoilRun::CoilRun(const OutputArgs& args, PlaybackOptions& options)
{
    if (!applyCurve(args.send, options)) {
        return;
    }
    if (!applyLimits(args.limits, options)) {
        m_failure = 2;
        return;
    }
    const std::optional<int> port = chooseOutputPort(args.port, args.device, m_device);
    if (!port) {
        return;
    }
    m_port = *port;
    m_state.controllerPort.store(m_port);
    m_state.setControllerName(MidiOutPort::service()->productName(m_port));
    m_state.setOptions(options);
    m_failure = 0;
}

void CoilRun::watch(TerminalMode& terminal, const Watch& watch)
{
    while (!watch.finished()) {
        const InputReady ready = waitForInput(m_signals, terminal, kLookIntervalMs);
        if (ready.signal) {
            const int stop = watch.answerSignals([this] { return m_signals.take(); });
            m_stoppedBy = m_stoppedBy != 0 ? m_stoppedBy : stop;
        }
        if (ready.key) {
            if (const std::optional<char> key = terminal.readKey()) {
                watch.key(*key);
            }
        }
        watch.tick();
    }
}

void CoilRun::resetEveryChannel()
{
    m_device->selectPort(m_port);
    m_device->openPort();
}
