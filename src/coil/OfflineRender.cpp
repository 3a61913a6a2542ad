#include "coil/OfflineRender.h"

#include <algorithm>
#include <optional>

namespace {

constexpr std::size_t kBlockFrames = 4096;

// Renders up to `frame` in blocks, measured when `meter` is given.
bool renderUntil(CoilSynth& synth, std::uint64_t frame, std::array<float, kBlockFrames>& block, const SampleSink& sink,
                 DutyMeter* meter, const ReportSink& reports)
{
    while (synth.position() < frame) {
        const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(frame - synth.position(), kBlockFrames));
        if (meter != nullptr) {
            meter->addRendered(
                frames, synth.modelDuty(),
                [&](std::uint64_t offset, std::uint64_t count) {
                    return synth.render(block.data() + offset, static_cast<std::size_t>(count));
                },
                reports);
        } else {
            synth.render(block.data(), frames);
        }
        if (!sink(block.data(), frames)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool renderTimed(CoilSynth& synth, const std::vector<TimedMessage>& messages, std::uint64_t endFrame,
                 const SampleSink& sink, const ReportSink& reports)
{
    std::array<float, kBlockFrames> block{};
    std::optional<DutyMeter> meter;
    if (reports) {
        meter.emplace(static_cast<std::uint32_t>(synth.sampleRate()));
    }
    DutyMeter* const measuring = meter ? &*meter : nullptr;
    for (const TimedMessage& message : messages) {
        if (message.frame >= endFrame) {
            break;
        }
        if (!renderUntil(synth, message.frame, block, sink, measuring, reports)) {
            return false;
        }
        synth.receive(message.bytes.data(), message.size);
    }
    if (!renderUntil(synth, endFrame, block, sink, measuring, reports)) {
        return false;
    }
    if (meter) {
        meter->finish(reports);
    }
    return true;
}
