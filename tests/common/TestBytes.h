#pragma once
// Reading and patching integers at byte offsets of a file image, for tests
// that build or damage file layouts by hand. Big-endian for the project
// files, little-endian for WAV files; an offset outside the bytes throws
// std::out_of_range, so a wrong layout fails the test instead of reading
// past the buffer.
#include "ByteCodec.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace testbytes {

using Bytes = std::vector<uint8_t>;

template <typename T> T get(const Bytes& b, size_t at, krm::Endian order)
{
    krm::ByteReader r(b, order);
    T v = 0;
    bool ok = r.seek(at);
    if constexpr (sizeof(T) == 2)
        ok = ok && r.u16(v);
    else
        ok = ok && r.u32(v);
    if (!ok)
        throw std::out_of_range("byte offset past the end of the bytes");
    return v;
}

template <typename T> void set(Bytes& b, size_t at, T v, krm::Endian order)
{
    krm::ByteWriter w(b, order);
    const bool ok = sizeof(T) == 2 ? w.putU16At(at, uint16_t(v)) : w.putU32At(at, uint32_t(v));
    if (!ok)
        throw std::out_of_range("byte offset past the end of the bytes");
}

inline uint32_t be32(const Bytes& b, size_t at)
{
    return get<uint32_t>(b, at, krm::Endian::Big);
}
inline uint16_t be16(const Bytes& b, size_t at)
{
    return get<uint16_t>(b, at, krm::Endian::Big);
}
inline void setBe32(Bytes& b, size_t at, uint32_t v)
{
    set<uint32_t>(b, at, v, krm::Endian::Big);
}
inline void setLe32(Bytes& b, size_t at, uint32_t v)
{
    set<uint32_t>(b, at, v, krm::Endian::Little);
}
inline void setLe16(Bytes& b, size_t at, uint16_t v)
{
    set<uint16_t>(b, at, v, krm::Endian::Little);
}
// Appends a big-endian u32.
inline void appendBe32(Bytes& b, uint32_t v)
{
    krm::ByteWriter(b, krm::Endian::Big).u32(v);
}

}  // namespace testbytes
