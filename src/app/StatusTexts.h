#pragma once

#include <string>

// Status-bar texts of the main window.
inline constexpr const char* kNoControllerText = "Error: no compatible controller found";
inline constexpr const char* kNoFileLoadedText = "No file loaded";
inline constexpr const char* kSongBusyText = "Song is playing or paused, cannot enter fixed mode";
inline constexpr const char* kLoadedText = "Loaded ";
inline constexpr const char* kNoFilesSelectedText = "No files selected";
inline constexpr const char* kCoilSilencedText = "Coil silenced";

// What start-up reports about the controller: where it was found (the device
// index in decimal), or that there is none (`port` negative).
std::string controllerStatusText(int port);
