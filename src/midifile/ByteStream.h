#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Big-endian reads from a file or from bytes in memory. Every read is checked
// against the end: a read past the end yields no value and leaves atEnd() set,
// so no byte is ever invented. Each stream owns its buffer (no shared scratch).
class ByteStream {
public:
    // Opens `fileName` for binary reading; isOpen() tells whether that worked.
    explicit ByteStream(const std::string& fileName);
    explicit ByteStream(std::span<const std::uint8_t> data);
    ~ByteStream();

    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    bool isOpen() const { return m_file != nullptr || m_memory; }

    std::optional<std::uint8_t> readByte()
    {
        if (m_pos == m_end && !refill()) {
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

    // The next n bytes when they are already buffered, else nothing; they
    // stay unread until consume(n).
    const std::uint8_t* peek(std::size_t n) const
    {
        return static_cast<std::size_t>(m_end - m_pos) >= n ? m_pos : nullptr;
    }
    // Skips n bytes that peek(n) has shown.
    void consume(std::size_t n) { m_pos += n; }

    // Bytes not read yet.
    std::uint64_t remaining() const { return m_unbuffered + static_cast<std::uint64_t>(m_end - m_pos); }

private:
    bool refill();

    std::FILE* m_file = nullptr;
    bool m_memory = false;
    bool m_atEnd = false;
    std::uint64_t m_unbuffered = 0;  // file bytes not yet in the buffer
    std::vector<std::uint8_t> m_buffer;
    const std::uint8_t* m_pos = nullptr;
    const std::uint8_t* m_end = nullptr;
};
