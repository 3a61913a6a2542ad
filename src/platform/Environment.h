#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The process's environment and file names in UTF-8 on every platform (on
// Windows the system's wide-character calls are used, so no letter is lost
// to a code page).

// The value of an environment variable; nothing when it is not set.
std::optional<std::string> environmentVariable(const char* name);
// The folder of the user's settings when the environment does not name one:
// .config in the account's home folder on POSIX systems, %APPDATA% (the
// roaming application data) on Windows.
std::string defaultConfigFolder();

// A UTF-8 file name as a path, and back.
std::filesystem::path pathFromUtf8(std::string_view name);
std::string utf8FromPath(const std::filesystem::path& path);
