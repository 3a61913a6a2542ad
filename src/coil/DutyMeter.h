#pragma once

#include <algorithm>
#include <cstdint>

// The duty-cycle estimate over consecutive windows of equal length (a second
// of samples in the simulator): its time-weighted mean and its highest value.
struct DutyReport {
    double mean = 0.0;
    double peak = 0.0;
};

// Adds up the estimate sample by sample and hands out one report per full
// window. No allocation: it runs in the audio callback.
class DutyMeter {
public:
    explicit DutyMeter(std::uint32_t windowFrames) : m_window(windowFrames) {}

    // `frames` samples during which the estimate was `duty`. Calls
    // onReport(DutyReport) for each window that these samples complete; a
    // duty held for no sample is not a peak.
    template <class OnReport>
    void add(std::uint64_t frames, double duty, OnReport&& onReport)
    {
        while (frames > 0) {
            const std::uint64_t take = std::min<std::uint64_t>(frames, m_window - m_filled);
            m_sum += duty * static_cast<double>(take);
            m_peak = std::max(m_peak, duty);
            m_filled += static_cast<std::uint32_t>(take);
            frames -= take;
            if (m_filled == m_window) {
                onReport(DutyReport{m_sum / m_window, m_peak});
                m_sum = 0.0;
                m_peak = 0.0;
                m_filled = 0;
            }
        }
    }

private:
    std::uint32_t m_window;
    std::uint32_t m_filled = 0;
    double m_sum = 0.0;
    double m_peak = 0.0;
};
