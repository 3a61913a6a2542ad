#pragma once

#include "base/Fatal.h"
#include "platform/BlockStorage.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

// The growable, bounds-checked array that holds all variable-length data of
// the MIDI file model. Every misuse (an index outside the valid positions,
// growth past maxSize, shrinking the allocation below the size) ends the
// process through fatalError.
//
// Two sizes are kept apart:
//  - the allocated size (getAllocSize) is the array's own accounting: it grows
//    by a fixed step (growthSize, default 4) and is what maxSize limits;
//  - the real storage behind it grows geometrically and is taken only when
//    elements arrive, so appending is amortised O(1) and a large reservation
//    costs nothing until it is used. Large blocks are mapped from the
//    system (see BlockStorage.h), which is what lets dropFront give memory
//    back while the rest of the array is in use.
// Elements are constructed only in [0, getSize()); positions past the size are
// default-constructed as they are appended or the size is raised.
//
// Byte arrays (and other one-byte, trivially copyable element types) are
// compact: up to eight elements live inside the object, so a typical MIDI
// message needs no heap block of its own, and the real capacity follows from
// the size (the next power of two), so the array takes 24 bytes.
template <class T>
class CheckedArray {
public:
    CheckedArray() { initStorage(kDefaultSlots); }

    // What a default array emptied at once with setSize(0) holds (no
    // elements, `slots` slots allocated), without making the elements first.
    struct EmptyWithSlots {
        std::int32_t slotCount;
    };
    explicit CheckedArray(EmptyWithSlots empty) : m_allocatedSize(std::max<std::int32_t>(empty.slotCount, 0)) { initStorage(0); }

    ~CheckedArray() { release(); }

    // A copy is a faithful clone: size, accounting, flags and elements.
    CheckedArray(const CheckedArray& other)
        : m_allocatedSize(other.m_allocatedSize),
          m_growthSize(other.m_growthSize),
          m_growable(other.m_growable),
          m_maxSize(other.m_maxSize)
    {
        initStorage(0);
        copyElementsFrom(other);
    }

    CheckedArray(CheckedArray&& other) noexcept
        : m_allocatedSize(other.m_allocatedSize),
          m_growthSize(other.m_growthSize),
          m_growable(other.m_growable),
          m_maxSize(other.m_maxSize)
    {
        stealStorage(other);
    }

    // Assignment keeps the target's own growable flag, growth step and maximum
    // when its allocation already holds the source's elements; otherwise the
    // allocation is resized to the source's size and all three are taken from
    // the source. Then the elements are copied one by one.
    CheckedArray& operator=(const CheckedArray& other)
    {
        if (this == &other) {
            return *this;
        }
        if (m_allocatedSize < other.m_size) {
            m_allocatedSize = other.m_size;
            m_growable = other.m_growable;
            m_growthSize = other.m_growthSize;
            m_maxSize = other.m_maxSize;
        }
        resizeElements(0);
        copyElementsFrom(other);
        return *this;
    }

    CheckedArray& operator=(CheckedArray&& other) noexcept
    {
        if (this != &other) {
            release();
            m_allocatedSize = other.m_allocatedSize;
            m_growthSize = other.m_growthSize;
            m_growable = other.m_growable;
            m_maxSize = other.m_maxSize;
            stealStorage(other);
        }
        return *this;
    }

    // Element `index`. On a growable array, at(getSize()) appends a new
    // default-constructed element and returns it; every other position outside
    // 0..getSize()-1 is a fatal error.
    T& at(std::int32_t index)
    {
        if (m_growable && index == m_size) {
            if (m_size == m_allocatedSize) {
                grow(-1);
            }
            resizeElements(m_size + 1);
            return data()[m_size - 1];
        }
        checkIndex(index);
        return data()[index];
    }

    const T& at(std::int32_t index) const
    {
        checkIndex(index);
        return data()[index];
    }

    T& operator[](std::int32_t index) { return at(index); }
    const T& operator[](std::int32_t index) const { return at(index); }

    // Appends `value`; the same accounting as at(getSize()) on a growable array
    // (a non-growable array refuses it with the index error).
    template <class U>
    T& append(U&& value)
    {
        if (!m_growable) {
            checkIndex(m_size);
        }
        if (m_size == m_allocatedSize) {
            grow(-1);
        }
        if constexpr (kCompact) {
            resizeElements(m_size + 1);
            data()[m_size - 1] = static_cast<T>(value);
        } else {
            ensureCapacity(static_cast<std::int64_t>(m_size) + 1);
            ::new (static_cast<void*>(data() + m_size)) T(std::forward<U>(value));
            ++m_size;
        }
        return data()[m_size - 1];
    }

