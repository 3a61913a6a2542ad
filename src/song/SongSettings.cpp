#include "song/SongSettings.h"

#include "base/ArgCursor.h"
#include "base/SettingsFile.h"
#include "song/NoteList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using Wrong = std::optional<std::string>;

std::string quoted(std::string_view text)
{
    return '\'' + std::string(text) + '\'';
}

// Seconds, fractions allowed, as milliseconds of the song's clock.
std::optional<std::int32_t> secondsAsMs(std::string_view text)
{
    const std::optional<double> seconds = parseNumber<double>(trimmedSetting(text));
    if (!seconds || !(*seconds >= 0.0 && *seconds <= 2.0e6)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(std::lround(*seconds * 1000.0));
}

std::string secondsText(std::int32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", ms / 1000.0);
    return text;
}

SongCoilSettings& coilOf(SongSettings& settings, const std::string& name)
{
    const auto found = std::find_if(settings.coils.begin(), settings.coils.end(),
                                    [&](const SongCoilSettings& coil) { return coil.coil == name; });
    if (found != settings.coils.end()) {
        return *found;
    }
    settings.coils.push_back({name, std::nullopt, std::nullopt});
    return settings.coils.back();
}

Wrong setCoilKey(SongCoilSettings& coil, std::string_view key, std::string_view value)
{
    if (key == "channels") {
        if (value.empty()) {
            coil.channels.reset();
            return std::nullopt;
        }
        std::uint16_t bits = 0;
        if (Wrong wrong = parseChannelList(value, bits)) {
            return wrong;
        }
        if (bits == 0) {
            return std::string("channels needs one channel at least");
        }
        coil.channels = bits;
        return std::nullopt;
    }
    if (key == "transpose") {
        if (value.empty()) {
            coil.transpose.reset();
            return std::nullopt;
        }
        return takeWholeSetting(coil.transpose, key, value, -48, 48);
    }
    return "unknown coil key " + quoted(key) + " (channels or transpose)";
}

}  // namespace

std::optional<std::string> parseChannelList(std::string_view list, std::uint16_t& bits)
{
    std::uint16_t taken = 0;
    std::string_view rest = list;
    for (;;) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = trimmedSetting(rest.substr(0, comma));
        const std::size_t dash = item.find('-');
        const auto first = parseNumber<std::int32_t>(trimmedSetting(item.substr(0, dash)));
        const auto last =
            dash == std::string_view::npos ? first : parseNumber<std::int32_t>(trimmedSetting(item.substr(dash + 1)));
        if (!first || !last) {
            return "bad channel list " + quoted(list);
        }
        for (const std::int32_t channel : {*first, *last}) {
            if (channel < 0 || channel > 15) {
                return "channel " + std::to_string(channel) + " is outside 0 to 15";
            }
        }
        if (*first > *last) {
            return "channel range " + std::to_string(*first) + '-' + std::to_string(*last) + " is backwards";
        }
        for (std::int32_t channel = *first; channel <= *last; ++channel) {
            taken = static_cast<std::uint16_t>(taken | (1U << channel));
        }
        if (comma == std::string_view::npos) {
            break;
        }
        rest = rest.substr(comma + 1);
    }
    bits = taken;
    return std::nullopt;
}

std::string channelListText(std::uint16_t bits)
{
    std::string text;
    for (int channel = 0; channel < 16;) {
        if (((bits >> channel) & 1U) == 0) {
            ++channel;
            continue;
        }
        int last = channel;
        while (last + 1 < 16 && ((bits >> (last + 1)) & 1U) != 0) {
            ++last;
        }
        text += (text.empty() ? "" : ", ") + std::to_string(channel) +
                (last > channel ? '-' + std::to_string(last) : std::string());
        channel = last + 1;
    }
    return text;
}

std::optional<std::string> parseLoopRegion(std::string_view text, LoopRegion& loop)
{
    const std::size_t dash = text.find('-');
    const auto from = dash == std::string_view::npos ? std::nullopt : secondsAsMs(text.substr(0, dash));
    const auto to = dash == std::string_view::npos ? std::nullopt : secondsAsMs(text.substr(dash + 1));
    if (!from || !to) {
        return "loop must be FROM-TO in seconds from 0 to 2000000, not " + quoted(text);
    }
    if (*to <= *from) {
        return "loop end " + secondsText(*to) + " is not after its start " + secondsText(*from);
    }
    loop = {*from, *to};
    return std::nullopt;
}

