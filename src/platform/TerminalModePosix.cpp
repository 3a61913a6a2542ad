#include "platform/TerminalMode.h"

#include "platform/TerminationSignals.h"

#include <poll.h>
#include <unistd.h>

bool isTerminal(int fd)
{
    return ::isatty(fd) != 0;
}

bool inForeground(int fd)
{
    const pid_t group = ::tcgetpgrp(fd);
    return group >= 0 && group == ::getpgrp();
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
    if (!inForeground(m_fd)) {
        // Sent to the background while holding the mode (stopped by a signal
        // it could not see, then continued with bg): the shell has set the
        // terminal's modes since, and they are no longer ours to change.
        m_active = false;
        return false;
    }
    // Taken again after a stop too: the shell may have put back its own modes.
    if (!m_active && ::tcgetattr(m_fd, &m_saved) != 0) {
        return false;
    }
    termios raw = m_saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    m_active = ::tcsetattr(m_fd, TCSANOW, &raw) == 0;
    return m_active;
}

void TerminalMode::leave()
{
    if (m_active && inForeground(m_fd)) {
        ::tcsetattr(m_fd, TCSANOW, &m_saved);
    }
    m_active = false;
}

std::optional<char> TerminalMode::readKey()
{
    char key = 0;
    if (m_active && ::read(m_fd, &key, 1) == 1) {
        return key;
    }
    return std::nullopt;
}

InputReady waitForInput(const TerminationSignals& signals, const TerminalMode& terminal, int timeoutMs)
{
    pollfd fds[2] = {{signals.fd(), POLLIN, 0}, {terminal.m_fd, POLLIN, 0}};
    if (::poll(fds, terminal.active() ? 2 : 1, timeoutMs) <= 0) {
        return {};
    }
    return {(fds[0].revents & POLLIN) != 0, terminal.active() && (fds[1].revents & POLLIN) != 0};
}
