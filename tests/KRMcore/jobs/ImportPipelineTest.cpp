// The import pipeline on its own, without a Qt thread: the beats it stores
// stay ascending when the last onset meets or precedes the last beat, and
// the listener hears the step boundaries and can stop the file.
#include "IF_audioFileMngr.h"
#include "ImportPipeline.h"
#include "JobsFixture.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

using jobs_test::SegmenterScript;

namespace {

constexpr uint32_t kFrames = 3 * 44100;  // three seconds of silence

struct Recorder : ImportListener {
    void progress(uint8_t percent) override { seen.push_back(percent); }
    bool stopRequested() override { return stopAt >= 0 && !seen.empty() && seen.back() >= stopAt; }
    std::vector<int> seen;
    int stopAt = -1;
};

class ImportPipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_paths = {m_dir.filePath("quiet.wav"), m_dir.filePath("KRM_temp.wav"), m_dir.filePath("quiet.awi")};
        ASSERT_TRUE(testwav::writePcm16(m_paths.audio, std::vector<int16_t>(2 * kFrames, 0)));
    }
    // Imports the file with the segmenter finding `beats`.
    uint32_t import(jobs_test::JobsCore& core, const std::vector<float>& beats, ImportDetails& details,
                    Recorder* listener = nullptr)
    {
        m_script.beatTimes = beats;
        m_script.segments = {{0.0f, 3.0f, 0, 0}};
        core.useSegmenter(new segmenter(jobs_test::fakeFactory(m_script)));
        ImportPipeline pipeline(core, m_files.get(), AnalysisOptions(), listener);
        return pipeline.run(m_paths, &details);
    }
    QTemporaryDir m_dir;
    ImportPaths m_paths;
    SegmenterScript m_script;
    std::unique_ptr<IF_audioFileMngr> m_files {createAudioFileMngr()};
};

}  // namespace

// The audio ends at 3 s, and so does the onset list. The last onset
// becomes a beat only when it is later than the last beat: a list that
// already ends there, with few beats or with many, stays ascending.
TEST_F(ImportPipelineTest, TheLastOnsetIsABeatOnlyAfterTheLastBeat)
{
    struct Case {
        const char* name;
        std::vector<float> beats;
    } const cases[] = {
        {"few beats ending at the end", {0.0f, 1.0f, 2.0f, 3.0f}},
        {"few beats before the end", {0.0f, 1.0f, 2.0f}},
        {"many beats ending at the end", {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 2.5f, 3.0f}},
        {"many beats, the end one more", {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 2.5f}},
    };
    for (const Case& c : cases) {
        jobs_test::JobsCore core;
        ImportDetails details;
        ASSERT_EQ(import(core, c.beats, details), 0u) << c.name << ": " << core.errorText().toStdString();
        ASSERT_TRUE(details.completed) << c.name;
        const std::vector<float>& stored = core.wave(0).beats;
        ASSERT_GE(stored.size(), c.beats.size()) << c.name;
        for (size_t i = 1; i < stored.size(); ++i)
            EXPECT_LT(stored[i - 1], stored[i]) << c.name << " at " << i;
        EXPECT_EQ(stored.back(), 3.0f) << c.name;
        // What the window loads back holds the same list.
        CKRMcore loaded;
        auto* rec = new WaveInfoRecord;
        ASSERT_EQ(loaded.applyWaveInfo(rec, m_paths.waveInfo, kFrames), 0u) << c.name;
        WaveInfoRecord* wave = nullptr;
        ASSERT_EQ(loaded.getWavInfo(0, &wave), 0u);
        EXPECT_EQ(wave->beats, stored) << c.name;
    }
}

TEST_F(ImportPipelineTest, StepsReportTheirProgressAndAStopWritesNothing)
{
    const std::vector<float> beats {0.0f, 1.0f, 2.0f};
    {
        jobs_test::JobsCore core;
        Recorder listener;
        ImportDetails details;
        ASSERT_EQ(import(core, beats, details, &listener), 0u);
        EXPECT_EQ(listener.seen, (std::vector<int> {0, 5, 10, 80, 85, 90, 93, 95, 98, 100}));
        EXPECT_TRUE(QFileInfo::exists(m_paths.waveInfo));
    }
    for (const int stopAt : {0, 5, 85, 90, 93, 95, 98}) {
        ASSERT_TRUE(QFile::remove(m_paths.waveInfo) || !QFileInfo::exists(m_paths.waveInfo));
        jobs_test::JobsCore core;
        Recorder listener;
        listener.stopAt = stopAt;
        ImportDetails details;
        EXPECT_EQ(import(core, beats, details, &listener), 0u) << stopAt;
        EXPECT_FALSE(details.completed) << stopAt;
        EXPECT_EQ(listener.seen.back(), stopAt) << stopAt;
        EXPECT_FALSE(QFileInfo::exists(m_paths.waveInfo)) << stopAt;
    }
}
