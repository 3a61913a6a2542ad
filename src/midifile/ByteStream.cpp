#include "midifile/ByteStream.h"

#include <algorithm>

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}

ByteStream::ByteStream(const std::string& fileName) : m_file(std::fopen(fileName.c_str(), "rb"))
{
    if (m_file != nullptr) {
        m_buffer.resize(kBufferSize);
        if (std::fseek(m_file, 0, SEEK_END) == 0) {
            const long size = std::ftell(m_file);
            m_unbuffered = size > 0 ? static_cast<std::uint64_t>(size) : 0;
        }
        std::rewind(m_file);
    }
}

ByteStream::ByteStream(std::span<const std::uint8_t> data)
    : m_memory(true), m_pos(data.data()), m_end(data.data() + data.size())
{
}

ByteStream::~ByteStream()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool ByteStream::refill()
{
    if (m_file == nullptr) {
        return false;
    }
    const std::size_t got = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
    m_pos = m_buffer.data();
    m_end = m_pos + got;
    m_unbuffered -= std::min<std::uint64_t>(m_unbuffered, got);
    return got > 0;
}

std::optional<std::uint16_t> ByteStream::readU16()
{
    const auto hi = readByte();
    const auto lo = readByte();
    if (!hi || !lo) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>((*hi << 8) | *lo);
}

std::optional<std::int16_t> ByteStream::readS16()
{
    const auto value = readU16();
    if (!value) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(*value);
}

std::optional<std::uint32_t> ByteStream::readU32()
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const auto b = readByte();
        if (!b) {
            return std::nullopt;
        }
        value = (value << 8) | *b;
    }
    return value;
}
