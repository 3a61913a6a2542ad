#pragma once

#include "support/TestPlatform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// XDG_CONFIG_HOME pointed at a folder of its own while it lives, so that what
// a test runs never reads or writes the user's settings. Afterwards the
// variable still names the removed folder, where nothing is found.
class ConfigFolder {
public:
    ConfigFolder() { setEnvironment("XDG_CONFIG_HOME", m_dir.string()); }
    ~ConfigFolder() { std::filesystem::remove_all(m_dir); }
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;

    std::string dir() const { return m_dir.string(); }
    // Named as the program names it, with '/' on every platform.
    std::string limitsPath() const { return m_dir.string() + "/quillarc/coil-limits.conf"; }
    void writeLimits(const std::string& text) const
    {
        std::filesystem::create_directories(m_dir / "quillarc");
        std::ofstream(limitsPath()) << text;
    }

private:
    static inline int s_made = 0;
    std::filesystem::path m_dir = std::filesystem::temp_directory_path() /
                                  ("quillarc-config-" + std::to_string(processId()) + "-" + std::to_string(++s_made));
};
