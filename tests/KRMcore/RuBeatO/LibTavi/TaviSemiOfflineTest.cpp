#include "BeatSliceFeatureGenerator.h"
#include "CBeatDetect.h"
#include "TaviOffline.h"
#include "TaviRecorder.h"
#include "TaviSemiOffline.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>

using namespace tavi;
using taviTest::Event;
using taviTest::TaviRecorder;

namespace {

constexpr int kBlock = 180;

// 30 s songs at 120 beats per minute: drums with eighth notes, bass and a
// chord per bar.
const std::vector<float>& song30(int beatsPerBar)
{
    static std::map<int, std::vector<float>> cache;
    auto it = cache.find(beatsPerBar);
    if (it == cache.end()) {
        testsig::SongSpec spec;
        spec.beatsPerBar = beatsPerBar;
        testsig::SongPart part;
        part.bars = 60 / beatsPerBar;
        part.chords = {{0, false, false}, {9, true, false}, {5, false, false}, {7, false, true}};
        spec.parts = {part};
        spec.tailSeconds = 0.0;
        std::vector<float> mono = testsig::makeSong(spec).mono();
        mono.resize(static_cast<size_t>(30 * 44100));
        it = cache.emplace(beatsPerBar, std::move(mono)).first;
    }
    return it->second;
}

// Pushes whole blocks one at a time; returns the block counts after which
// a push reported beats.
std::vector<int64_t> pushBlocks(TaviSemiOffline& t, const std::vector<float>& x, const TaviRecorder& rec)
{
    std::vector<int64_t> reportedAt;
    for (size_t at = 0; at + kBlock <= x.size(); at += kBlock) {
        const size_t before = rec.events.size();
        EXPECT_EQ(t.pushData(x.data() + at, kBlock), 0u);
        if (rec.events.size() != before)
            reportedAt.push_back(t.blockCount());
    }
    return reportedAt;
}

uint32_t start(TaviSemiOffline& t, TaviRecorder& rec, int w1, int w2, int w3, int w4, int interval = 15)
{
    rec.attach(t);
    const uint32_t status = t.initialize(0, L"", kBlock, w1);
    t.setUpdateInterval(interval);
    return status != 0 ? status : t.setParams(w2, w3, w4);
}

// Beats, bars and the end as the client sees them: one beat per entry 2
// and 3 with indices 0, 1, 2, ..., rising positions, bars every
// `beatsPerBar` beats with consecutive indices and the given signature, the
// end once and last.
void expectConsistentReports(const TaviRecorder& rec, int beatsPerBar, int numerator, int unit,
                             const std::string& what)
{
    const std::vector<Event> positions = rec.of(2), beats = rec.of(3), bars = rec.of(1);
    ASSERT_EQ(positions.size(), beats.size()) << what;
    ASSERT_GT(beats.size(), 40u) << what;
    for (size_t i = 0; i < beats.size(); ++i) {
        ASSERT_EQ(positions[i].ints[1], static_cast<int>(i)) << what;
        ASSERT_EQ(beats[i].ints[0], static_cast<int>(i)) << what;
        ASSERT_EQ(beats[i].ints[1], static_cast<int>(i)) << what;
        if (i > 0) {
            ASSERT_GT(positions[i].ints[0], positions[i - 1].ints[0]) << what << ", beat " << i;
        }
    }
    ASSERT_FALSE(bars.empty()) << what;
    EXPECT_LT(bars[0].ints[0], beatsPerBar) << what;
    for (size_t i = 0; i < bars.size(); ++i) {
        EXPECT_EQ(bars[i].ints[1], static_cast<int>(i)) << what;
        EXPECT_EQ(bars[i].ints[2], numerator) << what;
        EXPECT_EQ(bars[i].ints[3], unit) << what;
        if (i > 0) {
            EXPECT_EQ(bars[i].ints[0] - bars[i - 1].ints[0], beatsPerBar) << what << ", bar " << i;
        }
    }
    EXPECT_EQ(rec.count(5), 1) << what;
    EXPECT_EQ(rec.events.back().entry, 5) << what;
}

// The beats lie one beat at 120 per minute apart on average (within 1 %),
// no spacing off by more than two decimated tracker steps.
void expectBeatSpacing(const TaviRecorder& rec, const std::string& what)
{
    const std::vector<int64_t> p = rec.beatPositions();
    ASSERT_GT(p.size(), 2u) << what;
    const double mean = static_cast<double>(p.back() - p.front()) / static_cast<double>(p.size() - 1);
    EXPECT_NEAR(mean, 22050.0, 220.5) << what;
    for (size_t i = 1; i < p.size(); ++i)
        EXPECT_NEAR(static_cast<double>(p[i] - p[i - 1]), 22050.0, 1080.0) << what << ", beat " << i;
}

}  // namespace

