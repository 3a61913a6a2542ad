#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

// XDG_CONFIG_HOME pointed at an empty folder of its own while it lives, so
// that what a test runs never reads or writes the user's settings; the folder
// goes and the variable comes back afterwards.
class ConfigFolder {
public:
    ConfigFolder()
    {
        if (const char* saved = std::getenv("XDG_CONFIG_HOME")) {
            m_saved = saved;
        }
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        ::setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    }
    ~ConfigFolder()
    {
        if (m_saved) {
            ::setenv("XDG_CONFIG_HOME", m_saved->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        std::filesystem::remove_all(m_dir);
    }
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;

    std::string dir() const { return m_dir.string(); }
    std::string limitsPath() const { return (m_dir / "quillarc" / "coil-limits.conf").string(); }
    // Writes the limits file with `text`, and returns its path.
    std::string writeLimits(const std::string& text) const
    {
        std::filesystem::create_directories(m_dir / "quillarc");
        std::ofstream(limitsPath()) << text;
        return limitsPath();
    }

private:
    static inline int s_made = 0;
    std::filesystem::path m_dir = std::filesystem::temp_directory_path() /
                                  ("quillarc-config-" + std::to_string(::getpid()) + "-" + std::to_string(++s_made));
    std::optional<std::string> m_saved;
};
