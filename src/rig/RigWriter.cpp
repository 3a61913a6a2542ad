#include "rig/RigWriter.h"

#include "base/SettingsFile.h"
#include "coilmodel/CoilLimitsFile.h"
#include "rig/RigFile.h"
#include "song/SongSettings.h"

#include <algorithm>
#include <array>

namespace {

// The order in which a new section, or a coil's newly set keys, are written.
constexpr std::array<std::string_view, 12> kKeyOrder = {
    "device",          "channels",    "voices",         "keep",
    "transpose",       "shift_low_notes", "lower_limit", "volume_percent",
    "duty_limit_percent", "max_note_ms", "lowest_key",  "highest_key"};

constexpr std::string_view kRigHeader =
    "# Quillarc rig: the coils and what each plays, read by quillarc and quillarc-cli.\n"
    "# One [coil NAME] section a coil; keys: device, channels, voices, keep, transpose,\n"
    "# shift_low_notes, lower_limit, volume_percent and the keys of coil-limits.conf.\n";

std::string_view stripped(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

// The key of a `key = value` line, nothing for any other line.
std::optional<std::string_view> keyOf(std::string_view line)
{
    const std::string_view code = stripped(line);
    const std::size_t equals = code.find('=');
    if (code.empty() || code.front() == '#' || code.front() == '[' || equals == std::string_view::npos) {
        return std::nullopt;
    }
    return stripped(code.substr(0, equals));
}

// `line`, which sets `key`, with its value made `value`: the indent, the
// spacing and a comment after the value kept.
std::string lineWithValue(std::string_view line, std::string_view key, const std::string& value)
{
    const std::size_t equals = line.find('=');
    std::string_view rest = line.substr(equals + 1);
    if (key != "device") {
        rest = rest.substr(0, rest.find('#'));
    }
    const std::string_view old = stripped(rest);
    const std::size_t at = old.empty() ? equals + 1 : static_cast<std::size_t>(old.data() - line.data());
    const std::string space = old.empty() ? " " : "";
    return std::string(line.substr(0, at)) + space + value + std::string(line.substr(at + old.size()));
}

std::string freshLine(std::string_view key, const std::string& value)
{
    return std::string(key) + " = " + value;
}

// Where the lines of coil `index` of the file start: its [coil] line, or the
// comment lines just above it, which speak of it (the first coil's belong to
// the file's header).
std::size_t chunkStart(const Rig& before, std::size_t index, const std::vector<std::string_view>& lines)
{
    auto start = static_cast<std::size_t>(before.source.coils[index].section - 1);
    if (start == static_cast<std::size_t>(before.source.coils.front().section - 1)) {
        return start;
    }
    while (start > 0 && stripped(lines[start - 1]).substr(0, 1) == "#") {
        --start;
    }
    return start;
}

// The section of `edited`, made from the lines of its old section (from its
// [coil] line up to the next coil's) when it has one.
void writeSection(std::vector<std::string>& out, const EditedCoil& edited, const Rig& before,
                  const std::vector<std::string_view>& lines)
{
    const Coil& coil = edited.coil;
    if (!edited.from || *edited.from >= before.coils.size() || *edited.from >= before.source.coils.size()) {
        if (!out.empty() && !stripped(out.back()).empty()) {
            out.emplace_back();
        }
        out.push_back("[coil " + coil.name + ']');
        for (const std::string_view key : kKeyOrder) {
            if (const auto value = coilKeyText(coil, key)) {
                out.push_back(freshLine(key, *value));
            }
        }
        return;
    }
    const Coil& old = before.coils[*edited.from];
    const std::size_t first = chunkStart(before, *edited.from, lines);
    const auto section = static_cast<std::size_t>(before.source.coils[*edited.from].section - 1);
    std::size_t end = lines.size();
    for (std::size_t other = 0; other < before.source.coils.size(); ++other) {
        const std::size_t start = chunkStart(before, other, lines);
        if (start > first && start < end) {
            end = start;
        }
    }
    std::vector<std::string_view> seen;
    std::size_t lastKey = out.size();
    for (std::size_t i = first; i < end && i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (i < section) {
            out.emplace_back(line);
            continue;
        }
        if (i == section) {
            out.push_back(coil.name == old.name ? std::string(line) : "[coil " + coil.name + ']');
            lastKey = out.size();
            continue;
        }
        const std::optional<std::string_view> key = keyOf(line);
        if (!key) {
            out.emplace_back(line);
            continue;
        }
        seen.push_back(*key);
        const auto now = coilKeyText(coil, *key);
        if (now == coilKeyText(old, *key)) {
            out.emplace_back(line);
        } else if (now) {
            out.push_back(lineWithValue(line, *key, *now));
        } else {
            const std::size_t indent = line.find_first_not_of(" \t");
            out.push_back(std::string(line.substr(0, indent)) + "# " + std::string(line.substr(indent)));
        }
        lastKey = out.size();
    }
    std::vector<std::string> added;
    for (const std::string_view key : kKeyOrder) {
        const auto value = coilKeyText(coil, key);
        if (value && std::find(seen.begin(), seen.end(), key) == seen.end()) {
            added.push_back(freshLine(key, *value));
        }
    }
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(lastKey), added.begin(), added.end());
}

}  // namespace

