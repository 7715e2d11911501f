#include "AsioSampleConversion.h"

#include "IF_asioDriver.h"

#include <cstring>

namespace {

// Stores the low `Bytes` bytes of v at p, most significant first when `Big`.
template <int Bytes, bool Big> inline void store(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < Bytes; ++i)
        p[i] = uint8_t(v >> (8 * (Big ? Bytes - 1 - i : i)));
}

// One loop per format: `value` turns a sample into the container's bits.
template <int Bytes, bool Big, typename Value>
inline void each(const int16_t* in, int frames, void* out, Value value)
{
    auto* p = static_cast<uint8_t*>(out);
    for (int i = 0; i < frames; ++i, p += Bytes)
        store<Bytes, Big>(p, value(in[i]));
}

inline uint64_t raw16(int16_t s)
{
    return uint16_t(s);
}

inline uint64_t floatBits(int16_t s)
{
    const float f = float(s) * (1.0f / 32768.0f);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

inline uint64_t doubleBits(int16_t s)
{
    const double d = double(s) * (1.0 / 32768.0);
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

// s sign-extended to 32 bits and shifted left.
template <int Shift> inline uint64_t shifted(int16_t s)
{
    return uint32_t(int32_t(s)) << Shift;
}

template <bool Big> bool convert(const int16_t* in, int frames, int32_t type, void* out)
{
    switch (type) {
    case AsioInt16MSB:
    case AsioInt16LSB:
        each<2, Big>(in, frames, out, raw16);
        return true;
    case AsioInt24MSB:
    case AsioInt24LSB:
        each<3, Big>(in, frames, out, [](int16_t s) { return raw16(s) << 8; });
        return true;
    case AsioInt32MSB:
    case AsioInt32LSB:
        each<4, Big>(in, frames, out, [](int16_t s) { return raw16(s) << 16; });
        return true;
    case AsioFloat32MSB:
    case AsioFloat32LSB:
        each<4, Big>(in, frames, out, floatBits);
        return true;
    case AsioFloat64MSB:
    case AsioFloat64LSB:
        each<8, Big>(in, frames, out, doubleBits);
        return true;
    case AsioInt32MSB16:
    case AsioInt32LSB16:
        each<4, Big>(in, frames, out, shifted<0>);
        return true;
    case AsioInt32MSB18:
    case AsioInt32LSB18:
        each<4, Big>(in, frames, out, shifted<2>);
        return true;
    case AsioInt32MSB20:
    case AsioInt32LSB20:
        each<4, Big>(in, frames, out, shifted<4>);
        return true;
    case AsioInt32MSB24:
    case AsioInt32LSB24:
        each<4, Big>(in, frames, out, shifted<8>);
        return true;
    default:
        return false;
    }
}

}  // namespace

bool convertToAsioSamples(const int16_t* in, int frames, int32_t type, void* out)
{
    if (!in || !out || frames <= 0)
        return false;
    // The little-endian types are the big-endian ones plus 16.
    return type >= AsioInt16LSB ? convert<false>(in, frames, type, out)
                                : convert<true>(in, frames, type, out);
}
