// What a listener hears in stretched audio, on signals made here (44100 Hz,
// 16-bit levels), at the ratios of a tempo change: 0.5, 0.8, 1.25 and 2.0.
#include "../KRMcore/DebugCapture.h"
#include "Signals.h"
#include "StretchBuffer.h"
#include "StretchPlan.h"
#include "StretchSound.h"
#include "StretchTail.h"
#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using namespace stretchsound;
constexpr double kRate = 44100.0;
const double kRatios[] = {0.5, 0.8, 1.25, 2.0};

using stretchtest::stretch;
using stretchtest::Stretched;

std::vector<float> mono(const Stretched& s)
{
    std::vector<float> m(s.left.size());
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = 0.5f * (s.left[i] + (s.right.empty() ? s.left[i] : s.right[i]));
    return m;
}

// The chord figures: every partial within 30 dB of the strongest keeps its
// level within 1.5 dB peak to peak over 93 ms frames and its frequency
// within 0.5 Hz; energy further than 15 Hz from every partial stays 20 dB
// under the total. Over x[from, to).
void expectSteadyChord(const std::vector<float>& x, int64_t from, int64_t to,
                       const std::vector<double>& partials)
{
    const std::vector<PartialTrack> tracks = trackPartials(x, from, to, 4096, partials, kRate);
    double strongest = -600.0;
    for (const PartialTrack& t : tracks)
        strongest = std::max(strongest, t.meanLevelDb);
    for (size_t p = 0; p < partials.size(); ++p) {
        if (tracks[p].meanLevelDb < strongest - 30.0)
            continue;
        SCOPED_TRACE(partials[p]);
        EXPECT_LE(tracks[p].levelSpreadDb, 1.5);
        EXPECT_LE(tracks[p].worstFrequencyError, 0.5);
    }
    EXPECT_LT(energyAwayFromPartials(x, from, to, partials, 15.0, kRate), -20.0);
}

TEST(StretchSound, TonesKeepTheirLevelAcrossTheBands)
{
    // Among them the low band's range edge (1.5 kHz) and the low band's top
    // (5.5 kHz).
    const std::vector<double> tones {100, 250, 500, 1000, 1400, 1500, 1600, 3000, 5400, 5500, 5600, 8000};
    const double seconds = 0.4;
    const std::vector<float> x = toneSequence(tones, seconds, 8000.0, kRate);
    const auto each = static_cast<int64_t>(seconds * kRate);
    const auto guard = static_cast<int64_t>(0.08 * kRate);
    for (double ratio : kRatios) {
        SCOPED_TRACE(ratio);
        const Stretched s = stretch(x, {}, {ratio});
        for (size_t t = 0; t < tones.size(); ++t) {
            SCOPED_TRACE(tones[t]);
            const auto from = static_cast<int64_t>(t) * each;
            const double in = db(rms(x, from + guard, from + each - guard));
            const auto a = static_cast<int64_t>(static_cast<double>(from) * ratio);
            const auto b = static_cast<int64_t>(static_cast<double>(from + each) * ratio);
            EXPECT_NEAR(db(rms(s.left, a + guard, b - guard)), in, 1.0);
            EXPECT_LE(spread(windowLevels(s.left, a + guard, b - guard, static_cast<int64_t>(0.05 * kRate))),
                      1.0);
        }
    }
}

TEST(StretchSound, ChordPartialsStaySteady)
{
    // F#3, D#4, A4, B4 with four harmonics each: partials 53 Hz apart and
    // more, up to 2 kHz, across the range edge.
    std::vector<double> partials;
    const std::vector<float> x = chord({54, 63, 69, 71}, 4, 2.5, 2500.0, kRate, partials);
    const auto guard = static_cast<int64_t>(0.3 * kRate);
    expectSteadyChord(x, guard, static_cast<int64_t>(x.size()) - guard, partials);
    for (double ratio : kRatios) {
        SCOPED_TRACE(ratio);
        const Stretched s = stretch(x, {}, {ratio});
        expectSteadyChord(s.left, guard, static_cast<int64_t>(s.left.size()) - guard, partials);
    }
}

