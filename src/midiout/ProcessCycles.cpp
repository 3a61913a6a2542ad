#include "midiout/ProcessCycles.h"

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
