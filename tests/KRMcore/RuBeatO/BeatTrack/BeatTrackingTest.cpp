// The beat tracker on audio: click tracks, silence and a synthesised song,
// and the state carried from one pass into the next.
#include "CBeatDetect.h"
#include "Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

using RuBeatO::CBeatDetect;

namespace {

constexpr int kHop = 180;
constexpr double kFrameMs = 1000.0 * kHop / 44100.0;

std::unique_ptr<CBeatDetect> makeDetector(bool doubleRate)
{
    return std::make_unique<CBeatDetect>(1024, kHop, 44100.0f, 3, 60.0f, 200.0f, doubleRate);
}

// Feeds `mono` in 180-value blocks (the last one padded with silence).
void feed(CBeatDetect& d, const std::vector<float>& mono, size_t from = 0, size_t to = SIZE_MAX)
{
    to = std::min(to, mono.size());
    std::vector<float> block(kHop);
    for (size_t at = from; at < to; at += kHop) {
        std::fill(block.begin(), block.end(), 0.0f);
        std::copy(mono.begin() + at, mono.begin() + std::min(at + kHop, to), block.begin());
        d.addData(block.data(), kHop);
    }
}

std::vector<int> beatFrames(const CBeatDetect& d, int every = 1, int offset = 0)
{
    std::vector<int> frames;
    d.getBeatFrames(frames, every, offset);
    return frames;
}

// Beat F-measure of listed frames, +-70 ms.
double beatF(const std::vector<int>& frames, const std::vector<int64_t>& truth)
{
    std::vector<int64_t> at;
    for (int f : frames)
        at.push_back(static_cast<int64_t>(f) * kHop);
    return testsig::fMeasure(at, truth, static_cast<int64_t>(0.07 * testsig::kRate));
}

// Lag in frames from each event after `skipSeconds` to the nearest listed
// beat.
std::vector<double> lags(const std::vector<int>& frames, const std::vector<int64_t>& events,
                         double skipSeconds)
{
    std::vector<double> out;
    for (int64_t e : events) {
        if (e < skipSeconds * 44100.0)
            continue;
        const double at = static_cast<double>(e) / kHop;
        double best = 1e9;
        for (int f : frames)
            if (std::fabs(f - at) < std::fabs(best))
                best = f - at;
        out.push_back(best);
    }
    return out;
}

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

}  // namespace

TEST(BeatTracking, ClickTracksAtOneConstantLag)
{
    for (double bpm : {90.0, 120.0, 150.0}) {
        SCOPED_TRACE(bpm);
        const testsig::Signal clicks = testsig::clickTrack(bpm, 30.0);
        auto d = makeDetector(true);
        feed(*d, clicks.samples);
        d->infer();
        const std::vector<int> beats = beatFrames(*d);
        ASSERT_GT(beats.size(), 10u);

        const std::vector<double> lag = lags(beats, clicks.events, 2.0);
        const double typical = median(lag);
        for (size_t i = 0; i < lag.size(); ++i)
            EXPECT_NEAR(lag[i], typical, 3.0) << "click " << i;
        std::printf("[ clicks ] %.0f BPM: lag %.1f frames = %.1f ms\n", bpm, typical, typical * kFrameMs);
        EXPECT_LT(std::fabs(typical * kFrameMs), 30.0);

        // Listed beats come at half the click period, or at the click
        // period where the decoder took half the tempo.
        std::vector<int> late;
        for (int f : beats)
            if (f * kHop >= 2.0 * 44100.0)
                late.push_back(f);
        const double spacing = static_cast<double>(late.back() - late.front()) / (late.size() - 1);
        const double period = 60.0 / bpm * 44100.0 / kHop;
        const double off = std::min(std::fabs(spacing - period / 2), std::fabs(spacing - period));
        EXPECT_LT(off, 1.0) << "spacing " << spacing << " click period " << period;

        // Every second beat from beat 1.
        const std::vector<int> odd = beatFrames(*d, 2, 1);
        ASSERT_EQ(odd.size(), beats.size() / 2);
        for (size_t k = 0; k < odd.size(); ++k)
            EXPECT_EQ(odd[k], beats[2 * k + 1]);
    }
}

TEST(BeatTracking, WithoutDoubleRateTheListedBeatsAreTheDecodedBeats)
{
    const testsig::Signal clicks = testsig::clickTrack(120.0, 20.0);
    auto d = makeDetector(false);
    feed(*d, clicks.samples);
    d->infer();
    std::vector<int> decoded;
    for (int f = 0; f < d->getNumFrames(); f += 3) {
        int P = 0, j = 0;
        d->frontEnd().decoder().decodeState(d->frontEnd().getFrameResult(f / 3), P, j);
        if (j == 0)
            decoded.push_back(f);
    }
    ASSERT_GT(decoded.size(), 10u);
    EXPECT_EQ(beatFrames(*d), decoded);
    const std::vector<int> third = beatFrames(*d, 3, 2);
    ASSERT_FALSE(third.empty());
    EXPECT_EQ(third.front(), decoded[2]);
}

TEST(BeatTracking, SilenceIsQuietEverywhereAndStillGetsAGrid)
{
    auto d = makeDetector(true);
    const std::vector<float> block(kHop, 0.0f);
    for (int i = 0; i < 245 * 20; ++i) {
        d->addData(block.data(), kHop);
        const auto& fe = d->frontEnd();
        ASSERT_EQ(fe.lastFlux(), 0.0f) << "frame " << i;
        ASSERT_EQ(fe.lastOnset(), 0.0f) << "frame " << i;
        ASSERT_EQ(fe.normaliser().m2(), 0.0f) << "frame " << i;
    }
    for (float x : d->frontEnd().decoder().observations())
        ASSERT_EQ(x, 0.0f);
    d->infer();
    const std::vector<int> beats = beatFrames(*d);
    ASSERT_GE(beats.size(), 10u);
    std::vector<int> gaps;
    for (size_t i = 1; i < beats.size(); ++i)
        gaps.push_back(beats[i] - beats[i - 1]);
    const auto [lo, hi] = std::minmax_element(gaps.begin(), gaps.end());
    EXPECT_LE(*hi - *lo, 3) << "a regular grid";
}

