#include "AllocationProbe.h"

#include <cstdlib>
#include <new>

// This test program's operator new records request sizes while a probe is
// armed; memory still comes from malloc and goes back to free.
namespace {

thread_local bool t_armed = false;
thread_local size_t t_largest = 0;

void* allocate(size_t n)
{
    if (t_armed && n > t_largest)
        t_largest = n;
    return std::malloc(n ? n : 1);
}

}  // namespace

void* operator new(size_t n)
{
    if (void* p = allocate(n))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n)
{
    return operator new(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
    return allocate(n);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept
{
    return allocate(n);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace allocprobe {

LargestAllocation::LargestAllocation()
{
    t_largest = 0;
    t_armed = true;
}

LargestAllocation::~LargestAllocation()
{
    t_armed = false;
}

size_t LargestAllocation::bytes() const
{
    return t_largest;
}

}  // namespace allocprobe
