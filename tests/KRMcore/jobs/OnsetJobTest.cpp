#include "JobsFixture.h"
#include "Signals.h"
#include "onsetAnalyzer.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace OnsetEngine;

namespace {

// Records what the job hands the onset engine and plays a scripted part.
struct EngineLog {
    std::vector<SourceInfo> inits;
    std::vector<Range> ranges;  // as passed, before the engine writes them
    std::vector<Params> params;
    int processCalls = 0;
    int finishCalls = 0;
    std::vector<int32_t> positions;
    bool initThrows = false;
    bool processThrows = false;
};

OnsetEngineCalls recording(EngineLog& log)
{
    OnsetEngineCalls c;
    c.init = [&log](State&, const SourceInfo& info) {
        log.inits.push_back(info);
        if (log.initThrows)
            throw std::bad_alloc();
    };
    c.process = [&log](ISeekable<float>&, State&, const SourceInfo&, std::vector<int32_t>& out, Range& range,
                       const Params& p) {
        ++log.processCalls;
        log.ranges.push_back(range);
        log.params.push_back(p);
        out.insert(out.end(), log.positions.begin(), log.positions.end());
        if (log.processThrows)
            throw std::runtime_error("process failed");
    };
    c.finish = [&log](State&) { ++log.finishCalls; };
    return c;
}

template <typename T> bool sameBytes(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

class OnsetJob : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(testwav::writePcm16(path, std::vector<int16_t>(2 * kFrames, 0))); }
    static constexpr int32_t kFrames = 1000;
    testutil::TempDir dir;
    QString path = dir.path("work.wav");
    EngineLog log;
};

}  // namespace

TEST_F(OnsetJob, PassesItsRecordsAndAppendsSecondsBehindEarlierValues)
{
    onsetAnalyzer job(recording(log));
    log.positions = {0, 22050, 44100};
    uint32_t frames = 0;
    std::vector<float> onsets {7.0f};
    EXPECT_EQ(job.analyze(path, frames, onsets), 0u);
    EXPECT_EQ(frames, uint32_t(kFrames));
    EXPECT_EQ(onsets, (std::vector<float> {7.0f, 0.0f, 0.5f, 1.0f}));

    ASSERT_EQ(log.inits.size(), 1u);
    EXPECT_TRUE(sameBytes(log.inits[0], SourceInfo {0, 0, kFrames, 44100, 16, 0, kFrames}));
    ASSERT_EQ(log.ranges.size(), 1u);
    EXPECT_TRUE(sameBytes(log.ranges[0], Range {0, 0, 0, 4, 0, 0, 4}));
    EXPECT_TRUE(sameBytes(log.params[0], Params {0, 0, 2, 150, 0, 94}));
    EXPECT_EQ(log.finishCalls, 1);
    EXPECT_FALSE(job.hasError());
}

TEST_F(OnsetJob, EngineThatCannotStartIsAReportedFailure)
{
    onsetAnalyzer job(recording(log));
    log.initThrows = true;
    log.positions = {100};
    uint32_t frames = 0;
    std::vector<float> onsets {1.0f};
    EXPECT_EQ(job.analyze(path, frames, onsets), 0x80000003u);
    EXPECT_EQ(onsets, std::vector<float> {1.0f});
    EXPECT_EQ(log.processCalls, 0);
    EXPECT_EQ(log.finishCalls, 1);
    EXPECT_TRUE(job.hasError());
    EXPECT_EQ(job.errorText(), "onset analyze process returens some error!");
    job.clearError();
    EXPECT_FALSE(job.hasError());
    EXPECT_TRUE(job.errorText().isEmpty());
}

TEST_F(OnsetJob, ProcessingExceptionPassesThroughAfterTheEngineEnds)
{
    log.processThrows = true;
    onsetAnalyzer job(recording(log));
    uint32_t frames = 0;
    std::vector<float> onsets;
    EXPECT_THROW(job.analyze(path, frames, onsets), std::runtime_error);
    EXPECT_EQ(log.finishCalls, 1);
    EXPECT_FALSE(job.hasError());

    // The engine's guarded call gives its own code and raises its flag.
    jobs_test::JobsCore core;
    core.useOnsetAnalyzer(new onsetAnalyzer(recording(log)));
    EXPECT_EQ(core.analyzeOnset(path, frames, onsets), 0x80000002u);
    EXPECT_EQ(log.finishCalls, 2);
    EXPECT_TRUE(core.hasError());
}

// The library's engine behind the job, on a click track written to a file.
TEST_F(OnsetJob, FindsTheClicksOfATrack)
{
    const testsig::Signal clicks = testsig::clickTrack(120.0, 4.0, 0.8f, 64, 4410);
    ASSERT_TRUE(testwav::writeMonoAsStereo(path, clicks.samples));
    std::unique_ptr<IF_onsetAnalyzer> job(createOnsetAnalyzer());
    uint32_t frames = 0;
    std::vector<float> onsets;
    ASSERT_EQ(job->analyze(path, frames, onsets), 0u);
    EXPECT_EQ(frames, clicks.samples.size());

    std::vector<int64_t> found;
    for (float t : onsets)
        found.push_back(static_cast<int64_t>(std::lround(t * 44100.0)));
    const testsig::EventScore score = testsig::scoreEvents(found, clicks.events, 2205);
    EXPECT_EQ(score.matched, int(clicks.events.size()));
    EXPECT_GE(score.precision, 0.9);
}
