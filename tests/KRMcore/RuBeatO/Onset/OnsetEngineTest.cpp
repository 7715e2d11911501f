#include "AllocationCounter.h"
#include "Onset/OnsetEngine.h"
#include "Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>

namespace {

using namespace OnsetEngine;

// The records the project core's onset job passes.
const Params kAnalyserParams {0, 0, 2, 150, 0, 94};
Range analyserRange()
{
    return {0, 0, 0, 4, 0, 0, 4};
}
SourceInfo sourceInfo(int32_t n, int32_t rate = 44100)
{
    return {0, 0, n, rate, 16, 0, n};
}

// One engine state over its whole lifecycle.
class Engine {
public:
    explicit Engine(int32_t n) : info(sourceInfo(n)) { init(state, info); }
    ~Engine() { finish(state); }
    std::vector<int32_t> run(ISeekable<float>& source, const Params& params = kAnalyserParams)
    {
        std::vector<int32_t> out;
        Range range = analyserRange();
        process(source, state, info, out, range, params);
        return out;
    }
    State state {};
    SourceInfo info;
};

std::vector<int32_t> onsetsOf(const std::vector<float>& mono)
{
    testsig::MemorySource source(testsig::interleave(mono, mono), 2);
    Engine engine(static_cast<int32_t>(mono.size()));
    return engine.run(source);
}

constexpr float kQuiet = 0.0005f;  // white noise at about -66 dBFS

std::vector<float> quietNoise(size_t n, float amp, unsigned seed = 3)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-amp, amp);
    std::vector<float> x(n);
    for (float& v : x)
        v = u(rng);
    return x;
}

std::vector<int64_t> widen(const std::vector<int32_t>& v)
{
    return {v.begin(), v.end()};
}

TEST(OnsetEngineSettings, FramesAndThresholdsFromTheRecords)
{
    Engine engine(44100);
    const State& s = engine.state;
    EXPECT_EQ(s.hop, 128);
    EXPECT_EQ(s.frameCount, 345);
    EXPECT_EQ(s.paddedLength, 44100 + 2048);
    EXPECT_EQ(s.peakThreshold, 26);
    EXPECT_EQ(s.subPeakThreshold, 5);

    // The onset job fills three 32-bit words, low halves first: 0, (2, 150), (0, 94).
    const uint32_t words[3] = {0u, 2u | 150u << 16, 0u | 94u << 16};
    Params params;
    std::memcpy(&params, words, sizeof params);
    EXPECT_EQ(std::memcmp(&params, &kAnalyserParams, sizeof params), 0);

    testsig::MemorySource silence(std::vector<float>(44100, 0.0f), 1);
    Range range = analyserRange();
    std::vector<int32_t> out;
    process(silence, engine.state, engine.info, out, range, params);
    EXPECT_EQ(range.startSample, 0);
    EXPECT_EQ(range.endSample, 44100);
    EXPECT_EQ(range.endSample2, 44100);
    EXPECT_EQ(s.strongThreshold, 128);
    EXPECT_EQ(s.weakThreshold, 6);
    EXPECT_DOUBLE_EQ(s.beatsInRange, 16.0);
    EXPECT_EQ(s.subdivision, 2);
    EXPECT_EQ(s.toleranceDivisor, 12);
}

TEST(OnsetEngineSettings, ParameterRecordPicksTableEntriesWithinRange)
{
    struct Row {
        Params params;
        int divisor, strong, subdivision, weak;
    };
    const Row rows[] = {
        {{2, 0, 2, 0, 0, 94}, 6, 128, 2, 6},    {{3, 40, 0, 0, 0, 0}, 7, 60, 1, 128},
        {{7, 0, 5, 0, 0, 94}, 12, 128, 12, 6},  {{-1, 0, -1, 0, 0, 94}, 12, 128, 1, 6},
        {{4, 0, 9, 0, 0, 94}, 7, 128, 8, 6},    {{0, -32768, 6, 0, 0, 32767}, 12, 32767, 8, -32667},
        {{6, 100, 3, 0, 0, 101}, 12, 0, 6, -1},
    };
    testsig::MemorySource silence(std::vector<float>(3000, 0.0f), 1);
    Engine engine(3000);
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "p0 " << r.params.p0 << " p2 " << r.params.p2);
        engine.run(silence, r.params);
        EXPECT_EQ(engine.state.toleranceDivisor, r.divisor);
        EXPECT_EQ(engine.state.strongThreshold, r.strong);
        EXPECT_EQ(engine.state.subdivision, r.subdivision);
        EXPECT_EQ(engine.state.weakThreshold, r.weak);
    }
}

