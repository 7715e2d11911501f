#pragma once
// Test files: canonical WAV bytes built by hand, and files of other shapes
// written through libsndfile.
#include "TestBytes.h"

#include <QString>
#include <cstdint>
#include <cstring>
#include <sndfile.h>
#include <vector>

namespace fixtures {

inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    testbytes::setLe32(b, at, v);
}

inline void put16(std::vector<uint8_t>& b, size_t at, uint16_t v)
{
    testbytes::setLe16(b, at, v);
}

// The canonical 44-byte header for `dataBytes` bytes of samples.
inline std::vector<uint8_t> canonicalHeader(uint32_t dataBytes)
{
    std::vector<uint8_t> h(44);
    std::memcpy(h.data(), "RIFF", 4);
    put32(h, 4, dataBytes + 36);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(h, 16, 16);
    put16(h, 20, 1);
    put16(h, 22, 2);
    put32(h, 24, 44100);
    put32(h, 28, 176400);
    put16(h, 32, 4);
    put16(h, 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(h, 40, dataBytes);
    return h;
}

// Interleaved stereo samples as little-endian bytes.
inline std::vector<uint8_t> sampleBytes(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> b(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i)
        put16(b, 2 * i, uint16_t(samples[i]));
    return b;
}

// The little-endian 16-bit samples of `bytes` from byte `from` on.
inline std::vector<int16_t> samplesOf(const std::vector<uint8_t>& bytes, size_t from)
{
    std::vector<int16_t> s;
    for (size_t i = from; i + 1 < bytes.size(); i += 2)
        s.push_back(int16_t(bytes[i] | bytes[i + 1] << 8));
    return s;
}

// A ramp of `frames` stereo frames: left = 7 * i - 3000, right = -left.
inline std::vector<int16_t> ramp(size_t frames)
{
    std::vector<int16_t> s(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        s[2 * i] = int16_t(int(7 * i % 60000) - 30000);
        s[2 * i + 1] = int16_t(-s[2 * i]);
    }
    return s;
}

inline std::vector<uint8_t> canonicalWav(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> f = canonicalHeader(uint32_t(samples.size() * 2));
    const std::vector<uint8_t> d = sampleBytes(samples);
    f.insert(f.end(), d.begin(), d.end());
    return f;
}

// Writes `frames` frames of a ramp through libsndfile in any format; sample
// k of frame i is (i * 13 + k * 1000) % 20000 in 16-bit units.
inline bool writeSndFile(const QString& path, int format, int channels, int rate, sf_count_t frames)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    if (f == nullptr)
        return false;
    std::vector<short> s(size_t(frames) * size_t(channels));
    for (sf_count_t i = 0; i < frames; ++i)
        for (int k = 0; k < channels; ++k)
            s[size_t(i) * size_t(channels) + size_t(k)] = short((i * 13 + k * 1000) % 20000);
    const bool ok = sf_writef_short(f, s.data(), frames) == frames;
    sf_close(f);
    return ok;
}

}  // namespace fixtures
