#pragma once

#include "midiout/MidiService.h"

#include <cstdint>
#include <memory>
#include <string>

// One output object's view of the process-wide device table: a current port
// (a device index) with open, close, name and send operations on it.
//
// The table is shared by every object. A device is open or closed for all
// objects on its port at once: opening through one object opens it for the
// others, closing through one closes it for all. The first object counts the
// devices and builds the table; the last one to go resets and closes every
// open device and drops the table, so the next first object counts again.
//
// Any thread may use an object, one thread at a time per object. The table is
// guarded, but two threads working on the same port at the same moment is not
// a supported use.
class MidiOutPort {
public:
    // Port 0, not opened; no port at all (port() -1) when there is no
    // device: the caller looks at deviceCount() and says so.
    MidiOutPort();
    // Selects `port` (which must be a device) and opens it when `openNow` is
    // not 0.
    MidiOutPort(int port, int openNow);
    virtual ~MidiOutPort();

    MidiOutPort(const MidiOutPort&) = delete;
    MidiOutPort& operator=(const MidiOutPort&) = delete;

    // The number of devices counted by the latest first object (or recount).
    static int deviceCount();
    // Counts the devices afresh while the table exists and no device is
    // open, so that a device plugged in (or renumbered) after start is seen
    // without ending every output object. Returns the new count, or -1 when
    // nothing was counted (a device is open, or no object exists). An object
    // whose port lies beyond the new count keeps it, but has no device there:
    // it opens nothing and sends nothing until it selects another. When no
    // device is left the table keeps its old size (every object keeps a port
    // to select) with nothing behind it.
    static int recount();
    // Moves this object to device `index`; opens and closes nothing. Ends the
    // process when `index` is outside 0..deviceCount()-1.
    void selectPort(int index);
    // 1 when the port's device is open, 0 when closed, 2 without a port.
    int isOpen() const;
    // 1 when the device is open afterwards (also when it already was: it is
    // not opened twice), 0 when opening failed, 2 without a port.
    int openPort();
    // Closes the port's device for every object; sends no reset.
    void closePort();
    // Silences the port's device for every object, as the last object does
    // before it closes a device: every note and sound off on all 16
    // channels, sustain off. Nothing when the device is closed.
    void resetPort();
    // The device's product name. A closed device is opened for the query and
    // closed again; one that cannot be opened gives an empty name.
    // "Null MIDI Output" without a port.
    std::string portName();
    // Sends one short message at once: `status` as given, the data bytes
    // masked to 7 bits. 0 = sent, 2 without a port, otherwise the platform's
    // code (a closed device is not checked for: the platform refuses it).
    int sendShortMessage(int status, int data1, int data2);
    // Devices that place messages at their own time (MidiService::sendAt):
    // how far ahead of its due time a message may be handed over (0 for one
    // that sends at once), the timed send (bytes as sendShortMessage), and the
    // number of messages taken back of those handed ahead and not yet gone.
    int scheduleLeadMs() const;
    int sendShortMessageAt(int status, int data1, int data2, std::uint32_t dueMs);
    int takeBack();
    // False when the port's open device is known to have gone (unplugged,
    // its client or server gone) or there is none.
    bool connected() const;
    // Where a realtime input on the same callback writes to the open device
    // within its cycle (MidiService::cycleTarget); -1 for none.
    int cycleTarget() const;
    // The current device index.
    int port() const;

    // Replaces the platform layer; only while no output object exists
    // (returns false otherwise, or for a null service).
    // Without a call, the first object installs the system's devices: an
    // RtMidiService followed by a JackMidiService.
    static bool installService(std::shared_ptr<MidiService> service);
    // The platform layer in use; installs the system's devices when none is.
    static std::shared_ptr<MidiService> service();

private:
    // Counts this object in, building the table when it is the first.
    void attachToTable();

    int m_port = -1;
    MidiService* m_service = nullptr;  // fixed while any object exists
};
