#include "rig/RigFile.h"

#include "base/ArgCursor.h"
#include "base/SettingsFile.h"
#include "coilmodel/CoilLimitsFile.h"
#include "rig/CoilDevices.h"
#include "song/SongSettings.h"

#include <algorithm>
#include <cstdint>

namespace {

// A reason for an error, to follow "Error: PATH:LINE: "; nothing when a value
// is taken.
using Wrong = std::optional<std::string>;

std::string quoted(std::string_view text)
{
    return '\'' + std::string(text) + '\'';
}

Wrong setChannels(Coil& coil, std::string_view value)
{
    std::uint16_t bits = 0;
    if (Wrong wrong = parseChannelList(value, bits)) {
        return wrong;
    }
    coil.channels = ChannelSet{bits};
    return std::nullopt;
}

Wrong setDevice(Coil& coil, std::string_view value)
{
    if (!parseDeviceChoice(value)) {
        return "device " + quoted(value) + " names no device (NAME, or NAME #N with N from 1)";
    }
    coil.device = std::string(value);
    return std::nullopt;
}

Wrong setKeep(Coil& coil, std::string_view value)
{
    constexpr std::pair<std::string_view, KeepMode> kModes[] = {
        {"highest", KeepMode::Highest}, {"lowest", KeepMode::Lowest}, {"latest", KeepMode::Latest}};
    for (const auto& [name, mode] : kModes) {
        if (value == name) {
            coil.keep = mode;
            return std::nullopt;
        }
    }
    return "keep must be highest, lowest or latest, not " + quoted(value);
}

Wrong setShift(Coil& coil, std::string_view value)
{
    if (value != "on" && value != "off") {
        return "shift_low_notes must be on or off, not " + quoted(value);
    }
    coil.shiftLowNotes = value == "on";
    return std::nullopt;
}

Wrong setVoices(Coil& coil, std::string_view value)
{
    return takeWholeSetting(coil.voices, "voices", value, 1, 16);
}

Wrong setTranspose(Coil& coil, std::string_view value)
{
    return takeWholeSetting(coil.transpose, "transpose", value, -48, 48);
}

Wrong setLowerLimit(Coil& coil, std::string_view value)
{
    return takeWholeSetting(coil.lowerLimit, "lower_limit", value, 0, 127);
}

Wrong setVolume(Coil& coil, std::string_view value)
{
    return takeWholeSetting(coil.volumePercent, "volume_percent", value, 1, 100);
}

struct RigKey {
    std::string_view name;
    Wrong (*set)(Coil&, std::string_view);
};

constexpr RigKey kRigKeys[] = {
    {"device", setDevice},         {"channels", setChannels},         {"voices", setVoices},
    {"keep", setKeep},             {"transpose", setTranspose},       {"shift_low_notes", setShift},
    {"lower_limit", setLowerLimit}, {"volume_percent", setVolume},
};

// Reads a rig file line by line; the first mistake ends it.
class RigParser {
public:
    explicit RigParser(const std::string& path) { m_rig.source.path = path; }

    Wrong line(std::string_view text)
    {
        ++m_line;
        text = trimmedSetting(text);
        if (text.empty() || text.front() == '#') {
            return std::nullopt;
        }
        return text.front() == '[' ? section(text) : keyLine(text);
    }

    Wrong finish()
    {
        if (m_rig.coils.empty()) {
            m_line = std::max(m_line, 1);
            return std::string("no [coil NAME] section");
        }
        return closeCoil();
    }

    int lineNumber() const { return m_line; }
    Rig& rig() { return m_rig; }

private:
    Wrong section(std::string_view text)
    {
        if (text.back() != ']') {
            return "expected [coil NAME], not " + quoted(text);
        }
        const std::string_view inner = trimmedSetting(text.substr(1, text.size() - 2));
        const bool coil = inner.substr(0, 4) == "coil" && (inner.size() == 4 || inner[4] == ' ' || inner[4] == '\t');
        if (!coil) {
            return "unknown section " + quoted(text);
        }
        const std::string name(trimmedSetting(inner.substr(4)));
        if (name.empty()) {
            return std::string("coil without a name");
        }
        if (std::any_of(m_rig.coils.begin(), m_rig.coils.end(), [&](const Coil& c) { return c.name == name; })) {
            return "duplicate coil " + quoted(name);
        }
        if (Wrong wrong = closeCoil()) {
            return wrong;
        }
        m_rig.coils.push_back(Coil{});
        m_rig.coils.back().name = name;
        m_rig.source.coils.push_back({m_line, {}, 0});
        return std::nullopt;
    }

