#include "cli/ProgressLine.h"

#include <cstdio>

namespace {

std::string clockText(int ms)
{
    const long seconds = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

std::string lineOverProgress(const std::string& line, std::size_t barWidth)
{
    return "\r" + line + std::string(barWidth > line.size() ? barWidth - line.size() : 0, ' ') + "\n";
}

std::string progressLine(int position, bool paused, int elapsedMs, int totalMs)
{
    constexpr int kWidth = 40;
    const int filled = position * kWidth / 127;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '-');
    return "\r[" + bar + "] " + clockText(elapsedMs) + " / " + clockText(totalMs) +
           (paused ? "  paused " : "         ");
}
