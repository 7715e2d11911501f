#include "Segmenter/SectionSegmenter.h"
#include "Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

template <typename F> std::string errorText(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST(SectionSegmenter, SettersTakeOnlyValuesInRange)
{
    SectionSegmenter seg;
    const SegmenterState& s = seg.state();
    EXPECT_EQ(s.sizeA, 20);
    EXPECT_EQ(s.sizeB, 8);
    EXPECT_EQ(s.sizeC, 5);
    EXPECT_EQ(s.ndim, 5);
    EXPECT_EQ(s.hyperC, 0.01);
    EXPECT_EQ(s.priors[0], 1.0);
    EXPECT_EQ(s.priors[1], 0.01);
    EXPECT_EQ(s.priors[2], 0.01);
    EXPECT_EQ(s.hyperB, 0.1);
    EXPECT_EQ(s.hyperA, 0.9);
    EXPECT_EQ(std::vector<int>(s.words, s.words + 4), (std::vector<int> {4, 0, -1, 2}));
    EXPECT_EQ(seg.maxMinutes, 60);
    EXPECT_EQ(s.bestBound, 0.0);

    const struct {
        const char* name;
        std::function<void()> set;
        std::function<double()> get;
        double expected;
    } cases[] = {
        {"sizeA 0", [&] { seg.setEstimatorSizeA(0); }, [&] { return s.sizeA; }, 20},
        {"sizeA 64", [&] { seg.setEstimatorSizeA(64); }, [&] { return s.sizeA; }, 20},
        {"sizeA 63", [&] { seg.setEstimatorSizeA(63); }, [&] { return s.sizeA; }, 63},
        {"sizeC 0", [&] { seg.setEstimatorSizeC(0); }, [&] { return s.sizeC; }, 5},
        {"sizeC 1", [&] { seg.setEstimatorSizeC(1); }, [&] { return s.sizeC; }, 1},
        {"ndim 0", [&] { seg.setNdim(0); }, [&] { return s.ndim; }, 5},
        {"ndim 1", [&] { seg.setNdim(1); }, [&] { return s.ndim; }, 1},
        {"C 0", [&] { seg.setHyperParameterC(0.0); }, [&] { return s.hyperC; }, 0.01},
        {"C 2", [&] { seg.setHyperParameterC(2.0); }, [&] { return s.hyperC; }, 2.0},
        {"B -1", [&] { seg.setHyperParameterB(-1.0); }, [&] { return s.hyperB; }, 0.1},
        {"A 3", [&] { seg.setHyperParameterA(3.0); }, [&] { return s.hyperA; }, 3.0},
        {"priors 0", [&] { seg.setPriors(-1.0, 0.5, 0.0); }, [&] { return s.priors[0]; }, 1.0},
        {"priors 1", [] {}, [&] { return s.priors[1]; }, 0.5},
        {"priors 2", [] {}, [&] { return s.priors[2]; }, 0.01},
        {"words", [&] { seg.setTimeSignature(-1, 1, 3, -1); }, [&] { return s.words[2]; }, 3},
    };
    for (const auto& c : cases) {
        c.set();
        EXPECT_EQ(c.get(), c.expected) << c.name;
    }
    EXPECT_EQ(&seg.setNdim(2).setEstimatorSizeA(4), &seg);
}

TEST(SectionSegmenter, RefusesSourcesOverAnHourBeforeReading)
{
    for (float rate : {44100.0f, 8000.0f}) {
        testsig::MemorySource source(std::vector<float>(16, 0.0f), 1, rate);
        source.setReportedLength(static_cast<int32_t>(rate * 3600.0f) + 1000);
        testsig::RecordingObserver seen;
        SectionSegmenter seg;
        seg.setProgress(&seen);
        EXPECT_EQ(errorText([&] { seg.analyze(source); }), "Cannot analyze waveform this long") << rate;
        EXPECT_EQ(source.readCalls, 0);
        EXPECT_EQ(source.seekCalls, 0);
    }
}

TEST(SectionSegmenter, NoBarsGiveNoSegments)
{
    testsig::MemorySource silence(std::vector<float>(5 * 44100, 0.0f), 1);
    testsig::RecordingObserver seen;
    SectionSegmenter seg;
    seg.setProgress(&seen);
    seg.analyze(silence);
    EXPECT_TRUE(seg.getSegments().empty());
    EXPECT_TRUE(seen.segments.empty());
    EXPECT_EQ(seen.progressValues.back(), 100);
    EXPECT_EQ(seen.notifyCount, 1);
}

// A B A B, eight bars each at 120 BPM: A with a pad over one progression,
// B with off-beat stabs over another and no pad.
testsig::Song abab(int barsPerPart)
{
    testsig::SongSpec spec;
    spec.bpm = 120.0;
    testsig::SongPart a {
        "A", barsPerPart, {{0, false, false}, {7, false, false}, {9, true, false}, {5, false, false}}};
    testsig::SongPart b {"B", barsPerPart, {{2, true, true}, {4, true, false}, {10, false, true}}};
    b.pad = false;
    b.stabs = true;
    spec.parts = {a, b, a, b};
    return testsig::makeSong(spec);
}

struct Analysis {
    std::vector<RkMir::SegmentRecord> records;
    std::vector<float> beats;
    testsig::RecordingObserver seen;
};

bool sameRecords(const std::vector<RkMir::SegmentRecord>& a, const std::vector<RkMir::SegmentRecord>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].start != b[i].start || a[i].end != b[i].end || a[i].beatIndex != b[i].beatIndex ||
            a[i].label != b[i].label)
            return false;
    return true;
}

