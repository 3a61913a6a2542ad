#include "base/ArgCursor.h"

#include <charconv>

std::optional<std::int32_t> parseInt(const std::string& text)
{
    std::int32_t value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

std::int32_t ArgCursor::intValueOf(const std::string& name)
{
    const std::string& text = valueOf(name);
    const auto value = parseInt(text);
    if (!value) {
        throw UsageError("option " + name + " needs a whole number, not '" + text + "'");
    }
    return *value;
}
