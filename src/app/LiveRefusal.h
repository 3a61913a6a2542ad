#pragma once

#include <optional>
#include <string>

class AppState;

inline constexpr const char* kSongBusyLiveText = "Song is playing or paused, cannot enter live mode";
inline constexpr const char* kLiveBusyPlayText = "Live input is running, cannot play";
inline constexpr const char* kLiveBusyFixedText = "Live input is running, cannot enter fixed mode";

// Why live mode may not start, in this order: no controller, a song playing
// or paused, no input device (`inputDevices` counted); nothing when it may.
std::optional<std::string> liveModeRefusal(const AppState& state, int inputDevices);