uint32_t labelAt(const std::vector<RkMir::SegmentRecord>& records, double t)
{
    for (const auto& r : records)
        if (t >= r.start && t < r.end)
            return r.label;
    return 999;
}

class SongAnalysis : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_song = new testsig::Song(abab(8));
        testsig::MemorySource source(testsig::interleave(s_song->left, s_song->right), 2);
        s_first = new Analysis;
        s_segmenter = new SectionSegmenter;
        s_segmenter->setProgress(&s_first->seen);
        s_segmenter->analyze(source);
        s_first->records = s_segmenter->getSegments();
        s_first->beats = s_segmenter->getGeneratorIndices();
    }
    static void TearDownTestSuite()
    {
        delete s_segmenter;
        delete s_first;
        delete s_song;
    }
    static testsig::Song* s_song;
    static Analysis* s_first;
    static SectionSegmenter* s_segmenter;
};
testsig::Song* SongAnalysis::s_song = nullptr;
Analysis* SongAnalysis::s_first = nullptr;
SectionSegmenter* SongAnalysis::s_segmenter = nullptr;

TEST_F(SongAnalysis, RecordsAreContiguousAndRepeatLabels)
{
    const auto& records = s_first->records;
    ASSERT_GE(records.size(), 2u);
    const double end = static_cast<double>(s_song->left.size() / 180 * 180) / 44100.0;
    EXPECT_FLOAT_EQ(records.back().end, static_cast<float>(end));
    for (size_t i = 1; i < records.size(); ++i)
        EXPECT_EQ(records[i].start, records[i - 1].end) << i;
    EXPECT_EQ(records[0].label, 0u);
    uint32_t next = 0;
    for (const auto& r : records) {
        EXPECT_LE(r.label, next);
        next = std::max(next, r.label + 1);
    }
    // The first bar lies within the first beats.
    EXPECT_LT(records[0].start, 2.0f);
    // One bar into the third part it carries the first part's label (the
    // recurring pair A B may merge the whole song into one label).
    const double bar = 2.0, partLength = 8 * bar;
    EXPECT_EQ(labelAt(records, 2 * partLength + bar), labelAt(records, bar));
    EXPECT_EQ(labelAt(records, 3 * partLength + bar), labelAt(records, partLength + bar));
    // The segmenter finds the part boundaries (within a beat of the truth).
    for (int part = 1; part < 4; ++part) {
        bool near = false;
        for (const auto& r : records)
            near = near || std::fabs(r.start - part * partLength) < 0.5;
        EXPECT_TRUE(near) << "part " << part;
    }

    // Each record went to the observer as well; the beats are those seen.
    EXPECT_TRUE(sameRecords(s_first->seen.segments, records));
    EXPECT_EQ(s_first->beats.size(), s_first->seen.beats.size());
    EXPECT_FALSE(s_first->seen.chords.empty());
    EXPECT_FALSE(s_first->seen.keys.empty());
    EXPECT_FALSE(s_first->seen.beatPositions.empty());
    ASSERT_FALSE(s_first->seen.bars.empty());
    EXPECT_EQ(s_first->seen.bars[0].beatsPerBar, 4);
    EXPECT_EQ(s_first->seen.bars[0].beatUnit, 4);
    for (const auto& r : records)
        EXPECT_LT(r.beatIndex, s_first->beats.size());
}