TEST(OnsetEngineStage, ConstantsAndAHandWorkedUnitStep)
{
    SampleStage stage {};
    stage.setRate(44100.0);
    EXPECT_EQ(stage.k, 10);
    EXPECT_EQ(stage.attack, 327);
    EXPECT_EQ(stage.release, 11);
    // Step of 1000: y = 1000, 188, 188, ...; the envelope climbs by
    // (8|h| - e) * 327 >> 13 per sample: 319, 363, 405, 444.
    const int expected[] = {7, 16, 26, 37};
    for (int v : expected)
        EXPECT_EQ(processSample(stage, 1000), v);
    EXPECT_EQ(stage.envelope, 444);

    // Falling to silence: (0 - 80000) * 11 >> 13 = -108 (rounded down).
    SampleStage fall {};
    fall.setRate(44100.0);
    fall.envelope = 80000;
    EXPECT_EQ(processSample(fall, 0), 9986 / 5);
    EXPECT_EQ(fall.envelope, 79892);
}

TEST(OnsetEnginePeaks, HandMadeDetectionFunctions)
{
    constexpr uint16_t R = kRise;
    struct Row {
        const char* what;
        std::vector<int32_t> d;
        std::vector<uint16_t> map;
        std::vector<int32_t> listed;
    };
    const Row rows[] = {
        {"two peaks with their rises",
         {0, 10, 50, 100, 60, 20, 0, 0, 30, 200, 40, 5, 0},
         {0, R, R, 64, 0, 0, 0, 0, R, 128, 0, 0, 0},
         {3, 9}},
        {"a low valley before a rise starts the next peak", {0, 100, 20, 80, 0}, {0, 128, R, 102, 0}, {1, 3}},
        {"a high dip keeps one peak with the larger value", {0, 100, 40, 150, 0}, {0, 128, 0, 0, 0}, {1}},
        {"at the floor skipped, a weak peak marked not listed",
         {300, 0, 2, 0, 40, 0},
         {128, 0, 0, 0, 17, 0},
         {0}},
        {"silence", {0, 0, 0}, {0, 0, 0}, {}},
        {"only negative values", {-5, -1, -7}, {0, 0, 0}, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<uint16_t> map(r.d.size(), 77);
        PeakList list;
        const PeakSummary sum = pickPeaks(r.d.data(), static_cast<int32_t>(r.d.size()), map.data(), list);
        EXPECT_EQ(map, r.map);
        EXPECT_EQ(std::vector<int32_t>(list.frames, list.frames + list.count), r.listed);
        EXPECT_EQ(sum.firstPeak, r.listed.empty() ? -1 : r.listed.front());
        EXPECT_EQ(sum.lastIndex, static_cast<int32_t>(r.listed.size()) - 1);
    }
}

TEST(OnsetEnginePeaks, MoreThan1024StrongPeaksReportOverflowAndGoOn)
{
    std::vector<int32_t> d;
    for (int i = 0; i < 1100; ++i)
        d.insert(d.end(), {0, 100});
    std::vector<uint16_t> map(d.size());
    PeakList list;
    testing::internal::CaptureStdout();
    pickPeaks(d.data(), static_cast<int32_t>(d.size()), map.data(), list);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(list.count, 1024);
    EXPECT_EQ(list.frames[1023], 2047);
    EXPECT_EQ(out.rfind("interval buffer overflow!\n", 0), 0u);
    EXPECT_EQ(map.back(), 128);  // peaks past the list are still marked
}

// Peaks of 50 at frames 10, 20 and 31 (rises before them), a weak one of 8
// at 5, beats every 10 frames halved by the subdivision.
TEST(OnsetEngineGrid, HandBuiltMapIsReinforcedAndMovedToRiseStarts)
{
    Engine engine(40 * 128);
    State& s = engine.state;
    ASSERT_EQ(s.frameCount, 40);
    std::fill(s.peakMap, s.peakMap + 40, 0);
    s.peakMap[5] = 8;
    s.peakMap[9] = kRise;
    s.peakMap[10] = 50;
    s.peakMap[19] = kRise;
    s.peakMap[20] = 50;
    s.peakMap[29] = kRise;
    s.peakMap[30] = kRise;
    s.peakMap[31] = 50;
    s.firstFrame = 0;
    s.lastFrame = 40;
    s.framesPerBeat = 10.0;
    s.toleranceDivisor = 12;
    s.subdivision = 2;
    reinforceGrid(s);
    // Beats found at 10, 20, 31 (+300, moved to their rise starts); the
    // half-beat at 5 finds the weak peak; at 15, 25 and 35 nothing is near,
    // so the position itself is marked 301.
    std::vector<uint16_t> expected(40, 0);
    expected[5] = 308;
    expected[9] = 350;
    expected[15] = 301;
    expected[19] = 350;
    expected[25] = 301;
    expected[29] = 350;
    expected[35] = 301;
    EXPECT_EQ(std::vector<uint16_t>(s.selection, s.selection + 40), expected);

    s.strongThreshold = 40;
    s.weakThreshold = 128;
    std::vector<int32_t> onsets;
    collectOnsets(s, onsets);
    EXPECT_EQ(onsets, (std::vector<int32_t> {0, 19 * 128 - 2048, 29 * 128 - 2048}));
}

TEST(OnsetEngineOnsets, OneOnsetPerClickOverQuietNoise)
{
    testsig::Signal clicks = testsig::clickTrack(240.0, 5.0);  // every 11025 samples from 0
    std::vector<float> x = quietNoise(clicks.samples.size(), kQuiet);
    testsig::mixInto(x, clicks.samples);
    const std::vector<int32_t> onsets = onsetsOf(x);
    ASSERT_EQ(onsets.size(), clicks.events.size());
    for (size_t i = 0; i < onsets.size(); ++i)
        EXPECT_LE(std::abs(onsets[i] - clicks.events[i]), 256) << "click " << i;
    EXPECT_EQ(onsets.front(), 0);  // the click at the first sample, not before it
}

TEST(OnsetEngineOnsets, QuietNoiseAndSilenceGiveNone)
{
    EXPECT_TRUE(onsetsOf(quietNoise(5 * 44100, kQuiet)).empty());
    EXPECT_TRUE(onsetsOf(std::vector<float>(5 * 44100, 0.0f)).empty());
}

// With the analyser's records every onset is a peak above 6 at the start
// of its rise, and every such peak in the range is an onset.
TEST(OnsetEngineOnsets, AnalyserOnsetsAreThePeaksAboveSixAtTheirRiseStarts)
{
    testsig::SongSpec spec;
    spec.parts = {{"verse", 4, {{0}, {5}}, true, true, true, false},
                  {"chorus", 4, {{7}, {9, true}}, true, true, false, true}};
    const testsig::Song song = testsig::makeSong(spec);
    testsig::MemorySource source(testsig::interleave(song.left, song.right), 2);
    Engine engine(static_cast<int32_t>(song.left.size()));
    const std::vector<int32_t> onsets = engine.run(source);

    const State& s = engine.state;
    std::vector<int32_t> expected;
    int32_t placed = -1;
    for (int32_t f = 0; f < s.lastFrame; ++f) {
        const uint16_t v = s.peakMap[f];
        if (v == kRise || v == 0)
            continue;
        int32_t start = f;
        while (start - 1 > placed && s.peakMap[start - 1] == kRise)
            --start;
        placed = start;
        if (v > 6 && start > s.firstFrame && start <= s.lastFrame - 2)
            expected.push_back(std::max(start * s.hop - kLeadIn, 0));
    }
    EXPECT_GT(expected.size(), 20u);
    EXPECT_EQ(onsets, expected);
}

TEST(OnsetEngineOnsets, SongOnsetFMeasure)
{
    testsig::SongSpec spec;
    spec.parts = {{"intro", 2, {{0}}, false, true, true, false},
                  {"verse", 8, {{0}, {5}, {7}, {0}}, true, true, true, false},
                  {"chorus", 8, {{9, true}, {5}, {0}, {7}}, true, true, false, true}};
    const testsig::Song song = testsig::makeSong(spec);
    testsig::MemorySource source(testsig::interleave(song.left, song.right), 2);
    Engine engine(static_cast<int32_t>(song.left.size()));
    const testsig::EventScore score = testsig::scoreEvents(widen(engine.run(source)), song.onsets, 2205);
    std::printf("onset F-measure (+-50 ms) on a synthesised song: %.3f (P %.3f, R %.3f, %d of %d)\n",
                score.fMeasure, score.precision, score.recall, score.matched, score.truth);
    EXPECT_GE(score.fMeasure, 0.8);
}

TEST(OnsetEngineLifecycle, SecondProcessReusesTheDetection)
{
    testsig::Signal clicks = testsig::clickTrack(120.0, 3.0, 0.8f, 64, 4000);
    testsig::MemorySource source(clicks.samples, 1);
    Engine engine(static_cast<int32_t>(clicks.samples.size()));
    const std::vector<int32_t> first = engine.run(source);
    const int reads = source.readCalls;
    EXPECT_EQ(engine.run(source), first);
    EXPECT_EQ(source.readCalls, reads);
    EXPECT_EQ(first.size(), clicks.events.size());
}

TEST(OnsetEngineLifecycle, RefusedRecordsAndCallsOutOfOrder)
{
    State state {};
    EXPECT_THROW(init(state, sourceInfo(1000, 0)), std::invalid_argument);
    EXPECT_THROW(init(state, sourceInfo(-1)), std::invalid_argument);
    EXPECT_THROW(init(state, sourceInfo(std::numeric_limits<int32_t>::max())), std::invalid_argument);
    finish(state);  // safe after a failed init
    EXPECT_EQ(state.paddedLength, 0);

    testsig::MemorySource source(std::vector<float>(1000, 0.0f), 1);
    std::vector<int32_t> out;
    Range range = analyserRange();
    const SourceInfo info = sourceInfo(1000);
    EXPECT_THROW(process(source, state, info, out, range, kAnalyserParams), std::logic_error);
    init(state, info);
    const SourceInfo other = sourceInfo(999);
    EXPECT_THROW(process(source, state, other, out, range, kAnalyserParams), std::invalid_argument);
    finish(state);
    finish(state);
}

TEST(OnsetEngineLifecycle, AllocationFailureReportsAndLeavesNothingBehind)
{
    for (int failAt = 1; failAt <= 3; ++failAt) {
        SCOPED_TRACE(failAt);
        State state {};
        testing::internal::CaptureStderr();
        {
            testalloc::Scope scope(failAt);
            EXPECT_THROW(init(state, sourceInfo(44100)), std::bad_alloc);
            EXPECT_LE(scope.liveBytes(), 0);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERR_MEMORY_ALLOC\n");
        EXPECT_EQ(state.detection, nullptr);
        EXPECT_EQ(state.paddedLength, 0);
        finish(state);
    }
}

// Meant for the sanitizer build: every short length, mono and stereo, a
// source that delivers less than announced, and a full-scale square wave.
TEST(OnsetEngineRobustness, ShortSourcesOfEveryLength)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int32_t n = 0; n <= 5 * 128; ++n) {
        std::vector<float> x(static_cast<size_t>(n));
        for (float& v : x)
            v = u(rng);
        const int channels = 1 + n % 2;
        testsig::MemorySource source(channels == 1 ? x : testsig::interleave(x, x), channels);
        Engine engine(n + (n % 3 == 0 ? 300 : 0));  // every third one falls short
        const std::vector<int32_t> onsets = engine.run(source);
        for (int32_t p : onsets)
            ASSERT_TRUE(p >= 0 && p < engine.info.sampleCount) << "length " << n << " onset " << p;
    }
}

// Full scale drives every integer stage to its largest values. The first
// edge after the silent lead-in dominates the later ones, which the long
// mean scales down; the edges themselves are not the point here.
TEST(OnsetEngineRobustness, FullScaleSquareWave)
{
    const int32_t n = 30 * 44100;
    std::vector<float> x(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        x[static_cast<size_t>(i)] = (i / 11025) % 2 ? -1.0f : 1.0f;
    const std::vector<int32_t> onsets = onsetsOf(x);
    ASSERT_FALSE(onsets.empty());
    EXPECT_EQ(onsets.front(), 0);
    EXPECT_TRUE(std::is_sorted(onsets.begin(), onsets.end()));
    EXPECT_LT(onsets.back(), n);
}

}  // namespace