TEST(BeatTracking, CarriedStateRoundTripsTheDecodedPeriod)
{
    // Every frame's state, read and handed to the next pass, must give
    // back the decoded period exactly; a frame at the top phase must start
    // the next pass at phase 0 of its own tempo. Both parities of P x D
    // occur over these decodes.
    bool sawOdd = false, sawEven = false;
    for (bool dbl : {false, true}) {
        for (double bpm : {120.0, 150.0, 93.0}) {
            SCOPED_TRACE(testing::Message() << bpm << " BPM, double rate " << dbl);
            auto d = makeDetector(dbl);
            feed(*d, testsig::clickTrack(bpm, 12.0).samples);
            d->infer();
            auto next = makeDetector(dbl);
            const auto& decoder = d->frontEnd().decoder();
            const auto& carried = next->frontEnd().decoder();
            for (int f = 0; f < d->getNumFrames(); ++f) {
                int P = 0, j = 0;
                decoder.decodeState(d->frontEnd().getFrameResult(f / 3), P, j);
                int period = 0, countdown = 0;
                d->getInfoAtFrame(f, period, countdown);
                next->setInitialState(period, countdown);
                ASSERT_EQ(carried.startPeriod(), P) << "frame " << f;
                const int n = P / 3;
                const int expected = f % 3 == 0 ? (j + 1) % n : j;
                ASSERT_EQ(carried.startPhase(), expected) << "frame " << f << " phase " << j;
                if (f % 3 == 0 && j == n - 1)
                    (P % 2 ? sawOdd : sawEven) = true;
            }
        }
    }
    EXPECT_TRUE(sawOdd);
    EXPECT_TRUE(sawEven);
}

TEST(BeatTracking, SecondPassContinuesTheBeat)
{
    // Two passes as the chord pipeline runs them: the state at the last
    // frame of the first carries the beat into the second.
    const testsig::Signal clicks = testsig::clickTrack(120.0, 30.0);
    const size_t split = 180 * 245 * 15 + 180 * 7;
    auto d = makeDetector(true);
    feed(*d, clicks.samples, 0, split);
    d->infer();
    const std::vector<int> first = beatFrames(*d);
    const int framesFirst = d->getNumFrames();
    int period = 0, countdown = 0;
    d->getInfoAtFrame(framesFirst - 1, period, countdown);

    int lastPeriod = 0, lastPhase = 0;
    d->frontEnd().decoder().decodeState(d->frontEnd().getFrameResult((framesFirst - 1) / 3), lastPeriod,
                                        lastPhase);

    d->reset();
    d->setInitialState(period, countdown);
    ASSERT_TRUE(d->frontEnd().decoder().hasStartState());
    EXPECT_EQ(d->frontEnd().decoder().startPeriod(), lastPeriod);
    feed(*d, clicks.samples, split);
    d->infer();
    std::vector<int> second = beatFrames(*d);
    for (int& f : second)
        f += framesFirst;
    ASSERT_FALSE(second.empty());

    // Over both passes together every click keeps its lag.
    std::vector<int> both = first;
    both.insert(both.end(), second.begin(), second.end());
    const std::vector<double> lag = lags(both, clicks.events, 2.0);
    const double typical = median(lag);
    for (size_t i = 0; i < lag.size(); ++i)
        EXPECT_NEAR(lag[i], typical, 3.0) << "click " << i;
    // The first listed beat of the second pass lies one beat spacing after
    // the last of the first, give or take a decimated step.
    const int spacing = first.back() - first[first.size() - 2];
    EXPECT_NEAR(second.front() - first.back(), spacing, 3);
}

TEST(BeatTracking, SynthesisedSongBeats)
{
    testsig::SongSpec spec;
    spec.bpm = 112.0;
    spec.tempoDriftPercent = 2.0;
    spec.leadInSeconds = 0.5;
    const std::vector<testsig::SongChord> verse {
        {0, false, false}, {9, true, false}, {5, false, false}, {7, false, true}};
    const std::vector<testsig::SongChord> chorus {
        {5, false, false}, {7, false, false}, {0, false, false}, {9, true, false}};
    spec.parts = {{"intro", 4, verse, false, true, true, false},
                  {"verse", 8, verse, true, true, true, false},
                  {"chorus", 8, chorus, true, true, false, true},
                  {"verse", 8, verse, true, true, true, false}};
    const testsig::Song song = testsig::makeSong(spec);

    for (bool dbl : {true, false}) {
        auto d = makeDetector(dbl);
        feed(*d, song.mono());
        d->infer();
        const std::vector<int> all = beatFrames(*d);
        const double fAll = beatF(all, song.beats);
        // With double rate the chord pipeline keeps every second listed
        // beat; the better of the two selections is what it can reach.
        const double fEven = beatF(beatFrames(*d, 2, 0), song.beats);
        const double fOdd = beatF(beatFrames(*d, 2, 1), song.beats);
        std::printf(
            "[ song ] double rate %d: F(all) %.3f, F(every 2nd) %.3f / %.3f, %zu beats listed, %zu true\n",
            dbl, fAll, fEven, fOdd, all.size(), song.beats.size());
        if (dbl)
            EXPECT_GT(std::max(fEven, fOdd), 0.9);
        else
            EXPECT_GT(fAll, 0.9);
    }
}
