#include "midifile/ByteStream.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A read of a large file looks at the stop flag after each block this size.
constexpr std::size_t kReadBlock = std::size_t{1} << 22;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

}  // namespace

RegularFile openRegularFile(const std::string& fileName)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer. It changes
    // nothing for a regular file, the only kind read.
    FileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        return {-1, ByteStream::Source::NotRegular, 0};
    }
    return {fd.release(), ByteStream::Source::Ready, static_cast<std::int64_t>(info.st_size)};
}

ByteStream::ByteStream(const std::string& fileName, const std::atomic<bool>* stop)
{
    const RegularFile file = openRegularFile(fileName);
    const FileDescriptor fd(file.fd);
    if (file.source != Source::Ready) {
        m_source = file.source;
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
        const ssize_t n = ::read(fd.get(), bytes + got, block);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // an error or a file cut short: what was read is all there is
        }
        got += static_cast<std::size_t>(n);
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
