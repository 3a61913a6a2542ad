#include "midifile/ByteStream.h"

#include "platform/RegularFile.h"

#include <algorithm>
#include <cstring>

namespace {

// The window a file is read through: small enough to stay in cache while it
// is parsed, big enough that each read call is worth its cost.
constexpr std::size_t kWindow = std::size_t{1} << 18;

}  // namespace

ByteStream::ByteStream(const std::string& fileName, const std::atomic<bool>* stop)
{
    const RegularFile file = openRegularFile(fileName);
    if (file.state != RegularFile::State::Ready) {
        closeRegularFile(file.fd);
        m_source = file.state == RegularFile::State::NotRegular ? Source::NotRegular : Source::CannotOpen;
        return;
    }
    m_fd = file.fd;
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
        m_source = Source::Stopped;
        return;
    }
    // The size when opened; a file that grows meanwhile is read as it was.
    m_fileLeft = static_cast<std::size_t>(file.size > 0 ? file.size : 0);
    m_buffer = allocateBlock(std::min(kWindow, std::max<std::size_t>(m_fileLeft, 1)), 1);
    m_pos = static_cast<const std::uint8_t*>(m_buffer.base);
    m_end = m_pos;
    ensure(1);
}

bool ByteStream::refill(std::size_t n)
{
    // The bytes at hand go to the front of the window, the file fills the rest.
    auto* const base = static_cast<std::uint8_t*>(m_buffer.base);
    const std::size_t kept = remaining();
    std::memmove(base, m_pos, kept);
    const std::size_t want = std::min(m_buffer.bytes - kept, m_fileLeft);
    const std::size_t got = readRegularFile(m_fd, base + kept, want);
    // Fewer bytes than asked for: an error or a file cut short, and what was
    // read is all there is.
    m_fileLeft = got < want ? 0 : m_fileLeft - got;
    m_pos = base;
    m_end = base + kept + got;
    return remaining() >= n;
}

ByteStream::~ByteStream()
{
    freeBlock(m_buffer, 1);
    closeRegularFile(m_fd);
}

ByteStream::ByteStream(std::span<const std::uint8_t> data) : m_pos(data.data()), m_end(data.data() + data.size()) {}

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