    // Appends an element made from `args` in place; otherwise as append.
    template <class... Args>
    T& emplace(Args&&... args)
        requires(!(std::is_trivially_copyable_v<T> && sizeof(T) == 1))
    {
        if (!m_growable) {
            checkIndex(m_size);
        }
        if (m_size == m_allocatedSize) {
            grow(-1);
        }
        ensureCapacity(static_cast<std::int64_t>(m_size) + 1);
        T* element = ::new (static_cast<void*>(data() + m_size)) T(std::forward<Args>(args)...);
        ++m_size;
        return *element;
    }

    // Replaces the contents with n copies from `values`, with the accounting
    // of setSize(0) followed by n appends (compact arrays only).
    void assignAppended(const T* values, std::int32_t n)
        requires(std::is_trivially_copyable_v<T> && sizeof(T) == 1)
    {
        if (n >= 0 && n <= kInlineSlots && isInline() && n <= m_allocatedSize && (m_growable || n <= m_size)) {
            // Inline before and after, within the allocation: only the bytes
            // and the size change (a typical MIDI message, made once per event,
            // so this part stays small enough to be inlined).
            std::memcpy(m_store.inlineBytes, values, static_cast<std::size_t>(n));
            m_size = n;
            return;
        }
        assignAppendedInGeneral(values, n);
    }

    // Adds `amount` slots to the allocation, or growthSize slots when amount <= 0.
    void grow(std::int32_t amount)
    {
        const std::int64_t step = amount > 0 ? amount : static_cast<std::int64_t>(m_growthSize);
        const std::int64_t wanted = static_cast<std::int64_t>(m_allocatedSize) + step;
        if ((m_maxSize != 0 && wanted > m_maxSize) || wanted > INT32_MAX) {
            fatalError("Error: Maximum size allowed for array exceeded.");
        }
        m_allocatedSize = static_cast<std::int32_t>(wanted);
    }

    // Sets the number of elements in use; raising it past the allocation grows
    // the allocation by exactly the difference. Shrinking keeps the allocation.
    void setSize(std::int32_t n)
    {
        n = std::max<std::int32_t>(n, 0);
        if (n > m_allocatedSize) {
            grow(n - m_allocatedSize);
        }
        resizeElements(n);
    }

    // Sets the allocation to exactly n slots when n does not exceed it (n below
    // the size is a fatal error); a larger n grows the allocation and sets the
    // size to n.
    void setAllocSize(std::int32_t n)
    {
        if (n < m_size) {
            fatalError("Error: cannot set allocated size smaller than actual size.");
        }
        if (n <= m_allocatedSize) {
            m_allocatedSize = n;
            if constexpr (!kCompact) {
                if (m_heap.capacity > n) {
                    reallocate(n);
                }
            }
        } else {
            grow(n - m_allocatedSize);
            setSize(n);
        }
    }

    // Leaves the array empty with an allocation of exactly n slots: what
    // setAllocSize(n) followed by setSize(0) leaves, without constructing the
    // n elements in between. Storage is taken as elements arrive.
    void reserve(std::int32_t n)
    {
        resizeElements(0);
        m_allocatedSize = std::max<std::int32_t>(n, 0);
        if constexpr (!kCompact) {
            if (m_heap.capacity > m_allocatedSize) {
                release();
            }
        }
    }

    // Makes room in the real storage for n elements without touching the
    // accounting, so that a known number of appends moves no element.
    // (Compact arrays size their storage by themselves.)
    void reserveStorage(std::int64_t n)
    {
        if constexpr (!kCompact) {
            ensureCapacity(n);
        }
    }

    // Destroys the first n elements (all of them when n is larger); the
    // element that was at n is now at 0, and the allocation shrinks by n.
    // The elements left do not move, so pointers to them stay valid, and the
    // whole pages of a large block that are left in front are given back to
    // the system: a consumer that takes elements from the front can release
    // memory as it goes. When `receiver` is given (an array that the dropped
    // elements were moved to), those pages go to its storage past its last
    // element instead, where it would otherwise take fresh ones.
    void dropFront(std::int32_t n, CheckedArray* receiver = nullptr)
        requires(!(std::is_trivially_copyable_v<T> && sizeof(T) == 1))
    {
        n = std::clamp(n, 0, std::max(m_size, 0));
        std::destroy_n(data(), n);
        forgetFront(n, receiver);
    }

