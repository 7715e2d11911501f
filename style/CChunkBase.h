#pragma once
// The byte codec every class of the style file model reads and writes its
// chunks through. A chunk is a four-character tag, a big-endian u32 body
// length that counts the body only, and the body; chunks follow each other
// without padding. A container's body is a sequence of chunks.
//
// Reading works on a borrowed read-only buffer, its size in bytes and a
// cursor owned by the caller; a successful read advances the cursor past
// what it consumed. A failed read leaves the cursor where it was, except
// `readVarLen`, which leaves it after the bytes it consumed. Every read
// first sets its output to 0 (the tag read to 255).
//
// Writing appends to a growing byte vector. Each chunk is built in a vector
// of its own (`beginChunk`, the body, `finishChunk`), so its length always
// sits at offset 4 of that vector, and is then appended to its parent's.
//
// Result codes: 0 success, 0x80000000 | step; a callee's failure comes up
// as krm::nest(inner, step).
#include "ResultCode.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Ids of the known chunk tags. There is no id 3; 255 means "no known tag".
enum ChunkId : uint8_t {
    kChunkMThd = 1,
    kChunkMTrk = 2,
    kChunkCASM = 4,
    kChunkCSEG = 5,
    kChunkSdec = 6,
    kChunkCtab = 7,
    kChunkCntt = 8,
    kChunkMHhd = 9,
    kChunkMHtr = 10,
    kChunkGhst = 11,
    kChunkRsec = 12,
    kChunkRtrk = 13,
    kChunkRvce = 14,
    kChunkTdec = 15,
    kChunkOTSc = 16,
    kChunkFNRc = 17,
    kChunkCtb2 = 18,
    kChunkStNm = 19,
    kChunkAASM = 20,
    kChunkASEG = 21,
    kChunkAdec = 22,
    kChunkAtab = 23,
    kChunkAMix = 24,
    kChunkAFil = 25,
    kChunkADSg = 26,
    kChunkANdc = 27,
    kChunkAWav = 28,
    kChunkAfmt = 29,
    kChunkSfmt = 30,
    kChunkSPnt = 31,
    kChunkAdat = 32,
    kChunkAInf = 33,
    kChunkBPnt = 34,
    kChunkOPnt = 35,
    kChunkAPnt = 36,
    kChunkATmp = 37,
    kChunkAPt2 = 38,
    kChunkRIFF = 39,
    kChunkFmt = 40,
    kChunkData = 41,
    kChunkNone = 255,
};

class CChunkBase {
public:
    virtual ~CChunkBase() = default;

    // Fixed-width reads at *pos. 0x80000001 without a buffer, cursor or
    // output; 0x80000002 when the field would pass `size`.
    static krm::Result readUInt32BE(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t* out);
    static krm::Result readUInt32LE(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t* out);
    static krm::Result readUInt16BE(const uint8_t* buf, uint32_t size, uint32_t* pos, uint16_t* out);
    static krm::Result readUInt16LE(const uint8_t* buf, uint32_t size, uint32_t* pos, uint16_t* out);
    static krm::Result readUInt8(const uint8_t* buf, uint32_t size, uint32_t* pos, uint8_t* out);

    // A MIDI variable-length quantity: 7 bits per byte, most significant
    // first, the last byte with its top bit clear; only the low 32 bits of a
    // longer value are kept. 0x80000002 at the end of the buffer or when the
    // buffer ends before the last byte (the cursor stays after what was read).
    static krm::Result readVarLen(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t* out);

    // Maps the four bytes at *pos to a tag id and consumes them. 0x80000002
    // when fewer than four bytes are left, 0x80000003 (id 255, cursor
    // unchanged) for four bytes that are no known tag.
    static krm::Result readChunkTag(const uint8_t* buf, uint32_t size, uint32_t* pos, uint8_t* id);

    // True when the first four bytes of `buf` are the tag of `id`; false for
    // another tag, unknown bytes, fewer than four bytes or no buffer.
    static bool isChunkTag(const uint8_t* buf, uint32_t size, uint8_t id);

    // The four characters of the tag of `id`, or null for an id without one.
    static const char* chunkTagText(uint8_t id);

    static void appendUInt32BE(std::vector<uint8_t>& out, uint32_t value);
    static void appendUInt16BE(std::vector<uint8_t>& out, uint16_t value);
    static void appendUInt8(std::vector<uint8_t>& out, uint8_t value);
    // At most five bytes for a 32-bit value; 0 is the single byte 00.
    static void appendVarLen(std::vector<uint8_t>& out, uint32_t value);
    // 0x80000001 for id 255, 0x80000002 for an id without a tag.
    static krm::Result appendChunkTag(std::vector<uint8_t>& out, uint8_t id);

    // Overwrites 4 bytes at `position`, most significant first: patches a
    // chunk length. 0x80000001 without data, 0x80000002 past `size`.
    static krm::Result putUInt32BE(uint8_t* data, size_t size, size_t position, uint32_t value);

    // Starts a chunk in its own vector: the tag and a length of 0 (the
    // vector is emptied first). Fails as `appendChunkTag`.
    static krm::Result beginChunk(std::vector<uint8_t>& chunk, uint8_t id);
    // Patches the body length at offset 4 of a chunk started by
    // `beginChunk`. 0x80000002 when the vector holds no chunk head or the
    // body would not fit the 32-bit length field.
    static krm::Result finishChunk(std::vector<uint8_t>& chunk);

    // Appends one whole chunk to `out`: the tag, a zero length, the body
    // that `fillBody(out)` appends (a failure it returns is passed on
    // unchanged), then the length patched in place. The chunk is built
    // straight into its parent, so large bodies (wave data) are never
    // copied from level to level. A tag that cannot be written gives
    // 0x80000002, a body too large for the length field 0x80000003; on any
    // failure `out` is cut back to what it held before.
    template <typename FillBody>
    static krm::Result writeChunk(std::vector<uint8_t>& out, uint8_t id, FillBody&& fillBody)
    {
        const size_t start = out.size();
        if (appendChunkTag(out, id))
            return krm::fail(2);
        appendUInt32BE(out, 0);
        krm::Result r = fillBody(out);
        if (!r && out.size() - start - 8 > 0xFFFFFFFFu)
            r = krm::fail(3);
        if (r) {
            out.resize(start);
            return r;
        }
        putUInt32BE(out.data(), out.size(), start + 4, static_cast<uint32_t>(out.size() - start - 8));
        return krm::kOk;
    }

    // Reads a chunk's body length at *pos and checks it against the bytes
    // left, in 64-bit arithmetic. On success *bodyEnd is the offset just
    // past the body and the cursor stands at the body's start.
    // 0x80000002 length read failed; 0x80000003 length 0 (only when
    // `refuseEmpty`); 0x80000004 the body passes the end of the buffer.
    static krm::Result readBodyBounds(const uint8_t* buf, uint32_t size, uint32_t* pos, uint32_t* bodyEnd,
                                      bool refuseEmpty);
};
