#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The controllers this program sends or reads.
inline constexpr int kChannelVolume = 7;
inline constexpr int kSustain = 64;
inline constexpr int kAllSoundOff = 120;
inline constexpr int kAllNotesOff = 123;

// The packed word of a short message, byte 0 first on the wire: the status
// in the low byte as given (a status above 0xFF carries into byte 1), then
// the two data bytes cut to 7 bits; byte 3 is zero. WinMM takes this word as
// it is; the other services take its three low bytes.
constexpr std::uint32_t packShortMessage(int status, int data1, int data2)
{
    return static_cast<std::uint32_t>(status) + static_cast<std::uint32_t>(data1 & 0x7F) * 0x100U +
           static_cast<std::uint32_t>(data2 & 0x7F) * 0x10000U;
}

// How many bytes a short message with this status byte has on the wire (1 to
// 3); data-byte statuses keep all three bytes.
constexpr std::size_t shortMessageLength(std::uint8_t status)
{
    if (status < 0x80) {
        return 3;  // not a status byte: passed on as given
    }
    if (status < 0xF0) {
        const int kind = status >> 4;
        return kind == 0xC || kind == 0xD ? 2 : 3;
    }
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    default:
        return 1;
    }
}

// What a device reset sends: sustain off, all-sound-off and all-notes-off on
// each of the 16 channels, channel by channel.
using ResetMessages = std::array<std::array<std::uint8_t, 3>, 48>;
constexpr ResetMessages resetMessages()
{
    ResetMessages messages{};
    std::size_t next = 0;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (const int controller : {kSustain, kAllSoundOff, kAllNotesOff}) {
            messages[next++] = {static_cast<std::uint8_t>(0xB0 | channel), static_cast<std::uint8_t>(controller), 0};
        }
    }
    return messages;
}
