#pragma once

#include "song/SongSettings.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

// Where a song's settings are kept: one file per song under
// $XDG_CONFIG_HOME/quillarc/songs/, named by the song's bytes, so that a
// renamed or copied song keeps its settings and a changed song does not pick
// up stale ones.

// The 64-bit FNV-1a hash of `bytes` bytes at `data`, going on from `hash`
// (start with kFnvOffset). Stable across platforms and versions: it names the
// files.
inline constexpr std::uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
std::uint64_t fnv1a64(const void* data, std::size_t bytes, std::uint64_t hash = kFnvOffset);

// The hash of the file `songFile`'s bytes, or nothing (with the reason in
// `error`) when it cannot be read. A raised `stop`, looked at between blocks
// of 64 KiB, ends it with nothing and no error.
std::optional<std::uint64_t> songFileHash(const std::string& songFile, std::string& error,
                                          const std::atomic<bool>* stop = nullptr);
// The settings file of a song of hash `hash`: songs/HHHHHHHHHHHHHHHH.conf
// (sixteen lower-case hex digits) in the settings folder.
std::string songSettingsPath(std::uint64_t hash);

// The settings of `songFile` and the file they came from.
struct FoundSongSettings {
    std::string path;           // the settings file looked for (empty when the song could not be read)
    bool found = false;         // it exists and parsed
    SongSettings settings;
};

// Reads the settings of `songFile`: none found (no error) when there is no
// file for its bytes; false with "Error: PATH:LINE: REASON" (or why the song
// or the file cannot be read, `path` then empty) in `error` otherwise. When
// `anyFolder` is set and the songs folder holds no file at all, the song is
// not read (a big song's hash is not free): none found, `path` empty.
bool findSongSettings(const std::string& songFile, FoundSongSettings& found, std::string& error,
                      bool anyFolder = false, const std::atomic<bool>* stop = nullptr);

// Reads the song settings file `path` (songSettingsPath) as findSongSettings
// does once it has the song's hash.
bool readSongSettings(const std::string& path, FoundSongSettings& found, std::string& error);

// Writes `settings` for the song `songFile` to `path`, atomically (a scratch
// file renamed over it). An existing file that does not parse is kept and
// nothing written: false, with its error and " (the file is kept as it is)" in `error`.
bool writeSongSettings(const std::string& path, const SongSettings& settings, const std::string& songFile,
                       std::string& error);
