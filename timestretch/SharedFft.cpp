#include "SharedFft.h"

#include "StretchAlloc.h"
#include "fft/rdft.h"

#include <cstdio>

namespace {

// rdft's bit-reversal area needs 2 + sqrt(n/2) entries.
constexpr size_t kWorkLength = 2 + 64;

}  // namespace

SharedFft::SharedFft()
{
    stretch::resizeOrThrow(m_work, kWorkLength);
    stretch::resizeOrThrow(m_table, kMaxSize / 2);
}

bool SharedFft::IsValidSize(int32_t n)
{
    return n >= 2 && n <= kMaxSize && (n & (n - 1)) == 0;
}

// The first transform of each common size, and of any other size whenever it
// changes, rebuilds the tables from scratch; afterwards rdft's own rule
// applies (tables built for a larger size serve every smaller one).
void SharedFft::PrepareTables(int32_t n)
{
    int slot = 5;
    for (int s = 0, size = 512; s < 5; ++s, size <<= 1) {
        if (n == size)
            slot = s;
    }
    bool rebuild = m_firstUse[slot];
    if (slot == 5) {
        rebuild = rebuild || n != m_lastOtherSize;
        m_lastOtherSize = n;
    }
    m_firstUse[slot] = false;
    if (rebuild) {
        m_work[0] = 0;
        m_work[1] = 0;
    }
}

void SharedFft::Transform(int32_t n, int32_t direction, float* data)
{
    if (!data) {
        std::fprintf(stderr, "SharedFft::Transform: no data\n");
        return;
    }
    if (!IsValidSize(n)) {
        std::fprintf(stderr,
                     "SharedFft::Transform: refused size %d (a power of two from 2 to %d is needed)\n",
                     static_cast<int>(n), static_cast<int>(kMaxSize));
        return;
    }
    PrepareTables(n);
    rdftf(n, direction, data, m_work.data(), m_table.data());
}
