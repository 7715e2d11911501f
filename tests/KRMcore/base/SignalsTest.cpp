// The shared test signals are themselves checked here, so that analysis
// tests failing on them point at the analysis, not at the generator.
#include "Signals.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace testsig;

TEST(TestSignals, ClickTrackPlacesClicksOnTheBeatGrid)
{
    const Signal s = clickTrack(120.0, 3.0, 0.8f, 64, 100);
    ASSERT_EQ(s.events.size(), 6u);
    for (size_t k = 0; k < s.events.size(); ++k)
        EXPECT_EQ(s.events[k], 100 + static_cast<int64_t>(k) * 22050);
    EXPECT_NEAR(s.samples[100], 0.8f, 1e-6);
    EXPECT_EQ(s.samples[99], 0.0f);
    EXPECT_EQ(s.samples[100 + 64], 0.0f);
}

TEST(TestSignals, NoiseBurstGapsAreDigitalSilence)
{
    const Signal s = noiseBursts(3, 0.2, 0.1);
    ASSERT_EQ(s.events.size(), 2u);
    for (int64_t g : s.events)
        for (int64_t i = g; i < g + 4410; ++i)
            ASSERT_EQ(s.samples[static_cast<size_t>(i)], 0.0f);
    EXPECT_GT(peak(s.samples), 0.4f);
}

TEST(TestSignals, SongTruthMatchesItsBarsAndStaysInRange)
{
    SongSpec spec;
    spec.bpm = 120.0;
    spec.beatsPerBar = 3;
    spec.parts = {{"A", 2, {{0, false, false}, {9, true, false}}}, {"B", 2, {{5, false, true}}}};
    const Song song = makeSong(spec);
    ASSERT_EQ(song.beats.size(), 12u);
    ASSERT_EQ(song.downbeats.size(), 4u);
    EXPECT_EQ(song.downbeats[1], song.beats[3]);
    EXPECT_EQ(song.beats[1] - song.beats[0], 22050);
    EXPECT_EQ(song.partStarts, (std::vector<int64_t> {0, song.downbeats[2]}));
    EXPECT_EQ(song.beatChordRoot[3], 9);
    EXPECT_TRUE(song.beatChordMinor[3]);
    EXPECT_LE(peak(song.left), 0.951f);
    EXPECT_GT(peak(song.mono()), 0.1f);
}

TEST(TestSignals, MemorySourceReadsInterleavedFramesAndCounts)
{
    MemorySource src({1, 2, 3, 4, 5, 6}, 2);
    EXPECT_EQ(src.length(), 3);
    float buf[6] = {};
    EXPECT_EQ(src.read(buf, 2), 2);
    EXPECT_EQ(buf[3], 4.0f);
    EXPECT_EQ(src.read(buf, 5), 1);
    EXPECT_EQ(buf[1], 6.0f);
    EXPECT_EQ(src.read(buf, 5), 0);
    EXPECT_EQ(src.readCalls, 3);
    EXPECT_EQ(src.framesRead, 3);
    src.setReportedLength(-1);
    EXPECT_EQ(src.length(), -1);
    EXPECT_EQ(src.seek(1), 1);
}

TEST(TestSignals, ObserverRaisesAbortAtTheChosenProgressReport)
{
    RecordingObserver o;
    o.abortAfterProgress = 2;
    o.progress(10);
    EXPECT_EQ(o.abortRequest, 0);
    o.progress(20);
    EXPECT_EQ(o.abortRequest, 1);
    EXPECT_EQ(o.progressValues, (std::vector<int> {10, 20}));
}

TEST(TestSignals, FMeasureMatchesEachTrueEventOnce)
{
    // Truth 100, 200, 300, 400; tolerance 10. Rows: detections -> F.
    const std::vector<int64_t> truth {100, 200, 300, 400};
    struct Row {
        std::vector<int64_t> detected;
        double f;
    };
    const Row rows[] = {
        {{100, 200, 300, 400}, 1.0},
        {{95, 210, 289, 400}, 0.75},   // 289 is 11 away: 3 hits of 4
        {{100, 101, 102, 103}, 0.25},  // one detection per true event
        {{400, 300, 200, 100, 150, 250}, 2.0 * (4.0 / 6) * 1.0 / (4.0 / 6 + 1.0)},
        {{195, 203}, 2.0 * 0.5 * 0.25 / 0.75},  // the nearer 203 takes 200
        {{}, 0.0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(fMeasure(rows[i].detected, truth, 10), rows[i].f, 1e-12);
    }
}
