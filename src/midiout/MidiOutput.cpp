#include "midiout/MidiOutput.h"

#include "midiout/ShortMessage.h"

#include <algorithm>

MidiOutput::MidiOutput() = default;

MidiOutput::MidiOutput(int port, int openNow) : MidiOutPort(port, openNow) {}

MidiOutput::~MidiOutput() = default;

int MidiOutput::sendMessage(int status, int data1, int data2)
{
    const int result = sendShortMessage(status, data1, data2);
    if (result == 0) {
        noteSent(status, data1, data2, nullptr);
    }
    return result;
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
    const int status = 0x90 + (channel & 0x0F);
    const int result = sendShortMessageAt(status, key, velocity, dueMs);
    if (result == 0) {
        noteSent(status, key, velocity, &dueMs);
    }
    return result;
}

void MidiOutput::noteSent(int status, int key, int velocity, const std::uint32_t* dueMs)
{
    const int kind = status & 0xF0;
    if (kind != 0x80 && kind != 0x90) {
        return;
    }
    const auto channel = static_cast<std::uint8_t>(status & 0x0F);
    const auto wireKey = static_cast<std::uint8_t>(key & 0x7F);
    std::bitset<128>& keys = m_sounding[channel];
    if (dueMs != nullptr) {
        // What was due two leads before this one has left by now: the
        // device takes a message a lead ahead at the latest.
        const auto lead = static_cast<std::int32_t>(std::max(scheduleLeadMs(), 0));
        while (!m_handed.empty() && static_cast<std::int32_t>(*dueMs - m_handed.front().dueMs) > 2 * lead) {
            m_handed.pop_front();
        }
        m_handed.push_back({*dueMs, channel, wireKey, keys.test(wireKey)});
    }
    keys.set(wireKey, kind == 0x90 && (velocity & 0x7F) != 0);
}

int MidiOutput::takeBack()
{
    const int count = MidiOutPort::takeBack();
    // The last ones handed are taken back: undone newest first.
    for (int undone = 0; undone < count && !m_handed.empty(); ++undone) {
        const Handed& last = m_handed.back();
        m_sounding[last.channel].set(last.key, last.wasSounding);
        m_handed.pop_back();
    }
    return count;
}

int MidiOutput::silence(int channel)
{
    int first = 0;
    const auto keep = [&first](int result) { first = first != 0 ? first : result; };
    keep(sendControlChange(channel, kAllSoundOff, 0));
    const std::bitset<128> sounding = m_sounding[static_cast<std::size_t>(channel & 0x0F)];
    for (int key = 0; key < 128; ++key) {
        if (sounding.test(static_cast<std::size_t>(key))) {
            keep(sendNoteOn(channel, key, 0));
        }
    }
    keep(sendControlChange(channel, kAllNotesOff, 0));
    // What was handed before the silencing cannot sound after it.
    m_handed.clear();
    return first;
}
