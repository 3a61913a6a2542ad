#include "platform/TerminalMode.h"

#include "platform/TerminationSignals.h"

#include <io.h>
#include <windows.h>

namespace {

HANDLE consoleOf(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

bool isTerminal(int fd)
{
    // Not _isatty: it says yes for the NUL device too.
    return consoleOf(fd) != nullptr;
}

bool inForeground(int fd)
{
    return isTerminal(fd);
}

TerminalMode::TerminalMode(int fd) : m_fd(fd)
{
    enter();
}

TerminalMode::~TerminalMode()
{
    leave();
}

bool TerminalMode::enter()
{
    if (m_active) {
        return true;
    }
    m_console = consoleOf(m_fd);
    if (m_console == nullptr || !GetConsoleMode(m_console, &m_saved)) {
        return false;
    }
    // Ctrl-C stays the console's (processed input), so it still reaches the
    // control handler.
    const DWORD raw = m_saved & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    m_active = SetConsoleMode(m_console, raw) != 0;
    return m_active;
}

void TerminalMode::leave()
{
    if (m_active) {
        SetConsoleMode(m_console, m_saved);
    }
    m_active = false;
}

namespace {

// The letter that ends an arrow's escape sequence; 0 for other keys.
char arrowLetter(WORD key)
{
    switch (key) {
    case VK_UP:
        return 'A';
    case VK_DOWN:
        return 'B';
    case VK_RIGHT:
        return 'C';
    case VK_LEFT:
        return 'D';
    default:
        return 0;
    }
}

}  // namespace

std::optional<char> TerminalMode::readKey()
{
    if (!m_pending.empty()) {
        const char next = m_pending.front();
        m_pending.erase(0, 1);
        return next;
    }
    DWORD waiting = 0;
    while (m_active && GetNumberOfConsoleInputEvents(m_console, &waiting) && waiting > 0) {
        INPUT_RECORD record{};
        DWORD read = 0;
        if (!ReadConsoleInputW(m_console, &record, 1, &read) || read == 0) {
            break;
        }
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) {
            continue;
        }
        if (const char letter = arrowLetter(record.Event.KeyEvent.wVirtualKeyCode)) {
            m_pending = {'[', letter};
            return '\x1b';
        }
        const WCHAR c = record.Event.KeyEvent.uChar.UnicodeChar;
        if (c != 0 && c < 0x80) {
            return static_cast<char>(c);
        }
    }
    return std::nullopt;
}

InputReady waitForInput(const TerminationSignals& signals, const TerminalMode& terminal, int timeoutMs)
{
    if (!terminal.m_pending.empty()) {
        return {WaitForSingleObject(signals.event(), 0) == WAIT_OBJECT_0, true};
    }
    const HANDLE handles[2] = {signals.event(), terminal.m_console};
    const DWORD count = terminal.active() ? 2 : 1;
    const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(timeoutMs));
    if (woken == WAIT_OBJECT_0) {
        return {true, false};
    }
    if (woken == WAIT_OBJECT_0 + 1) {
        return {false, true};
    }
    return {};
}
