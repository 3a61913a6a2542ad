// The live forwarder fed a random byte stream at random clock steps, on the
// single coil or on a two-coil rig with voices and a transpose, under limits
// taken from the input. Checked on what it sends: every message is channel
// 0's note-on (key and velocity 0..127) or a control change; no note-on
// outside the key range or past the duty limit of the coil model; no key
// sounding longer than the maximum note length once its cuts were asked for;
// no more keys at once than the coil's voices; and once every input note is
// released (each key's note-off, each pedal up), no key left sounding on any
// coil: nothing stuck.

#include "coilmodel/CoilModel.h"
#include "live/LiveForwarder.h"
#include "rig/RigFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

constexpr const char* kRig = "[coil Lead]\ndevice = A\nchannels = 0-7\nvoices = 2\nkeep = latest\ntranspose = 5\n"
                             "[coil Bass]\ndevice = B\nchannels = 4-15\nvoices = 1\ntranspose = -12\n";

// What one coil has been sent, as the coil sounds it.
struct CoilState {
    std::array<std::optional<std::uint32_t>, 128> since{};  // when each sounding key began
    TwoVoiceTracker model{kEveryKey};
    int sounding = 0;
};

struct Checker {
    std::vector<CoilState> coils;
    PlaybackOptions options;
    std::optional<int> voices[2];

    void take(const CoilMessages& out, std::uint32_t now)
    {
        for (const CoilMessage& message : out) {
            require(message.coil < coils.size());
            CoilState& coil = coils[message.coil];
            const auto [status, key, velocity] = message.bytes;
            require(status == 0x90 || status == 0xB0);
            require(key < 128 && velocity < 128);
            if (status == 0xB0) {
                if (key == 120 || key == 123) {  // the sender silences the coil here
                    coil = CoilState{};
                }
                continue;
            }
            if (velocity == 0) {
                coil.sounding -= coil.since[key] ? 1 : 0;
                coil.since[key].reset();
                coil.model.noteOff(key);
                continue;
            }
            const CoilLimits& limits = options.coilLimits;
            require(!limits.lowestKey || key >= *limits.lowestKey);
            require(!limits.highestKey || key <= *limits.highestKey);
            coil.sounding += coil.since[key] ? 0 : 1;
            coil.since[key] = now;
            coil.model.noteOn(key, velocity);
            require(!limits.dutyLimitPercent || coil.model.duty() * 100.0 <= *limits.dutyLimitPercent + 1e-9);
            require(!voices[message.coil] || coil.sounding <= *voices[message.coil]);
        }
    }

    void requireNoLongNotes(std::uint32_t now) const
    {
        if (!options.coilLimits.maxNoteMs) {
            return;
        }
        for (const CoilState& coil : coils) {
            for (const auto& since : coil.since) {
                require(!since || now - *since <= static_cast<std::uint32_t>(*options.coilLimits.maxNoteMs));
            }
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) {
        return 0;
    }
    Checker checker;
    const bool onRig = (data[0] & 1) != 0;
    // The limits: each on or off by a bit, its value from the next bytes.
    CoilLimits& limits = checker.options.coilLimits;
    if (data[0] & 2) {
        limits.dutyLimitPercent = 0.5 + data[1] % 20;
    }
    if (data[0] & 4) {
        limits.maxNoteMs = 1 + data[2] * 4;
    }
    if (data[0] & 8) {
        limits.lowestKey = data[3] % 64;
        limits.highestKey = 64 + data[3] % 64;
    }
    checker.options.shiftLowNotes = (data[0] & 16) != 0 ? 1 : 0;
    Rig rig;
    std::string error;
    require(parseRig(kRig, "rig.conf", rig, error));
    LiveForwarder forwarder = onRig ? LiveForwarder(LiveForwarder::kAllChannels, rig)
                                    : LiveForwarder(LiveForwarder::kAllChannels);
    checker.coils.resize(forwarder.coilCount());
    if (onRig) {
        checker.voices[0] = 2;
        checker.voices[1] = 1;
    }
    CoilMessages out;
    out.reserve(4096);
    std::uint32_t now = 0xFFFFF000U;  // the clock wraps on the way
    // Then chunks: a clock step in milliseconds, a length, that many bytes.
    std::size_t at = 4;
    while (at + 2 <= size) {
        now += data[at];
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        out.clear();
        forwarder.cutsDue(now, out);
        forwarder.receive(data + at + 2, length, checker.options, now, out);
        checker.take(out, now);
        checker.requireNoLongNotes(now);
        at += 2 + length;
    }
    // Every input note released and every pedal up: nothing may sound. A
    // note-on or a pedal needs its status byte somewhere in the input (running
    // status only repeats one), so only the channels named by such a byte are
    // released: a fuzzer's input strikes a few channels, not all sixteen.
    std::array<bool, 16> struck{};
    for (std::size_t index = 4; index < size; ++index) {
        if ((data[index] & 0xF0) == 0x90 || (data[index] & 0xF0) == 0xB0) {
            struck[data[index] & 0x0F] = true;
        }
    }
    std::vector<std::uint8_t> releases;
    for (int channel = 0; channel < 16; ++channel) {
        if (!struck[channel]) {
            continue;
        }
        releases.insert(releases.end(), {static_cast<std::uint8_t>(0xB0 | channel), 64, 0});
        for (int key = 0; key < 128; ++key) {
            releases.insert(releases.end(), {static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(key), 0});
        }
    }
    out.clear();
    forwarder.receive(releases.data(), releases.size(), checker.options, now, out);
    checker.take(out, now);
    for (const CoilState& coil : checker.coils) {
        require(coil.sounding == 0);
    }
    out.clear();
    forwarder.silence(out);
    checker.take(out, now);
    return 0;
}