TEST(StretchSound, ClicksStaySharpAndInPlace)
{
    // Clicks of three samples every half second, off the hop grid.
    const int n = 3 * 44100;
    std::vector<float> x(n, 0.0f);
    std::vector<int64_t> clicks;
    for (int64_t at = 11025 + 77; at + 3 < n; at += 22050) {
        x[static_cast<size_t>(at)] = 10000.0f;
        x[static_cast<size_t>(at + 1)] = 20000.0f;
        x[static_cast<size_t>(at + 2)] = 10000.0f;
        clicks.push_back(at + 1);
    }
    const auto ms = [](double m) { return static_cast<int64_t>(m * kRate / 1000.0); };
    for (double ratio : kRatios) {
        SCOPED_TRACE(ratio);
        const Stretched s = stretch(x, {}, {ratio});
        const std::vector<float>& y = s.left;
        const auto energy = [&](int64_t a, int64_t b) {
            const double r = rms(y, a, b);
            return r * r * static_cast<double>(b - a);
        };
        // One output click per input click.
        std::vector<int64_t> found;
        const float top = *std::max_element(y.begin(), y.end());
        for (int64_t i = 1; i + 1 < static_cast<int64_t>(y.size()); ++i) {
            const float v = std::fabs(y[static_cast<size_t>(i)]);
            if (v > 0.316f * top && v >= std::fabs(y[static_cast<size_t>(i - 1)]) &&
                v > std::fabs(y[static_cast<size_t>(i + 1)]) && (found.empty() || i - found.back() > ms(40)))
                found.push_back(i);
        }
        ASSERT_EQ(found.size(), clicks.size());
        for (size_t k = 0; k < clicks.size(); ++k) {
            SCOPED_TRACE(clicks[k]);
            const int64_t p = found[k];
            EXPECT_NEAR(static_cast<double>(p), static_cast<double>(clicks[k]) * ratio, 256.0);
            EXPECT_GE(energy(p - ms(1), p + ms(1)), 0.8 * energy(p - ms(20), p + ms(20)));
            EXPECT_LT(energy(p - ms(20), p - ms(3)), 0.01 * energy(p - ms(1), p + ms(1)));
            float second = 0.0f;
            for (int64_t i = p - ms(40); i <= p + ms(40); ++i) {
                if (std::llabs(i - p) > ms(1) && i >= 0 && i < static_cast<int64_t>(y.size()))
                    second = std::max(second, std::fabs(y[static_cast<size_t>(i)]));
            }
            EXPECT_LT(second, 0.316f * std::fabs(y[static_cast<size_t>(p)]));
        }
    }
}

TEST(StretchSound, DrumAndBassKeepsItsHitsLevelAndImage)
{
    // Kick, snare (left), hi-hat (right), bass; 120 BPM, four bars.
    testsig::SongSpec spec;
    spec.bpm = 120.0;
    spec.tailSeconds = 0.5;
    testsig::SongPart part;
    part.bars = 4;
    part.pad = false;
    part.chords = {{9, true, false}, {5, false, false}};
    spec.parts = {part};
    const testsig::Song song = testsig::makeSong(spec);
    std::vector<float> l(song.left.size()), r(song.right.size());
    for (size_t i = 0; i < l.size(); ++i) {
        l[i] = song.left[i] * 32767.0f;
        r[i] = song.right[i] * 32767.0f;
    }
    const Stretched in {l, r};
    const int64_t tolerance = static_cast<int64_t>(0.02 * kRate);
    const double inputF = testsig::fMeasure(detectOnsets(mono(in), kRate), song.onsets, tolerance);
    const double inputLevel = db(rms(mono(in), 0, static_cast<int64_t>(l.size())));
    const double low = channelBandRatioDb(l, r, 150, 1500, kRate),
                 high = channelBandRatioDb(l, r, 7000, 16000, kRate);
    for (double ratio : kRatios) {
        SCOPED_TRACE(ratio);
        const Stretched s = stretch(l, r, {ratio});
        std::vector<int64_t> truth;
        for (int64_t t : song.onsets)
            truth.push_back(std::llround(static_cast<double>(t) * ratio));
        EXPECT_GE(testsig::fMeasure(detectOnsets(mono(s), kRate), truth, tolerance), inputF - 0.05);
        // Halved in length, the hits kept at their own pace fill most of the
        // loop and its level rises by about 1.1 dB; elsewhere within 1 dB.
        const double levelTolerance = ratio < 0.6 ? 1.5 : 1.0;
        EXPECT_NEAR(db(rms(mono(s), 0, static_cast<int64_t>(s.left.size()))), inputLevel, levelTolerance);
        EXPECT_NEAR(channelBandRatioDb(s.left, s.right, 150, 1500, kRate), low, 0.5);
        EXPECT_NEAR(channelBandRatioDb(s.left, s.right, 7000, 16000, kRate), high, 0.5);
    }
}

