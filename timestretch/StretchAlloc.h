#pragma once
// Allocation on the stretch path. A failure leaves the engine by throwing
// the integer -1; only the render that started the stretch catches it, so
// every object must be left destructible (pointers valid or null) before one
// of these helpers is called.
#include <cstddef>
#include <new>
#include <stdexcept>
#include <vector>

namespace stretch {

constexpr int kAllocFailure = -1;

// v.resize(n), throwing -1 instead of std::bad_alloc / std::length_error.
template <typename T> void resizeOrThrow(std::vector<T>& v, std::size_t n)
{
    try {
        v.resize(n);
    } catch (const std::bad_alloc&) {
        throw kAllocFailure;
    } catch (const std::length_error&) {
        throw kAllocFailure;
    }
}

}  // namespace stretch
