#pragma once
// The tests' one WAV writer: 16-bit PCM with the canonical 44-byte header,
// laid out byte by byte (so that it also writes layouts the program
// refuses: mono, other rates), from 16-bit or float samples or a song.
#include "Signals.h"
#include "TestBytes.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace testwav {

// Writes interleaved samples of `channels` channels at `rate` Hz.
inline bool writePcm16(const QString& path, const std::vector<int16_t>& interleaved, uint16_t channels = 2,
                       uint32_t rate = 44100)
{
    const uint32_t data = static_cast<uint32_t>(interleaved.size() * 2);
    testbytes::Bytes b(44 + size_t(data));
    std::memcpy(b.data(), "RIFF", 4);
    testbytes::setLe32(b, 4, 36 + data);
    std::memcpy(b.data() + 8, "WAVEfmt ", 8);
    testbytes::setLe32(b, 16, 16);
    testbytes::setLe16(b, 20, 1);
    testbytes::setLe16(b, 22, channels);
    testbytes::setLe32(b, 24, rate);
    testbytes::setLe32(b, 28, rate * channels * 2);
    testbytes::setLe16(b, 32, uint16_t(channels * 2));
    testbytes::setLe16(b, 34, 16);
    std::memcpy(b.data() + 36, "data", 4);
    testbytes::setLe32(b, 40, data);
    for (size_t i = 0; i < interleaved.size(); ++i)
        testbytes::setLe16(b, 44 + 2 * i, uint16_t(interleaved[i]));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(b.data()), qint64(b.size())) == qint64(b.size());
}

// Float samples in [-1, 1] (clipped) as 16-bit values.
inline std::vector<int16_t> toPcm16(const std::vector<float>& samples)
{
    std::vector<int16_t> out(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        out[i] = static_cast<int16_t>(std::lround(std::max(-1.0f, std::min(1.0f, samples[i])) * 32767.0f));
    return out;
}

// A mono signal on both channels of a stereo file.
inline bool writeMonoAsStereo(const QString& path, const std::vector<float>& mono)
{
    return writePcm16(path, toPcm16(testsig::interleave(mono, mono)));
}

// A song as a 16-bit stereo 44100 Hz file.
inline bool writeSong(const QString& path, const testsig::Song& song)
{
    return writePcm16(path, toPcm16(testsig::interleave(song.left, song.right)));
}

}  // namespace testwav
