#include "../MeterSongs.h"
#include "AllocationCounter.h"
#include "Onset/OnsetEngine.h"
#include "Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
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

struct Candidate {
    int32_t frame;
    int32_t value;
};

// The onset candidates of a finished run with the analyser's records: every
// peak above 6, placed at the start of its rise, inside the range.
std::vector<Candidate> analyserCandidates(const State& s)
{
    std::vector<Candidate> out;
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
            out.push_back({start, v});
    }
    return out;
}

// Of candidates closer than `gap` frames only the strongest stays: take the
// strongest left (the earliest on a tie), drop its neighbours within the
// gap, repeat. Returns the kept onsets in samples.
std::vector<int32_t> keepStrongestApart(std::vector<Candidate> left, int32_t gap, int32_t hop)
{
    std::vector<int32_t> keptFrames;
    while (!left.empty()) {
        size_t best = 0;
        for (size_t i = 1; i < left.size(); ++i)
            if (left[i].value > left[best].value)
                best = i;
        const int32_t f = left[best].frame;
        keptFrames.push_back(f);
        left.erase(std::remove_if(left.begin(), left.end(),
                                  [&](const Candidate& c) { return std::abs(c.frame - f) < gap; }),
                   left.end());
    }
    std::sort(keptFrames.begin(), keptFrames.end());
    std::vector<int32_t> out;
    for (int32_t f : keptFrames)
        out.push_back(std::max(f * hop - kLeadIn, 0));
    return out;
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
    // Frames 9, 19 and 29 pass; all three are 50 strong, and 19 lies within
    // the minimum gap (17 frames) of 9, so the earlier one stays.
    EXPECT_EQ(onsets, (std::vector<int32_t> {0, 29 * 128 - 2048}));
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

using metersongs::addKick;

// Every detected onset within `tolerance` samples of one event, and every
// event with exactly one onset there.
void expectOneOnsetPerEvent(const std::vector<int32_t>& onsets, const std::vector<int64_t>& events,
                            int64_t tolerance)
{
    for (size_t i = 0; i < events.size(); ++i) {
        const auto near = std::count_if(onsets.begin(), onsets.end(),
                                        [&](int32_t p) { return std::abs(p - events[i]) <= tolerance; });
        EXPECT_EQ(near, 1) << "event " << i << " at sample " << events[i];
    }
    for (int32_t p : onsets) {
        const bool matched = std::any_of(events.begin(), events.end(),
                                         [&](int64_t e) { return std::abs(p - e) <= tolerance; });
        EXPECT_TRUE(matched) << "onset at sample " << p << " belongs to no event";
    }
}

// A low bass note ripples the envelope, and without a minimum gap the
// ripple cycles after a hit passed as onsets of their own, a few hops
// apart. A 49 Hz bass note held under a kick every 500 ms: one onset per
// kick, none from the ripple, and no two onsets closer than the gap. For
// the first 0.75 s the detection's long-term mean is still filling from the
// silent lead-in, so the first note is weighed against almost nothing and
// its slower ripple (more than 50 ms on) can still pass; onsets there are
// only required to keep the gap.
TEST(OnsetEngineOnsets, LowBassRippleGivesOneOnsetPerKick)
{
    const double seconds = 6.0;
    std::vector<float> x = testsig::harmonicTone(49.0, seconds, 3, 0.35f);
    std::vector<int64_t> kicks;
    for (int64_t at = 0; at + 22050 <= static_cast<int64_t>(x.size()); at += 22050) {
        addKick(x, at);
        kicks.push_back(at);
    }
    x.resize(static_cast<size_t>(seconds * 44100.0));
    const std::vector<int32_t> onsets = onsetsOf(x);
    for (size_t i = 1; i < onsets.size(); ++i)
        EXPECT_GE(onsets[i] - onsets[i - 1], 17 * 128) << "onsets " << i - 1 << " and " << i;
    std::vector<int32_t> settled;
    std::copy_if(onsets.begin(), onsets.end(), std::back_inserter(settled),
                 [](int32_t p) { return p >= 33075; });
    std::vector<int64_t> settledKicks;
    std::copy_if(kicks.begin(), kicks.end(), std::back_inserter(settledKicks),
                 [](int64_t p) { return p >= 33075; });
    ASSERT_EQ(settledKicks.size(), 10u);
    expectOneOnsetPerEvent(settled, settledKicks, 2205);
    EXPECT_EQ(std::count(onsets.begin(), onsets.end(), 0), 1) << "the kick at the start";
}

// Two kicks 30 ms apart (a flam) are one event: one onset. The engine's own
// hop and rate give the gap, about 50 ms, here and at 48000 Hz.
TEST(OnsetEngineOnsets, TwoKicksThirtyMillisecondsApartGiveOneOnset)
{
    EXPECT_EQ(minimumOnsetGap(44100.0, 128), 17);
    EXPECT_EQ(minimumOnsetGap(48000.0, 139), 17);
    EXPECT_EQ(minimumOnsetGap(8000.0, 23), 17);
    EXPECT_EQ(minimumOnsetGap(344.0, 1), 17);

    std::vector<float> x = quietNoise(4 * 44100, kQuiet);
    std::vector<int64_t> events;
    for (int64_t at : {int64_t {22050}, int64_t {3 * 22050}, int64_t {5 * 22050}}) {
        addKick(x, at);
        addKick(x, at + 1323, 0.6f);  // 30 ms later
        events.push_back(at);
    }
    x.resize(4 * 44100);
    expectOneOnsetPerEvent(onsetsOf(x), events, 1323 + 2205);
}

// The rule keeps the stronger of two close candidates wherever it stands, and
// the earlier on a tie; candidates as far apart as the gap both stay.
TEST(OnsetEngineOnsets, CloseCandidatesKeepTheStrongest)
{
    Engine engine(200 * 128);
    State& s = engine.state;
    ASSERT_EQ(minimumOnsetGap(s.sampleRate, s.hop), 17);
    std::fill(s.selection, s.selection + s.frameCount, 0);
    s.firstFrame = 0;
    s.lastFrame = 200;
    s.weakThreshold = 6;
    s.strongThreshold = 128;
    struct Peak {
        int32_t frame;
        uint16_t value;
    };
    // 20 and 24: the later is stronger. 60 and 76: a tie, 16 apart. 100 and
    // 117: exactly the gap apart. 140, 150, 160: the middle is strongest and
    // covers both others, although they lie 20 apart.
    for (const Peak& p : {Peak {20, 30}, Peak {24, 90}, Peak {60, 40}, Peak {76, 40}, Peak {100, 10},
                          Peak {117, 9}, Peak {140, 50}, Peak {150, 80}, Peak {160, 70}})
        s.selection[p.frame] = p.value;
    std::vector<int32_t> onsets;
    collectOnsets(s, onsets);
    std::vector<int32_t> frames;
    for (int32_t p : onsets)
        frames.push_back((p + kLeadIn) / s.hop);
    EXPECT_EQ(frames, (std::vector<int32_t> {24, 60, 100, 117, 150}));
}

// A click every 250 ms lies far beyond the gap: the rule takes nothing away,
// every candidate is an onset and every click has its own.
TEST(OnsetEngineOnsets, ClickTrackEvery250MillisecondsIsUnchangedByTheGap)
{
    testsig::Signal clicks = testsig::clickTrack(240.0, 8.0, 0.8f, 64, 3000);
    std::vector<float> x = quietNoise(clicks.samples.size(), kQuiet, 9);
    testsig::mixInto(x, clicks.samples);
    testsig::MemorySource source(testsig::interleave(x, x), 2);
    Engine engine(static_cast<int32_t>(x.size()));
    const std::vector<int32_t> onsets = engine.run(source);

    std::vector<int32_t> everyCandidate;
    for (const Candidate& c : analyserCandidates(engine.state))
        everyCandidate.push_back(std::max(c.frame * engine.state.hop - kLeadIn, 0));
    EXPECT_EQ(onsets, everyCandidate);
    ASSERT_EQ(onsets.size(), clicks.events.size());
    expectOneOnsetPerEvent(onsets, clicks.events, 256);
}

TEST(OnsetEngineOnsets, QuietNoiseAndSilenceGiveNone)
{
    EXPECT_TRUE(onsetsOf(quietNoise(5 * 44100, kQuiet)).empty());
    EXPECT_TRUE(onsetsOf(std::vector<float>(5 * 44100, 0.0f)).empty());
}

// With the analyser's records every onset is a peak above 6 at the start
// of its rise, and every such peak in the range is an onset unless a
// stronger one lies within the minimum gap.
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
    const std::vector<int32_t> expected = keepStrongestApart(analyserCandidates(s), 17, s.hop);
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
