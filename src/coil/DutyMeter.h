#pragma once

#include <algorithm>
#include <cstdint>

// The duty cycle over consecutive windows of equal length (a second of
// samples in the simulator): the estimate's time-weighted mean and its
// highest value, and the measured duty, the part of the window during which
// the output was on.
struct DutyReport {
    double mean = 0.0;
    double peak = 0.0;
    double measured = 0.0;
};

// Adds up the estimate and the output's on-time sample by sample and hands
// out one report per full window. No allocation: it runs in the audio
// callback.
class DutyMeter {
public:
    explicit DutyMeter(std::uint32_t windowFrames) : m_window(windowFrames) {}

    // `frames` samples during which the estimate was `duty`. Calls
    // onReport(DutyReport) for each window that these samples complete; a
    // duty held for no sample is not a peak.
    template <class OnReport>
    void add(std::uint64_t frames, double duty, OnReport&& onReport)
    {
        addRendered(frames, duty, [](std::uint64_t, std::uint64_t) { return 0.0; }, onReport);
    }

    // As add, for samples made by render(offset, count), which makes the
    // `count` samples from `offset` on (counted from the first of `frames`)
    // and returns their on-time in samples. The samples are made a window at
    // a time, so that each window's on-time is its own samples'.
    template <class Render, class OnReport>
    void addRendered(std::uint64_t frames, double duty, Render&& render, OnReport&& onReport)
    {
        std::uint64_t offset = 0;
        while (offset < frames) {
            const std::uint64_t take = std::min<std::uint64_t>(frames - offset, m_window - m_filled);
            m_on += render(offset, take);
            m_sum += duty * static_cast<double>(take);
            m_peak = std::max(m_peak, duty);
            m_filled += static_cast<std::uint32_t>(take);
            offset += take;
            if (m_filled == m_window) {
                report(onReport);
            }
        }
    }

    // Reports the window begun, if any, as though silence filled the rest.
    template <class OnReport>
    void finish(OnReport&& onReport)
    {
        if (m_filled > 0) {
            report(onReport);
        }
    }

private:
    template <class OnReport>
    void report(OnReport&& onReport)
    {
        onReport(DutyReport{m_sum / m_window, m_peak, m_on / m_window});
        m_sum = 0.0;
        m_peak = 0.0;
        m_on = 0.0;
        m_filled = 0;
    }

    std::uint32_t m_window;
    std::uint32_t m_filled = 0;
    double m_sum = 0.0;
    double m_peak = 0.0;
    double m_on = 0.0;
};
