#include "platform/RegularFile.h"

#include "platform/TextEncoding.h"

#include <algorithm>
#include <climits>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

// Files are named in UTF-8 and opened through the wide-character calls, so a
// name in any script opens. Binary mode: the bytes are the file's.

RegularFile openRegularFile(const std::string& fileName)
{
    const std::u16string wide = utf16FromUtf8(fileName);
    const auto* name = reinterpret_cast<const wchar_t*>(wide.c_str());
    // Looked at before opening: opening a device name (CON, a pipe) could wait.
    struct _stat64 info {};
    if (_wstat64(name, &info) != 0) {
        return {};
    }
    if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        return {-1, RegularFile::State::NotRegular, 0};
    }
    const int fd = _wopen(name, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0 || _fstat64(fd, &info) != 0) {
        closeRegularFile(fd);
        return {};
    }
    // The same check on what was opened, should the name have changed since.
    if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        _close(fd);
        return {-1, RegularFile::State::NotRegular, 0};
    }
    return {fd, RegularFile::State::Ready, static_cast<std::int64_t>(info.st_size)};
}

std::size_t readRegularFile(int fd, void* into, std::size_t bytes)
{
    std::size_t got = 0;
    while (got < bytes) {
        const std::size_t part = std::min<std::size_t>(bytes - got, INT_MAX);
        const int n = _read(fd, static_cast<char*>(into) + got, static_cast<unsigned>(part));
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
        _close(fd);
    }
}

std::FILE* regularFileStream(int fd)
{
    return _fdopen(fd, "r");
}
