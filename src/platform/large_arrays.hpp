// Arrays of many MiB, written once: left uninitialized and in large pages.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "platform/platform.hpp"

namespace veltrin {

// An allocator that leaves the elements a resize adds uninitialized (unless
// given a value, as in resize(n, 0.0f)): the reading threads fill the series
// themselves, in parallel, instead of the resize zeroing them on one thread.
// Its arrays of many MiB take large pages.
template <class T>
struct uninitialized_allocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = uninitialized_allocator<U>;
    };
    uninitialized_allocator() = default;
    T* allocate(std::size_t n)
    {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(allocate_large(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { release_large(p, n * sizeof(T)); }
    template <class U>
    uninitialized_allocator(const uninitialized_allocator<U>&) noexcept
    {
    }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Arguments>
    void construct(U* p, Arguments&&... arguments)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Arguments>(arguments)...);
    }
};

// A buffer from allocate_large, released with its size.
struct large_release {
    std::size_t bytes = 0;
    void operator()(char* p) const noexcept { release_large(p, bytes); }
};
using large_buffer = std::unique_ptr<char[], large_release>;

inline large_buffer make_large_buffer(std::size_t bytes)
{
    return large_buffer(static_cast<char*>(allocate_large(bytes)), large_release{bytes});
}

}  // namespace veltrin