TEST_F(SongAnalysis, ProgressRunsThroughBothPassesAndTheRuns)
{
    const std::vector<int>& p = s_first->seen.progressValues;
    ASSERT_GE(p.size(), 14u);
    EXPECT_EQ(p.front(), 0);
    const std::vector<int> tail {25, 50, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100};
    EXPECT_EQ(std::vector<int>(p.end() - static_cast<long>(tail.size()), p.end()), tail);
    for (size_t i = 1; i + tail.size() < p.size(); ++i)
        EXPECT_LT(p[i], 25);
    EXPECT_EQ(s_first->seen.notifyCount, 1);
}

TEST_F(SongAnalysis, AnalysesAreReproducible)
{
    // Again on the same object, and on a fresh one in between.
    testsig::MemorySource source(testsig::interleave(s_song->left, s_song->right), 2);
    SectionSegmenter other;
    other.analyze(source);
    EXPECT_TRUE(sameRecords(other.getSegments(), s_first->records));
    s_segmenter->setProgress(nullptr);
    s_segmenter->analyze(source);
    EXPECT_TRUE(sameRecords(s_segmenter->getSegments(), s_first->records));
    EXPECT_EQ(s_segmenter->getGeneratorIndices(), s_first->beats);
}

TEST(SectionSegmenter, AbortEndsTheAnalysisRightAfterAReport)
{
    const testsig::Song song = abab(2);
    const std::vector<float> stereo = testsig::interleave(song.left, song.right);
    testsig::RecordingObserver full;
    {
        testsig::MemorySource source(stereo, 2);
        SectionSegmenter seg;
        seg.setProgress(&full);
        seg.analyze(source);
    }
    const std::vector<int>& p = full.progressValues;
    const auto firstOf = [&](int value) {
        return static_cast<int>(std::find(p.begin(), p.end(), value) - p.begin()) + 1;
    };
    // The n-th report raises the request: the first pass (report 2), the
    // frame pass (its 25), and the estimator runs (55).
    const int frameReport =
        static_cast<int>(std::find(p.begin() + 1, p.end(), 50) - p.begin());  // the 25 before 50
    for (int n : {2, frameReport, firstOf(55)}) {
        testsig::MemorySource source(stereo, 2);
        testsig::RecordingObserver seen;
        seen.abortAfterProgress = n;
        SectionSegmenter seg;
        seg.setProgress(&seen);
        EXPECT_EQ(errorText([&] { seg.analyze(source); }), "Aborted") << n;
        EXPECT_EQ(static_cast<int>(seen.progressValues.size()), n);
        EXPECT_TRUE(seen.segments.empty());
        EXPECT_EQ(seen.notifyCount, 0);
    }
}

// Gives the whole audio to the first pass, and only its first half once
// the frame pass seeks back (the third seek).
class ShrinkingSource : public testsig::MemorySource {
public:
    using MemorySource::MemorySource;
    int32_t seek(int32_t position) override
    {
        ++m_seeks;
        m_sinceSeek = 0;
        return MemorySource::seek(position);
    }
    int32_t read(float* buffer, int32_t frames) override
    {
        if (m_seeks >= 3 && m_sinceSeek + frames > length() / 2)
            return 0;
        m_sinceSeek += frames;
        return MemorySource::read(buffer, frames);
    }

private:
    int m_seeks = 0;
    int64_t m_sinceSeek = 0;
};

TEST(SectionSegmenter, FewerRowsThanBarsAreReportedAndDecodedSafely)
{
    const testsig::Song song = abab(3);
    ShrinkingSource source(testsig::interleave(song.left, song.right), 2);
    SectionSegmenter seg;
    ::testing::internal::CaptureStderr();
    seg.analyze(source);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("BEATLEN != DATA-ROWS\n"), std::string::npos);
    const auto records = seg.getSegments();
    ASSERT_FALSE(records.empty());
    for (size_t i = 1; i < records.size(); ++i)
        EXPECT_EQ(records[i].start, records[i - 1].end);
    EXPECT_LE(records.back().start, song.left.size() / 2 / 44100.0 + 2.0);
}

}  // namespace
