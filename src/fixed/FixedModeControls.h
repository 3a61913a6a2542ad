#pragma once

#include "base/ChangeSignal.h"
#include "fixed/FixedTone.h"

#include <atomic>
#include <chrono>
#include <cstdint>

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

    // "Sound again": how many times it was asked; the thread sounds a cut
    // tone again when the count has moved since it looked.
    std::uint64_t againRequests() const { return m_again.load(); }
    void requestAgain();

    // Every setter notifies it: the fixed-mode thread reads its count before
    // looking at the values, then waits with it, and no change slips by.
    ChangeSignal& changes() { return m_changes; }

private:
    std::atomic<bool> m_running{false};
    std::atomic<int> m_frequency{kFixedStartKey};
    std::atomic<int> m_power{kFixedPowerHighest};
    std::atomic<std::uint64_t> m_again{0};
    ChangeSignal m_changes;
};
