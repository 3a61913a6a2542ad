#pragma once

#include "midifile/MidiEvent.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The order of MidiFile::compareEvents as one integer per event: the tick
// (made unsigned with its order kept), then a rank at equal ticks: channel
// messages, markers and system-exclusive events (0), then meta events (1),
// then end-of-track (2). Two end-of-track events compare equal here
// (compareEvents ranks each before the other, which no sort can honour).
inline std::uint64_t orderKey(std::int32_t tick, int rank)
{
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(tick) ^ 0x80000000U) << 2) |
           static_cast<std::uint64_t>(rank);
}

inline std::uint64_t orderKey(const MidiEvent& event)
{
    const std::uint8_t* bytes = event.bytes.begin();
    const std::int32_t size = event.bytes.getSize();
    const bool meta = size > 0 && bytes[0] == 0xFF;
    const int rank = meta ? (size > 1 && bytes[1] == 0x2F ? 2 : 1) : 0;
    return orderKey(event.tick, rank);
}

// The k-way merge of the sorted tracks as a tournament of losers: each inner
// node of a complete binary tree over the tracks holds the track that lost
// the match played there, and the winner is kept apart. Taking the winner's
// next event replays only the matches on its path, one comparison per level,
// against small integers that stay in cache.
//
// A contestant is one integer: the event's order key shifted past the bits
// of the track's position, which breaks ties in favour of the lower track, as
// the stable sort does. A track with no events left plays as kExhausted,
// after every real event.
class LoserTree {
public:
    static constexpr std::uint64_t kExhausted = ~std::uint64_t{0};

    // `keys` are the first keys of the tracks in track order. An order key
    // takes 34 bits, which leaves room for the positions of 2^30 tracks,
    // far more than memory could hold.
    explicit LoserTree(const std::vector<std::uint64_t>& keys)
    {
        while ((std::size_t{1} << m_shift) < keys.size()) {
            ++m_shift;
        }
        const std::size_t leaves = std::size_t{1} << m_shift;
        // Builds the tree bottom-up: winners[node] is who won below it.
        std::vector<std::uint64_t> winners(2 * leaves, kExhausted);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            winners[leaves + i] = contestant(keys[i], i);
        }
        m_losers.assign(leaves, kExhausted);
        for (std::size_t node = leaves - 1; node >= 1; --node) {
            const std::uint64_t left = winners[2 * node];
            const std::uint64_t right = winners[2 * node + 1];
            winners[node] = std::min(left, right);
            m_losers[node] = std::max(left, right);
        }
        m_winner = winners[1];
    }

    bool done() const { return m_winner == kExhausted; }
    // The position (in `keys`) of the track whose next event comes first.
    std::size_t winner() const { return static_cast<std::size_t>(m_winner & positionMask()); }

    // The winner's track now offers `key` (kExhausted when it has no event left).
    void replay(std::uint64_t key)
    {
        const std::size_t track = winner();
        std::uint64_t rising = contestant(key, track);
        for (std::size_t node = (track + (std::size_t{1} << m_shift)) >> 1; node >= 1; node >>= 1) {
            const std::uint64_t waiting = m_losers[node];
            const bool waitingWins = waiting < rising;
            m_losers[node] = waitingWins ? rising : waiting;
            rising = waitingWins ? waiting : rising;
        }
        m_winner = rising;
    }

private:
    std::uint64_t contestant(std::uint64_t key, std::size_t track) const
    {
        return key == kExhausted ? kExhausted : (key << m_shift) | track;
    }
    std::uint64_t positionMask() const { return (std::uint64_t{1} << m_shift) - 1; }

    unsigned m_shift = 0;
    std::vector<std::uint64_t> m_losers;
    std::uint64_t m_winner = kExhausted;
};