    Wrong keyLine(std::string_view text)
    {
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) {
            return "expected key = value, not " + quoted(text);
        }
        const std::string_view key = trimmedSetting(text.substr(0, equals));
        std::string_view value = trimmedSetting(text.substr(equals + 1));
        if (key != "device") {
            value = trimmedSetting(value.substr(0, value.find('#')));
        }
        if (m_rig.coils.empty()) {
            return "key " + quoted(key) + " outside any [coil NAME] section";
        }
        auto& keys = m_rig.source.coils.back().keys;
        if (std::any_of(keys.begin(), keys.end(), [&](const auto& seen) { return seen.first == key; })) {
            return "duplicate key " + quoted(key);
        }
        Wrong wrong = setKey(key, value);
        keys.emplace_back(key, m_line);
        return wrong;
    }

    Wrong setKey(std::string_view key, std::string_view value)
    {
        Coil& coil = m_rig.coils.back();
        const CoilLimits before = coil.limits;
        Wrong wrong = setCoilKey(coil, key, value);
        if (!wrong && (coil.limits.lowestKey != before.lowestKey || coil.limits.highestKey != before.highestKey)) {
            m_rig.source.coils.back().keyRange = m_line;
        }
        return wrong;
    }

    // The checks of a whole coil, made when its section ends; the error names
    // the line where the coil is incomplete.
    Wrong closeCoil()
    {
        if (m_rig.coils.empty()) {
            return std::nullopt;
        }
        const Coil& coil = m_rig.coils.back();
        const RigSource::CoilLines& lines = m_rig.source.coils.back();
        if (coil.channels.empty()) {
            m_line = lines.section;
            return "coil " + quoted(coil.name) + " has no channels";
        }
        if (Wrong wrong = coilKeyRangeError(coil.limits)) {
            m_line = lines.keyRange;
            return wrong;
        }
        return std::nullopt;
    }

    Rig m_rig;
    int m_line = 0;
};

}  // namespace

std::optional<std::string> setCoilKey(Coil& coil, std::string_view key, std::string_view value)
{
    for (const RigKey& rigKey : kRigKeys) {
        if (key == rigKey.name) {
            return rigKey.set(coil, value);
        }
    }
    if (!isCoilLimitKey(key)) {
        return "unknown key " + quoted(key);
    }
    if (const auto wrong = setCoilLimit(coil.limits, key, value)) {
        return wrong->badNumber ? wrong->text : std::string(key) + ' ' + wrong->text;
    }
    return std::nullopt;
}

std::string rigPath(const char* xdgConfigHome, const char* home)
{
    return settingsFilePath("rig.conf", xdgConfigHome, home);
}

std::string rigPath()
{
    return settingsFilePath("rig.conf");
}

bool parseRig(std::string_view text, const std::string& path, Rig& rig, std::string& error)
{
    RigParser parser(path);
    Wrong wrong;
    while (!wrong && !text.empty()) {
        const std::size_t end = text.find('\n');
        wrong = parser.line(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    if (!wrong) {
        wrong = parser.finish();
    }
    if (wrong) {
        error = "Error: " + path + ':' + std::to_string(parser.lineNumber()) + ": " + *wrong;
        return false;
    }
    rig = std::move(parser.rig());
    return true;
}

bool readRig(const std::string& path, std::optional<Rig>& rig, std::string& error)
{
    std::string text;
    switch (readSettingsFile(path, "rig file", text, error)) {
    case SettingsRead::Missing:
        rig.reset();
        return true;
    case SettingsRead::Failed:
        return false;
    case SettingsRead::Read:
        break;
    }
    Rig parsed;
    if (!parseRig(text, path, parsed, error)) {
        return false;
    }
    rig = std::move(parsed);
    return true;
}