TEST(StretchSound, KeepsTheStereoImage)
{
    testsig::SongSpec spec;
    spec.tailSeconds = 0.3;
    testsig::SongPart part;
    part.bars = 1;
    spec.parts = {part};
    const testsig::Song song = testsig::makeSong(spec);
    std::vector<float> same(song.left.size());
    for (size_t i = 0; i < same.size(); ++i)
        same[i] = song.left[i] * 30000.0f;
    const std::vector<float> a = stretchtest::sine(44100, 440.0, kRate, 10000.0, 0.0);
    const std::vector<float> b = stretchtest::sine(44100, 440.0, kRate, 10000.0, stretchtest::kPi / 4);
    for (double ratio : kRatios) {
        SCOPED_TRACE(ratio);
        const Stretched twin = stretch(same, same, {ratio});
        EXPECT_EQ(twin.left, twin.right);

        const Stretched pair = stretch(a, b, {ratio});
        const int n = 4096;
        for (int64_t at = 4410; at + n + 4410 < static_cast<int64_t>(pair.left.size()); at += n / 2) {
            std::complex<double> sl(0.0), sr(0.0);
            for (int i = 0; i < n; ++i) {
                const std::complex<double> e = std::polar(1.0, -2.0 * kPi * 440.0 * i / kRate);
                sl += static_cast<double>(pair.left[static_cast<size_t>(at + i)]) * e;
                sr += static_cast<double>(pair.right[static_cast<size_t>(at + i)]) * e;
            }
            ASSERT_NEAR(std::arg(sr / sl), stretchtest::kPi / 4, 0.05) << at;
        }
    }
}

TEST(StretchSound, JoinsAndEndsAreSeamless)
{
    // A 440 Hz tone over two segments, 0.8 then 1.25.
    const std::vector<float> x = stretchtest::sine(3 * 44100, 440.0, kRate, 10000.0);
    const Stretched s = stretch(x, {}, {0.8, 1.25}, {0, 66150});
    const auto n = static_cast<int64_t>(s.left.size());
    ASSERT_EQ(n, 66150 * 8 / 10 + 66150 * 5 / 4);
    const auto join = static_cast<int64_t>(66150 * 0.8);
    const auto ms = [](double m) { return static_cast<int64_t>(m * kRate / 1000.0); };
    const double tone = rms(s.left, ms(100), n - ms(100));
    const std::vector<float> above = highPass(s.left, 2000.0, kRate);
    const double atJoin = rms(above, join - ms(20), join + ms(20));
    const double elsewhere = rms(above, ms(200), join - ms(100));
    EXPECT_LT(db(atJoin / tone), -40.0);
    EXPECT_NEAR(db(atJoin), db(elsewhere), 6.0);
    // To the last sample: no gap, and the tone's own level and peak.
    EXPECT_LE(longestSilence(s.left, ms(20), n), ms(2));
    const double steady = db(rms(s.left, n - ms(500), n - ms(100)));
    EXPECT_NEAR(db(rms(s.left, n - ms(60), n)), steady, 0.5);
    stretchtail::expectEndsAtFullLevel(s.left, {"440 Hz tone", {440.0}, {10000.0}, true}, kRate);
}

