#pragma once
// Shared material of the audio-part tests: the default wave-info text,
// WAV files written by hand, and a model filled from them.
#include "../KRMcore/base/WavFixtures.h"
#include "CAudioInfo.h"
#include "StyleBytes.h"
#include "TestUtil.h"

#include <string>

namespace af {

// The twelve lines the project core writes for a one-bar audio at 120 bpm.
inline std::string defaultWaveInfo()
{
    return "$SFormatTag$,0x0001,\n"
           "$OriginalTempo$,500000,\n"
           "$OriginalTimeSignature$,4,2,24,8,\n"
           "$PPQ$,480,\n"
           "$SampleSize$,22050,\n"
           "$NumberOfBars$,1,\n"
           "$SyncroPoint$,0,\n"
           "$BeatPoint$,0,\n"
           "$OnsetPoint$,0,\n"
           "$AttackPoint$,0,\n"
           "$TempoInfo$,0,\n"
           "$Volume$,80,\n";
}

// A canonical WAV of `frames` ramp frames; returns its data bytes.
inline sb::Bytes writeWav(const QString& path, size_t frames)
{
    const sb::Bytes data = fixtures::sampleBytes(fixtures::ramp(frames));
    testutil::writeFile(path, sb::cat({fixtures::canonicalHeader(uint32_t(data.size())), data}));
    return data;
}

inline uint32_t assign(CAudioInfo& info, const std::string& text, const std::string& name,
                       const std::string& path, int id, uint8_t* volume = nullptr, uint8_t pan = 64,
                       uint8_t reverb = 0)
{
    uint8_t v = 0;
    return info.setSectionAudio(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()),
                                name.data(), uint32_t(name.size()), path.data(), uint32_t(path.size()), id,
                                volume ? volume : &v, &pan, &reverb);
}

}  // namespace af