    // dropFront for elements the caller has already destroyed (relocated
    // them, say, while they were in cache): the first n elements are only
    // forgotten, and their storage released as dropFront does.
    void forgetFront(std::int32_t n, CheckedArray* receiver = nullptr)
        requires(!(std::is_trivially_copyable_v<T> && sizeof(T) == 1))
    {
        n = std::clamp(n, 0, std::max(m_size, 0));
        m_store.heap += n;
        m_size -= n;
        m_allocatedSize -= n;
        m_heap.capacity -= n;
        if (receiver != nullptr && receiver != this) {
            releaseFront(m_heap.block, m_store.heap, m_heap.released, &receiver->m_heap.block, receiver->end(),
                         &receiver->m_heap.supplied);
        } else {
            releaseFront(m_heap.block, m_store.heap, m_heap.released);
        }
    }

    // Readies the real storage already taken for the next n elements past the
    // size, so that appending them costs no page fault each (see
    // prepareRange). Changes nothing the array shows.
    void prepareStorage(std::int32_t n)
        requires(!(std::is_trivially_copyable_v<T> && sizeof(T) == 1))
    {
        const std::int64_t room = std::min<std::int64_t>(n, static_cast<std::int64_t>(m_heap.capacity) - liveCount());
        if (room > 0) {
            prepareRange(m_heap.block, data() + liveCount(), static_cast<std::size_t>(room) * sizeof(T));
        }
    }

    void allowGrowth(bool flag) { m_growable = flag ? 1U : 0U; }
    // Slots added by a grow that is given no positive amount (at least 1).
    void setGrowth(std::int32_t step) { m_growthSize = static_cast<std::uint32_t>(std::max<std::int32_t>(step, 1)); }
    // Upper bound on the allocation; 0 means none.
    void setMaxSize(std::int32_t max) { m_maxSize = std::max<std::int32_t>(max, 0); }

    std::int32_t getSize() const { return m_size; }
    std::int32_t getAllocSize() const { return m_allocatedSize; }
    bool isGrowable() const { return m_growable != 0; }
    std::int32_t growthSize() const { return static_cast<std::int32_t>(m_growthSize); }
    std::int32_t maxSize() const { return m_maxSize; }

    // Unchecked access to the elements in use, for whole-array algorithms.
    T* begin() { return data(); }
    T* end() { return data() + m_size; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + m_size; }

private:
    static constexpr std::int32_t kDefaultSlots = 4;
    static constexpr bool kCompact = std::is_trivially_copyable_v<T> && sizeof(T) == 1;
    static constexpr std::int32_t kInlineSlots = kCompact ? static_cast<std::int32_t>(sizeof(T*)) : 0;

    // The real capacity of a compact array holding n elements.
    static constexpr std::int64_t compactCapacity(std::int64_t n)
    {
        return n <= kInlineSlots ? kInlineSlots : static_cast<std::int64_t>(std::bit_ceil(static_cast<std::uint64_t>(n)));
    }

    bool isInline() const { return kCompact && m_size <= kInlineSlots; }

    // assignAppended for every case its inline fast path leaves.
    void assignAppendedInGeneral(const T* values, std::int32_t n)
        requires(std::is_trivially_copyable_v<T> && sizeof(T) == 1)
    {
        if (!m_growable && n > m_size) {
            checkIndex(n - 1);
        }
        while (m_allocatedSize < n) {
            grow(-1);
        }
        resizeElements(n);
        std::memcpy(data(), values, static_cast<std::size_t>(std::max(n, 0)));
    }

    // The size as a count of elements (never negative).
    std::size_t liveCount() const { return m_size > 0 ? static_cast<std::size_t>(m_size) : 0U; }

    T* data()
    {
        if constexpr (kCompact) {
            if (isInline()) {
                return reinterpret_cast<T*>(m_store.inlineBytes);
            }
        }
        return m_store.heap;
    }
    const T* data() const { return const_cast<CheckedArray*>(this)->data(); }

    void checkIndex(std::int32_t index) const
    {
        if (index < 0 || index >= m_size) {
            fatalError("Error: accessing invalid array location " + std::to_string(index) + " Maximum is " +
                       std::to_string(m_size - 1));
        }
    }

    static T* allocate(std::int64_t capacity)
    {
        if (capacity > INT32_MAX) {
            fatalError("Error: Maximum size allowed for array exceeded.");
        }
        return static_cast<T*>(
            ::operator new(static_cast<std::size_t>(capacity) * sizeof(T), std::align_val_t{alignof(T)}));
    }
    static void deallocate(T* storage)
    {
        if (storage != nullptr) {
            ::operator delete(storage, std::align_val_t{alignof(T)});
        }
    }

