#include "coilmodel/CoilLimitsFile.h"

#include "base/ArgCursor.h"
#include "base/SettingsFile.h"
#include "platform/Environment.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDutyKey = "duty_limit_percent";
constexpr std::string_view kMaxNoteKey = "max_note_ms";
constexpr std::string_view kLowestKey = "lowest_key";
constexpr std::string_view kHighestKey = "highest_key";

CoilLimitValueError badNumber(std::string_view value)
{
    return {true, "bad number '" + std::string(value) + "'"};
}

// A whole number in lowest..highest. A number with a fraction, or one too
// large for 64 bits, is a number out of range rather than a bad one.
std::optional<CoilLimitValueError> takeWhole(std::optional<std::int32_t>& field, std::string_view value, std::int64_t lowest,
                                             std::int64_t highest, const char* range)
{
    const std::optional<std::int64_t> whole = parseNumber<std::int64_t>(value);
    if (!whole) {
        return parseNumber<double>(value) ? std::optional(CoilLimitValueError{false, range}) : badNumber(value);
    }
    if (*whole < lowest || *whole > highest) {
        return CoilLimitValueError{false, range};
    }
    field = static_cast<std::int32_t>(*whole);
    return std::nullopt;
}

constexpr std::string_view kKeys[] = {kDutyKey, kMaxNoteKey, kLowestKey, kHighestKey};

constexpr std::string_view kHeader =
    "# Quillarc coil limits, read by quillarc, quillarc-cli and quillarc-coil.\n"
    "# key = value lines; a key left out is off. Keys: duty_limit_percent\n"
    "# (above 0, at most 100), max_note_ms (above 0), lowest_key and\n"
    "# highest_key (0 to 127).\n";

// One line of a parsed limits file (without its '\n') with the limit it
// sets made what `limits` says; `written` notes the keys met.
std::string lineWith(std::string_view line, const CoilLimits& limits, std::set<std::string_view>& written)
{
    const std::string_view code = line.substr(0, line.find('#'));
    const std::size_t equals = code.find('=');
    if (trimmedSetting(code).empty() || equals == std::string_view::npos) {
        return std::string(line);
    }
    const std::string_view key = trimmedSetting(code.substr(0, equals));
    if (!isCoilLimitKey(key)) {
        return std::string(line);
    }
    written.insert(key);
    const std::optional<std::string> wanted = coilLimitText(limits, key);
    if (!wanted) {
        const std::size_t indent = line.find_first_not_of(" \t");
        return std::string(line.substr(0, indent)) + "# " + std::string(line.substr(indent));
    }
    const std::string_view value = trimmedSetting(code.substr(equals + 1));
    CoilLimits now;
    if (!setCoilLimit(now, key, value) && coilLimitText(now, key) == wanted) {
        return std::string(line);
    }
    const auto at = static_cast<std::size_t>(value.data() - line.data());
    return std::string(line.substr(0, at)) + *wanted + std::string(line.substr(at + value.size()));
}

}  // namespace

// The value of the limit named `key` as the file writes it, nothing when it
// is off. A percent is the shortest text that reads back to the same double.
std::optional<std::string> coilLimitText(const CoilLimits& limits, std::string_view key)
{
    if (key == kDutyKey) {
        if (!limits.dutyLimitPercent) {
            return std::nullopt;
        }
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, *limits.dutyLimitPercent).ptr;
        return std::string(text, static_cast<std::size_t>(end - text));
    }
    const auto& field = key == kMaxNoteKey ? limits.maxNoteMs : key == kLowestKey ? limits.lowestKey : limits.highestKey;
    return field ? std::optional(std::to_string(*field)) : std::nullopt;
}

std::string coilLimitsPath(const char* xdgConfigHome, const char* home)
{
    return settingsFilePath("coil-limits.conf", xdgConfigHome, home);
}

std::string coilLimitsPath()
{
    return settingsFilePath("coil-limits.conf");
}

bool isCoilLimitKey(std::string_view key)
{
    return key == kDutyKey || key == kMaxNoteKey || key == kLowestKey || key == kHighestKey;
}

