#include "base/ArgCursor.h"

std::optional<std::int32_t> parseInt(const std::string& text)
{
    return parseNumber<std::int32_t>(text);
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