// A section of a sustained sound ends at its full level to the last sample:
// no dip, overshoot or silence in its last milliseconds (a looped section
// would tick there), stretched as one segment at the ratios of a tempo
// change and as four bars at 0.9 and 1.1; and no stretch comes out short of
// its length.
TEST(StretchSound, SustainedSoundsEndAtFullLevel)
{
    struct Case {
        const char* name;
        std::vector<double> ratios;
    };
    const Case cases[] = {
        {"one segment at 0.5", {0.5}},
        {"one segment at 0.8", {0.8}},
        {"one segment at 1.25", {1.25}},
        {"one segment at 2.0", {2.0}},
        {"four bars at 0.9", {0.9, 0.9, 0.9, 0.9}},
        {"four bars at 1.1", {1.1, 1.1, 1.1, 1.1}},
    };
    const auto frames = static_cast<int32_t>(3 * kRate);
    DebugCapture debug;
    for (const stretchtail::Sound& sound : stretchtail::sounds()) {
        SCOPED_TRACE(sound.name);
        const std::vector<float> x = stretchtail::make(sound, frames, kRate);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            std::vector<int32_t> starts;
            for (size_t i = 0; i < c.ratios.size(); ++i)
                starts.push_back(static_cast<int32_t>(static_cast<int64_t>(frames) * static_cast<int64_t>(i) /
                                                      static_cast<int64_t>(c.ratios.size())));
            const Stretched s = stretch(x, {}, c.ratios, starts);
            stretchtail::expectEndsAtFullLevel(s.left, sound, kRate);
        }
    }
    EXPECT_FALSE(debug.lines.contains("Stretch data is too less rather than expect"));
}

TEST(StretchSound, ChordStaysSteadyAcrossBarJoinsOfAPlan)
{
    // Bars of 40000, 48000 and 44100 frames at 120 BPM in 2/4 (44100 frames
    // a bar): each bar is stretched by its own ratio.
    std::vector<double> partials;
    const std::vector<float> x = chord({54, 63, 69, 71}, 4, 3.0, 2500.0, kRate, partials);
    StretchPlan plan;
    plan.m_inputFrames = plan.m_framesForRatios = static_cast<uint32_t>(x.size());
    plan.m_targetTempo = plan.m_sourceTempo = 120.0;
    plan.m_numerator = 2;
    plan.m_denominator = 4;
    plan.ClearSamples();
    for (float v : x) {
        const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(v)));
        const uint8_t frame[4] = {static_cast<uint8_t>(s & 0xFF), static_cast<uint8_t>(s >> 8),
                                  static_cast<uint8_t>(s & 0xFF), static_cast<uint8_t>(s >> 8)};
        plan.AppendFrame(frame);
    }
    StretchInputView view;
    plan.GetInputView(&view);
    const std::vector<int32_t> positions {0, 40000, 88000, 132100};
    std::vector<StretchSegment*> segments;
    plan.ComputeSegments(&segments, &positions, 3);
    plan.Render(view, &segments);
    for (StretchSegment* s : segments)
        delete s;
    ASSERT_EQ(plan.OutputFrames(), 3 * 44100);
    std::vector<float> y(static_cast<size_t>(plan.OutputFrames()));
    for (int32_t i = 0; i < plan.OutputFrames(); ++i)
        y[static_cast<size_t>(i)] = static_cast<float>(plan.GetOutputSample(0, i));
    const auto guard = static_cast<int64_t>(0.3 * kRate);
    expectSteadyChord(y, guard, static_cast<int64_t>(y.size()) - guard, partials);
    EXPECT_LE(longestSilence(y, guard, static_cast<int64_t>(y.size()) - guard),
              static_cast<int64_t>(0.002 * kRate));
}

}  // namespace

