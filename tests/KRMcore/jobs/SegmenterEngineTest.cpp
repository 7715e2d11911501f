// The engine with the analysis library's section segmenter bound: a stop
// reaches the real analysis, and the import of a song of our own making
// runs beats, bars, meter and sections end to end.
#include "CKRMcore.h"
#include "IF_audioFileMngr.h"
#include "ImportPipeline.h"
#include "JobsFixture.h"
#include "Signals.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

testsig::SongSpec popSong()
{
    testsig::SongSpec spec;
    spec.bpm = 100.0;
    testsig::SongPart intro {"intro", 4, {{9, true, false}, {5, false, false}}};
    intro.drums = false;
    testsig::SongPart verse {
        "verse", 8, {{0, false, false}, {7, false, false}, {9, true, false}, {5, false, false}}};
    testsig::SongPart chorus {"chorus", 8, {{5, false, false}, {0, false, false}, {7, false, true}}};
    chorus.pad = false;
    chorus.stabs = true;
    testsig::SongPart ending {"ending", 4, {{0, false, false}}};
    ending.bass = false;
    spec.parts = {intro, verse, chorus, verse, chorus, ending};
    return spec;
}

TEST(SegmenterEngine, StopEndsTheRealFeaturePassAtItsNextReport)
{
    testsig::SongSpec spec = popSong();
    spec.parts.resize(2);
    QTemporaryDir dir;
    const QString path = dir.filePath("song.wav");
    ASSERT_TRUE(testwav::writeSong(path, testsig::makeSong(spec)));

    std::unique_ptr<IF_segmenter> job(createSegmenter());
    std::vector<int> seen;
    auto* seg = static_cast<segmenter*>(job.get());
    QObject::connect(seg, &IF_segmenter::signalProgress, [&](const unsigned char v) {
        seen.push_back(v);
        if (v == 3)
            job->stop();
    });
    try {
        job->run(path, SegmenterTimeSig());
        FAIL() << "the analysis went on after stop";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Aborted");
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 3);
    EXPECT_TRUE(job->segments().empty());
    EXPECT_FALSE(job->hasError());
}

TEST(SegmenterEngine, ImportOfASongGivesBeatsBarsTempoAndSections)
{
    const testsig::SongSpec spec = popSong();
    const testsig::Song song = testsig::makeSong(spec);
    QTemporaryDir dir;
    const QString audio = dir.filePath("song.wav");
    ASSERT_TRUE(testwav::writeSong(audio, song));

    // The import exactly as the window's worker runs it.
    CKRMcore core;
    const std::unique_ptr<IF_audioFileMngr> files(createAudioFileMngr());
    ImportPipeline pipeline(core, files.get(), AnalysisOptions());
    ImportDetails r;
    ASSERT_EQ(pipeline.run({audio, dir.filePath("KRM_temp.wav"), dir.filePath("song.awi"), QString()}, &r),
              0u)
        << core.errorText().toStdString();
    ASSERT_TRUE(r.segmenterRan);
    ASSERT_TRUE(r.completed);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("song.awi")));

    // Beats: the tracker's offset from the truth (median, over the beats
    // it tracked), then the beats as stored (moved onto onsets) against
    // the truth at +-50 ms once that constant offset is taken out. The raw
    // figure is printed: the recogniser's choice of which tracked beat
    // starts the grid can put every beat half a beat early.
    const auto nearestOffset = [&](int64_t b) {
        const auto it = std::min_element(song.beats.begin(), song.beats.end(), [&](int64_t x, int64_t y) {
            return std::llabs(x - b) < std::llabs(y - b);
        });
        return b - *it;
    };
    std::vector<int64_t> offsets;
    for (float t : r.trackedBeats)
        offsets.push_back(nearestOffset(std::llround(t * 44100.0)));
    ASSERT_FALSE(offsets.empty());
    std::nth_element(offsets.begin(), offsets.begin() + static_cast<long>(offsets.size() / 2), offsets.end());
    const int64_t lag = offsets[offsets.size() / 2];
    std::vector<int64_t> stored, aligned;
    for (float t : r.beats) {
        stored.push_back(std::llround(t * 44100.0));
        aligned.push_back(stored.back() - lag);
    }
    const int64_t tolerance = static_cast<int64_t>(0.05 * 44100);
    const testsig::EventScore raw = testsig::scoreEvents(stored, song.beats, tolerance);
    const testsig::EventScore score = testsig::scoreEvents(aligned, song.beats, tolerance);
    std::printf("tracker offset %.1f ms; beat F at 50 ms %.3f as stored, %.3f without the offset\n",
                lag / 44.1, raw.fMeasure, score.fMeasure);
    EXPECT_GT(score.fMeasure, 0.9) << "matched " << score.matched << " of " << score.truth << " from "
                                   << score.detected;
    // The offset stays within half a beat: the grid has the true period.
    EXPECT_LE(std::llabs(lag), static_cast<int64_t>(0.5 * 60.0 / spec.bpm * 44100.0));

    EXPECT_EQ(r.numerator, 4u);
    EXPECT_EQ(r.denominator, 4u);
    CommonInfo* common = nullptr;
    ASSERT_EQ(core.getProjectInfo()->getCommonInfo(&common), 0u);
    EXPECT_NEAR(common->tempo, spec.bpm, 0.02 * spec.bpm);

    std::vector<uint32_t> starts;
    for (uint8_t i = 0; i < 15; ++i) {
        SectionRecord* s = nullptr;
        ASSERT_EQ(core.getSecInfo(i, &s), 0u);
        if (s->used && s->waveIndex == 0)
            starts.push_back(s->startAdrs);
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    EXPECT_GE(starts.size(), 2u);
}

}  // namespace
