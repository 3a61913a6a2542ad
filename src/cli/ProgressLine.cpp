#include "cli/ProgressLine.h"

#include <cstdio>

namespace {

std::string clockText(double ms)
{
    const auto seconds = static_cast<long>(ms / 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

std::string progressLine(int position, bool paused, double totalMs)
{
    constexpr int kWidth = 40;
    const int filled = position * kWidth / 127;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '-');
    return "\r[" + bar + "] " + clockText(totalMs * position / 127.0) + " / " + clockText(totalMs) +
           (paused ? "  paused " : "         ");
}
