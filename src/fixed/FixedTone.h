#pragma once

#include <optional>
#include <string>
#include <string_view>

// Slider ranges of fixed mode. The frequency slider's position is a MIDI key
// number; the power slider's position is sent as channel volume.
inline constexpr int kFixedKeyLowest = 40;
inline constexpr int kFixedKeyHighest = 80;
// The key the tone starts on whenever fixed mode is entered.
inline constexpr int kFixedStartKey = 64;
inline constexpr int kFixedPowerHighest = 127;
// The tone's velocity when no coil limit lowers it.
inline constexpr int kFixedFullVelocity = 127;

// The equal-tempered pitch of `key` in whole hertz, key 57 being 220 Hz,
// rounded half up (key 40 gives 82, key 64 gives 330, key 80 gives 831).
int frequencyForKey(int key);

// The coil's duty cycle, as the status bar shows it, for a channel volume of
// `power` (0..127): 6.75 at full power, 0 at none.
double dutyCycleForPower(int power);

// "Frequency: <Hz> Hz Duty Cycle: <duty>" for the given slider positions, the
// duty cycle with one decimal (power 127 reads 6.8, 64 reads 3.4).
std::string fixedModeStatusText(int key, int power);
// The same for a tone the coil limits sent at `velocity` instead of full
// velocity: the duty cycle of what is sent (the power's scaled by velocity /
// 127), followed by " (coil limits: velocity V)". At full velocity, the text
// above.
std::string fixedModeStatusText(int key, int power, int velocity);

// The frequency slider's figure: "330 Hz E4", the key's pitch in whole hertz
// and its name.
std::string fixedFrequencyText(int key);

// The slider's key for a frequency typed by the user: a number of hertz (the
// key of the nearest pitch; "440", " 261.6 Hz") or a key's name ("A4",
// "c#5"), held to the slider's range; nothing for anything else.
std::optional<int> typedFrequencyKey(std::string_view text);
