#include "platform/BlockStorage.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Blocks from this size on are mapped.
constexpr std::size_t kMappedFrom = std::size_t{1} << 18;

std::size_t pageSize()
{
    static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

}  // namespace

StorageBlock allocateBlock(std::size_t bytes, std::size_t alignment)
{
    if (bytes >= kMappedFrom && alignment <= pageSize()) {
        const std::size_t rounded = (bytes + pageSize() - 1) / pageSize() * pageSize();
        void* base = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) {
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
        ::munmap(block.base, block.bytes);
    } else {
        ::operator delete(block.base, std::align_val_t{alignment});
    }
}

void releaseFront(const StorageBlock& block, const void* end, std::size_t& released, const StorageBlock* receiver,
                  const void* receiverEnd, std::size_t* supplied)
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
#ifdef MREMAP_DONTUNMAP
    if (receiver != nullptr && receiver->mapped && supplied != nullptr) {
        const auto filled = static_cast<std::size_t>(static_cast<const char*>(receiverEnd) -
                                                     static_cast<const char*>(receiver->base));
        const std::size_t start = std::max(*supplied, (filled + page - 1) / page * page);
        if (start + length <= receiver->bytes) {
            // DONTUNMAP leaves the source range mapped and empty, so the
            // block is still freed whole, and nothing else can be mapped there.
            void* moved = ::mremap(from, length, length, MREMAP_MAYMOVE | MREMAP_FIXED | MREMAP_DONTUNMAP,
                                   static_cast<char*>(receiver->base) + start);
            if (moved != MAP_FAILED) {
                *supplied = start + length;
                released = pages;
                return;
            }
        }
    }
#else
    (void)receiver;
    (void)receiverEnd;
    (void)supplied;
#endif
    // MADV_DONTNEED frees the pages and keeps the mapping whole, so the
    // block is still unmapped in one call when it is freed.
    ::madvise(from, length, MADV_DONTNEED);
    released = pages;
}

void prepareRange(const StorageBlock& block, const void* from, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    if (!block.mapped || bytes == 0) {
        return;
    }
    const std::size_t page = pageSize();
    const auto blockStart = reinterpret_cast<std::uintptr_t>(block.base);
    const auto start = reinterpret_cast<std::uintptr_t>(from) / page * page;
    const auto end = std::min(reinterpret_cast<std::uintptr_t>(from) + bytes, blockStart + block.bytes);
    if (start < blockStart || end <= start) {
        return;
    }
    // Pages already there are left as they are. A kernel without this advice
    // refuses it, and the pages then come one fault at a time, as before.
    ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
    (void)block;
    (void)from;
    (void)bytes;
#endif
}