std::optional<std::string> coilKeyText(const Coil& coil, std::string_view key)
{
    if (key == "device") {
        return coil.device;
    }
    if (key == "channels") {
        return channelListText(coil.channels.bits);
    }
    if (key == "voices") {
        return coil.voices ? std::optional(std::to_string(*coil.voices)) : std::nullopt;
    }
    if (key == "keep") {
        constexpr const char* kNames[] = {"highest", "lowest", "latest"};
        return coil.keep == KeepMode::Highest ? std::nullopt
                                              : std::optional<std::string>(kNames[static_cast<int>(coil.keep)]);
    }
    if (key == "transpose") {
        return coil.transpose != 0 ? std::optional(std::to_string(coil.transpose)) : std::nullopt;
    }
    if (key == "shift_low_notes") {
        return coil.shiftLowNotes ? std::optional<std::string>(*coil.shiftLowNotes ? "on" : "off") : std::nullopt;
    }
    if (key == "lower_limit") {
        return coil.lowerLimit ? std::optional(std::to_string(*coil.lowerLimit)) : std::nullopt;
    }
    if (key == "volume_percent") {
        return coil.volumePercent != 100 ? std::optional(std::to_string(coil.volumePercent)) : std::nullopt;
    }
    return coilLimitText(coil.limits, key);
}

std::string rigFileWith(std::string_view text, const Rig& before, const std::vector<EditedCoil>& coils)
{
    const std::vector<std::string_view> lines = linesOf(text);
    std::vector<std::string> out;
    const std::size_t header =
        before.source.coils.empty() ? lines.size() : static_cast<std::size_t>(before.source.coils.front().section - 1);
    if (text.empty()) {
        for (const std::string_view line : linesOf(kRigHeader)) {
            out.emplace_back(line);
        }
    }
    for (std::size_t i = 0; i < header && i < lines.size(); ++i) {
        out.emplace_back(lines[i]);
    }
    for (const EditedCoil& coil : coils) {
        writeSection(out, coil, before, lines);
    }
    std::string written;
    for (const std::string& line : out) {
        written += line + '\n';
    }
    return written;
}

bool writeRig(const std::string& path, const std::string& text, const CoilLimits& fileLimits, std::string& error)
{
    Rig parsed;
    if (!parseRig(text, path, parsed, error)) {
        return false;
    }
    if (auto wrong = rigLimitsError(parsed, fileLimits)) {
        error = std::move(*wrong);
        return false;
    }
    return writeSettingsFile(path, "rig file", text, error);
}
