#include "platform/BlockStorage.h"

#include <new>

#include <windows.h>

// The same blocks as on POSIX systems, from VirtualAlloc: a large block's
// pages are committed but take memory only once written, and its front can be
// given back a page at a time while the rest is in use. Pages are not moved
// between blocks here: a receiver simply gets fresh pages as it fills.

namespace {

// Blocks from this size on come straight from the system.
constexpr std::size_t kMappedFrom = std::size_t{1} << 18;

std::size_t pageSize()
{
    static const std::size_t size = [] {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        return static_cast<std::size_t>(info.dwPageSize);
    }();
    return size;
}

}  // namespace

StorageBlock allocateBlock(std::size_t bytes, std::size_t alignment)
{
    if (bytes >= kMappedFrom && alignment <= pageSize()) {
        const std::size_t rounded = (bytes + pageSize() - 1) / pageSize() * pageSize();
        void* base = VirtualAlloc(nullptr, rounded, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (base == nullptr) {
            throw std::bad_alloc();
        }
        return {base, rounded, true};
    }
    return {::operator new(bytes, std::align_val_t{alignment}), bytes, false};
}

void freeBlock(const StorageBlock& block, std::size_t alignment)
{
    if (block.base == nullptr) {
        return;
    }
    if (block.mapped) {
        VirtualFree(block.base, 0, MEM_RELEASE);
    } else {
        ::operator delete(block.base, std::align_val_t{alignment});
    }
}

void releaseFront(const StorageBlock& block, const void* end, std::size_t& released, const StorageBlock*, const void*,
                  std::size_t*)
{
    if (!block.mapped) {
        return;
    }
    const std::size_t page = pageSize();
    const auto used = static_cast<std::size_t>(static_cast<const char*>(end) - static_cast<const char*>(block.base));
    const std::size_t pages = used / page * page;
    if (pages <= released) {
        return;
    }
    char* const from = static_cast<char*>(block.base) + released;
    const std::size_t length = pages - released;
    // Decommitted, the pages go back to the system; committed again at once,
    // they stay addressable and read as zeros, as after MADV_DONTNEED, and
    // the block is still released whole in one call.
    VirtualFree(from, length, MEM_DECOMMIT);
    VirtualAlloc(from, length, MEM_COMMIT, PAGE_READWRITE);
    released = pages;
}

void prepareRange(const StorageBlock&, const void*, std::size_t) {}
