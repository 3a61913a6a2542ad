#include "midifile/ByteStream.h"
#include "midifile/EventOrder.h"
#include "midifile/MidiFile.h"

#include <algorithm>
#include <array>
#include <optional>

// Reads one file into a MidiFile. Every refusal hands its lines to the
// caller's sink and records them in the file's read result; a corrupt file is
// a failed read, never the end of the process.
class MidiFile::Reader {
public:
    Reader(MidiFile& file, ByteStream& in, const std::string& name, const std::atomic<bool>* stop,
           DiagnosticSink& sink, EventSelection keep)
        : m_file(file),
          m_in(in),
          m_name(name),
          m_stop(stop),
          m_sink(sink),
          m_keep(keep),
          m_storageBudget(in.left() / 3)
    {
    }

    bool read()
    {
        ReadResult& result = m_file.m_readResult;
        result = ReadResult{};
        switch (m_in.source()) {
        case ByteStream::Source::Ready:
            break;
        case ByteStream::Source::CannotOpen:
            result.status = ReadResult::Status::CannotOpen;
            return false;
        case ByteStream::Source::NotRegular:
            result.status = ReadResult::Status::Failed;
            say("Error: not a regular file " + m_name);
            return false;
        case ByteStream::Source::Stopped:
            result.status = ReadResult::Status::Stopped;
            return false;
        }
        result.status = ReadResult::Status::Failed;
        if (!readHeader()) {
            return false;
        }
        for (std::int32_t t = 0; t < m_file.trackCount(); ++t) {
            TrackOrder order;
            switch (readTrack(m_file.track(t), order)) {
            case TrackEnd::Done:
                m_file.noteTrackOrderedFrom(t, order.orderedFrom);
                break;
            case TrackEnd::Failed:
                return false;
            case TrackEnd::Stopped:
                result.status = ReadResult::Status::Stopped;
                return false;
            }
        }
        m_file.m_tickMode = AbsoluteTicks;
        result.status = ReadResult::Status::Complete;
        return true;
    }

private:
    enum class Step { Ok, EndOfTrack, Failed };
    enum class TrackEnd { Done, Failed, Stopped };

    // Where a track's events, as read, are in merge order: each from
    // `orderedFrom` on is in order with the one before it.
    struct TrackOrder {
        std::uint64_t lastKey = 0;
        std::int32_t count = 0;
        std::int32_t orderedFrom = 0;

        void see(std::uint64_t key)
        {
            if (key < lastKey) {
                orderedFrom = count + 1;
            }
            lastKey = key;
            ++count;
        }
    };

    // Events read between two looks at the stop flag.
    static constexpr std::uint32_t kStopCheckEvents = 4096;

    bool stopRaised() const { return m_stop != nullptr && m_stop->load(std::memory_order_relaxed); }

    void say(const std::string& line)
    {
        m_sink.diagnostic(line);
        m_file.m_readResult.diagnostics.push_back(line);
    }

    // A read that ran into the end of the file where more bytes were due.
    bool unexpectedEnd()
    {
        say("Error: unexpected end of file");
        return false;
    }

    bool readHeader()
    {
        const auto first = m_in.readByte();
        if (first != 'M') {
            say("File: " + m_name + " is not a MIDI file");
            say(first ? "Chara data is" + std::string(1, static_cast<char>(*first)) : "Chara data is");
            return false;
        }
        for (const char expected : {'T', 'h', 'd'}) {
            if (m_in.readByte() != static_cast<std::uint8_t>(expected)) {
                say("File: " + m_name + " is not a MIDI file");
                return false;
            }
        }
        const auto headerLength = m_in.readU32();
        if (!headerLength) {
            return unexpectedEnd();
        }
        if (*headerLength != 6) {
            say("File: " + m_name + " is not a MIDI 1.0 Standard MIDI file.");
            say("The header size is: " + std::to_string(*headerLength));
            return false;
        }
        const auto format = m_in.readU16();
        if (!format) {
            return unexpectedEnd();
        }
        if (*format != 0 && *format != 1) {
            say("Error: cannot handle type " + std::to_string(*format) + " MIDI file");
            return false;
        }
        const auto count = m_in.readU16();
        if (!count) {
            return unexpectedEnd();
        }
        if (*format == 0 && *count != 1) {
            say("Error: Type 0 MIDI file can only contain one track");
            return false;
        }

        makeTrackTable(*count);

        const auto division = m_in.readS16();
        if (!division) {
            return unexpectedEnd();
        }
        if (*division <= 0) {
            say("Error: cannot handle SMTP tick values for quarter notes yet");
            return false;
        }
        m_file.m_ticksPerQuarterNote = *division;
        m_runningStatus = 0;  // once per file: running status carries across tracks
        return true;
    }

    // From here on the tracks hold absolute ticks, whatever happens next.
    // Each track's list is made when the track is read (see MidiFile::track).
    void makeTrackTable(std::int32_t count)
    {
        m_file.resetTracks();
        m_file.m_tracks.setSize(0);
        m_file.m_announcedTracks = count;
        m_file.m_tickMode = AbsoluteTicks;
        m_file.m_readResult.status = ReadResult::Status::Partial;
    }

