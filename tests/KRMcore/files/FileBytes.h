#pragma once
// Byte-level helpers for the project-file tests: read and patch big-endian
// words, and take a file apart into its blocks and put it back together
// with a freshly computed header.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace filebytes {

using Bytes = std::vector<uint8_t>;

inline uint32_t be32(const Bytes& b, size_t at)
{
    return (uint32_t(b.at(at)) << 24) | (uint32_t(b.at(at + 1)) << 16) | (uint32_t(b.at(at + 2)) << 8) |
           uint32_t(b.at(at + 3));
}

inline uint16_t be16(const Bytes& b, size_t at)
{
    return uint16_t((b.at(at) << 8) | b.at(at + 1));
}

inline void setBe32(Bytes& b, size_t at, uint32_t v)
{
    b.at(at) = uint8_t(v >> 24);
    b.at(at + 1) = uint8_t(v >> 16);
    b.at(at + 2) = uint8_t(v >> 8);
    b.at(at + 3) = uint8_t(v);
}

inline void appendBe32(Bytes& b, uint32_t v)
{
    b.resize(b.size() + 4);
    setBe32(b, b.size() - 4, v);
}

struct Parts {
    Bytes tag;  // magic and version, 8 bytes
    Bytes a, b, c;
};

// Splits a well-formed file by the lengths in its header.
inline Parts split(const Bytes& f)
{
    Parts p;
    const uint32_t lenA = be32(f, 12), lenB = be32(f, 20), lenC = be32(f, 28);
    p.tag.assign(f.begin(), f.begin() + 8);
    p.a.assign(f.begin() + 32, f.begin() + 32 + lenA);
    p.b.assign(f.begin() + 32 + lenA, f.begin() + 32 + lenA + lenB);
    p.c.assign(f.begin() + 32 + lenA + lenB, f.begin() + 32 + lenA + lenB + lenC);
    return p;
}

inline Bytes join(const Parts& p)
{
    Bytes f = p.tag;
    const uint32_t lenA = uint32_t(p.a.size()), lenB = uint32_t(p.b.size()), lenC = uint32_t(p.c.size());
    for (uint32_t v : {32u, lenA, 32 + lenA, lenB, 32 + lenA + lenB, lenC})
        appendBe32(f, v);
    for (const Bytes* blk : {&p.a, &p.b, &p.c})
        f.insert(f.end(), blk->begin(), blk->end());
    return f;
}

}  // namespace filebytes
