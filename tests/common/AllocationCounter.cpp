#include "AllocationCounter.h"

#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

struct Counters {
    bool active = false;
    int64_t failAt = 0;
    int64_t count = 0;
    int64_t live = 0;
    int64_t peak = 0;
};
thread_local Counters t_counters;

void* allocate(std::size_t size, bool nothrow)
{
    Counters& c = t_counters;
    if (c.active) {
        ++c.count;
        if (c.failAt > 0 && c.count >= c.failAt) {
            if (nothrow)
                return nullptr;
            throw std::bad_alloc();
        }
    }
    void* p = std::malloc(size ? size : 1);
    if (!p) {
        if (nothrow)
            return nullptr;
        throw std::bad_alloc();
    }
    if (c.active) {
        c.live += static_cast<int64_t>(malloc_usable_size(p));
        if (c.live > c.peak)
            c.peak = c.live;
    }
    return p;
}

void release(void* p)
{
    if (!p)
        return;
    Counters& c = t_counters;
    if (c.active)
        c.live -= static_cast<int64_t>(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

namespace testalloc {

Scope::Scope(int64_t failAt)
{
    t_counters = Counters {};
    t_counters.failAt = failAt;
    t_counters.active = true;
}

Scope::~Scope()
{
    t_counters.active = false;
}

int64_t Scope::peakBytes() const
{
    return t_counters.peak;
}

int64_t Scope::liveBytes() const
{
    return t_counters.live;
}

int64_t Scope::allocations() const
{
    return t_counters.count;
}

}  // namespace testalloc

// Every plain form of the global allocation functions, so that no form is
// left to another allocator whose memory would then reach std::free.
void* operator new(std::size_t size)
{
    return allocate(size, false);
}
void* operator new[](std::size_t size)
{
    return allocate(size, false);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size, true);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size, true);
}
void operator delete(void* p) noexcept
{
    release(p);
}
void operator delete[](void* p) noexcept
{
    release(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    release(p);
}