    TrackEnd readTrack(MidiEventList& events, TrackOrder& order)
    {
        if (stopRaised()) {
            return TrackEnd::Stopped;
        }
        static constexpr std::array<char, 4> kTag{'M', 'T', 'r', 'k'};
        for (std::size_t k = 0; k < kTag.size(); ++k) {
            const auto b = m_in.readByte();
            if (b != static_cast<std::uint8_t>(kTag[k])) {
                say("File: " + m_name + " has bad track info");
                // At the end of the file there is no byte to show: -1 stands for it.
                say("character " + std::to_string(k + 1) + " is: " + (b ? std::to_string(*b) : std::string("-1")));
                if (k == 0) {
                    m_in.readByte();
                    if (m_in.atEnd()) {
                        say("End of file reached");
                    }
                }
                return TrackEnd::Failed;
            }
        }
        const auto length = m_in.readU32();
        if (!length) {
            unexpectedEnd();
            return TrackEnd::Failed;
        }
        // Room for one event per two bytes of the declared length; the length
        // does not bound the reading that follows.
        events.reserve(static_cast<std::int32_t>(*length / 2));
        // Real storage for as many events as the chunk can hold (three bytes
        // at least each), but never more than the rest of the file could, and
        // for all tracks together never more than the whole file could: chunk
        // lengths may lie, and a header may announce thousands of tracks.
        const std::size_t room = std::min<std::size_t>(std::min<std::uint64_t>(*length, m_in.left()) / 3, m_storageBudget);
        m_storageBudget -= room;
        events.reserveStorage(static_cast<std::int64_t>(room));
        // The storage of the events about to be read is readied a chunk at a
        // time: a fault for each fresh page costs more than parsing does.
        events.prepareStorage(kStopCheckEvents);

        std::uint32_t tickSum = 0;
        std::uint8_t markerCounter = 1;
        MidiEvent event;
        std::uint32_t untilStopCheck = kStopCheckEvents;
        while (true) {
            if (--untilStopCheck == 0) {
                if (stopRaised()) {
                    return TrackEnd::Stopped;
                }
                untilStopCheck = kStopCheckEvents;
                events.prepareStorage(kStopCheckEvents);
            }
            if (readChannelMessageInPlace(events, order, tickSum, markerCounter)) {
                continue;
            }
            const auto first = m_in.readByte();
            if (!first) {
                return TrackEnd::Done;  // the end of the file where an event would start ends the track
            }
            const auto delta = readVarLength(*first);
            if (!delta) {
                return TrackEnd::Failed;
            }
            tickSum += *delta;
            switch (readEventBytes(event)) {
            case Step::Failed:
                return TrackEnd::Failed;
            case Step::EndOfTrack:
                return TrackEnd::Done;
            case Step::Ok:
                break;
            }
            event.tick = static_cast<std::int32_t>(tickSum);
            rewriteMarker(event.bytes.begin(), event.size(), markerCounter);
            if (m_keep.keeps(event.bytes.begin(), event.size())) {
                order.see(orderKey(event));
                events.append(std::move(event));
            }
        }
    }

    // The common case, read straight from the buffer: a delta of up to four
    // bytes and a channel message (running or not) that lie wholly in it.
    // Anything else (meta and system events, errors, the end of the buffer)
    // is left unread for the general path. Builds the same event as
    // readVarLength and readEventBytes would.
    bool readChannelMessageInPlace(MidiEventList& events, TrackOrder& order, std::uint32_t& tickSum,
                                   std::uint8_t& markerCounter)
    {
        if (!m_in.ensure(7)) {
            return false;
        }
        const std::uint8_t* p = m_in.position();
        std::uint32_t delta = 0;
        std::size_t at = 0;
        while (true) {
            delta = (delta << 7) | (p[at] & 0x7FU);
            if ((p[at++] & 0x80) == 0) {
                break;
            }
            if (at == 4) {
                return false;
            }
        }
        const std::uint8_t first = p[at];
        const bool running = (first & 0x80) == 0;
        const std::uint8_t status = running ? m_runningStatus : first;
        const int kind = status & 0xF0;
        if (kind < 0x80 || kind == 0xF0) {
            return false;
        }
        const std::size_t dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
        std::uint8_t message[3] = {status, 0, 0};
        const std::size_t dataStart = running ? at : at + 1;
        for (std::size_t i = 0; i < dataBytes; ++i) {
            message[1 + i] = p[dataStart + i];
        }
        m_runningStatus = status;
        m_in.consume(dataStart + dataBytes);
        tickSum += delta;
        const auto size = static_cast<std::int32_t>(1 + dataBytes);
        rewriteMarker(message, size, markerCounter);
        if (m_keep.keeps(message, size)) {
            order.see(orderKey(static_cast<std::int32_t>(tickSum), 0));  // a channel message or a marker
            events.emplace(static_cast<std::int32_t>(tickSum), message, size);
        }
        return true;
    }

