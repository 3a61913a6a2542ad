#pragma once

#include "coilmodel/CoilLimiter.h"
#include "midiout/MidiOutput.h"
#include "rig/Rig.h"
#include "song/PlaybackOptions.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Why a song ended without playing out on the single coil of the default
// rig: the controller refused to open, or stopped taking messages
// (unplugged, its client gone).
inline constexpr const char* kCannotOpenControllerText = "Error: cannot open the controller";
inline constexpr const char* kControllerLostText = "Error: lost the connection to the controller";

// The same for a coil of a rig file, naming the coil and its device:
// "Error: cannot open coil Bass (Bass Coil)", "Error: lost the connection to
// coil Bass (Bass Coil)".
std::string cannotOpenCoilText(const Coil& coil);
std::string coilLostText(const Coil& coil);

// The product names of the output devices, in device order, as the device
// table numbers them now (what coilDevices resolves a rig against); an
// output object must hold the table meanwhile, or it counts none.
std::vector<std::string> outputDeviceNames();

// The output devices of a rig's coils: one MidiOutput per coil, each with the
// coil's own coil limiter, its options (coilOptions: its shift and limits over
// the Options' and coil-limits.conf's) and its channel volume share. Every
// message leaves on channel 0 of its coil's controller, as the single coil's
// always has.
//
// Threads: one owner, the worker that plays, fixed mode or live input, calls
// everything, one call at a time; nothing here is guarded. The device table
// under it is shared and thread-safe (MidiOutPort), so other threads may hold
// outputs of their own meanwhile.
//
// Opening resolves every coil's device first (coilDevices: the product name,
// "NAME #N" the N-th of that name) and opens none unless all are there, so a
// rig with a coil missing sends nothing at all. A coil whose device refuses a
// message is the lost coil: the first such coil is kept, and the owner ends
// what it plays on every coil (silenceAll tries each coil, the lost one too,
// as far as it still takes messages). Destroying the object silences and
// closes every coil still open, so no way out leaves one sounding.
class RigOutputs {
public:
    // `rig` holds one coil at least. `fromFile` is false for the default rig
    // (no rig file): its one coil's device is the controller, opened as it
    // always was, by number and name (see open).
    RigOutputs(Rig rig, const PlaybackOptions& options, bool fromFile);
    ~RigOutputs();

    RigOutputs(const RigOutputs&) = delete;
    RigOutputs& operator=(const RigOutputs&) = delete;

    // Opens every coil's device; nothing when all are open, else the text that
    // says why ("Error: coil NAME not found (DEVICE)", cannotOpenCoilText, or
    // for the default rig kCannotOpenControllerText) with nothing left open
    // and nothing sent. The default rig's coil opens with openDevice at
    // `controllerPort`, else where `controllerName` is found afresh; a rig
    // file's coils are resolved on the device table as counted, and once
    // afresh when one is missing (only while no device is open: a count
    // renumbers them). `controllerPort` and `controllerName` are not used
    // then.
    std::optional<std::string> open(int controllerPort, const std::string& controllerName);

    std::size_t size() const { return m_coils.size(); }
    const Rig& rig() const { return m_rig; }
    bool fromFile() const { return m_fromFile; }
    const Coil& coil(std::size_t index) const { return m_rig.coils[index]; }
    // The coil's options: the Options given at construction under its own
    // shift and limits (coilOptions).
    const PlaybackOptions& options(std::size_t index) const { return m_coils[index].options; }
    MidiOutput& output(std::size_t index) { return *m_coils[index].output; }
    CoilLimiter& limiter(std::size_t index) { return m_coils[index].limiter; }
    const CoilLimiter& limiter(std::size_t index) const { return m_coils[index].limiter; }
    // The device index the coil opened on; -1 before open.
    int port(std::size_t index) const { return m_coils[index].port; }
    // How far ahead the coil's device takes a message (0: sent when given).
    int leadMs(std::size_t index) const;
    // True while every coil's device is open and none was lost.
    bool isOpen() const { return m_open; }

    // The channel volume for the volume control at `sliderValue` (0..127),
    // each coil its share (coilChannelVolume). False when a coil refused it.
    bool sendVolume(int sliderValue);
    // A control change to one coil, through its limiter (all-sound-off and
    // all-notes-off end its cuts). False when the coil refused it.
    bool sendControl(std::size_t index, int controller, int value);
    // A note-on (velocity 0: a note-off) for one coil through its limiter,
    // leaving at `at` (nowMs()'s clock) on a device with a lead, at once on
    // one without: handed to the device, dropped by the limits (nothing
    // sent), or refused by the device.
    enum class Sent { Handed, Limited, Refused };
    Sent sendNote(std::size_t index, int key, int velocity, std::uint32_t at);
    // Takes back what one coil was handed ahead and has not left
    // (MidiOutput::takeBack); how many messages.
    int takeBack(std::size_t index);
    // The silencing (MidiOutput::silence) on one coil; false when refused.
    bool silence(std::size_t index);
    // The silencing on every coil, each tried whatever the others did (what
    // was handed ahead is the caller's to take back first); false when one
    // refused it.
    bool silenceAll();
    // Takes back what every coil was handed ahead, silences each and closes
    // them all. Nothing when not open.
    void silenceAndClose();

    // The first coil that refused a message, if any.
    std::optional<std::size_t> lostCoil() const { return m_lost; }
    // What to say of it: coilLostText, or kControllerLostText for the default
    // rig. Empty while no coil is lost.
    std::string lostText() const;
    // What the limits of every coil did, added up.
    CoilLimitCounts limitCounts() const;

private:
    struct CoilOutput {
        PlaybackOptions options;
        CoilLimiter limiter;
        std::unique_ptr<MidiOutput> output;
        int port = -1;
    };

    // Each coil's device index on the table as it is, or nothing for one missing.
    std::vector<std::optional<std::int32_t>> resolve() const;
    bool keep(std::size_t index, int result);
    void closeAll();

    Rig m_rig;
    bool m_fromFile;
    std::vector<CoilOutput> m_coils;
    bool m_open = false;
    std::optional<std::size_t> m_lost;
};
