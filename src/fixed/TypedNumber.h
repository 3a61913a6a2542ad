#pragma once

#include <cstdint>
#include <string_view>

// The number in a dialog's edit field, taken as typed: decimal digits,
// optionally surrounded by spaces. Anything else (empty text, a sign, letters,
// a value beyond 2147483647) yields 0, silently.
std::int32_t typedNumber(std::string_view text);