TEST(TaviSemiOffline, RefusesEverythingBeforeInitialize)
{
    TaviSemiOffline t;
    TaviRecorder rec;
    rec.attach(t);
    const std::vector<float> x(540, 0.1f);
    EXPECT_EQ(t.setParams(0, -1, 2), 5u);
    EXPECT_EQ(t.pushData(x.data(), 540), 5u);
    EXPECT_EQ(t.finish(), 5u);
    EXPECT_EQ(t.run(), 5u);
    t.reset();
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(t.blockCount(), 0);
    EXPECT_EQ(t.bufferFill(), 0);
    EXPECT_FALSE(t.isInitialized());
    EXPECT_EQ(t.updateInterval(), 22050);
}

TEST(TaviSemiOffline, FailedInitializeLeavesTheFlagAsItWas)
{
    TaviSemiOffline t;
    EXPECT_EQ(t.initialize(0, L"", kBlock, 0), 6u);
    EXPECT_FALSE(t.isInitialized());
    EXPECT_EQ(t.pushData(nullptr, 0), 5u);
    EXPECT_EQ(t.initialize(0, L"", kBlock, 5), 6u) << "the chord models cover 2 to 4 beats per bar";
    EXPECT_FALSE(t.isInitialized());

    EXPECT_EQ(t.initialize(0, L"", kBlock, 4), 0u);
    EXPECT_TRUE(t.isInitialized());
    const auto first = t.inner();
    EXPECT_EQ(t.initialize(0, L"", kBlock, 0), 6u);
    EXPECT_TRUE(t.isInitialized());
    EXPECT_NE(t.inner(), first) << "a fresh inner recogniser each time";
    EXPECT_EQ(t.inner()->level(), 0);
    EXPECT_EQ(t.inner()->hypothesis(), -1);
    EXPECT_EQ(t.inner()->meterType(), -1);
}

TEST(TaviSemiOffline, ForwardsWholeBlocksAndKeepsTheRemainder)
{
    const std::vector<float> x(540, 0.1f);
    struct Case {
        std::vector<unsigned> pushes;
        int64_t blocks;
        int fill;
        int64_t sincePass;  // a block completed from the buffer does not count
    };
    const Case cases[] = {
        {{100, 100}, 1, 20, 0},
        {{540}, 3, 0, 540},
        {{100, 0, 79}, 0, 179, 0},
        {{100, 440}, 3, 0, 360},
    };
    for (const Case& k : cases) {
        TaviSemiOffline t;
        TaviRecorder rec;
        ASSERT_EQ(start(t, rec, 4, 0, -1, 2), 0u);
        size_t at = 0;
        for (unsigned n : k.pushes) {
            EXPECT_EQ(t.pushData(x.data() + at, n), 0u);
            at += n;
        }
        EXPECT_EQ(t.blockCount(), k.blocks) << k.pushes.size() << " pushes";
        EXPECT_EQ(t.bufferFill(), k.fill) << k.pushes.size() << " pushes";
        EXPECT_EQ(t.samplesSincePass(), k.sincePass) << k.pushes.size() << " pushes";
        EXPECT_EQ(t.inner()->samplesPushed(), k.blocks * kBlock);
        EXPECT_TRUE(rec.events.empty()) << "no pass with the default interval";
    }

    TaviSemiOffline t;
    TaviRecorder rec;
    ASSERT_EQ(start(t, rec, 4, 0, -1, 2), 0u);
    EXPECT_EQ(t.pushData(nullptr, 10), 6u);
    EXPECT_EQ(t.bufferFill(), 0);
}

TEST(TaviSemiOffline, UpdateIntervalInBlocks)
{
    struct Case {
        int x;
        int blocks;
    };
    const Case cases[] = {{15, 28255}, {1, 3000}, {2, 3000},   {0, 3000},
                          {-7, 3000},  {3, 3879}, {30, 58724}, {INT_MAX, INT_MAX}};
    TaviSemiOffline t;
    for (const Case& k : cases) {
        EXPECT_EQ(t.setUpdateInterval(k.x), 0u);
        EXPECT_EQ(t.updateInterval(), k.blocks) << "x = " << k.x;
    }
}

TEST(TaviSemiOffline, ResetClearsOnlyTheCountSinceThePass)
{
    TaviSemiOffline t;
    TaviRecorder rec;
    ASSERT_EQ(start(t, rec, 4, 0, -1, 2), 0u);
    const std::vector<float> x(60 * kBlock + 100, 0.1f);
    t.pushData(x.data(), static_cast<unsigned>(x.size()));
    ASSERT_EQ(t.samplesSincePass(), 60 * kBlock);
    ASSERT_FALSE(t.inner()->featureGenerator()->frameFeatures().empty());

    t.reset();
    EXPECT_EQ(t.samplesSincePass(), 0);
    EXPECT_EQ(t.blockCount(), 60);
    EXPECT_EQ(t.bufferFill(), 100);
    EXPECT_TRUE(t.inner()->featureGenerator()->frameFeatures().empty()) << "the inner stretch restarts";
    EXPECT_EQ(t.inner()->featureGenerator()->beatDetector()->getNumFrames(), 0);
    EXPECT_TRUE(rec.events.empty());
}

