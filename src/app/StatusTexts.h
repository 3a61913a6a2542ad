#pragma once

#include "rig/Rig.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Status-bar texts of the main window.
inline constexpr const char* kNoControllerText = "Error: no compatible controller found";
inline constexpr const char* kNoFileLoadedText = "No file loaded";
inline constexpr const char* kSongBusyText = "Song is playing or paused, cannot enter fixed mode";
inline constexpr const char* kLoadedText = "Loaded ";
inline constexpr const char* kNoFilesSelectedText = "No files selected";
inline constexpr const char* kCoilSilencedText = "Coil silenced";
// The panic of a rig file's coils.
inline constexpr const char* kCoilsSilencedText = "Coils silenced";

// What start-up reports about the controller: where it was found (the device
// index in decimal), or that there is none (`port` negative).
std::string controllerStatusText(int port);
// The same for the coils of a rig file, each coil's device as coilDevices
// found it: "Found 2 of 2 coils", or with the missing ones named, "Found 1
// of 2 coils: coil Bass not found (Bass Coil)".
std::string rigStatusText(const Rig& rig, const std::vector<std::optional<std::int32_t>>& devices);

// The permanent label of the status bar while a song is under way:
// "Playing 1:23 / 3:45" or "Paused 1:23 / 3:45", whole seconds (cut, not
// rounded, so the elapsed time never passes the length), hours shown as
// "1:02:03" once a time reaches one.
std::string songTimeText(bool paused, int elapsedMs, int totalMs);

// A time as the song's clock shows it: "1:23", "1:02:03".
std::string clockText(int ms);

// A playlist row: the file's name without its folder, then its length once
// known, "chords.mid (0:13)" (as the song's time is shown), and
// " [settings]" for a song with song settings.
std::string playlistRowText(const std::string& path, std::optional<int> lengthMs, bool songSettings = false);
