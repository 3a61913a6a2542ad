#pragma once

#include <jack/jack.h>

#include <chrono>
#include <functional>

// Runs `work` on a thread of its own and waits until it has finished or
// `limit` has passed. True when it finished in time; otherwise the thread is
// left to finish, or to block for ever, by itself, so `work` must own (or
// leak) everything it touches. False at once, with `work` not run, when no
// thread can be started.
bool finishWithin(std::function<void()> work, std::chrono::microseconds limit) noexcept;

// Deactivates `client` (when `deactivate`), then closes it, waiting at most
// `limit`: when the server goes away as it is asked, libjack can block in
// either call for ever. True when closed in time. False leaves the client to
// the process's exit, and with it everything its callbacks read: the caller
// must not free that.
bool closeJackClient(jack_client_t* client, bool deactivate, std::chrono::microseconds limit) noexcept;
