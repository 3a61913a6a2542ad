#include "midifile/ByteStream.h"

#include "platform/RegularFile.h"

#include <algorithm>

namespace {

// A read of a large file looks at the stop flag after each block this size.
constexpr std::size_t kReadBlock = std::size_t{1} << 22;

// Closes the file however the read ends.
struct ClosedAtEnd {
    int fd;
    ~ClosedAtEnd() { closeRegularFile(fd); }
};

}  // namespace

ByteStream::ByteStream(const std::string& fileName, const std::atomic<bool>* stop)
{
    const RegularFile file = openRegularFile(fileName);
    const ClosedAtEnd closer{file.fd};
    if (file.state != RegularFile::State::Ready) {
        m_source = file.state == RegularFile::State::NotRegular ? Source::NotRegular : Source::CannotOpen;
        return;
    }
    // The size when opened; a file that grows meanwhile is read as it was.
    const auto size = static_cast<std::size_t>(file.size > 0 ? file.size : 0);
    m_buffer = allocateBlock(std::max<std::size_t>(size, 1), 1);
    auto* const bytes = static_cast<std::uint8_t*>(m_buffer.base);
    std::size_t got = 0;
    while (got < size) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            m_source = Source::Stopped;
            return;
        }
        const std::size_t block = std::min(size - got, kReadBlock);
        // Pages put in place in one call before the read fills them.
        prepareRange(m_buffer, bytes + got, block);
        const std::size_t n = readRegularFile(file.fd, bytes + got, block);
        got += n;
        if (n < block) {
            break;  // an error or a file cut short: what was read is all there is
        }
    }
    m_pos = bytes;
    m_end = m_pos + got;
}

ByteStream::~ByteStream()
{
    freeBlock(m_buffer, 1);
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
