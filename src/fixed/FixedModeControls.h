#pragma once

#include "fixed/FixedTone.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// What the Fixed Mode dialog shares with its thread: whether the thread is to
// keep running and the two slider positions, mirrored here by the dialog
// whenever a slider moves. Every setter wakes a thread waiting for a change,
// so the thread sleeps between slider moves instead of polling.
class FixedModeControls {
public:
    bool running() const { return m_running.load(); }
    void setRunning(bool running);

    int frequencyPosition() const { return m_frequency.load(); }
    void setFrequencyPosition(int key);

    int powerPosition() const { return m_power.load(); }
    void setPowerPosition(int power);

    // A counter that every setter advances: read it before looking at the
    // values, then wait with it, and no change can slip by unnoticed.
    std::uint64_t changeCount() const;
    // Blocks until a setter has run since `seen` was read.
    void waitForChange(std::uint64_t seen);
    // The same, or until `deadline`.
    void waitForChange(std::uint64_t seen, std::chrono::steady_clock::time_point deadline);

private:
    void notifyChange();

    std::atomic<bool> m_running{false};
    std::atomic<int> m_frequency{kFixedStartKey};
    std::atomic<int> m_power{kFixedPowerHighest};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_changeCount = 0;
};