// Whatever length a section happens to have, a steady tone in whole 16-bit
// samples ends at its level: the continuation past the input's end must not
// lose trust because its fitting span starts near a zero crossing or
// because rounding to whole samples adds noise. Stereo whose channels
// differ, at a loud and a quiet level, at both ratios of a tempo change,
// over consecutive lengths (every one with KRM_TAIL_SWEEP set to a count).
TEST(StretchSound, WholeSampleTonesEndAtTheirLevelAtEveryLength)
{
    const char* env = std::getenv("KRM_TAIL_SWEEP");
    const int32_t count = env ? std::atoi(env) : 12;
    const int32_t step = env ? 1 : 17;
    const stretchtail::Sound sound {"220 Hz tone", {220.0}, {10000.0}, true};
    struct Tally {
        int failed = 0;
        double worstRise = -1.0, worstDb = 0.0;
    };
    for (const double level : {10000.0, 1000.0}) {
        for (const double ratio : {0.8, 1.25}) {
            SCOPED_TRACE(testing::Message() << "level " << level << ", ratio " << ratio);
            Tally t;
            for (int32_t k = 0; k < count; ++k) {
                const int32_t frames = 132300 + k * step;
                SCOPED_TRACE(frames);
                std::vector<float> left(static_cast<size_t>(frames)), right(left.size());
                for (int32_t i = 0; i < frames; ++i) {
                    const double w = 2.0 * kPi * 220.0 * i / kRate;
                    left[static_cast<size_t>(i)] = static_cast<float>(std::lround(level * std::sin(w + 0.3)));
                    right[static_cast<size_t>(i)] =
                        static_cast<float>(std::lround(0.7 * level * std::sin(w + 1.4)));
                }
                const Stretched s = stretch(left, right, {ratio});
                for (const std::vector<float>* y : {&s.left, &s.right}) {
                    const TailFigures f = tailFigures(*y, stretchtail::period(sound, kRate), kRate);
                    const bool bad =
                        std::fabs(f.worstLevelDb) > 1.0 || f.peakRise > 0.02 || f.trailingZeros > 4;
                    t.failed += bad ? 1 : 0;
                    t.worstRise = std::max(t.worstRise, f.peakRise);
                    if (std::fabs(f.worstLevelDb) > std::fabs(t.worstDb))
                        t.worstDb = f.worstLevelDb;
                    stretchtail::expectEndsAtFullLevel(*y, sound, kRate);
                }
            }
            std::printf("level %.0f ratio %.2f: %d of %d channel ends fail, worst peak rise %.4f, worst "
                        "level %.3f dB\n",
                        level, ratio, t.failed, 2 * count, t.worstRise, t.worstDb);
        }
    }
}

// A sample that is not a number, or an infinity, reaching the engine
// through the input view gives no output beyond the range of the input's
// finite samples (with the 1 % or so by which a stretched tone's peak
// moves): no full-scale burst, no non-finite samples anywhere.
TEST(StretchSound, NonFiniteInputStaysWithinTheInputsRange)
{
    const auto frames = static_cast<int32_t>(1.5 * kRate);
    const float values[] = {std::nanf(""), INFINITY, -INFINITY};
    const int32_t places[] = {frames - 1, frames - 300, frames / 2};
    DebugCapture debug;
    for (const float v : values) {
        for (const int32_t at : places) {
            SCOPED_TRACE(testing::Message() << v << " at " << at);
            std::vector<float> left = stretchtest::sine(frames, 220.0, kRate, 8000.0, 0.3);
            std::vector<float> right = stretchtest::sine(frames, 330.0, kRate, 6000.0, 1.0);
            left[static_cast<size_t>(at)] = v;
            right[static_cast<size_t>(at - 10)] = v;
            for (const double ratio : {0.8, 1.25}) {
                const Stretched s = stretch(left, right, {ratio});
                for (const std::vector<float>* y : {&s.left, &s.right}) {
                    float worst = 0.0f;
                    for (float x : *y)
                        worst = std::isfinite(x) ? std::max(worst, std::fabs(x)) : INFINITY;
                    EXPECT_LE(worst, 1.03f * 8000.0f) << "ratio " << ratio;
                }
            }
        }
    }
}
