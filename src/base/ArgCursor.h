#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// A command-line mistake: the program prints the one-line reason and exits
// with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Walks a program's (or a subcommand's) arguments, one option at a time. The
// one option parser of every program here.
class ArgCursor {
public:
    explicit ArgCursor(std::vector<std::string> args) : m_args(std::move(args)) {}

    bool done() const { return m_next >= m_args.size(); }
    const std::string& next() { return m_args.at(m_next++); }

    // The value after option `name`, which must be there.
    const std::string& valueOf(const std::string& name)
    {
        if (done()) {
            throw UsageError("option " + name + " needs a value");
        }
        return next();
    }

    // A decimal integer, taken as given (no range check beyond 32 bits).
    std::int32_t intValueOf(const std::string& name);

private:
    std::vector<std::string> m_args;
    std::size_t m_next = 0;
};

// The whole of `text` as a number of type T (an integer type, or a floating
// type written in plain decimal), a leading '+' allowed; nothing when the
// text is not one or it does not fit T. The one number rule of options and
// settings files alike.
template <typename T>
std::optional<T> parseNumber(std::string_view text)
{
    T value{};
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
    }
    const auto [end, failure] = std::from_chars(first, last, value);
    if (first == last || failure != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

// Parses a whole decimal integer; nothing when the text is not one.
std::optional<std::int32_t> parseInt(const std::string& text);
