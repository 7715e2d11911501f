// Stereo through the engine's front door: what each channel holds keeps its
// pitch, whatever the other channel holds, and the channels keep their
// phase relation. Input as whole 16-bit samples, one segment, at the
// ratios of a tempo change.
#include "StretchBuffer.h"
#include "StretchPlan.h"
#include "StretchSound.h"
#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

namespace {

using namespace stretchsound;
constexpr double kRate = 44100.0;

struct Partial {
    double frequency;  // Hz
    double amplitude;  // 16-bit units
    double phase;      // radians at sample 0
};

// Partials summed and rounded to whole 16-bit samples.
std::vector<float> render(const std::vector<Partial>& partials, int64_t frames)
{
    std::vector<float> x(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i) {
        double v = 0.0;
        for (const Partial& p : partials)
            v += p.amplitude * std::sin(2.0 * kPi * p.frequency * static_cast<double>(i) / kRate + p.phase);
        x[static_cast<size_t>(i)] = static_cast<float>(std::lround(std::clamp(v, -32768.0, 32767.0)));
    }
    return x;
}

using Stereo = stretchtest::Stretched;

Stereo stretch(const Stereo& in, double ratio)
{
    return stretchtest::stretch(in.left, in.right, {ratio});
}

double cents(double f, double reference)
{
    return 1200.0 * std::log2(f / reference);
}

// One second from the middle of a channel.
WindowedSpan middle(const std::vector<float>& x)
{
    const auto length = static_cast<int64_t>(kRate);
    return WindowedSpan(x, (static_cast<int64_t>(x.size()) - length) / 2, length);
}

struct Case {
    const char* name;
    std::vector<Partial> left, right;
    double rightBehindDegrees;  // NAN: the channels hold different sounds
    float noise = 0.0f;         // each channel's own noise, 16-bit peak
    // How far the phase relation and each partial's level may move.
    double degrees = 0.5, levelDb = 1.5;
};

const std::vector<Case>& stereoCases()
{
    static const std::vector<Case> cases = {
        {"220 Hz left, 440 Hz right", {{220.0, 10000.0, 0.3}}, {{440.0, 10000.0, 1.1}}, NAN},
        {"C and E left, G and C right",
         {{261.63, 6000.0, 0.2}, {329.63, 6000.0, 1.7}},
         {{392.0, 6000.0, 2.9}, {523.25, 6000.0, 0.6}},
         NAN},
        {"a loud 220 Hz left, a faint 440 Hz right", {{220.0, 12000.0, 0.3}}, {{440.0, 1200.0, 1.1}}, NAN},
        {"440 Hz, the right 90 degrees behind",
         {{440.0, 10000.0, 0.4}},
         {{440.0, 10000.0, 0.4 - kPi / 2}},
         90.0},
        {"330 and 495 Hz panned left",
         {{330.0, 10000.0, 0.4}, {495.0, 5000.0, 2.0}},
         {{330.0, 2500.0, 0.4}, {495.0, 1250.0, 2.0}},
         0.0},
        {"440 and 1200 Hz, the right 6 dB down and 90 degrees behind, each channel its own noise",
         {{440.0, 10000.0, 0.4}, {1200.0, 6000.0, 1.3}},
         {{440.0, 5000.0, 0.4 - kPi / 2}, {1200.0, 3000.0, 1.3 - kPi / 2}},
         90.0,
         300.0f},
        // The copy is too close to the louder partial for a pair of its
        // own, so it follows the left channel's.
        {"494 Hz left, its copy 8 dB down on the right beside a louder 523 Hz",
         {{494.0, 8000.0, 0.4}},
         {{494.0, 3200.0, 0.4}, {523.25, 8000.0, 1.0}},
         0.0,
         0.0f,
         5.0,
         2.0},
        {"identical chords",
         {{261.63, 5000.0, 0.2}, {329.63, 5000.0, 1.7}, {392.0, 5000.0, 2.9}},
         {{261.63, 5000.0, 0.2}, {329.63, 5000.0, 1.7}, {392.0, 5000.0, 2.9}},
         0.0},
    };
    return cases;
}

// The case's two channels, `frames` long, in whole 16-bit samples.
Stereo input(const Case& c, int64_t frames)
{
    Stereo in {render(c.left, frames), render(c.right, frames)};
    if (c.noise > 0.0f) {
        const std::vector<float> a = stretchtest::noise(static_cast<int>(frames), 5, c.noise);
        const std::vector<float> b = stretchtest::noise(static_cast<int>(frames), 6, c.noise);
        for (size_t i = 0; i < a.size(); ++i) {
            in.left[i] = std::round(in.left[i] + a[i]);
            in.right[i] = std::round(in.right[i] + b[i]);
        }
    }
    return in;
}

// Stretches `in` by `ratio` and reads the middle second of each channel:
// every partial of the case within 5 cents and its level, the phase
// relation where the channels carry the same sound, identical channels
// identical.
void expectKept(const Case& c, const Stereo& in, double ratio)
{
    SCOPED_TRACE(ratio);
    const Stereo out = stretch(in, ratio);
    ASSERT_EQ(out.left.size(), static_cast<size_t>(static_cast<double>(in.left.size()) * ratio));
    if (in.left == in.right) {
        EXPECT_EQ(out.left, out.right);
    }
    const WindowedSpan spectra[2] = {middle(out.left), middle(out.right)};
    const std::vector<Partial>* partials[2] = {&c.left, &c.right};
    for (int ch = 0; ch < 2; ++ch) {
        SCOPED_TRACE(ch == 0 ? "left" : "right");
        for (const Partial& p : *partials[ch]) {
            SCOPED_TRACE(p.frequency);
            // Within a semitone and a half, away from the channel's other
            // partials.
            double low = p.frequency / std::pow(2.0, 1.5 / 12.0);
            double high = p.frequency * std::pow(2.0, 1.5 / 12.0);
            for (const Partial& q : *partials[ch]) {
                if (q.frequency < p.frequency)
                    low = std::max(low, 0.5 * (p.frequency + q.frequency));
                if (q.frequency > p.frequency)
                    high = std::min(high, 0.5 * (p.frequency + q.frequency));
            }
            const double f = spectra[ch].peak(low, high);
            EXPECT_LE(std::fabs(cents(f, p.frequency)), 5.0) << "found at " << f << " Hz";
            EXPECT_NEAR(db(std::abs(spectra[ch].at(f)) / p.amplitude), 0.0, c.levelDb);
        }
    }
    // Left to themselves the channels' phases part by about a degree over
    // the stretch.
    if (!std::isnan(c.rightBehindDegrees)) {
        const double f = c.left.front().frequency;
        const double behind = std::arg(spectra[0].at(f) / spectra[1].at(f)) * 180.0 / kPi;
        EXPECT_NEAR(behind, c.rightBehindDegrees, c.degrees);
    }
}

TEST(StereoLink, EveryChannelKeepsItsPitchAndThePhaseRelationIsKept)
{
    const auto frames = static_cast<int64_t>(2.0 * kRate);
    for (const Case& c : stereoCases()) {
        SCOPED_TRACE(c.name);
        const Stereo in = input(c, frames);
        for (double ratio : {0.5, 0.8, 1.25, 2.0})
            expectKept(c, in, ratio);
    }
}

// Where the frames fall against the input changes which bins carry which
// partial: the channels with different sounds, and the copy that follows
// the other channel, over a run of lengths on both sides of ratio 1.
TEST(StereoLink, ChannelsWithDifferentSoundsHoldAtEveryLength)
{
    const int64_t extra[] = {1, 37, 255, 1000, 4093};
    for (const Case& c : stereoCases()) {
        if (!std::isnan(c.rightBehindDegrees) && c.right.size() == c.left.size())
            continue;  // the same sound in both channels
        SCOPED_TRACE(c.name);
        for (const int64_t e : extra) {
            SCOPED_TRACE(e);
            const Stereo in = input(c, static_cast<int64_t>(2.0 * kRate) + e);
            for (double ratio : {0.8, 1.25})
                expectKept(c, in, ratio);
        }
    }
}

}  // namespace
