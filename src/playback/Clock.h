#pragma once

#include <chrono>
#include <cstdint>

// Milliseconds of the steady clock in 32 bits: wraps after about 49.7 days, so
// times are only ever compared through unsigned differences.
inline std::uint32_t nowMs()
{
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

#include <functional>

// A source of nowMs() values; tests hand in one they control.
using MsClock = std::function<std::uint32_t()>;
