#include "SoundFileStream.h"

#include "StretchAlloc.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max();

// Zeroed samples from calloc: fresh pages stay untouched until written, and
// a large buffer is backed by huge pages when it is.
float* zeroedSamples(int64_t n)
{
    const auto count = static_cast<size_t>(std::max<int64_t>(n, 1));
    auto* p = static_cast<float*>(std::calloc(count, sizeof(float)));
    stretch::adviseHugePages(p, count * sizeof(float));
    return p;
}

float clampSample(float v)
{
    return std::min(32767.0f, std::max(-32768.0f, v));
}

}  // namespace

SoundFileStream::~SoundFileStream()
{
    FreeOwned();
}

void SoundFileStream::FreeSamples(float* samples)
{
    std::free(samples);
}

void SoundFileStream::FreeOwned()
{
    if (m_owns)
        std::free(m_buffer);
    m_owns = false;
    m_buffer = nullptr;
    m_capacity = 0;
}

void SoundFileStream::Attach(float* samples, int32_t length)
{
    FreeOwned();
    m_buffer = samples;
    m_length = samples ? std::max(0, length) : 0;
    m_capacity = m_length;
    m_lastWritten = m_length - 1;
}

int SoundFileStream::Allocate(int32_t capacity)
{
    if (capacity < 0)
        return 1;
    float* p = zeroedSamples(capacity);
    if (!p)
        return 1;
    FreeOwned();
    m_buffer = p;
    m_owns = true;
    m_capacity = capacity;
    Empty();
    return 0;
}

float* SoundFileStream::ReleaseBuffer()
{
    float* p = m_buffer;
    m_owns = false;
    m_buffer = nullptr;
    m_capacity = 0;
    Empty();
    return p;
}

void SoundFileStream::Empty()
{
    m_length = 0;
    m_lastWritten = -1;
}

void SoundFileStream::Grow(int64_t needed)
{
    if (m_buffer && needed <= m_capacity)
        return;
    int64_t capacity = (needed / kGrowthStep + 1) * kGrowthStep;
    if (m_buffer) {
        const int64_t half = static_cast<int64_t>(m_capacity) / 2;
        capacity = std::max(capacity, (m_capacity + half + kGrowthStep - 1) / kGrowthStep * kGrowthStep);
    }
    capacity = std::min(kMaxLength, capacity);
    float* fresh = zeroedSamples(capacity);
    if (!fresh)
        throw stretch::kAllocFailure;
    if (m_buffer && m_length > 0)
        std::memcpy(fresh, m_buffer, sizeof(float) * static_cast<size_t>(m_length));
    FreeOwned();
    m_buffer = fresh;
    m_owns = true;
    m_capacity = static_cast<int32_t>(capacity);
}

int SoundFileStream::Read(float* destination, int32_t n, int32_t position, int mode)
{
    if (!destination || mode != Copy)
        return -1;
    if (n <= 0)
        return 0;
    const int64_t start = position;
    const int64_t end = start + n;
    const int64_t from = std::max<int64_t>(start, 0);
    const int64_t to = std::min<int64_t>(end, m_length);
    std::fill(destination, destination + n, 0.0f);
    if (from < to)
        std::memcpy(destination + (from - start), m_buffer + from,
                    sizeof(float) * static_cast<size_t>(to - from));
    return 0;
}

int SoundFileStream::Read(float** destination, int32_t n, int32_t position, int mode)
{
    if (!destination || mode != View)
        return -1;
    *destination = nullptr;
    if (n <= 0)
        return 0;
    const int64_t start = position;
    const int64_t end = start + n;
    if (start >= 0 && end < m_length) {
        *destination = m_buffer + position;
        return 0;
    }
    float* block = zeroedSamples(n);
    if (!block)
        throw stretch::kAllocFailure;
    Read(block, n, position, Copy);
    if (start >= 0 && start <= m_length && m_length > 0) {
        // The block runs past the end: fade the last sample out over the rest.
        const int64_t m = end - m_length;
        const float s = m_buffer[m_length - 1];
        float* tail = block + (m_length - start);
        for (int64_t i = 0; i < m; ++i)
            tail[i] = static_cast<float>(s * static_cast<double>(m - 1 - i) / static_cast<double>(m));
    }
    *destination = block;
    return 1;
}

int SoundFileStream::WriteBlock(const float* samples, int32_t n, int32_t position)
{
    if (!m_enabled || !samples || n <= 0)
        return 0;
    const int64_t end = static_cast<int64_t>(position) + n;
    if (position < 0 || end > kMaxLength)
        return 1;
    Grow(end);
    if (position > m_length)
        std::fill(m_buffer + m_length, m_buffer + position, 0.0f);
    std::memcpy(m_buffer + position, samples, sizeof(float) * static_cast<size_t>(n));
    m_length = static_cast<int32_t>(std::max<int64_t>(m_length, end));
    return 0;
}

int SoundFileStream::WriteToSoundFile(const float* samples, int32_t n)
{
    if (!m_enabled)
        return 0;
    if (!m_buffer) {
        std::fputs("Error in WriteToSoundFile()\n", stderr);
        return 1;
    }
    return WriteBlock(samples, n, m_length);
}

int SoundFileStream::MixAt(const float* samples, int32_t n, int32_t position)
{
    if (!m_enabled || !samples || n <= 0)
        return 0;
    if (!m_buffer) {
        std::fputs("Error in WriteToSoundFile()\n", stderr);
        return 1;
    }
    const int64_t end = static_cast<int64_t>(position) + n;
    if (position < 0 || end > kMaxLength)
        return 1;
    Grow(end);
    int64_t k = m_lastWritten;
    if (position > k + 1) {
        std::fill(m_buffer + k + 1, m_buffer + position, 0.0f);
        k = position - 1;
    }
    const int64_t overlap = std::min<int64_t>(k - position + 1, n);
    for (int64_t i = 0; i < overlap; ++i)
        m_buffer[position + i] = clampSample(m_buffer[position + i] + samples[i]);
    if (end > k + 1) {
        const int64_t first = k + 1 - position;
        std::memcpy(m_buffer + k + 1, samples + first, sizeof(float) * static_cast<size_t>(n - first));
        k = end - 1;
    }
    m_lastWritten = static_cast<int32_t>(k);
    m_length = static_cast<int32_t>(std::max<int64_t>(m_length, k + 1));
    return 0;
}
