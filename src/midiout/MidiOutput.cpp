#include "midiout/MidiOutput.h"

#include <atomic>
#include <cstdint>
#include <iostream>

namespace {

// Live MidiOutput objects, kept apart from the port layer's own count.
std::atomic<std::int32_t> g_outputCount{0};

}  // namespace

MidiOutput::MidiOutput()
{
    g_outputCount.fetch_add(1);
}

MidiOutput::MidiOutput(int port, int openNow) : MidiOutPort(port, openNow)
{
    g_outputCount.fetch_add(1);
}

MidiOutput::~MidiOutput()
{
    if (g_outputCount.fetch_sub(1) - 1 < 0) {
        std::cout << "Error in MidiOutput decontruction" << std::endl;
    }
}

int MidiOutput::sendMessage(int status, int data1, int data2)
{
    return sendShortMessage(status, data1, data2);
}

int MidiOutput::sendControlChange(int channel, int controller, int value)
{
    return sendMessage(0xB0 + (channel & 0x0F), controller, value);
}

int MidiOutput::sendNoteOn(int channel, int key, int velocity)
{
    return sendMessage(0x90 + (channel & 0x0F), key, velocity);
}

int MidiOutput::sendNoteOnAt(int channel, int key, int velocity, std::uint32_t dueMs)
{
    return sendShortMessageAt(0x90 + (channel & 0x0F), key, velocity, dueMs);
}
