#pragma once
// The project-file tests take a file apart into its blocks and put it back
// together with a freshly computed header.
#include "TestBytes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace filebytes {

using testbytes::appendBe32;
using testbytes::be16;
using testbytes::be32;
using testbytes::Bytes;
using testbytes::setBe32;

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
