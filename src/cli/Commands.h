#pragma once

#include <string>
#include <vector>

// One subcommand of quillarc-cli: its arguments after the subcommand's name;
// returns the exit code. Throws UsageError for bad arguments.
using CommandFunction = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* summary;
    CommandFunction run;
};

int runNotesCommand(const std::vector<std::string>& args);
int runDevicesCommand(const std::vector<std::string>& args);
int runPlayCommand(const std::vector<std::string>& args);
int runLiveCommand(const std::vector<std::string>& args);
int runPanicCommand(const std::vector<std::string>& args);
int runPairsCommand(const std::vector<std::string>& args);
int runWeightsCommand(const std::vector<std::string>& args);
int runDutyCommand(const std::vector<std::string>& args);
int runChannelsCommand(const std::vector<std::string>& args);
int runSongCommand(const std::vector<std::string>& args);
int runCoilsCommand(const std::vector<std::string>& args);
int runCheckCommand(const std::vector<std::string>& args);
int runRenderCommand(const std::vector<std::string>& args);
// Built with the GUI only: it paints with Qt.
int runPlotCommand(const std::vector<std::string>& args);
