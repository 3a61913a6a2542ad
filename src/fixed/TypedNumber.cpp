#include "fixed/TypedNumber.h"

#include <limits>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

std::int32_t typedNumber(std::string_view text)
{
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return 0;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) {
            return 0;
        }
    }
    return static_cast<std::int32_t>(value);
}
