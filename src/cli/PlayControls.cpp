#include "cli/PlayControls.h"

#include "platform/TerminalMode.h"
#include "platform/TerminationSignals.h"
#include "playback/AppState.h"

namespace {

// The signals taken since the last look, by what they ask for.
struct PendingSignals {
    int stop = 0;  // the first that ends playback
    bool suspend = false;
    bool continued = false;
};

PendingSignals takePending(const std::function<int()>& take)
{
    PendingSignals pending;
    while (const int signal = take()) {
        if (signal == TerminationSignals::kSuspend) {
            pending.suspend = true;
        } else if (signal == TerminationSignals::kContinue) {
            pending.continued = true;
        } else if (pending.stop == 0) {
            pending.stop = signal;
        }
    }
    return pending;
}

}  // namespace

KeyRequest keyRequest(char key, bool paused)
{
    switch (key) {
    case ' ':
        return paused ? KeyRequest::Resume : KeyRequest::Pause;
    case 'r':
    case 'R':
        return KeyRequest::Restart;
    case 'q':
    case 'Q':
        return KeyRequest::Stop;
    case 'n':
    case 'N':
        return KeyRequest::Next;
    case '+':
    case '=':  // + without shift on most keyboards
        return KeyRequest::Faster;
    case '-':
        return KeyRequest::Slower;
    default:
        return KeyRequest::None;
    }
}

KeyRequest KeyDecoder::feed(char byte, bool paused)
{
    constexpr char kEscape = '\x1b';
    const auto code = static_cast<unsigned char>(byte);
    switch (m_stage) {
    case Stage::Escape:
        if (byte == '[' || byte == 'O') {
            m_stage = Stage::Sequence;
            m_parameters = false;
            return KeyRequest::None;
        }
        m_stage = Stage::Key;
        break;
    case Stage::Sequence:
        if (code >= 0x20 && code <= 0x3F) {
            m_parameters = true;
            return KeyRequest::None;
        }
        m_stage = Stage::Key;
        if (m_parameters) {
            return KeyRequest::None;
        }
        return byte == 'C' ? KeyRequest::SeekForward : byte == 'D' ? KeyRequest::SeekBack : KeyRequest::None;
    case Stage::Key:
        break;
    }
    if (byte == kEscape) {
        m_stage = Stage::Escape;
        return KeyRequest::None;
    }
    return keyRequest(byte, paused);
}

PlayControls::PlayControls(AppState& state, TerminalMode& terminal, Coil coil)
    : m_state(state), m_terminal(terminal), m_coil(std::move(coil))
{
}

void PlayControls::press(char key)
{
    switch (m_keys.feed(key, m_paused)) {
    case KeyRequest::Pause:
        m_state.requestPause();
        m_paused = true;
        break;
    case KeyRequest::Resume:
        m_state.requestResume();
        m_paused = false;
        break;
    case KeyRequest::Restart:
        m_state.requestRestart();
        break;
    case KeyRequest::Stop:
        m_state.requestStop();
        break;
    case KeyRequest::Next:
        // The next file plays from its lead-in, not paused.
        m_state.requestStep(1);
        m_paused = false;
        break;
    case KeyRequest::SeekBack:
        m_state.requestSeekBy(-kSeekStepMs);
        break;
    case KeyRequest::SeekForward:
        m_state.requestSeekBy(kSeekStepMs);
        break;
    case KeyRequest::Faster:
        m_state.requestSpeedStep(1);
        break;
    case KeyRequest::Slower:
        m_state.requestSpeedStep(-1);
        break;
    case KeyRequest::None:
        break;
    }
}

void PlayControls::suspend()
{
    // Paused as with space, so that the song does not run on while stopped;
    // a pause of the user's own is not asked again, which would move its start.
    m_pausedBySuspend = !m_paused;
    if (m_pausedBySuspend) {
        m_state.requestPause();
    }
    m_coil.silence();
    m_terminal.leave();
}

void PlayControls::goOn()
{
    m_terminal.enter();
    m_coil.restore();
    if (m_pausedBySuspend) {
        m_state.requestResume();
        m_pausedBySuspend = false;
    }
}

int PlayControls::answerSignals(const std::function<int()>& take, const std::function<void()>& stopProcess)
{
    PendingSignals pending = takePending(take);
    if (pending.suspend && pending.stop == 0) {
        suspend();
        stopProcess();
        pending = takePending(take);
        if (pending.stop == 0) {
            goOn();
        }
    }
    if (pending.continued) {
        m_terminal.enter();
    }
    if (pending.stop != 0) {
        m_state.requestStop();
    }
    return pending.stop;
}