    // A variable-length value whose first byte is `first`: at most five bytes,
    // and the fifth may not have its top bit set.
    std::optional<std::uint32_t> readVarLength(std::uint8_t first)
    {
        std::array<std::uint8_t, 5> bytes{first};
        std::size_t count = 1;
        while ((bytes[count - 1] & 0x80) != 0 && count < bytes.size()) {
            const auto b = m_in.readByte();
            if (!b) {
                unexpectedEnd();
                return std::nullopt;
            }
            bytes[count++] = *b;
        }
        return decodeVarLength(bytes, count);
    }

    std::optional<std::uint32_t> decodeVarLength(const std::array<std::uint8_t, 5>& bytes, std::size_t count)
    {
        if (count == 5 && (bytes[4] & 0x80) != 0) {
            say("Error: VLV value was too long");
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            value = (value << 7) | (bytes[i] & 0x7F);
            if ((bytes[i] & 0x80) == 0) {
                break;
            }
        }
        return value;
    }

    bool appendByte(MidiEvent& event)
    {
        const auto b = m_in.readByte();
        if (!b) {
            return unexpectedEnd();
        }
        event.bytes.append(*b);
        return true;
    }

    Step readEventBytes(MidiEvent& event)
    {
        event.bytes.setSize(0);
        const auto b = m_in.readByte();
        if (!b) {
            unexpectedEnd();
            return Step::Failed;
        }
        bool running = false;
        if ((*b & 0x80) != 0) {
            m_runningStatus = *b;
        } else if (m_runningStatus == 0) {
            say("Error: running command with no previous command");
            return Step::Failed;
        } else {
            running = true;
        }
        const std::uint8_t status = m_runningStatus;
        event.bytes.append(status);
        if (running) {
            event.bytes.append(*b);
        }

        switch (status & 0xF0) {
        case 0xC0:
        case 0xD0:
            if (!running && !appendByte(event)) {
                return Step::Failed;
            }
            break;
        case 0x80:
        case 0x90:
        case 0xA0:
        case 0xB0:
        case 0xE0:
            if (!appendByte(event) || (!running && !appendByte(event))) {
                return Step::Failed;
            }
            break;
        case 0xF0:
            if (status == 0xF0) {
                // System exclusive: skipped up to and including F7 or the end
                // of the file; the event keeps the F0 alone.
                while (true) {
                    const auto skipped = m_in.readByte();
                    if (!skipped || *skipped == 0xF7) {
                        break;
                    }
                }
            } else if (status == 0xFF) {
                if (!appendByte(event) || !appendByte(event)) {
                    return Step::Failed;
                }
                const std::int32_t length = event.bytes.at(event.bytes.getSize() - 1);
                // The buffered part of the payload goes in with the head in
                // one step (the accounting of appending it byte by byte); a
                // payload cut short then fails on its first missing byte.
                m_in.ensure(static_cast<std::size_t>(length));
                const auto buffered = static_cast<std::int32_t>(std::min<std::size_t>(length, m_in.remaining()));
                if (buffered > 0) {
                    std::array<std::uint8_t, 4 + 255> message;
                    const std::int32_t head = event.bytes.getSize();
                    std::copy_n(event.bytes.begin(), head, message.begin());
                    std::copy_n(m_in.position(), buffered, message.begin() + head);
                    m_in.consume(static_cast<std::size_t>(buffered));
                    event.bytes.assignAppended(message.data(), head + buffered);
                }
                for (std::int32_t i = buffered; i < length; ++i) {
                    if (!appendByte(event)) {
                        return Step::Failed;
                    }
                }
            }
            break;
        default:
            say("Error reading midifile");
            say("Command byte was " + std::to_string(status));
            return Step::Failed;
        }
        return event.isEndOfTrack() ? Step::EndOfTrack : Step::Ok;
    }

    // A note-on with a key below 12 becomes a marker: its status byte is
    // replaced by the key; marker 2 numbers its occurrences within the track.
    static void rewriteMarker(std::uint8_t* bytes, std::int32_t size, std::uint8_t& markerCounter)
    {
        if (size < 3 || (bytes[0] & 0xF0) != 0x90 || bytes[1] >= 12) {
            return;
        }
        bytes[0] = bytes[1];
        if (bytes[1] == 2) {
            bytes[2] = markerCounter++;
        }
    }

    MidiFile& m_file;
    ByteStream& m_in;
    const std::string& m_name;
    const std::atomic<bool>* m_stop;
    DiagnosticSink& m_sink;
    EventSelection m_keep;
    std::size_t m_storageBudget;  // events the tracks may still reserve storage for
    std::uint8_t m_runningStatus = 0;
};

bool MidiFile::loadFile(const std::string& fileName, const std::atomic<bool>* stop, DiagnosticSink& sink,
                        EventSelection keep)
{
    ByteStream in(fileName, stop);
    return Reader(*this, in, fileName, stop, sink, keep).read();
}

bool MidiFile::loadBytes(std::span<const std::uint8_t> data, const std::string& name, const std::atomic<bool>* stop,
                         DiagnosticSink& sink, EventSelection keep)
{
    ByteStream in(data);
    return Reader(*this, in, name, stop, sink, keep).read();
}
