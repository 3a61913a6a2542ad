#pragma once

#include "playback/AppState.h"
#include "song/SongSettings.h"

#include <optional>
#include <string>

// The loop as the panel's keys set it: its start A and end B, positions on
// the song's clock at 100 % speed, and whether it is on. A song's start
// brings the loop it plays with; `[` and `]` move A and B, `L` turns it on
// and off. A without B is no region yet; B without A loops from the song's
// start; a B not after A is dropped by the next A. Qt-free, GUI thread only.
class LoopMarks {
public:
    // What the song that started plays with.
    void reset(const std::optional<LoopRegion>& region, bool on);
    void markStart(int ms);
    void markEnd(int ms);
    // On and off; it stays off while there is no region.
    void toggle();

    // A to B, when both are there and B is after A.
    std::optional<LoopRegion> region() const;
    bool on() const { return m_on && region().has_value(); }
    AppState::LoopRequest request() const { return {region(), on()}; }
    // "Loop 0:12 - 0:20 on"; "Loop 0:12 - ? off" before B is set.
    std::string text() const;

private:
    std::optional<int> m_from;
    std::optional<int> m_to;
    bool m_on = false;
};
