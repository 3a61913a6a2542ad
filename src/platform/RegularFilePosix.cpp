#include "platform/RegularFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile openRegularFile(const std::string& fileName)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer. It changes
    // nothing for a regular file, the only kind read.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        closeRegularFile(fd);
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return {-1, RegularFile::State::NotRegular, 0};
    }
    return {fd, RegularFile::State::Ready, static_cast<std::int64_t>(info.st_size)};
}

std::size_t readRegularFile(int fd, void* into, std::size_t bytes)
{
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::read(fd, static_cast<char*>(into) + got, bytes - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

void closeRegularFile(int fd)
{
    if (fd >= 0) {
        ::close(fd);
    }
}

std::FILE* regularFileStream(int fd)
{
    return ::fdopen(fd, "r");
}
