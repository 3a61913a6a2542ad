#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// A file opened for reading by openRegularFile: `fd` is the descriptor (the
// caller's to close) when `state` is Ready, -1 otherwise.
struct RegularFile {
    enum class State {
        Ready,       // open: read it through `fd`
        CannotOpen,  // missing or not readable
        NotRegular,  // a directory, a FIFO, a device: refused before reading
    };
    int fd = -1;
    State state = State::CannotOpen;
    std::int64_t size = 0;  // bytes when opened
};

// Opens `fileName` for reading only when it is a regular file. The file is
// opened without blocking and looked at through the same descriptor, so a
// FIFO or a device is refused (NotRegular) without waiting for a writer and
// without a window in which the name could change. The one rule for every
// file the program reads.
// `fileName` is UTF-8 on every platform (wide-character calls on Windows).
RegularFile openRegularFile(const std::string& fileName);
// Reads up to `bytes` bytes of a file opened by openRegularFile into `into`:
// fewer only at the file's end or on an error. Returns how many were read.
std::size_t readRegularFile(int fd, void* into, std::size_t bytes);
// Closes a descriptor from openRegularFile; -1 is left alone.
void closeRegularFile(int fd);
// The opened file as a stream to read text from, which then owns it; null
// when that fails, the descriptor staying the caller's.
std::FILE* regularFileStream(int fd);
