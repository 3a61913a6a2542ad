#pragma once

#include "coil/CoilSynth.h"
#include "coil/DutyMeter.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// One message for the synthesis at a chosen sample position.
struct TimedMessage {
    std::uint64_t frame = 0;
    std::array<std::uint8_t, 3> bytes{};
    std::uint8_t size = 3;
};

// Receives rendered samples block by block; false stops the rendering.
using SampleSink = std::function<bool(const float* samples, std::size_t frames)>;

// Receives the duty of each second rendered.
using ReportSink = std::function<void(const DutyReport& report)>;

// Renders `synth` from its position up to `endFrame`, applying each message
// at its frame; messages are in time order, and those before the position
// are applied at once, those at or after `endFrame` not at all. With
// `reports`, the duty of each second from the position on goes there, the
// last second, when the end cuts it short, as though silence filled it.
// Returns false when the sink refused a block.
bool renderTimed(CoilSynth& synth, const std::vector<TimedMessage>& messages, std::uint64_t endFrame,
                 const SampleSink& sink, const ReportSink& reports = {});
