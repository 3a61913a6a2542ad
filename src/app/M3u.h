#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Playlists as M3U files, the format other players read and write: one path
// a line, in UTF-8 (a byte-order mark is passed over), with the line ends of
// any system. Empty lines and lines starting with '#' (the extended format's
// tags, such as "#EXTM3U" and "#EXTINF:...") are passed over.

struct M3uPaths {
    std::vector<std::string> paths;
    // "Error: PATH line N: not a path" for a line holding a control
    // character (what a file that is no playlist shows); then no paths.
    std::optional<std::string> error;
};

// The paths of `text`, the contents of the playlist file `m3uPath`, in their
// order: a relative path is taken from the folder of `m3uPath`.
M3uPaths m3uPaths(std::string_view text, const std::string& m3uPath);

// A playlist file holding `paths` in their order, one a line after the
// "#EXTM3U" header.
std::string m3uText(const std::vector<std::string>& paths);