std::optional<CoilLimitValueError> setCoilLimit(CoilLimits& limits, std::string_view key, std::string_view value)
{
    if (key == kDutyKey) {
        const std::optional<double> percent = parseNumber<double>(value);
        if (!percent) {
            return badNumber(value);
        }
        // Written so that NaN fails too.
        if (!(*percent > 0.0 && *percent <= 100.0)) {
            return CoilLimitValueError{false, "must be above 0 and at most 100"};
        }
        limits.dutyLimitPercent = *percent;
        return std::nullopt;
    }
    if (key == kMaxNoteKey) {
        return takeWhole(limits.maxNoteMs, value, 1, INT32_MAX, "must be a whole number above 0");
    }
    auto& field = key == kLowestKey ? limits.lowestKey : limits.highestKey;
    return takeWhole(field, value, 0, 127, "must be a whole number from 0 to 127");
}

std::optional<std::string> coilKeyRangeError(const CoilLimits& limits)
{
    if (limits.lowestKey && limits.highestKey && *limits.lowestKey > *limits.highestKey) {
        return std::string(kLowestKey) + ' ' + std::to_string(*limits.lowestKey) + " is above " + std::string(kHighestKey) +
               ' ' + std::to_string(*limits.highestKey);
    }
    return std::nullopt;
}

bool parseCoilLimits(std::string_view text, const std::string& path, CoilLimits& limits, std::string& error)
{
    CoilLimits parsed;
    std::set<std::string_view> seen;
    int lineNumber = 0;
    int keyRangeLine = 0;
    const auto fail = [&](int line, const std::string& reason) {
        error = "Error: " + path + ':' + std::to_string(line) + ": " + reason;
        return false;
    };
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = trimmedSetting(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return fail(lineNumber, "expected key = value, not '" + std::string(line) + "'");
        }
        const std::string_view key = trimmedSetting(line.substr(0, equals));
        const std::string_view value = trimmedSetting(line.substr(equals + 1));
        if (!isCoilLimitKey(key)) {
            return fail(lineNumber, "unknown key '" + std::string(key) + "'");
        }
        if (!seen.insert(key).second) {
            return fail(lineNumber, "duplicate key '" + std::string(key) + "'");
        }
        if (const auto wrong = setCoilLimit(parsed, key, value)) {
            return fail(lineNumber, wrong->badNumber ? wrong->text : std::string(key) + ' ' + wrong->text);
        }
        if (key == kLowestKey || key == kHighestKey) {
            keyRangeLine = lineNumber;
        }
    }
    // Said at the later of the two keys: only there is the pair complete.
    if (const auto wrong = coilKeyRangeError(parsed)) {
        return fail(keyRangeLine, *wrong);
    }
    limits = parsed;
    return true;
}

bool readCoilLimits(const std::string& path, CoilLimits& limits, std::string& error)
{
    std::string text;
    switch (readSettingsFile(path, "coil limits file", text, error)) {
    case SettingsRead::Missing:
        limits = CoilLimits{};
        return true;
    case SettingsRead::Failed:
        return false;
    case SettingsRead::Read:
        break;
    }
    return parseCoilLimits(text, path, limits, error);
}

std::string coilLimitsFileWith(std::string_view text, const CoilLimits& limits)
{
    std::string out = text.empty() ? std::string(kHeader) : std::string();
    std::set<std::string_view> written;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        out += lineWith(text.substr(0, end), limits, written);
        if (end == std::string_view::npos) {
            break;
        }
        out += '\n';
        text = text.substr(end + 1);
    }
    for (const std::string_view key : kKeys) {
        if (const auto value = coilLimitText(limits, key); value && written.count(key) == 0) {
            if (!out.empty() && out.back() != '\n') {
                out += '\n';
            }
            out += std::string(key) + " = " + *value + '\n';
        }
    }
    return out;
}

bool writeCoilLimits(const std::string& path, const CoilLimits& limits, std::string& error)
{
    const fs::path target = pathFromUtf8(path);
    std::error_code failure;
    std::string text;
    CoilLimits now;
    const SettingsRead found = readSettingsFile(path, "coil limits file", text, error);
    // A folder (or the like) in its place cannot be written over at all.
    const auto type = fs::symlink_status(target, failure).type();
    if (found == SettingsRead::Failed && type != fs::file_type::regular && type != fs::file_type::not_found) {
        error = "Error: cannot write coil limits file " + path;
        return false;
    }
    if (found == SettingsRead::Failed || (found == SettingsRead::Read && !parseCoilLimits(text, path, now, error))) {
        error += kLimitsFileKeptText;
        return false;
    }
    return writeSettingsFile(path, "coil limits file", coilLimitsFileWith(text, limits), error);
}
