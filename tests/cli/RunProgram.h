#pragma once

#include "support/TestPlatform.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <array>
#include <atomic>
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
// The program sees `configHome` as XDG_CONFIG_HOME, by default a folder that
// does not exist, and never the user's settings.
inline ProgramRun runProgram(const std::string& commandLine, const std::string& configHome = "/nonexistent/quillarc-config")
{
    // A file of its own for each run: under Wine the last run's program can
    // still hold its file for a moment after the command interpreter has
    // returned, and a redirection into a file still open fails ("Sharing
    // violation.") without running the command at all.
    static std::atomic<int> runs{0};
    const std::filesystem::path errFile = std::filesystem::temp_directory_path() /
        ("quillarc-cli-err-" + std::to_string(processId()) + "-" + std::to_string(++runs));
    ProgramRun run;
#ifdef _WIN32
    // The command interpreter takes the line; the child inherits the variable.
    setEnvironment("XDG_CONFIG_HOME", configHome);
    FILE* pipe = _popen(("\"" + commandLine + " 2>\"" + errFile.string() + "\"\"").c_str(), "rb");
#else
    FILE* pipe = ::popen(("XDG_CONFIG_HOME='" + configHome + "' " + commandLine + " 2>" + errFile.string()).c_str(), "r");
#endif
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.out.append(buffer.data(), got);
    }
#ifdef _WIN32
    run.exitCode = _pclose(pipe);
    if (run.exitCode == 9009) {
        // The command interpreter's "not found": under Wine it now and then
        // answers so for a program it starts fine the next time. Said in a
        // line of its own, which the Windows stage of scripts/test looks for.
        std::printf("runProgram: the command interpreter did not start the program (exit 9009): %s\n",
                    commandLine.c_str());
    }
#else
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    {
        // Closed before the removal: Windows removes no open file.
        std::ifstream err(errFile, std::ios::binary);
        std::stringstream text;
        text << err.rdbuf();
        run.err = text.str();
    }
    std::error_code ignored;
    std::filesystem::remove(errFile, ignored);
    return run;
}
