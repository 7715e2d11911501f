#pragma once
// The sustained sounds whose stretched ends the tests check, and the check
// itself: an arranger keyboard loops a section, so whatever its last
// milliseconds do is heard at every loop. Shared by the engine's sound tests
// and the section rendering tests.
#include "StretchSound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace stretchtail {

struct Sound {
    const char* name;
    std::vector<double> partials;    // Hz, the lowest first
    std::vector<double> amplitudes;  // 16-bit units
    // One partial: no sample of the end may rise over the steady peak. A
    // note's waveform may change shape as its partials' phases move apart.
    bool pure;
};

// Steady 220 Hz and 440 Hz tones and a held note with partials at 220, 440
// and 660 Hz, all with a steady peak near 10000.
inline const std::vector<Sound>& sounds()
{
    static const std::vector<Sound> all {
        {"220 Hz tone", {220.0}, {10000.0}, true},
        {"440 Hz tone", {440.0}, {10000.0}, true},
        {"note of 220, 440 and 660 Hz", {220.0, 440.0, 660.0}, {5500.0, 2800.0, 1800.0}, false},
    };
    return all;
}

inline std::vector<float> make(const Sound& s, int64_t frames, double rate)
{
    return stretchsound::partialSound(s.partials, s.amplitudes, frames, rate);
}

// One period of the lowest partial, in samples.
inline int64_t period(const Sound& s, double rate)
{
    return static_cast<int64_t>(std::lround(rate / s.partials.front()));
}

// The end of a stretch of `s`: every one-period window of its last 10 ms
// within 1 dB of the steady level before them, for a pure tone no sample
// there more than 2 % over the steady peak, and at most 4 exact zeros
// ending it.
inline void expectEndsAtFullLevel(const std::vector<float>& y, const Sound& s, double rate)
{
    ASSERT_GT(y.size(), static_cast<size_t>(rate));
    const stretchsound::TailFigures f = stretchsound::tailFigures(y, period(s, rate), rate);
    EXPECT_LE(std::fabs(f.worstLevelDb), 1.0) << "level of the last 10 ms against the steady level, dB";
    if (s.pure) {
        EXPECT_LE(f.peakRise, 0.02) << "peak of the last 10 ms over the steady peak";
    }
    EXPECT_LE(f.trailingZeros, 4) << "zeros ending the output";
}

}  // namespace stretchtail
