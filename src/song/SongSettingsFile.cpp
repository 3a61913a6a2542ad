#include "song/SongSettingsFile.h"

#include "base/SettingsFile.h"
#include "coilmodel/CoilLimitsFile.h"
#include "platform/Environment.h"
#include "platform/RegularFile.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The file's own name, without its folders.
std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::uint64_t fnv1a64(const void* data, std::size_t bytes, std::uint64_t hash)
{
    const auto* byte = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < bytes; ++i) {
        hash ^= byte[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::optional<std::uint64_t> songFileHash(const std::string& songFile, std::string& error,
                                          const std::atomic<bool>* stop)
{
    const RegularFile opened = openRegularFile(songFile);
    if (opened.state != RegularFile::State::Ready) {
        error = "Error: cannot open file " + songFile;
        return std::nullopt;
    }
    std::vector<unsigned char> block(std::size_t{1} << 16);
    std::uint64_t hash = kFnvOffset;
    for (;;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            closeRegularFile(opened.fd);
            return std::nullopt;
        }
        const std::size_t got = readRegularFile(opened.fd, block.data(), block.size());
        hash = fnv1a64(block.data(), got, hash);
        if (got < block.size()) {
            break;
        }
    }
    closeRegularFile(opened.fd);
    return hash;
}

std::string songSettingsPath(std::uint64_t hash)
{
    char name[32];
    std::snprintf(name, sizeof name, "songs/%016" PRIx64 ".conf", hash);
    return settingsFilePath(name);
}

bool findSongSettings(const std::string& songFile, FoundSongSettings& found, std::string& error, bool anyFolder,
                      const std::atomic<bool>* stop)
{
    found = FoundSongSettings{};
    std::error_code failure;
    const fs::path folder = pathFromUtf8(settingsFilePath("songs"));
    if (anyFolder && fs::directory_iterator(folder, failure) == fs::directory_iterator()) {
        return true;
    }
    const std::optional<std::uint64_t> hash = songFileHash(songFile, error, stop);
    if (!hash) {
        return false;
    }
    return readSongSettings(songSettingsPath(*hash), found, error);
}

bool readSongSettings(const std::string& path, FoundSongSettings& found, std::string& error)
{
    found = FoundSongSettings{};
    found.path = path;
    std::string text;
    switch (readSettingsFile(found.path, "song settings file", text, error)) {
    case SettingsRead::Missing:
        return true;
    case SettingsRead::Failed:
        return false;
    case SettingsRead::Read:
        break;
    }
    found.found = parseSongSettings(text, found.path, found.settings, error);
    return found.found;
}

bool writeSongSettings(const std::string& path, const SongSettings& settings, const std::string& songFile,
                       std::string& error)
{
    std::string text;
    SongSettings existing;
    const SettingsRead read = readSettingsFile(path, "song settings file", text, error);
    if (read == SettingsRead::Failed ||
        (read == SettingsRead::Read && !parseSongSettings(text, path, existing, error))) {
        error += kLimitsFileKeptText;
        return false;
    }
    if (!writeSettingsFile(path, "song settings file", songSettingsText(settings, baseName(songFile)), error)) {
        return false;
    }
    error.clear();
    return true;
}
