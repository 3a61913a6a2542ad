#include "coil/OfflineRender.h"

#include <algorithm>

namespace {

constexpr std::size_t kBlockFrames = 4096;

// Renders up to `frame` in blocks.
bool renderUntil(CoilSynth& synth, std::uint64_t frame, std::array<float, kBlockFrames>& block, const SampleSink& sink)
{
    while (synth.position() < frame) {
        const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(frame - synth.position(), kBlockFrames));
        synth.render(block.data(), frames);
        if (!sink(block.data(), frames)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool renderTimed(CoilSynth& synth, const std::vector<TimedMessage>& messages, std::uint64_t endFrame,
                 const SampleSink& sink)
{
    std::array<float, kBlockFrames> block{};
    for (const TimedMessage& message : messages) {
        if (message.frame >= endFrame) {
            break;
        }
        if (!renderUntil(synth, message.frame, block, sink)) {
            return false;
        }
        synth.receive(message.bytes.data(), message.size);
    }
    return renderUntil(synth, endFrame, block, sink);
}
