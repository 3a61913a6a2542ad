#include "jack/ProcessCycles.h"

#include <thread>

namespace {

constexpr auto kPollInterval = std::chrono::microseconds(100);

}  // namespace

bool ProcessCycles::waitForCompleted(std::uint64_t count, Clock::time_point deadline,
                                     const std::atomic<bool>& abandon) const
{
    while (completed() < count) {
        if (abandon.load() || Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

bool ProcessCycles::waitUntilOutside(Clock::time_point deadline) const
{
    const std::uint64_t seen = m_epoch.load();
    if (seen % 2 == 0) {
        return true;
    }
    while (m_epoch.load() == seen) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

std::chrono::microseconds cycleWaitLimit(std::uint32_t periodFrames, std::uint32_t sampleRate,
                                         std::chrono::microseconds margin) noexcept
{
    constexpr std::uint64_t kPeriods = 4;
    constexpr std::uint64_t kMicrosPerSecond = 1000000;
    if (periodFrames == 0 || sampleRate == 0) {
        return std::chrono::microseconds(kPeriods * kMicrosPerSecond) + margin;
    }
    // At most 2^32 frames: four periods in microseconds fit in 64 bits.
    const std::uint64_t scaled = kPeriods * periodFrames * kMicrosPerSecond;
    const std::uint64_t micros = (scaled + sampleRate - 1) / sampleRate;
    return std::chrono::microseconds(static_cast<std::int64_t>(micros)) + margin;
}