std::optional<std::string> setSongKey(SongSettings& settings, const std::string* coil, std::string_view key,
                                      std::string_view value)
{
    if (coil != nullptr) {
        SongSettings changed = settings;
        if (Wrong wrong = setCoilKey(coilOf(changed, *coil), key, value)) {
            return wrong;
        }
        settings = std::move(changed);
        return std::nullopt;
    }
    if (key == "volume") {
        return value.empty() ? (settings.volumePercent.reset(), std::nullopt)
                             : takeWholeSetting(settings.volumePercent, key, value, 1, 100);
    }
    if (key == "speed") {
        return value.empty() ? (settings.speedPercent.reset(), std::nullopt)
                             : takeWholeSetting(settings.speedPercent, key, value, kSlowestSpeed, kFastestSpeed);
    }
    if (key == "loop") {
        if (value.empty()) {
            settings.loop.reset();
            return std::nullopt;
        }
        LoopRegion loop;
        if (Wrong wrong = parseLoopRegion(value, loop)) {
            return wrong;
        }
        settings.loop = loop;
        return std::nullopt;
    }
    if (key == "channels" || key == "transpose") {
        return "key " + quoted(key) + " outside any [coil NAME] section";
    }
    return "unknown key " + quoted(key) + " (volume, speed or loop)";
}

bool parseSongSettings(std::string_view text, const std::string& path, SongSettings& settings, std::string& error)
{
    SongSettings parsed;
    std::optional<std::string> coil;
    std::vector<std::string> seen;  // "COIL/KEY" of each key taken
    int line = 0;
    const auto fail = [&](const std::string& reason) {
        error = "Error: " + path + ':' + std::to_string(line) + ": " + reason;
        return false;
    };
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view content = trimmedSetting(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line;
        if (content.empty() || content.front() == '#') {
            continue;
        }
        if (content.front() == '[') {
            const std::string_view inner =
                content.back() == ']' ? trimmedSetting(content.substr(1, content.size() - 2)) : std::string_view();
            if (inner.substr(0, 5) != "coil " || trimmedSetting(inner.substr(5)).empty()) {
                return fail("expected [coil NAME], not " + quoted(content));
            }
            coil = std::string(trimmedSetting(inner.substr(5)));
            if (std::any_of(parsed.coils.begin(), parsed.coils.end(),
                            [&](const SongCoilSettings& c) { return c.coil == *coil; })) {
                return fail("duplicate coil " + quoted(*coil));
            }
            coilOf(parsed, *coil);
            continue;
        }
        const std::size_t equals = content.find('=');
        if (equals == std::string_view::npos) {
            return fail("expected key = value, not " + quoted(content));
        }
        const std::string_view key = trimmedSetting(content.substr(0, equals));
        std::string_view value = trimmedSetting(content.substr(equals + 1));
        value = trimmedSetting(value.substr(0, value.find('#')));
        const std::string where = (coil ? *coil : std::string()) + '/' + std::string(key);
        if (std::find(seen.begin(), seen.end(), where) != seen.end()) {
            return fail("duplicate key " + quoted(key));
        }
        if (value.empty()) {
            return fail("key " + quoted(key) + " has no value");
        }
        if (Wrong wrong = setSongKey(parsed, coil ? &*coil : nullptr, key, value)) {
            return fail(*wrong);
        }
        seen.push_back(where);
    }
    settings = std::move(parsed);
    return true;
}

std::string songSettingsText(const SongSettings& settings, std::string_view songName)
{
    std::string text = "# settings of the song " + std::string(songName) + "\n";
    if (settings.volumePercent) {
        text += "volume = " + std::to_string(*settings.volumePercent) + '\n';
    }
    if (settings.speedPercent) {
        text += "speed = " + std::to_string(*settings.speedPercent) + '\n';
    }
    if (settings.loop) {
        text += "loop = " + secondsText(settings.loop->fromMs) + '-' + secondsText(settings.loop->toMs) + '\n';
    }
    for (const SongCoilSettings& coil : settings.coils) {
        text += "\n[coil " + coil.coil + "]\n";
        if (coil.channels) {
            text += "channels = " + channelListText(*coil.channels) + '\n';
        }
        if (coil.transpose) {
            text += "transpose = " + std::to_string(*coil.transpose) + '\n';
        }
    }
    return text;
}
