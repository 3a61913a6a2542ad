#pragma once

#include <cstddef>
#include <cstdint>

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
