#pragma once

#include "jack/JackMidiService.h"
#include "midiin/MidiInputService.h"

#include <memory>
#include <string>
#include <vector>

// The MIDI output ports of the other clients of a running JACK server, as
// input devices, on the process's one JACK client: each open device is an
// input port of ours connected from it, read by the client's process
// callback, which hands each event to the device's sink on the realtime
// thread. A source port that goes away (its client ended) or a server that
// goes tells the sink through changed().
class JackMidiInput : public MidiInputService {
public:
    explicit JackMidiInput(std::shared_ptr<JackMidiService> client);
    ~JackMidiInput() override;

    JackMidiInput(const JackMidiInput&) = delete;
    JackMidiInput& operator=(const JackMidiInput&) = delete;

    int deviceCount() override;
    std::string productName(int device) override;
    bool open(int device, MidiInputSink& sink) override;
    void close(int device) override;
    bool connected(int device) override;
    bool realtime(int) override { return true; }
    bool tellsOfChanges(int) override { return true; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
