#include "CountedAllocations.h"
#include "live/LiveCycle.h"
#include "live/LiveForwarder.h"
#include "rig/RigFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace {

constexpr std::uint32_t kT0 = 0xFFFFFF00U;  // the counter wraps during each row

// The in-cycle path: each step a cycle of 128 frames at 48 kHz whose frame 100
// falls 1/3 µs after kT0 + T ms (steady clock microseconds far from zero), the
// input one event there. Its messages go at frame 100, a cut due at T at 99.
constexpr std::uint32_t kFrame = 100;
constexpr std::uint32_t kCutFrame = 99;
constexpr std::uint64_t kEpochMicros = 3'000'000ULL << 32;

struct Written {
    int target;
    std::array<std::uint8_t, 3> bytes;
    std::uint32_t frame;
};

class ScriptCycle final : public MidiInputCycle {
public:
    ScriptCycle(std::uint32_t nowMs, const std::vector<std::uint8_t>& bytes, std::vector<Written>& written)
        : MidiInputCycle(kEpochMicros + std::uint64_t{nowMs} * 1000 - 2083, 128, 48000), m_bytes(bytes),
          m_written(written)
    {
    }
    std::size_t eventCount() const noexcept override { return m_bytes.empty() ? 0 : 1; }
    Event event(std::size_t) const noexcept override { return {m_bytes.data(), m_bytes.size(), kFrame}; }
    bool write(int target, const std::uint8_t* bytes, std::size_t length, std::uint32_t frame) noexcept override
    {
        Written message{target, {}, frame};
        std::copy(bytes, bytes + length, message.bytes.begin());
        m_written.push_back(message);  // within the room made for it
        return true;
    }

private:
    const std::vector<std::uint8_t>& m_bytes;
    std::vector<Written>& m_written;
};

// A script of steps at kT0 + T ms: "T:903c40" input bytes (in hex, any number
// of them), "T:shift" turns the low-note shift on, "T:cut" takes the cuts due,
// "T:vol99" sends the volume slider's 99, "T:next" notes when the next cut
// is due, from T. With a rig (the text of a rig file) each message is shown
// after its coil's name, "Lead:903c64". The result is every message for the
// coils in order, as hex, space-separated. `inCycle` sends the input and the
// cuts through LiveCycle (coil i written to target 10 + i), a message written
// at a frame other than its step's followed by "@", and counts what that
// allocates in `allocations`.
std::string run(int inputChannel, PlaybackOptions options, const std::string& script, const char* rigText,
                bool inCycle = false, std::size_t* allocations = nullptr)
{
    Rig rig;
    std::string error;
    if (rigText != nullptr && !parseRig(rigText, "rig.conf", rig, error)) {
        return error;
    }
    LiveForwarder forwarder = rigText != nullptr ? LiveForwarder(inputChannel, rig) : LiveForwarder(inputChannel);
    CoilMessages out;
    std::vector<int> targets;
    for (std::size_t coil = 0; coil < forwarder.coilCount(); ++coil) {
        targets.push_back(10 + static_cast<int>(coil));
    }
    LiveCycle cycle(forwarder, targets, std::make_shared<const PlaybackOptions>(options));
    std::vector<Written> written;
    written.reserve(1024);
    std::string text;
    std::istringstream in(script);
    for (std::string step; in >> step;) {
        const std::size_t colon = step.find(':');
        const std::uint32_t now = kT0 + static_cast<std::uint32_t>(std::stoul(step.substr(0, colon)));
        const std::string what = step.substr(colon + 1);
        if (what == "shift") {
            options.shiftLowNotes = 1;
            cycle.offer(std::make_shared<const PlaybackOptions>(options));
        } else if (inCycle && (what == "cut" || what.find_first_not_of("0123456789abcdef") == std::string::npos)) {
            std::vector<std::uint8_t> bytes;
            for (std::size_t at = 0; what != "cut" && at + 1 < what.size(); at += 2) {
                bytes.push_back(static_cast<std::uint8_t>(std::stoul(what.substr(at, 2), nullptr, 16)));
            }
            ScriptCycle inputs(now, bytes, written);
            *allocations += allocationsDuring([&] { cycle.run(inputs); });
            for (const Written& message : written) {
                const std::uint32_t frame = what == "cut" ? kCutFrame : kFrame;
                out.push_back({static_cast<std::size_t>(message.target - 10), message.bytes});
                if (message.frame != frame) {
                    out.push_back({static_cast<std::size_t>(message.target - 10), {'@', 0, 0}});
                }
            }
            written.clear();
        } else if (what == "cut") {
            forwarder.cutsDue(now, out);
        } else if (what.rfind("vol", 0) == 0) {
            forwarder.volume(std::stoi(what.substr(3)), out);
        } else if (what == "next") {
            text += "next=" + std::to_string(forwarder.nextCutAt(now).value_or(now) - now) + " ";
        } else {
            std::vector<std::uint8_t> bytes;
            for (std::size_t at = 0; at + 1 < what.size(); at += 2) {
                bytes.push_back(static_cast<std::uint8_t>(std::stoul(what.substr(at, 2), nullptr, 16)));
            }
            forwarder.receive(bytes.data(), bytes.size(), options, now, out);
        }
        for (const CoilMessage& message : out) {
            if (message.bytes[0] == '@') {
                text += "@ ";
                continue;
            }
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02x%02x%02x ", message.bytes[0], message.bytes[1], message.bytes[2]);
            text += (rigText != nullptr ? rig.coils[message.coil].name + ":" : "") + hex;
        }
        out.clear();
    }
    return text;
}