    // Empty storage, then n default elements.
    void initStorage(std::int32_t n)
    {
        m_store.heap = nullptr;
        m_size = 0;
        if constexpr (!kCompact) {
            m_heap = {};
        }
        resizeElements(n);
        m_allocatedSize = std::max(m_allocatedSize, n);
    }

    void copyElementsFrom(const CheckedArray& other)
    {
        if constexpr (kCompact) {
            resizeElements(other.m_size);
            std::memcpy(data(), other.data(), other.liveCount());
        } else {
            ensureCapacity(other.m_size);
            std::uninitialized_copy_n(other.data(), other.liveCount(), data());
            m_size = other.m_size;
        }
    }

    // Makes exactly n elements live: new ones default-constructed (zero for
    // compact arrays), surplus ones destroyed.
    void resizeElements(std::int32_t n)
    {
        if constexpr (kCompact) {
            const std::int64_t oldCapacity = compactCapacity(m_size);
            const std::int64_t newCapacity = compactCapacity(n);
            if (oldCapacity != newCapacity) {
                T* old = data();
                const std::size_t kept = std::min(liveCount(), static_cast<std::size_t>(std::max(n, 0)));
                if (newCapacity == kInlineSlots) {
                    unsigned char moved[sizeof(T*)] = {};
                    std::memcpy(moved, old, kept);
                    deallocate(old);
                    std::memcpy(m_store.inlineBytes, moved, sizeof moved);
                } else {
                    T* fresh = allocate(newCapacity);
                    std::memcpy(fresh, old, kept);
                    if (oldCapacity != kInlineSlots) {
                        deallocate(old);
                    }
                    m_store.heap = fresh;
                }
            }
            const std::size_t previous = liveCount();
            m_size = n;
            const std::size_t now = liveCount();
            if (now > previous) {
                std::memset(data() + previous, 0, now - previous);
            }
        } else {
            if (n > m_size) {
                ensureCapacity(n);
                for (std::int32_t i = m_size; i < n; ++i) {
                    ::new (static_cast<void*>(data() + i)) T();
                }
            } else if (n < m_size) {
                std::destroy(data() + n, data() + m_size);
            }
            m_size = n;
        }
    }

    void ensureCapacity(std::int64_t n)
    {
        if (n <= m_heap.capacity) {
            return;
        }
        reallocate(std::max<std::int64_t>({n, static_cast<std::int64_t>(m_heap.capacity) * 2, kDefaultSlots}));
    }

    // Moves the elements into fresh storage of `capacity` slots (general arrays).
    void reallocate(std::int64_t capacity)
    {
        if (capacity > INT32_MAX) {
            fatalError("Error: Maximum size allowed for array exceeded.");
        }
        const StorageBlock block = allocateBlock(static_cast<std::size_t>(capacity) * sizeof(T), alignof(T));
        T* fresh = static_cast<T*>(block.base);
        T* old = data();
        const std::size_t count = liveCount();
        std::uninitialized_move_n(old, count, fresh);
        std::destroy_n(old, count);
        freeBlock(m_heap.block, alignof(T));
        m_store.heap = fresh;
        m_heap = {static_cast<std::int32_t>(capacity), block, 0, 0};
    }

    void release()
    {
        resizeElements(0);
        if constexpr (!kCompact) {
            freeBlock(m_heap.block, alignof(T));
            m_store.heap = nullptr;
            m_heap = {};
        }
    }

    void stealStorage(CheckedArray& other) noexcept
    {
        m_store = other.m_store;
        m_size = other.m_size;
        if constexpr (!kCompact) {
            m_heap = other.m_heap;
            other.m_heap = {};
        }
        other.m_store.heap = nullptr;
        other.m_size = 0;
    }

    struct NoCapacity {};
    union Store {
        T* heap;
        unsigned char inlineBytes[sizeof(T*)];
    };

    Store m_store{nullptr};
    std::int32_t m_size = 0;
    std::int32_t m_allocatedSize = 0;
    std::uint32_t m_growthSize : 31 = kDefaultSlots;
    std::uint32_t m_growable : 1 = 0;
    std::int32_t m_maxSize = 0;
    // The storage of a general array: slots from the first element on, the
    // block they lie in, and how much of its front has been given back.
    // Compact arrays derive their capacity from the size.
    struct HeapStorage {
        std::int32_t capacity = 0;
        StorageBlock block;
        std::size_t released = 0;
        std::size_t supplied = 0;  // bytes of the block given pages by dropFront of another array
    };
    [[no_unique_address]] std::conditional_t<kCompact, NoCapacity, HeapStorage> m_heap{};
};
