#pragma once

#include <cstddef>

// Raw storage for the element blocks of the checked array. Large blocks are
// mapped straight from the system, so that their pages cost memory only once
// written and can be given back a part at a time (releaseFront) while the
// rest of the block is still in use; small blocks come from the heap.
struct StorageBlock {
    void* base = nullptr;
    std::size_t bytes = 0;
    bool mapped = false;
};

// A block of at least `bytes` bytes aligned for `alignment`; throws
// std::bad_alloc when the system refuses it, as operator new does.
StorageBlock allocateBlock(std::size_t bytes, std::size_t alignment);
// Frees the whole block (a part already released included).
void freeBlock(const StorageBlock& block, std::size_t alignment);
// Gives back to the system the whole pages of a mapped block that lie before
// `end`, which no element uses any more; a heap block keeps them.
// `released` is how far earlier calls got, and is advanced.
//
// With a mapped `receiver` block, the pages are moved into it instead, where
// it holds no element yet: past `receiverEnd` (its end of elements) and past
// what earlier calls supplied (`supplied`, advanced). The receiver then needs
// no fresh pages there, and the memory is neither cleared nor faulted in
// again. The front of `block` stays mapped (and empty) either way.
void releaseFront(const StorageBlock& block, const void* end, std::size_t& released,
                  const StorageBlock* receiver = nullptr, const void* receiverEnd = nullptr,
                  std::size_t* supplied = nullptr);
// Puts in place, in one call, the pages of a mapped block that hold the
// `bytes` bytes from `from` on (clipped to the block), so that writing
// there takes no page fault per page; a heap block is left alone.
void prepareRange(const StorageBlock& block, const void* from, std::size_t bytes);
