#pragma once
// The getter and setter every record field of the style model has: each
// returns a result code, a getter without an output gives 0x80000001.
#include "ResultCode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace krmstyle {

template <typename T> krm::Result getField(const T& field, T* out)
{
    if (!out)
        return krm::fail(1);
    *out = field;
    return krm::kOk;
}

template <typename T> krm::Result setField(T& field, T value)
{
    field = value;
    return krm::kOk;
}

// Multi-byte fields kept in file byte order. The getter copies the whole
// field and sets *size to its width when *size is at least that, else the
// first *size bytes (no buffer or *size 0: 0x80000001). The setter fills the
// field with `fill`, then copies up to its width (no source or size 0:
// 0x80000001).
template <size_t N> krm::Result getBytesField(const uint8_t (&field)[N], uint8_t* out, uint32_t* size)
{
    if (!out || !size || *size == 0)
        return krm::fail(1);
    if (*size >= N) {
        std::memcpy(out, field, N);
        *size = N;
    } else {
        std::memcpy(out, field, *size);
    }
    return krm::kOk;
}

template <size_t N>
krm::Result setBytesField(uint8_t (&field)[N], uint8_t fill, const void* src, uint32_t size)
{
    if (!src || size == 0)
        return krm::fail(1);
    std::memset(field, fill, N);
    std::memcpy(field, src, std::min<size_t>(size, N));
    return krm::kOk;
}

// Whether a zero-padded field equals `text` zero-padded to its width (a
// longer text counts with its first N bytes).
template <size_t N> bool equalsZeroPadded(const uint8_t (&field)[N], const char* text, uint32_t length)
{
    uint8_t padded[N] = {};
    if (text)
        std::memcpy(padded, text, std::min<size_t>(length, N));
    return std::memcmp(padded, field, N) == 0;
}

}  // namespace krmstyle
