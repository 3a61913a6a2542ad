#include "fixed/FixedTone.h"

#include "coilmodel/CoilModel.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

int frequencyForKey(int key)
{
    return static_cast<int>(keyFrequency(key) + 0.5);
}

double dutyCycleForPower(int power)
{
    return power * 6.75 / 127.0;
}

std::string fixedModeStatusText(int key, int power)
{
    char text[96];
    std::snprintf(text, sizeof text, "Frequency: %d Hz Duty Cycle: %2.1f", frequencyForKey(key),
                  dutyCycleForPower(power));
    return text;
}

std::string fixedModeStatusText(int key, int power, int velocity)
{
    if (velocity >= kFixedFullVelocity) {
        return fixedModeStatusText(key, power);
    }
    char text[128];
    std::snprintf(text, sizeof text, "Frequency: %d Hz Duty Cycle: %2.1f (coil limits: velocity %d)", frequencyForKey(key),
                  dutyCycleForPower(power) * velocity / 127.0, velocity);
    return text;
}

std::string fixedFrequencyText(int key)
{
    return std::to_string(frequencyForKey(key)) + " Hz " + keyName(key);
}

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    return text;
}

// "A4", "c#5", "Db3": the key's number, or nothing.
std::optional<int> namedKey(std::string_view text)
{
    static constexpr std::array<int, 7> kSteps{9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text.empty() ? ' ' : text.front())));
    if (letter < 'A' || letter > 'G') {
        return std::nullopt;
    }
    int step = kSteps[static_cast<std::size_t>(letter - 'A')];
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '#' || text.front() == 'b')) {
        step += text.front() == '#' ? 1 : -1;
        text.remove_prefix(1);
    }
    int octave = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), octave);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return (octave + 1) * 12 + step;
}

// "440", "261.6 Hz": the key of the nearest pitch, or nothing.
std::optional<int> hertzKey(std::string_view text)
{
    if (text.size() >= 2 && (text.ends_with("Hz") || text.ends_with("hz"))) {
        text = trimmed(text.substr(0, text.size() - 2));
    }
    double hertz = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), hertz);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(hertz) || !(hertz > 0)) {
        return std::nullopt;
    }
    // 12 keys an octave from key 57 at 220 Hz; nearest on the pitch scale.
    const double key = 57.0 + 12.0 * std::log2(hertz / 220.0);
    return static_cast<int>(std::clamp(std::lround(key), static_cast<long>(kFixedKeyLowest), static_cast<long>(kFixedKeyHighest)));
}

}  // namespace

std::optional<int> typedFrequencyKey(std::string_view text)
{
    text = trimmed(text);
    std::optional<int> key = namedKey(text);
    if (!key) {
        key = hertzKey(text);
    }
    if (!key) {
        return std::nullopt;
    }
    return std::clamp(*key, kFixedKeyLowest, kFixedKeyHighest);
}
