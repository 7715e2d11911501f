#pragma once
// Style-file bytes built by hand for the tests: chunk framing, events and
// channel-table bodies written out field by field, independent of the
// model's own writers.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace sb {

using Bytes = std::vector<uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

inline Bytes be32(uint32_t v)
{
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// Tag, big-endian body length, body.
inline Bytes chunk(const char* tag, const Bytes& body)
{
    return cat({text(std::string(tag, 4)), be32(uint32_t(body.size())), body});
}

inline Bytes mthd(uint16_t format = 0, uint16_t tracks = 1, uint16_t division = 960)
{
    return chunk("MThd", {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8), uint8_t(tracks),
                          uint8_t(division >> 8), uint8_t(division)});
}

// A meta event with a one-byte delta time and a payload shorter than 128.
inline Bytes meta(uint8_t delta, uint8_t type, const Bytes& data)
{
    return cat({{delta, 0xFF, type, uint8_t(data.size())}, data});
}

inline Bytes marker(uint8_t delta, const std::string& s)
{
    return meta(delta, 0x06, text(s));
}

inline Bytes endOfTrack(uint8_t delta = 0)
{
    return {delta, 0xFF, 0x2F, 0x00};
}

// A 47-byte "Ctb2" body: fields numbered so that every offset is visible
// (byte at offset k is k + 1, except the channel and the tail flag).
inline Bytes ctb2Body(uint8_t channel, uint8_t tailFlag = 0)
{
    Bytes b(47);
    for (size_t k = 0; k < b.size(); ++k)
        b[k] = uint8_t(k + 1);
    b[0] = channel;
    b[46] = tailFlag;
    return b;
}

// A 27-byte "Ctab" body in the same numbering.
inline Bytes ctabBody(uint8_t channel)
{
    Bytes b(27);
    for (size_t k = 0; k < b.size(); ++k)
        b[k] = uint8_t(k + 1);
    b[0] = channel;
    b[26] = 0;
    return b;
}

inline Bytes sdec(const std::string& names)
{
    return chunk("Sdec", text(names));
}

inline Bytes cntt(uint8_t channel, uint8_t value)
{
    return chunk("Cntt", {channel, value});
}

// A whole style: header, one track with the given events (an end of track
// is added), and a "CASM" holding the given "CSEG" bodies.
inline Bytes style(const Bytes& events, std::initializer_list<Bytes> csegBodies)
{
    Bytes casm;
    for (const Bytes& s : csegBodies) {
        const Bytes c = chunk("CSEG", s);
        casm.insert(casm.end(), c.begin(), c.end());
    }
    Bytes out = cat({mthd(), chunk("MTrk", cat({events, endOfTrack()}))});
    if (csegBodies.size() != 0) {
        const Bytes c = chunk("CASM", casm);
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

}  // namespace sb
