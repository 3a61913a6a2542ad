#pragma once

#include "playback/PlaybackOptions.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A command-line mistake: main prints the one-line reason and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Walks the arguments of one subcommand.
class ArgCursor {
public:
    explicit ArgCursor(std::vector<std::string> args) : m_args(std::move(args)) {}

    bool done() const { return m_next >= m_args.size(); }
    const std::string& next() { return m_args.at(m_next++); }

    // The value after option `name`, which must be there.
    const std::string& valueOf(const std::string& name)
    {
        if (done()) {
            throw UsageError("option " + name + " needs a value");
        }
        return next();
    }

    // A decimal integer, taken as given (no range check beyond 32 bits).
    std::int32_t intValueOf(const std::string& name);

private:
    std::vector<std::string> m_args;
    std::size_t m_next = 0;
};

// Parses a whole decimal integer; nothing when the text is not one.
std::optional<std::int32_t> parseInt(const std::string& text);

// The note-list options of notes, play and render: --channel N,
// --shift-low-notes and --lower-limit N. Takes `arg` (with its value from
// `cursor`) into `options` when it is one of them; false otherwise.
bool takeNoteOption(const std::string& arg, ArgCursor& cursor, PlaybackOptions& options);
// Their lines for a command's help text.
extern const char* const kNoteOptionsHelp;
// The same, apart: --channel alone, and the two shift options.
extern const char* const kChannelOptionHelp;
extern const char* const kShiftOptionsHelp;

// What play and render send besides the note list: the velocity curve and
// the channel volume sent first.
struct SendOptions {
    static constexpr int kDefaultVolume = 31;  // where the control panel's slider starts

    std::optional<std::string> curveFile;
    int volume = kDefaultVolume;
};
// --curve FILE and --volume V (0..127), like takeNoteOption.
bool takeSendOption(const std::string& arg, ArgCursor& cursor, SendOptions& send);
extern const char* const kSendOptionsHelp;

// Loads the curve that `send` names into `options` and switches it on. False
// after printing why on standard error.
bool applyCurve(const SendOptions& send, PlaybackOptions& options);
