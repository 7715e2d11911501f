#include "JobsFixture.h"

#include <gtest/gtest.h>

#include <QDir>

using edit_test::QuietMessages;
using jobs_test::fakeFactory;
using jobs_test::JobsCore;
using jobs_test::SegmenterScript;

namespace {

WaveInfoRecord* analysedWave(const std::vector<float>& beats, const std::vector<float>& onsets)
{
    auto* w = new WaveInfoRecord;
    w->path = L"song.wav";
    w->beats = beats;
    w->onsets = onsets;
    return w;
}

}  // namespace

// A stored analysis is checked against the audio's length before it
// becomes the last wave; a rejected one leaves the project and the record
// with the caller.
TEST(AnalysisResults, ApplyWaveInfoChecksTheAnalysisAgainstTheAudio)
{
    QuietMessages quiet;
    testutil::TempDir dir;
    struct Case {
        const char* name;
        std::vector<float> beats, onsets;
        uint32_t frames;
        uint32_t code;
    };
    const Case cases[] = {
        {"last beat at the end", {0.0f, 0.5f, 1.0f}, {0.0f, 0.9f}, 44100, 0},
        {"last beat after the end", {0.0f, 0.5f, 1.0f}, {0.0f, 0.9f}, 44099, 0x80000006u},
        {"last onset after the end", {0.0f, 0.5f}, {0.0f, 1.0f}, 44099, 0x80000007u},
        {"no beats", {}, {0.0f, 0.5f}, 44100, 0},
        {"no onsets", {0.0f, 1.0f}, {}, 44100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobsCore source;
        source.addWave(analysedWave(c.beats, c.onsets));
        const std::wstring awi = dir.wpath("song.awi");
        ASSERT_EQ(source.saveAwi(awi, 0), 0u);

        JobsCore core;
        core.addWave(analysedWave({0.0f, 2.0f}, {0.0f}));
        auto* rec = new WaveInfoRecord;
        const uint32_t r = core.applyWaveInfo(rec, QString::fromStdWString(awi), c.frames);
        EXPECT_EQ(r, c.code);
        if (r == 0) {
            ASSERT_EQ(core.getProjectInfo()->waveCount(), 2u);
            EXPECT_EQ(core.wave(1).beats, c.beats);
            EXPECT_EQ(core.wave(1).onsets, c.onsets);
            EXPECT_EQ(core.undoCount(), 1);
            EXPECT_EQ(core.undoText(0), "set all");
            EXPECT_TRUE(core.errorText().isEmpty());
        } else {
            EXPECT_EQ(core.errorText(), "Illegal analyzed file!");
            EXPECT_EQ(core.getProjectInfo()->waveCount(), 1u);
            EXPECT_EQ(core.wave(0).beats, (std::vector<float> {0.0f, 2.0f}));
            EXPECT_EQ(core.undoCount(), 0);
            delete rec;  // still the caller's
        }
    }

    JobsCore core;
    auto* rec = new WaveInfoRecord;
    EXPECT_EQ(core.applyWaveInfo(rec, dir.path("missing.awi"), 44100), 0x80000123u);
    EXPECT_EQ(core.getProjectInfo()->waveCount(), 0u);
    delete rec;
}

// The wave is the audio the caller names, not the name stored in the file:
// an ".awi" copied beside another take, or kept in the cache, still gives
// the caller's audio. Without a name the stored one is placed beside the
// file.
TEST(AnalysisResults, TheWaveIsTheAudioTheCallerNames)
{
    QuietMessages quiet;
    testutil::TempDir dir;
    JobsCore source;
    source.addWave(analysedWave({0.0f, 0.5f}, {0.0f, 0.9f}));
    const std::wstring awi = dir.wpath("cache/0123.awi");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdWString(dir.wpath("cache"))));
    ASSERT_EQ(source.saveAwi(awi, 0), 0u);
    struct Case {
        const char* name;
        std::wstring given, expected;
    } const cases[] = {
        {"named by the caller", L"/media/stick/take.wav", L"/media/stick/take.wav"},
        {"no name given", L"", dir.wpath("cache/song.wav")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobsCore core;
        auto* rec = new WaveInfoRecord;
        rec->path = c.given;
        ASSERT_EQ(core.applyWaveInfo(rec, QString::fromStdWString(awi), 44100), 0u);
        EXPECT_EQ(core.wave(0).path, c.expected);
    }
}

TEST(AnalysisResults, SegmentMarksReplaceTheListsOfWaveZero)
{
    QuietMessages quiet;
    const std::vector<SegmentMark> before {{1.0f, 7}}, marks {{0.0f, 1}, {2.5f, 2}};
    struct Case {
        uint8_t mask;
        std::vector<SegmentMark> detected, fitted;
    };
    const Case cases[] = {{3, marks, marks}, {2, before, marks}, {1, marks, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.mask));
        JobsCore core;
        WaveInfoRecord* w = analysedWave({0.0f}, {0.0f});
        w->detectedMarks = w->fittedMarks = before;
        core.addWave(w);
        EXPECT_EQ(core.setSegMarks(marks, c.mask), 0u);
        EXPECT_EQ(core.wave(0).detectedMarks, c.detected);
        EXPECT_EQ(core.wave(0).fittedMarks, c.fitted);
        EXPECT_EQ(core.undoCount(), 0);
    }
    JobsCore empty;
    EXPECT_EQ(empty.setSegMarks(marks, 3), 0x80000011u);
}

TEST(AnalysisResults, RunSegmenterStoresTheSegmentStartsAsMarks)
{
    QuietMessages quiet;
    SegmenterScript script;
    script.segments = {{0.0f, 2.0f, 0, 0x10002}, {2.0f, 4.5f, 4, 1}};
    SegmenterTimeSig ts;

    JobsCore noWaves;
    auto* job = new segmenter(fakeFactory(script));
    noWaves.useSegmenter(job);
    EXPECT_EQ(noWaves.segmenterObject(), job);
    EXPECT_EQ(noWaves.runSegmenter("missing.wav", ts), 0x80000013u);
    EXPECT_EQ(script.calls.back(), "analyze");  // the job ran first

    JobsCore core;
    core.useSegmenter(new segmenter(fakeFactory(script)));
    core.addWave(analysedWave({0.0f}, {0.0f}));
    EXPECT_EQ(core.runSegmenter("missing.wav", ts), 0u);
    const std::vector<SegmentMark> expected {{0.0f, 2}, {2.0f, 1}};
    EXPECT_EQ(core.wave(0).detectedMarks, expected);
    EXPECT_EQ(core.wave(0).fittedMarks, expected);
    EXPECT_EQ(core.undoCount(), 0);
    EXPECT_FALSE(core.hasError());

    // Without a job, and with one that the build cannot run.
    JobsCore none;
    none.useSegmenter(nullptr);
    EXPECT_EQ(none.runSegmenter("missing.wav", ts), 0x80000001u);
    EXPECT_EQ(none.segmenterObject(), nullptr);
    std::vector<float> beats {1.0f};
    uint32_t num = 4, den = 4;
    none.stopSegmenter();
    none.dumpSegmenter(beats, num, den);
    EXPECT_EQ(beats, std::vector<float> {1.0f});
    EXPECT_FALSE(none.hasError());

    JobsCore unbound;
    unbound.useSegmenter(new segmenter(SectionSegmenterFactory()));
    EXPECT_EQ(unbound.runSegmenter("missing.wav", ts), 0x80000012u);
    EXPECT_TRUE(unbound.hasError());
}
