#pragma once

#include "coilmodel/CoilLimits.h"
#include "midiout/Controller.h"
#include "song/PlaybackOptions.h"
#include "song/SongSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A set of MIDI channels, 0..15 (0 is the first MIDI channel), one bit each.
struct ChannelSet {
    std::uint16_t bits = 0;

    // Nothing for a value outside 0..15, as a channel typed out of range
    // matches no channel.
    static ChannelSet of(std::int32_t channel) { return ChannelSet{}.with(channel); }
    ChannelSet with(std::int32_t channel) const
    {
        return channel >= 0 && channel < 16 ? ChannelSet{static_cast<std::uint16_t>(bits | (1U << channel))} : *this;
    }
    bool has(std::int32_t channel) const { return channel >= 0 && channel < 16 && ((bits >> channel) & 1U) != 0; }
    bool empty() const { return bits == 0; }
    friend bool operator==(const ChannelSet&, const ChannelSet&) = default;
};

// Which sounding key a full coil gives up for a new note.
enum class KeepMode {
    Highest,  // the lowest sounding key, when the new one is higher
    Lowest,   // the highest sounding key, when the new one is lower
    Latest,   // always the key that has sounded longest
};

// One coil of the rig: a controller and what it plays. Settings left absent
// take the Options' values (or coil-limits.conf's) in force when used, so the
// coil follows the Options dialog as the single coil always has.
struct Coil {
    std::string name;
    // The controller's exact product name; "NAME #N" is the N-th device of that
    // name in device order (see CoilDevices.h).
    std::string device = kControllerName;
    ChannelSet channels;
    // 1..16 keys at once; absent: every note passes.
    std::optional<std::int32_t> voices;
    KeepMode keep = KeepMode::Highest;
    std::int32_t transpose = 0;  // semitones, -48..48
    std::optional<bool> shiftLowNotes;
    std::optional<std::int32_t> lowerLimit;  // 0..127
    std::int32_t volumePercent = 100;        // 1..100 of the volume slider
    // The coil's own limits; each one left off is coil-limits.conf's.
    CoilLimits limits;

    friend bool operator==(const Coil&, const Coil&) = default;
};

// Where a rig read from a file came from, kept so that messages can name a
// coil's lines and a writer can keep the user's order and comments.
struct RigSource {
    struct CoilLines {
        int section = 0;                               // the [coil NAME] line
        std::vector<std::pair<std::string, int>> keys;  // each key and its line, in file order
        int keyRange = 0;  // the later line of its key-range limits, 0 without one
    };
    std::string path;              // empty for the default rig
    std::vector<CoilLines> coils;  // one per coil, in rig order
};

struct Rig {
    std::vector<Coil> coils;  // one at least
    RigSource source;
};

// The name of the default rig's one coil.
inline constexpr const char* kDefaultCoilName = "Coil";

// The rig without a rig file: one coil on the controller, playing the
// Options' channel, with the Options' shift and coil-limits.conf's limits, no
// voice rule, no transpose, the whole volume. Everything sent through it is
// what a single coil was sent before there were rigs.
Rig defaultRig(const PlaybackOptions& options);
// The rig file's rig when there is one, else the default rig.
Rig rigInForce(const std::optional<Rig>& fromFile, const PlaybackOptions& options);

// The limits of `coil`: its own keys laid over `fileLimits` (coil-limits.conf).
CoilLimits coilLimitsInForce(const Coil& coil, const CoilLimits& fileLimits);
// `options` as they hold for `coil`: its low-note shift and its limits in
// place of the Options' and coil-limits.conf's (options.coilLimits) where it
// sets them. Everything else, the velocity curve included, stays as given.
// For the default rig's coil it returns `options` unchanged.
PlaybackOptions coilOptions(const Coil& coil, const PlaybackOptions& options);
// A coil whose own key-range limit meets coil-limits.conf's the wrong way
// round: "Error: PATH:LINE: lowest_key 70 is above highest_key 60 (with
// coil-limits.conf)", naming the coil's key; nothing when every coil's range
// holds.
std::optional<std::string> rigLimitsError(const Rig& rig, const CoilLimits& fileLimits);

// `rig` with a song's settings laid over it: each coil named there plays the
// song's channels and transpose where they are set, and every coil's volume
// share is scaled by the song's volume (rounded down, 1 at least). The names
// of the song's coils that the rig has not, in their order.
std::vector<std::string> applySongSettings(Rig& rig, const SongSettings& settings);

// The channel volume sent to `coil` for the volume slider at `sliderValue`
// (0..127): its share, value x percent / 100 rounded down.
std::int32_t coilChannelVolume(const Coil& coil, std::int32_t sliderValue);

// For each channel 0..15, the coils (indexes into rig.coils, in rig order)
// whose channels hold it: where a live message on that channel goes. Made
// once, so that routing a message allocates nothing.
class ChannelRoutes {
public:
    explicit ChannelRoutes(const Rig& rig);
    // Empty for a channel outside 0..15.
    const std::vector<std::size_t>& coilsOf(std::int32_t channel) const;

private:
    std::vector<std::vector<std::size_t>> m_coils;  // 16 entries, then one empty
};