PlaybackOptions shiftAt(int lowerLimit)
{
    PlaybackOptions options;
    options.lowerLimit = lowerLimit;
    return options;
}

PlaybackOptions withCurve(int customCurve)
{
    PlaybackOptions options;
    options.customCurve = customCurve;
    options.curveLoaded = 1;
    options.velocityCurve[100] = 37;
    options.velocityCurve[90] = 0;
    return options;
}

PlaybackOptions withLimits(CoilLimits limits)
{
    PlaybackOptions options;
    options.coilLimits = limits;
    return options;
}

struct ForwardRow {
    const char* name;
    int inputChannel;
    PlaybackOptions options;
    const char* script;
    const char* out;
    const char* rig = nullptr;  // the rig file's text; none without one
    // Written in the cycle where it differs: the silencing in full there.
    const char* cycleOut = nullptr;
};

class LiveForwarderTest : public testing::TestWithParam<ForwardRow> {};

TEST_P(LiveForwarderTest, SendsTheCoilWhatTheKeyboardPlays)
{
    EXPECT_EQ(run(GetParam().inputChannel, GetParam().options, GetParam().script, GetParam().rig), GetParam().out);
}

TEST_P(LiveForwarderTest, WritesTheSameWithinTheCycleAtTheInputsFrameWithoutAllocating)
{
    std::size_t allocations = 0;
    EXPECT_EQ(run(GetParam().inputChannel, GetParam().options, GetParam().script, GetParam().rig, true, &allocations),
              GetParam().cycleOut != nullptr ? GetParam().cycleOut : GetParam().out);
    EXPECT_EQ(allocations, 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LiveForwarderTest,
    testing::Values(
        // Channel 2 only: channel 3's notes, program change, pitch bend and
        // aftertouch are dropped; 0x92 40 0 is a note-off.
        ForwardRow{"OneChannelOnChannelZero", 2, shiftAt(50),
                   "1:923c64 2:933e64 3:c205 4:e20040 5:a23c10 6:823c7f 7:92407f 8:924000",
                   "903c64 903c00 90407f 904000 "},
        ForwardRow{"AllChannels", LiveForwarder::kAllChannels, shiftAt(50), "1:923c64 2:9f3e50 3:8f3e00 4:823c00",
                   "903c64 903e50 903e00 903c00 "},
        // Running status across calls, a message split in two, a clock byte
        // inside one; a system message ends running status.
        ForwardRow{"RunningStatusAndSplitMessages", 0, shiftAt(50), "1:903c64 2:3e50 3:3c00 4:90 5:3ef8 6:00 7:f2 8:4040",
                   "903c64 903e50 903c00 903e00 "},
        // Struck with the shift off, 40 is released as 40 after the shift was
        // turned on; struck again, it sounds as 48.
        ForwardRow{"ShiftOffThenTurnedOnMidNote", 0, shiftAt(50), "1:902864 2:shift 3:802800 4:902864 5:802800",
                   "902864 902800 903064 903000 "},
        // 50 shifted to 58 and 58 itself: 58 stops with the last of them.
        ForwardRow{"ShiftedKeyAndItsOwnKeyShareTheCoilKey", 0, [] { auto o = shiftAt(50); o.shiftLowNotes = 1; return o; }(),
                   "1:903264 2:903364 3:903a50 4:803200 5:803a00 6:803300", "903a64 903364 903a50 903a00 903300 "},
        ForwardRow{"CurveApplies", 0, withCurve(1), "1:903c64 2:903e5a 3:903f20 4:803c00", "903c25 903f20 903c00 "},
        ForwardRow{"CurveLoadedButOff", 0, withCurve(0), "1:903c64 2:803c00", "903c64 903c00 "},
        // Keys outside 40..80 are not sent, nor are their note-offs.
        ForwardRow{"KeyRangeDrops", 0, withLimits(CoilLimits{{}, {}, 40, 80}), "1:902764 2:905064 3:802700 4:805000",
                   "905064 905000 "},
        // Keys from 76 up weigh velocity / 2048: 96 at 64, then 100 softened to 99 under 8 %.
        ForwardRow{"DutyLimitSoftens", 0, withLimits(CoilLimits{8.0, {}, {}, {}}), "1:906040 2:906464",
                   "906040 906463 "},
        // Held from 100: cut at 100 + 700 (across the wrap), its note-off then sends nothing.
        ForwardRow{"MaximumNoteLengthCutsAHeldKey", 0, withLimits(CoilLimits{{}, 700, {}, {}}),
                   "100:903c64 300:903e64 799:cut 800:cut 900:803c00 1000:cut 1001:803e00",
                   "903c64 903e64 903c00 903e00 "},
        // Cut at 800, 60 struck again sounds afresh and its own note-off ends it.
        ForwardRow{"KeyStruckAgainAfterItsCutGetsItsOwnNoteOff", 0, withLimits(CoilLimits{{}, 700, {}, {}}),
                   "100:903c64 800:cut 900:903c64 1000:803c00", "903c64 903c00 903c64 903c00 "},
        // The pedal holds 60 and 62; 62 struck again while held ends first and
        // sounds on; pedal up releases 60 only, 62's own note-off ends it.
        ForwardRow{"SustainHoldsUntilReleased", 0, shiftAt(50),
                   "1:b04040 2:903c64 3:803c00 4:903e64 5:803e00 6:903e50 7:b0407f 8:b04000 9:803e00",
                   "903c64 903e64 903e00 903e50 903c00 903e00 "},
        // The same with 64 struck between the pedal-up and 62's own note-off.
        ForwardRow{"PedalUpReleasesOnlyTheKeysItHeld", 0, shiftAt(50),
                   "1:b04040 2:903c64 3:803c00 4:903e64 5:803e00 6:903e50 7:b0407f 8:b04000 9:904064 10:803e00",
                   "903c64 903e64 903e00 903e50 903c00 904064 903e00 "},
        // A pedal on another channel holds nothing here.
        ForwardRow{"PedalOfAnotherChannel", 0, shiftAt(50), "1:b14040 2:903c64 3:803c00", "903c64 903c00 "},
        // All-notes-off from the keyboard: all-sound-off, then the old note-offs
        // and a held note send nothing; all-sound-off of channel 1 is dropped.
        ForwardRow{"PanicFromTheKeyboard", 0, shiftAt(50),
                   "1:903c64 2:b04040 3:903e64 4:803e00 5:b07b00 6:803c00 7:b04000 8:b17800 9:903c10",
                   "903c64 903e64 b07800 903c10 ", nullptr, "903c64 903e64 b07800 903c00 903e00 b07b00 903c10 "},
        // Channel 1 goes to both coils, 0 and 2 to one each, 5 to none; each
        // coil its share of the volume (99 x 80 % is 79.2); the pedal of
        // channel 1 holds its note on both; the keyboard's panic on channel 0
        // silences both coils.
        ForwardRow{"RigRoutesEachChannelToItsCoils", LiveForwarder::kAllChannels, shiftAt(50),
                   "1:vol99 2:903c64 3:923250 4:91405a 5:953e40 6:b14040 7:814000 8:803c00 9:b14000 10:b07b00 11:823200",
                   "Lead:b00763 Bass:b0074f Lead:903c64 Bass:903250 Lead:90405a Bass:90405a Lead:903c00 Lead:904000 "
                   "Bass:904000 Lead:b07800 Bass:b07800 ",
                   "[coil Lead]\nchannels = 0-1\n[coil Bass]\ndevice = Bass Coil\nchannels = 1, 2\nvolume_percent = 80\n",
                   "Lead:b00763 Bass:b0074f Lead:903c64 Bass:903250 Lead:90405a Bass:90405a Lead:903c00 Lead:904000 "
                   "Bass:904000 Lead:b07800 Lead:b07b00 Bass:b07800 Bass:903200 Bass:b07b00 "},
        // 36 up 12 is 48, raised to 56 by the shift once it is on (its
        // note-off still ends 48); down 12 it is 24, the Bass keeping its own
        // shift off. 120 + 12 and 10 - 12 leave the keys: dropped, on and off.
        ForwardRow{"RigTransposesAndShiftsPerCoil", 0, shiftAt(50),
                   "1:902464 2:shift 3:802400 4:902464 5:907850 6:900a40 7:807800 8:800a00",
                   "Lead:903064 Bass:901864 Lead:903000 Bass:901800 Lead:903864 Bass:901864 Bass:906c50 Lead:901e40 "
                   "Bass:906c00 Lead:901e00 ",
                   "[coil Lead]\nchannels = 0\ntranspose = 12\n"
                   "[coil Bass]\nchannels = 0\ntranspose = -12\nshift_low_notes = off\n"},
        // Two voices keeping the highest: 67 steals 60 (released first), 55
        // is dropped, and neither's note-off sends anything; channel 1's 67
        // shares the sounding key, which stops with the last of its notes.
        // The keyboard's panic frees every voice: 48 and 50 both sound.
        ForwardRow{"RigVoicesStealAndDropOnTheirCoilOnly", LiveForwarder::kAllChannels, shiftAt(50),
                   "1:903c64 2:904064 3:904364 4:903764 5:803c00 6:803700 7:914350 8:804300 9:804000 10:913c40 "
                   "11:814300 12:b07800 13:903064 14:903264",
                   "Lead:903c64 Lead:904064 Lead:903c00 Lead:904364 Lead:904350 Bass:904350 Lead:904000 Lead:903c40 "
                   "Bass:903c40 Lead:904300 Bass:904300 Lead:b07800 Bass:b07800 Lead:903064 Lead:903264 ",
                   "[coil Lead]\nchannels = 0-1\nvoices = 2\nkeep = highest\n[coil Bass]\nchannels = 1\n",
                   "Lead:903c64 Lead:904064 Lead:903c00 Lead:904364 Lead:904350 Bass:904350 Lead:904000 Lead:903c40 "
                   "Bass:903c40 Lead:904300 Bass:904300 Lead:b07800 Lead:903c00 Lead:b07b00 Bass:b07800 Bass:903c00 "
                   "Bass:b07b00 Lead:903064 Lead:903264 "},
        // 72 is above the Lead's keys; the Bass cuts after its own 300 ms,
        // the Lead after the file's 700, each once; their note-offs send nothing.
        ForwardRow{"RigCoilsKeepTheirOwnLimits", 0, withLimits(CoilLimits{{}, 700, {}, {}}),
                   "100:904864 200:903c64 300:next 399:cut 400:cut 500:cut 501:next 899:cut 900:cut 1000:804800 "
                   "1001:803c00",
                   "Bass:904864 Lead:903c64 Bass:903c64 next=100 Bass:904800 Bass:903c00 next=399 Lead:903c00 ",
                   "[coil Lead]\nchannels = 0\nhighest_key = 70\n[coil Bass]\nchannels = 0\nmax_note_ms = 300\n"}),
    [](const testing::TestParamInfo<ForwardRow>& row) { return std::string(row.param.name); });

}  // namespace
