#include "../DebugCapture.h"
#include "JobsFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <thread>

using jobs_test::fakeFactory;
using jobs_test::SegmenterScript;

namespace {

SegmenterTimeSig timeSig(uint8_t given, uint8_t num, uint8_t den)
{
    SegmenterTimeSig ts;
    ts.given = given;
    ts.numerator = num;
    ts.denominator = den;
    return ts;
}

// The configuration the job gives every run, before the meter hint.
const std::vector<std::string> kConfiguration = {
    "C 0.01", "priors 1 0.01 0.01", "ndim 5", "B 0.1", "A 0.9", "sizeA 20", "sizeC 5",
};

}  // namespace

TEST(SegmenterJob, MeterHintAndConfigurationInOrder)
{
    struct Case {
        uint8_t given, num, den;
        const char* hint;
    };
    const Case cases[] = {
        {1, 2, 4, "ts 2 0 -1 2"},    {1, 3, 4, "ts 3 0 -1 2"},   {1, 4, 4, "ts 4 0 -1 2"},
        {1, 6, 8, "ts 2 0 -1 3"},    {1, 9, 8, "ts 3 0 -1 3"},   {1, 12, 8, "ts 4 0 -1 3"},
        {1, 5, 4, "ts -1 0 -1 -1"},  {1, 1, 4, "ts -1 0 -1 -1"}, {1, 3, 8, "ts -1 0 -1 -1"},
        {1, 4, 16, "ts -1 0 -1 -1"}, {1, 2, 2, "ts -1 0 -1 -1"}, {0, 3, 4, "ts -1 0 -1 -1"},
        {2, 4, 4, "ts -1 0 -1 -1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.given) << " " << int(c.num) << "/" << int(c.den));
        SegmenterScript script;
        segmenter job(fakeFactory(script));
        EXPECT_EQ(job.run("missing.wav", timeSig(c.given, c.num, c.den)), 0u);

        std::vector<std::string> expected = kConfiguration;
        expected.insert(expected.end(), {c.hint, "progress", "analyze"});
        EXPECT_EQ(script.calls, expected);

        // No meter reported: the job keeps the argument's bytes.
        std::vector<float> beats;
        uint32_t num = 0, den = 0;
        DebugCapture quiet;
        job.dump(beats, num, den);
        EXPECT_EQ(num, c.num);
        EXPECT_EQ(den, c.den);
        EXPECT_FALSE(job.hasError());
        EXPECT_TRUE(job.errorText().isEmpty());
    }
}

TEST(SegmenterJob, KeepsSegmentsBeatTimesAndReportedMeter)
{
    SegmenterScript script;
    script.meter = RkMir::BarEvent {4, 1, 3, 4};
    script.beatTimes = {0.5f, 1.0f, 1.5f};
    script.segments = {{0.0f, 4.0f, 0, 0}, {4.0f, 9.5f, 8, 0x12345}};
    segmenter job(fakeFactory(script));
    job.setSegments({{3, 1.0f, 2.0f, 7}});

    EXPECT_EQ(job.run("missing.wav", timeSig(1, 4, 4)), 0u);
    ASSERT_EQ(job.segments().size(), 2u);
    const SegmentEntry& e = job.segments()[1];
    EXPECT_EQ(e.section, 15);
    EXPECT_EQ(e.start, 4.0f);
    EXPECT_EQ(e.end, 9.5f);
    EXPECT_EQ(e.label, 0x12345u);
    EXPECT_EQ(job.segments()[0].section, 15);

    std::vector<float> beats {9.0f};
    uint32_t num = 0, den = 0;
    DebugCapture quiet;
    job.dump(beats, num, den);
    EXPECT_EQ(beats, script.beatTimes);
    EXPECT_EQ(num, 3u);
    EXPECT_EQ(den, 4u);
    EXPECT_FALSE(job.hasError());
}

TEST(SegmenterJob, FreshDumpAndSegmentList)
{
    segmenter job(SectionSegmenterFactory {});
    std::vector<float> beats {1.0f, 2.0f};
    uint32_t num = 0, den = 0;
    DebugCapture log;
    job.dump(beats, num, den);
    EXPECT_TRUE(beats.empty());
    EXPECT_EQ(num, 4u);
    EXPECT_EQ(den, 4u);
    EXPECT_EQ(log.lines, QStringList {"number of information = 0 beat = 0 feature = 0 time sig. = 4/4"});

    EXPECT_EQ(job.setSegments({{15, 0.0f, 1.0f, 2}, {15, 1.0f, 2.0f, 3}}), 2);
    EXPECT_EQ(job.setSegments({}), 0);
    EXPECT_TRUE(job.segments().empty());
}

// The analysis runs on a worker thread; the job lives on this one, so the
// progress arrives here queued, in order, and only once events are
// processed.
TEST(SegmenterJob, ProgressReachesTheJobsThreadQueued)
{
    SegmenterScript script;
    segmenter job(fakeFactory(script));
    std::vector<int> seen;
    bool offThread = false;
    QObject::connect(&job, &IF_segmenter::signalProgress, [&](const unsigned char v) {
        offThread |= QThread::currentThread() != job.thread();
        seen.push_back(v);
    });

    uint32_t result = 1;
    std::thread worker([&] { result = job.run("missing.wav", timeSig(0, 4, 4)); });
    worker.join();
    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(seen.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, script.progress);
    EXPECT_FALSE(offThread);

    // On the job's own thread the relay is direct.
    seen.clear();
    job.run("missing.wav", timeSig(0, 4, 4));
    EXPECT_EQ(seen, script.progress);
}

TEST(SegmenterJob, StopEndsTheAnalysisAtItsNextProgressReport)
{
    SegmenterScript script;
    script.segments = {{0.0f, 2.0f, 0, 0}};
    segmenter job(fakeFactory(script));
    ASSERT_EQ(job.run("missing.wav", timeSig(0, 4, 4)), 0u);

    // A stop left over from before does not end the next run.
    job.stop();
    std::vector<int> reported;
    script.afterProgress = [&](int p) {
        reported.push_back(p);
        if (p == 10)
            job.stop();
    };
    script.segments = {{0.0f, 1.0f, 0, 4}, {1.0f, 2.0f, 0, 5}};
    try {
        job.run("missing.wav", timeSig(0, 4, 4));
        FAIL() << "the run went on after stop";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Aborted");
    }
    EXPECT_EQ(reported, (std::vector<int> {0, 10, 25}));
    EXPECT_FALSE(job.hasError());

    // The engine's guarded call turns the exception into its code.
    jobs_test::JobsCore core;
    SegmenterScript engineScript;
    auto* engineJob = new segmenter(fakeFactory(engineScript));
    core.useSegmenter(engineJob);
    engineScript.afterProgress = [&](int p) {
        if (p == 10)
            core.stopSegmenter();
    };
    EXPECT_EQ(core.runSegmenter("missing.wav", timeSig(0, 4, 4)), 0x80000005u);
    EXPECT_TRUE(core.hasError());
}

// One job analyses every file of a batch: a run that fails keeps nothing of
// the file before it, neither its segments nor its beats nor its meter.
TEST(SegmenterJob, AFailedRunLeavesNothingOfTheRunBefore)
{
    SegmenterScript script;
    script.meter = RkMir::BarEvent {0, 0, 3, 4};
    script.beatTimes = {0.5f, 1.0f, 1.5f};
    script.segments = {{0.0f, 2.0f, 0, 0}};
    segmenter job(fakeFactory(script));
    ASSERT_EQ(job.run("a.wav", timeSig(0, 4, 4)), 0u);
    ASSERT_EQ(job.segments().size(), 1u);

    script.beforeAnalyze = [] { throw std::runtime_error("refused"); };
    EXPECT_THROW(job.run("b.wav", timeSig(0, 2, 4)), std::runtime_error);
    EXPECT_TRUE(job.segments().empty());
    std::vector<float> beats {9.0f};
    uint32_t num = 0, den = 0;
    DebugCapture quiet;
    job.dump(beats, num, den);
    EXPECT_TRUE(beats.empty());
    EXPECT_EQ(num, 2u);  // the caller's meter of this run
    EXPECT_EQ(den, 4u);

    // A job without a segmenter refuses the run, and keeps nothing either.
    segmenter none(SectionSegmenterFactory {});
    EXPECT_NE(none.run("a.wav", timeSig(0, 3, 8)), 0u);
    none.dump(beats, num, den);
    EXPECT_TRUE(beats.empty());
    EXPECT_EQ(num, 3u);
    EXPECT_EQ(den, 8u);
}
