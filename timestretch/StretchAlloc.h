#pragma once
// Allocation on the stretch path. A failure leaves the engine by throwing
// the integer -1; only the render that started the stretch catches it, so
// every object must be left destructible (pointers valid or null) before one
// of these helpers is called.
#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

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

// Asks the kernel to back a large buffer (a whole song's samples) with huge
// pages where it can: the buffer's first touch then costs one page fault per
// 2 MB instead of one per 4 KB, and each fault maps and zeroes its page in
// the kernel. The content is unchanged; small buffers, other systems and a
// refusal leave everything as it is.
inline void adviseHugePages(const void* data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kLarge = std::size_t {4} << 20;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (!data || bytes < kLarge || pageSize <= 0)
        return;
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto first = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t start = (first + page - 1) / page * page;
    const std::uintptr_t end = (first + bytes) / page * page;
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace stretch
