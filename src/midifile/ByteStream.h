#pragma once

#include "platform/BlockStorage.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

// Big-endian reads from a file, or from bytes in memory. A file is read a
// window at a time into a buffer of its own that is used again and again, so
// a big file is neither copied into fresh memory nor held whole while its
// events are made. Every read is checked against the end: a read past the
// end yields no value and leaves atEnd() set, so no byte is ever invented.
// Each stream owns its buffer (no shared scratch).
class ByteStream {
public:
    // How opening the named file went.
    enum class Source {
        Ready,       // the bytes are there to read
        CannotOpen,  // missing or not readable
        NotRegular,  // a directory, a FIFO, a device: refused before reading
        Stopped,     // the stop flag was raised before the file was read
    };

    // Opens `fileName` with openRegularFile and reads its first window; the
    // file stays open until the stream ends. `stop`, when given and raised
    // already, makes the stream Stopped without reading.
    explicit ByteStream(const std::string& fileName, const std::atomic<bool>* stop = nullptr);
    explicit ByteStream(std::span<const std::uint8_t> data);

    ~ByteStream();

    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    Source source() const { return m_source; }

    std::optional<std::uint8_t> readByte()
    {
        if (m_pos == m_end && !ensure(1)) {
            m_atEnd = true;
            return std::nullopt;
        }
        return *m_pos++;
    }
    std::optional<std::uint16_t> readU16();
    std::optional<std::int16_t> readS16();
    std::optional<std::uint32_t> readU32();

    // Set once a read has hit the end of the data.
    bool atEnd() const { return m_atEnd; }

    // The bytes not read yet that are at hand, for parsing in place;
    // consume(n) moves past n of them. ensure(n) brings at least n to hand
    // (n a few hundred at most: a meta event's payload) unless the data ends
    // first, and says whether it could.
    const std::uint8_t* position() const { return m_pos; }
    std::size_t remaining() const { return static_cast<std::size_t>(m_end - m_pos); }
    void consume(std::size_t n) { m_pos += n; }
    bool ensure(std::size_t n) { return remaining() >= n || (m_fileLeft > 0 && refill(n)); }
    // Every byte not read yet, at hand or still in the file.
    std::size_t left() const { return remaining() + m_fileLeft; }

private:
    bool refill(std::size_t n);

    Source m_source = Source::Ready;
    bool m_atEnd = false;
    int m_fd = -1;               // the open file; -1 for memory
    std::size_t m_fileLeft = 0;  // bytes of the file (as opened) not in the window yet
    StorageBlock m_buffer;       // the window of a file; none for memory
    const std::uint8_t* m_pos = nullptr;
    const std::uint8_t* m_end = nullptr;
};
