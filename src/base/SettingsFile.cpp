#include "base/SettingsFile.h"

#include "base/ArgCursor.h"
#include "platform/Environment.h"
#include "platform/RegularFile.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kLargestFile = 64 * 1024;

// HOME/.config when HOME is set, else where the platform keeps settings.
std::string configFolder(const char* home)
{
    if (home != nullptr && *home != '\0') {
        return std::string(home) + "/.config";
    }
    return defaultConfigFolder();
}

}  // namespace

std::string settingsFilePath(std::string_view fileName, const char* xdgConfigHome, const char* home)
{
    const std::string base =
        xdgConfigHome != nullptr && *xdgConfigHome != '\0' ? std::string(xdgConfigHome) : configFolder(home);
    return base + "/quillarc/" + std::string(fileName);
}

std::string settingsFilePath(std::string_view fileName)
{
    const std::optional<std::string> config = environmentVariable("XDG_CONFIG_HOME");
    const std::optional<std::string> home = environmentVariable("HOME");
    return settingsFilePath(fileName, config ? config->c_str() : nullptr, home ? home->c_str() : nullptr);
}

SettingsRead readSettingsFile(const std::string& path, std::string_view kind, std::string& text, std::string& error)
{
    const RegularFile opened = openRegularFile(path);
    if (opened.state == RegularFile::State::NotRegular) {
        error = "Error: not a regular file " + path;
        return SettingsRead::Failed;
    }
    if (opened.state != RegularFile::State::Ready) {
        std::error_code failure;
        if (fs::symlink_status(pathFromUtf8(path), failure).type() == fs::file_type::not_found) {
            return SettingsRead::Missing;
        }
        error = "Error: cannot open " + std::string(kind) + ' ' + path;
        return SettingsRead::Failed;
    }
    if (opened.size > kLargestFile) {
        closeRegularFile(opened.fd);
        error = "Error: " + path + ": too large for a " + std::string(kind);
        return SettingsRead::Failed;
    }
    // No more than the size seen at opening is read, so a file that keeps
    // growing cannot hold the caller.
    text.assign(static_cast<std::size_t>(opened.size), '\0');
    text.resize(readRegularFile(opened.fd, text.data(), text.size()));
    closeRegularFile(opened.fd);
    return SettingsRead::Read;
}

bool writeSettingsFile(const std::string& path, std::string_view kind, std::string_view text, std::string& error)
{
    error = "Error: cannot write " + std::string(kind) + ' ' + path;
    const fs::path target = pathFromUtf8(path);
    std::error_code failure;
    const auto type = fs::symlink_status(target, failure).type();
    if (type != fs::file_type::regular && type != fs::file_type::not_found) {
        return false;
    }
    if (target.has_parent_path()) {
        fs::create_directories(target.parent_path(), failure);
        if (failure) {
            return false;
        }
    }
    const fs::path scratch = pathFromUtf8(path + ".new");
    {
        std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            fs::remove(scratch, failure);
            return false;
        }
    }
    fs::rename(scratch, target, failure);
    if (failure) {
        fs::remove(scratch, failure);
        return false;
    }
    error.clear();
    return true;
}

std::string_view trimmedSetting(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::optional<std::string> takeWholeSetting(std::int32_t& field, std::string_view key, std::string_view value,
                                            std::int32_t lowest, std::int32_t highest)
{
    const std::optional<std::int64_t> whole = parseNumber<std::int64_t>(value);
    if (!whole && !parseNumber<double>(value)) {
        return "bad number '" + std::string(value) + "'";
    }
    if (!whole || *whole < lowest || *whole > highest) {
        return std::string(key) + " must be a whole number from " + std::to_string(lowest) + " to " +
               std::to_string(highest);
    }
    field = static_cast<std::int32_t>(*whole);
    return std::nullopt;
}

std::optional<std::string> takeWholeSetting(std::optional<std::int32_t>& field, std::string_view key,
                                            std::string_view value, std::int32_t lowest, std::int32_t highest)
{
    std::int32_t taken = 0;
    std::optional<std::string> wrong = takeWholeSetting(taken, key, value, lowest, highest);
    if (!wrong) {
        field = taken;
    }
    return wrong;
}
