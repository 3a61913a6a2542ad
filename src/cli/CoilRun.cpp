#include "cli/CoilRun.h"

#include "platform/TerminalMode.h"
#include "playback/RigOutputs.h"
#include "rig/CoilDevices.h"

#include <iostream>

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
        return takeSendOption(arg, cursor, args.send) || takeLimitOption(arg, cursor, args.limits) ||
               takeRigOption(arg, cursor, args.rig);
    }
    return true;
}

void checkOutputArgs(const OutputArgs& args)
{
    if (args.port && args.device) {
        throw UsageError("give either --port or --device, not both");
    }
    if (args.rig.file && (args.port || args.device)) {
        throw UsageError("--port and --device choose the single coil: give them without --rig");
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
    // A device chosen by hand is the single coil's: no rig then.
    std::optional<Rig> rig;
    if (!args.port && !args.device && !readRigArgs(args.rig, options.coilLimits, rig)) {
        m_failure = 2;
        return;
    }
    m_state.setOptions(options);
    if (rig) {
        m_device.emplace();
        const auto devices = coilDevices(*rig, outputDeviceNames());
        if (const auto missing = missingCoilError(*rig, devices)) {
            std::cerr << *missing << '\n';
            return;
        }
        for (const auto& device : devices) {
            m_resetPorts.push_back(*device);
        }
        m_port = m_resetPorts.front();
        m_state.controllerPort.store(m_port);
        m_state.setRig(std::move(rig));
        m_failure = 0;
        return;
    }
    const std::optional<int> port = chooseOutputPort(args.port, args.device, m_device);
    if (!port) {
        return;
    }
    m_port = *port;
    m_resetPorts = {m_port};
    m_state.controllerPort.store(m_port);
    m_state.setControllerName(MidiOutPort::service()->productName(m_port));
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
    for (const int port : m_resetPorts) {
        m_device->selectPort(port);
        m_device->openPort();
    }
}
