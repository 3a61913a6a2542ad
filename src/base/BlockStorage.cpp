#include "base/BlockStorage.h"

#include <new>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Blocks from this size on are mapped.
constexpr std::size_t kMappedFrom = std::size_t{1} << 20;

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

void releaseFront(const StorageBlock& block, const void* end, std::size_t& released)
{
    if (!block.mapped) {
        return;
    }
    const auto used = static_cast<std::size_t>(static_cast<const char*>(end) - static_cast<const char*>(block.base));
    const std::size_t pages = used / pageSize() * pageSize();
    if (pages > released) {
        // MADV_DONTNEED frees the pages and keeps the mapping whole, so the
        // block is still unmapped in one call when it is freed.
        ::madvise(static_cast<char*>(block.base) + released, pages - released, MADV_DONTNEED);
        released = pages;
    }
}
