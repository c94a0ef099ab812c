#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

// An allocator for byte stores that must start all zero. It takes its memory from calloc,
// which for large blocks maps fresh pages that the kernel zeroes on first touch, and it
// skips the vector's own zero-filling. A new 9999 x 9999 map thus costs no time up front,
// and a store (the undo store, the group store) costs memory only once it is written.
//
// Elements are only ever value-initialised right after allocation: never resize a vector
// of this kind in place, since growth within its capacity would not be zeroed.
template <class T> struct TZeroedAllocator
{
    using value_type = T;

    TZeroedAllocator() = default;
    template <class U> TZeroedAllocator(const TZeroedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n)
    {
        if (void* p = std::calloc(n, sizeof(T)))
            return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, std::size_t) noexcept { std::free(p); }

    template <class U, class... Args> void construct(U* p, Args&&... args)
    {
        if constexpr (sizeof...(Args) > 0)
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        // else: calloc has already zeroed it
    }

    template <class U> bool operator==(const TZeroedAllocator<U>&) const noexcept { return true; }
};

using TCellVector = std::vector<uint8_t, TZeroedAllocator<uint8_t>>;
