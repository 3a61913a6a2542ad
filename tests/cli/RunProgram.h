#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line, capturing standard output and standard error.
// The program sees `configHome` as XDG_CONFIG_HOME, by default an empty
// folder of its own, and never the user's settings.
inline ProgramRun runProgram(const std::string& commandLine, const std::string& configHome = {})
{
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    const std::filesystem::path errFile = temp / ("quillarc-cli-err-" + std::to_string(::getpid()));
    const std::filesystem::path freshConfig = temp / ("quillarc-cli-config-" + std::to_string(::getpid()));
    std::filesystem::remove_all(freshConfig);
    std::filesystem::create_directories(freshConfig);
    const std::string config = configHome.empty() ? freshConfig.string() : configHome;
    ProgramRun run;
    FILE* pipe = ::popen(("XDG_CONFIG_HOME='" + config + "' " + commandLine + " 2>" + errFile.string()).c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.out.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    std::stringstream text;
    text << err.rdbuf();
    run.err = text.str();
    std::filesystem::remove(errFile);
    std::filesystem::remove_all(freshConfig);
    return run;
}