TEST(TaviSemiOffline, WholeSongsReportBeatsAndBarsOfTheirMeter)
{
    struct Case {
        const char* what;
        int songBeatsPerBar;
        int w1, w2, w3, w4;
        int numerator;
    };
    const Case cases[] = {
        {"4/4, segmenter's default words", 4, 4, 0, -1, 2, 4},
        {"4/4, meter estimated", 4, -1, 0, -1, -1, 4},
        {"3/4", 3, 3, 0, -1, 2, 3},
        {"3/4, meter estimated", 3, -1, 0, -1, -1, 3},
    };
    for (const Case& k : cases) {
        TaviSemiOffline t;
        TaviRecorder rec;
        ASSERT_EQ(start(t, rec, k.w1, k.w2, k.w3, k.w4), 0u) << k.what;
        const std::vector<int64_t> passes = pushBlocks(t, song30(k.songBeatsPerBar), rec);
        EXPECT_TRUE(passes.empty()) << "30 s is decoded once, at finish";
        EXPECT_EQ(t.finish(), 0u);
        expectConsistentReports(rec, k.numerator, k.numerator, 4, k.what);
        expectBeatSpacing(rec, k.what);
        EXPECT_EQ(rec.of(4).at(0).ints[0], 0) << k.what;
        EXPECT_EQ(rec.of(0).at(0).ints[0], 0) << k.what;
    }
}

TEST(TaviSemiOffline, NullEntriesAreSkippedAndBufferedSamplesAreNotDecoded)
{
    TaviSemiOffline t;
    TaviRecorder rec;
    ASSERT_EQ(start(t, rec, 4, 0, -1, 2), 0u);
    t.beatCallback = nullptr;
    t.chordCallback = nullptr;
    const std::vector<float>& x = song30(4);
    const unsigned blocks = 8 * 44100 / kBlock;
    t.pushData(x.data(), blocks * kBlock + 100);
    ASSERT_EQ(t.finish(), 0u);
    EXPECT_EQ(t.inner()->samplesPushed(), blocks * kBlock);
    EXPECT_EQ(t.bufferFill(), 100);
    EXPECT_EQ(rec.count(3), 0);
    EXPECT_EQ(rec.count(0), 0);
    EXPECT_GT(rec.count(2), 10);
    EXPECT_EQ(rec.count(6), rec.count(2));
    EXPECT_GT(rec.count(1), 2);
    EXPECT_GE(rec.count(4), 1);
    EXPECT_EQ(rec.count(5), 1);
    for (const Event& e : rec.of(2))
        EXPECT_LT(e.ints[0], static_cast<int>(blocks * kBlock));
}

TEST(TaviSemiOffline, IntermediatePassesContinueTheBeatsAndBars)
{
    TaviSemiOffline t;
    TaviRecorder rec;
    ASSERT_EQ(start(t, rec, 4, 0, -1, 2, 1), 0u);
    ASSERT_EQ(t.updateInterval(), 3000);
    const std::vector<int64_t> passes = pushBlocks(t, song30(4), rec);
    EXPECT_EQ(passes, (std::vector<int64_t> {3003, 6006}));
    EXPECT_EQ(rec.count(5), 0) << "intermediate passes never report the end";
    const int beatsBeforeFinish = rec.count(3);
    EXPECT_EQ(t.finish(), 0u);
    EXPECT_GT(rec.count(3), beatsBeforeFinish);
    expectConsistentReports(rec, 4, 4, 4, "three passes");
    expectBeatSpacing(rec, "three passes");
    EXPECT_EQ(t.inner()->hypothesis(), t.inner()->chosenHypothesis())
        << "the beat grid is fixed after a pass";
}

TEST(TaviSemiOffline, ClientIntervalRunsTheFirstPassAfterAbout115Seconds)
{
    TaviSemiOffline t;
    TaviRecorder rec;
    ASSERT_EQ(start(t, rec, 4, 0, -1, 2), 0u);
    ASSERT_EQ(t.updateInterval(), 28255);
    const testsig::Signal clicks = testsig::clickTrack(120.0, 28258.0 * kBlock / 44100.0, 0.5f);
    const unsigned before = 28256 * kBlock;
    t.pushData(clicks.samples.data(), before);
    EXPECT_EQ(t.samplesSincePass(), static_cast<int64_t>(before));
    EXPECT_TRUE(rec.events.empty());
    t.pushData(clicks.samples.data() + before, kBlock);
    EXPECT_EQ(t.blockCount(), 28257);
    EXPECT_EQ(t.samplesSincePass(), 0);
    EXPECT_GT(rec.count(3), 50) << "the pass at block 28257 (" << 28257.0 * kBlock / 44100.0 << " s)";
    EXPECT_EQ(rec.count(5), 0);
}
