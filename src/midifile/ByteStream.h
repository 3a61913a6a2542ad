#pragma once

#include "platform/BlockStorage.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

// Big-endian reads from the whole of a file, or from bytes in memory, held in
// one buffer. Every read is checked against the end: a read past the end
// yields no value and leaves atEnd() set, so no byte is ever invented. Each
// stream owns its buffer (no shared scratch).
class ByteStream {
public:
    // How opening the named file went.
    enum class Source {
        Ready,       // the bytes are there to read
        CannotOpen,  // missing or not readable
        NotRegular,  // a directory, a FIFO, a device: refused before reading
        Stopped,     // the stop flag was raised while the file was being read
    };

    // Reads the whole of `fileName`, opened with openRegularFile. `stop`, when
    // given, is looked at between the blocks of a large file.
    explicit ByteStream(const std::string& fileName, const std::atomic<bool>* stop = nullptr);
    explicit ByteStream(std::span<const std::uint8_t> data);

    ~ByteStream();

    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    Source source() const { return m_source; }

    std::optional<std::uint8_t> readByte()
    {
        if (m_pos == m_end) {
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

    // The bytes not read yet, for parsing in place; consume(n) moves past n
    // of them.
    const std::uint8_t* position() const { return m_pos; }
    std::size_t remaining() const { return static_cast<std::size_t>(m_end - m_pos); }
    void consume(std::size_t n) { m_pos += n; }
    // Gives the pages of a file's buffer that lie wholly before position()
    // back to the system, once a few megabytes have been read past: a read
    // never goes back, and a big file then does not hold its bytes and its
    // events at once.
    void releaseRead()
    {
        if (m_buffer.mapped && static_cast<std::size_t>(m_pos - static_cast<const std::uint8_t*>(m_buffer.base)) >=
                                   m_released + kReleaseStep) {
            releaseFront(m_buffer, m_pos, m_released);
        }
    }

private:
    Source m_source = Source::Ready;
    bool m_atEnd = false;
    static constexpr std::size_t kReleaseStep = std::size_t{1} << 22;
    StorageBlock m_buffer;       // a file's bytes; none for memory
    std::size_t m_released = 0;  // how much of its front releaseRead gave back
    const std::uint8_t* m_pos = nullptr;
    const std::uint8_t* m_end = nullptr;
};
