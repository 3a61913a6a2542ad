#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// XDG_CONFIG_HOME pointed at a folder of its own while it lives, so that what
// a test runs never reads or writes the user's settings. Afterwards the
// variable still names the removed folder, where nothing is found.
class ConfigFolder {
public:
    ConfigFolder() { ::setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1); }
    ~ConfigFolder() { std::filesystem::remove_all(m_dir); }
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;

    std::string dir() const { return m_dir.string(); }
    std::string limitsPath() const { return (m_dir / "quillarc" / "coil-limits.conf").string(); }
    void writeLimits(const std::string& text) const
    {
        std::filesystem::create_directories(m_dir / "quillarc");
        std::ofstream(limitsPath()) << text;
    }

private:
    static inline int s_made = 0;
    std::filesystem::path m_dir = std::filesystem::temp_directory_path() /
                                  ("quillarc-config-" + std::to_string(::getpid()) + "-" + std::to_string(++s_made));
};
