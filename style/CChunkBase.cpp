#include "CChunkBase.h"

#include "ByteCodec.h"

#include <cstring>
#include <limits>

using krm::fail;
using krm::Result;

namespace {

struct TagEntry {
    uint8_t id;
    char text[5];
};

// Searched in this order; the first entry whose four characters match wins.
const TagEntry kTags[] = {
    {1, "MThd"},  {2, "MTrk"},  {4, "CASM"},  {5, "CSEG"},  {6, "Sdec"},  {7, "Ctab"},  {8, "Cntt"},
    {9, "MHhd"},  {10, "MHtr"}, {11, "Ghst"}, {12, "Rsec"}, {13, "Rtrk"}, {14, "Rvce"}, {15, "Tdec"},
    {16, "OTSc"}, {17, "FNRc"}, {18, "Ctb2"}, {19, "StNm"}, {20, "AASM"}, {21, "ASEG"}, {22, "Adec"},
    {23, "Atab"}, {24, "AMix"}, {25, "AFil"}, {26, "ADSg"}, {27, "ANdc"}, {28, "AWav"}, {29, "Afmt"},
    {30, "Sfmt"}, {31, "SPnt"}, {32, "Adat"}, {33, "AInf"}, {34, "BPnt"}, {35, "OPnt"}, {36, "APnt"},
    {37, "ATmp"}, {38, "APt2"}, {39, "RIFF"}, {40, "fmt "}, {41, "data"},
};

uint8_t tagIdOf(const uint8_t* bytes)
{
    for (const TagEntry& e : kTags)
        if (std::memcmp(bytes, e.text, 4) == 0)
            return e.id;
    return kChunkNone;
}

// One fixed-width read through the shared bounds-checked reader.
template <typename T, bool (krm::ByteReader::*Read)(T&)>
Result readField(const uint8_t* buf, uint32_t size, uint32_t* pos, T* out, krm::Endian order)
{
    if (out)
        *out = 0;
    if (!buf || !pos || !out)
        return fail(1);
    krm::ByteReader r(buf, size, order);
    T v = 0;
    if (!r.seek(*pos) || !(r.*Read)(v))
        return fail(2);
    *out = v;
    *pos = static_cast<uint32_t>(r.pos());
    return krm::kOk;
}

}  // namespace

Result CChunkBase::readUInt32BE(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t* out)
{
    return readField<uint32_t, &krm::ByteReader::u32>(buf, size, pos, out, krm::Endian::Big);
}

Result CChunkBase::readUInt32LE(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t* out)
{
    return readField<uint32_t, &krm::ByteReader::u32>(buf, size, pos, out, krm::Endian::Little);
}

Result CChunkBase::readUInt16BE(const uint8_t* buf, uint32_t size, uint32_t* pos, uint16_t* out)
{
    return readField<uint16_t, &krm::ByteReader::u16>(buf, size, pos, out, krm::Endian::Big);
}

Result CChunkBase::readUInt16LE(const uint8_t* buf, uint32_t size, uint32_t* pos, uint16_t* out)
{
    return readField<uint16_t, &krm::ByteReader::u16>(buf, size, pos, out, krm::Endian::Little);
}

Result CChunkBase::readUInt8(const uint8_t* buf, uint32_t size, uint32_t* pos, uint8_t* out)
{
    return readField<uint8_t, &krm::ByteReader::u8>(buf, size, pos, out, krm::Endian::Big);
}

Result CChunkBase::readVarLen(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t* out)
{
    if (out)
        *out = 0;
    if (!buf || !pos || !out)
        return fail(1);
    uint32_t value = 0;
    for (;;) {
        if (*pos >= size)
            return fail(2);
        const uint8_t b = buf[(*pos)++];
        value = (value << 7) | (b & 0x7Fu);
        if (!(b & 0x80u))
            break;
    }
    *out = value;
    return krm::kOk;
}

Result CChunkBase::readChunkTag(const uint8_t* buf, uint32_t size, uint32_t* pos, uint8_t* id)
{
    if (id)
        *id = kChunkNone;
    if (!buf || !pos || !id)
        return fail(1);
    if (*pos > size || size - *pos < 4)
        return fail(2);
    const uint8_t found = tagIdOf(buf + *pos);
    if (found == kChunkNone)
        return fail(3);
    *id = found;
    *pos += 4;
    return krm::kOk;
}

bool CChunkBase::isChunkTag(const uint8_t* buf, uint32_t size, uint8_t id)
{
    return buf && size >= 4 && id != kChunkNone && tagIdOf(buf) == id;
}

const char* CChunkBase::chunkTagText(uint8_t id)
{
    for (const TagEntry& e : kTags)
        if (e.id == id)
            return e.text;
    return nullptr;
}

void CChunkBase::appendUInt32BE(std::vector<uint8_t>& out, uint32_t value)
{
    krm::ByteWriter(out).u32(value);
}

void CChunkBase::appendUInt16BE(std::vector<uint8_t>& out, uint16_t value)
{
    krm::ByteWriter(out).u16(value);
}

void CChunkBase::appendUInt8(std::vector<uint8_t>& out, uint8_t value)
{
    out.push_back(value);
}

void CChunkBase::appendVarLen(std::vector<uint8_t>& out, uint32_t value)
{
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7Fu);
        value >>= 7;
    } while (value != 0);
    while (n-- > 0)
        out.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80u : 0u)));
}

Result CChunkBase::appendChunkTag(std::vector<uint8_t>& out, uint8_t id)
{
    if (id == kChunkNone)
        return fail(1);
    const char* text = chunkTagText(id);
    if (!text)
        return fail(2);
    krm::ByteWriter(out).tag(text);
    return krm::kOk;
}

Result CChunkBase::putUInt32BE(uint8_t* data, size_t size, size_t position, uint32_t value)
{
    if (!data)
        return fail(1);
    if (position > size || size - position < 4)
        return fail(2);
    for (int i = 0; i < 4; ++i)
        data[position + size_t(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
    return krm::kOk;
}

Result CChunkBase::beginChunk(std::vector<uint8_t>& chunk, uint8_t id)
{
    chunk.clear();
    if (Result r = appendChunkTag(chunk, id))
        return r;
    appendUInt32BE(chunk, 0);
    return krm::kOk;
}

Result CChunkBase::finishChunk(std::vector<uint8_t>& chunk)
{
    if (chunk.size() < 8 || chunk.size() - 8 > std::numeric_limits<uint32_t>::max())
        return fail(2);
    return putUInt32BE(chunk.data(), chunk.size(), 4, static_cast<uint32_t>(chunk.size() - 8));
}

Result CChunkBase::readBodyBounds(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t* bodyEnd,
                                  bool refuseEmpty)
{
    if (!buf || !pos || !bodyEnd)
        return fail(1);
    uint32_t at = *pos;
    uint32_t length = 0;
    if (readUInt32BE(buf, size, &at, &length))
        return fail(2);
    if (refuseEmpty && length == 0)
        return fail(3);
    if (uint64_t(at) + length > size)
        return fail(4);
    *pos = at;
    *bodyEnd = at + length;
    return krm::kOk;
}
