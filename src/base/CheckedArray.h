#pragma once

#include "base/Fatal.h"

#include <algorithm>
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
//    costs nothing until it is used.
// Elements are constructed only in [0, getSize()); positions past the size are
// default-constructed as they are appended or the size is raised.
//
// Byte arrays (and other one-byte, trivially copyable element types) keep up
// to eight elements inside the object, so a typical MIDI message needs no heap
// block of its own.
template <class T>
class CheckedArray {
public:
    CheckedArray() { initStorage(kDefaultSlots); }

    ~CheckedArray() { release(); }

    // A copy is a faithful clone: size, accounting, flags and elements.
    CheckedArray(const CheckedArray& other)
        : m_size(0),
          m_allocatedSize(other.m_allocatedSize),
          m_growthSize(other.m_growthSize),
          m_maxSize(other.m_maxSize),
          m_growable(other.m_growable)
    {
        initStorage(0);
        ensureCapacity(other.m_size);
        std::uninitialized_copy(other.data(), other.data() + other.m_size, data());
        m_size = other.m_size;
    }

    CheckedArray(CheckedArray&& other) noexcept
        : m_size(other.m_size),
          m_allocatedSize(other.m_allocatedSize),
          m_growthSize(other.m_growthSize),
          m_maxSize(other.m_maxSize),
          m_growable(other.m_growable)
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
        destroyElements(0);
        ensureCapacity(other.m_size);
        std::uninitialized_copy(other.data(), other.data() + other.m_size, data());
        m_size = other.m_size;
        return *this;
    }

    CheckedArray& operator=(CheckedArray&& other) noexcept
    {
        if (this != &other) {
            release();
            m_size = other.m_size;
            m_allocatedSize = other.m_allocatedSize;
            m_growthSize = other.m_growthSize;
            m_maxSize = other.m_maxSize;
            m_growable = other.m_growable;
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
            ensureCapacity(static_cast<std::int64_t>(m_size) + 1);
            ::new (static_cast<void*>(data() + m_size)) T();
            return data()[m_size++];
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
        ensureCapacity(static_cast<std::int64_t>(m_size) + 1);
        ::new (static_cast<void*>(data() + m_size)) T(std::forward<U>(value));
        return data()[m_size++];
    }

    // Adds `amount` slots to the allocation, or growthSize slots when amount <= 0.
    void grow(std::int32_t amount)
    {
        const std::int64_t step = amount > 0 ? amount : m_growthSize;
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
        if (n > m_size) {
            ensureCapacity(n);
            for (std::int32_t i = m_size; i < n; ++i) {
                ::new (static_cast<void*>(data() + i)) T();
            }
        } else {
            destroyElements(n);
        }
        m_size = n;
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
            if (!isInline() && m_capacity > n && n >= m_size) {
                reallocate(std::max<std::int64_t>(n, kInlineSlots));
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
        destroyElements(0);
        m_size = 0;
        m_allocatedSize = std::max<std::int32_t>(n, 0);
        if (!isInline() && m_capacity > m_allocatedSize) {
            release();
            initStorage(0);
        }
    }

    // Makes room in the real storage for n elements without touching the
    // accounting, so that a known number of appends moves no element.
    void reserveStorage(std::int64_t n) { ensureCapacity(n); }

    void allowGrowth(bool flag) { m_growable = flag; }
    // Slots added by a grow that is given no positive amount (at least 1).
    void setGrowth(std::int32_t step) { m_growthSize = std::max<std::int32_t>(step, 1); }
    // Upper bound on the allocation; 0 means none.
    void setMaxSize(std::int32_t max) { m_maxSize = std::max<std::int32_t>(max, 0); }

    std::int32_t getSize() const { return m_size; }
    std::int32_t getAllocSize() const { return m_allocatedSize; }
    bool isGrowable() const { return m_growable; }
    std::int32_t growthSize() const { return m_growthSize; }
    std::int32_t maxSize() const { return m_maxSize; }

    // Unchecked access to the elements in use, for whole-array algorithms.
    T* begin() { return data(); }
    T* end() { return data() + m_size; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + m_size; }

private:
    static constexpr std::int32_t kDefaultSlots = 4;
    static constexpr bool kCanInline = std::is_trivially_copyable_v<T> && sizeof(T) == 1;
    static constexpr std::int32_t kInlineSlots = kCanInline ? 8 : 0;

    bool isInline() const { return kCanInline && m_capacity == kInlineSlots; }

    T* data()
    {
        if constexpr (kCanInline) {
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

    void initStorage(std::int32_t n)
    {
        if (kCanInline) {
            m_capacity = kInlineSlots;
            std::memset(m_store.inlineBytes, 0, sizeof(m_store.inlineBytes));
        } else {
            m_capacity = 0;
            m_store.heap = nullptr;
        }
        m_size = 0;
        ensureCapacity(n);
        for (std::int32_t i = 0; i < n; ++i) {
            ::new (static_cast<void*>(data() + i)) T();
        }
        m_size = n;
        m_allocatedSize = std::max(m_allocatedSize, n);
    }

    void ensureCapacity(std::int64_t n)
    {
        if (n <= m_capacity) {
            return;
        }
        reallocate(std::max<std::int64_t>({n, static_cast<std::int64_t>(m_capacity) * 2, kDefaultSlots}));
    }

    // Moves the elements into fresh storage of `capacity` slots.
    void reallocate(std::int64_t capacity)
    {
        if (capacity > INT32_MAX) {
            fatalError("Error: Maximum size allowed for array exceeded.");
        }
        T* fresh = static_cast<T*>(::operator new(static_cast<std::size_t>(capacity) * sizeof(T),
                                                  std::align_val_t{alignof(T)}));
        T* old = data();
        std::uninitialized_move(old, old + m_size, fresh);
        std::destroy(old, old + m_size);
        freeHeap();
        m_store.heap = fresh;
        m_capacity = static_cast<std::int32_t>(capacity);
    }

    void destroyElements(std::int32_t from)
    {
        if (from < m_size) {
            std::destroy(data() + from, data() + m_size);
            m_size = from;
        }
    }

    void freeHeap()
    {
        if (!isInline() && m_store.heap != nullptr) {
            ::operator delete(m_store.heap, std::align_val_t{alignof(T)});
        }
        m_store.heap = nullptr;
    }

    void release()
    {
        destroyElements(0);
        freeHeap();
        m_capacity = 0;
    }

    void stealStorage(CheckedArray& other) noexcept
    {
        m_capacity = other.m_capacity;
        if (other.isInline()) {
            std::memcpy(m_store.inlineBytes, other.m_store.inlineBytes, sizeof(m_store.inlineBytes));
        } else {
            m_store.heap = other.m_store.heap;
        }
        other.m_store.heap = nullptr;
        other.m_capacity = 0;
        other.m_size = 0;
    }

    std::int32_t m_size = 0;
    std::int32_t m_allocatedSize = 0;
    std::int32_t m_capacity = 0;
    std::int32_t m_growthSize = kDefaultSlots;
    std::int32_t m_maxSize = 0;
    bool m_growable = false;
    union Store {
        T* heap;
        unsigned char inlineBytes[sizeof(T*)];
    } m_store{nullptr};
};
