#pragma once

#include <gtest/gtest.h>

#include "support/TestPlatform.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// A scratch folder for the song files one test writes, removed after it.
class SongFolder : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("quillarc-songs-" + std::to_string(processId()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        const std::filesystem::path path = m_dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    std::filesystem::path m_dir;
};
