// The import pipeline on its own, without a Qt thread: the beats it stores
// stay ascending when the last onset meets or precedes the last beat, and
// the listener hears the step boundaries and can stop the file.
#include "IF_audioFileMngr.h"
#include "ImportPipeline.h"
#include "JobsFixture.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
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
        m_paths = {m_dir.filePath("quiet.wav"), m_dir.filePath("KRM_temp.wav"), m_dir.filePath("quiet.awi"),
                   QString()};
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

namespace {

// Rewrites the audio when the import reaches the given percentage, as a
// user who saves another take over it meanwhile.
struct Rewriter : ImportListener {
    void progress(uint8_t percent) override
    {
        if (percent == at)
            rewrite();
    }
    int at = -1;
    std::function<void()> rewrite;
};

}  // namespace

// Every failure the import reports leaves the first message of its chain
// as the engine's error text, and none claims a lack of memory.
TEST_F(ImportPipelineTest, EveryFailureLeavesItsText)
{
    struct Case {
        const char* name;
        // Prepares the files and the engine; false: import without an
        // audio-file manager.
        std::function<bool(jobs_test::JobsCore&, ImportPaths&, Rewriter&)> setUp;
        uint32_t code;
        QString text;
        // The text only begins with `text` (a cause from the system follows).
        bool onlyBegins = false;
    };
    const auto scripted = [this](jobs_test::JobsCore& core, std::vector<RkMir::SegmentRecord> segments) {
        m_script.beatTimes = {0.0f, 1.0f, 2.0f};
        m_script.segments = std::move(segments);
        core.useSegmenter(new segmenter(jobs_test::fakeFactory(m_script)));
    };
    const auto plain = [scripted](jobs_test::JobsCore& core, ImportPaths&, Rewriter&) {
        scripted(core, {{0.0f, 3.0f, 0, 0}});
        return true;
    };
    const Case cases[] = {
        {"no audio-file manager", [](jobs_test::JobsCore&, ImportPaths&, Rewriter&) { return false; },
         0x80000001, "error at analyzeFileTh() <no audio file manager>"},
        {"mono audio",
         [](jobs_test::JobsCore&, ImportPaths& paths, Rewriter&) {
             return testwav::writePcm16(paths.audio, std::vector<int16_t>(kFrames, 0), 1);
         },
         0x80000042, "#0057 audio file format error!"},
        // The section segmenter itself runs on it; the refresh of the
        // sections finds no beats to measure a bar by.
        {"header without audio",
         [](jobs_test::JobsCore&, ImportPaths& paths, Rewriter&) {
             return testwav::writePcm16(paths.audio, std::vector<int16_t>());
         },
         0x80000269, "error at analyzeFileTh() updateSecInfoOfWav [80000026]"},
        {"working copy cannot be made",
         [&](jobs_test::JobsCore& core, ImportPaths& paths, Rewriter& r) {
             paths.work = m_dir.filePath("plain/KRM_temp.wav");
             return testutil::writeFile(m_dir.filePath("plain"), {'x'}) && plain(core, paths, r);
         },
         0x80000023,
         "#0059 error at analyzeProcTh() copyWorkWav - copyAudioFile: cannot create " +
             m_dir.filePath("plain/KRM_temp.wav"),
         true},
        // The segmenter's stand-in gives beats; the first section
        // assignment fails on the segment of no length, and the engine's
        // own text of that step stands before the import's "#0064".
        {"header without audio, segment of no length",
         [scripted](jobs_test::JobsCore& core, ImportPaths& paths, Rewriter&) {
             scripted(core, {{0.0f, 0.0f, 0, 0}});
             return testwav::writePcm16(paths.audio, std::vector<int16_t>());
         },
         0x800a7268, "error at makeInitSecAsgnBySegLbl() doSegToSec [80000a72]"},
        {"wave-info file cannot be written",
         [&](jobs_test::JobsCore& core, ImportPaths& paths, Rewriter& r) {
             paths.waveInfo = m_dir.filePath("plain/quiet.awi");
             return testutil::writeFile(m_dir.filePath("plain"), {'x'}) && plain(core, paths, r);
         },
         0x80000229, "#0065 error at saveAwi()"},
        {"another take of the same size and time moved onto the name during the analysis",
         [&](jobs_test::JobsCore& core, ImportPaths& paths, Rewriter& r) {
             r.at = 98;
             r.rewrite = [audio = paths.audio, other = m_dir.filePath("other.wav")] {
                 std::vector<int16_t> samples(2 * kFrames, 0);
                 samples[100] = 1000;
                 testwav::writePcm16(other, samples);
                 QFile f(other);
                 f.open(QIODevice::ReadOnly);
                 f.setFileTime(QFileInfo(audio).lastModified(), QFileDevice::FileModificationTime);
                 f.close();
                 std::rename(QFile::encodeName(other).constData(), QFile::encodeName(audio).constData());
             };
             return plain(core, paths, r);
         },
         0x80000009, "The audio file was removed or changed during its analysis."},
        {"audio replaced during the analysis",
         [&](jobs_test::JobsCore& core, ImportPaths& paths, Rewriter& r) {
             r.at = 98;
             r.rewrite = [audio = paths.audio] {
                 testwav::writePcm16(audio, std::vector<int16_t>(4 * kFrames, 0));
             };
             return plain(core, paths, r);
         },
         0x80000009, "The audio file was removed or changed during its analysis."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(m_dir.filePath("plain"));
        ImportPaths paths = m_paths;
        ASSERT_TRUE(testwav::writePcm16(paths.audio, std::vector<int16_t>(2 * kFrames, 0)));
        jobs_test::JobsCore core;
        Rewriter listener;
        const bool withFiles = c.setUp(core, paths, listener);
        ImportPipeline pipeline(core, withFiles ? m_files.get() : nullptr, AnalysisOptions(), &listener);
        ImportDetails details;
        EXPECT_EQ(pipeline.run(paths, &details), c.code);
        EXPECT_FALSE(details.completed);
        if (c.onlyBegins)
            EXPECT_TRUE(core.errorText().startsWith(c.text)) << core.errorText().toStdString();
        else
            EXPECT_EQ(core.errorText().toStdString(), c.text.toStdString());
        EXPECT_FALSE(core.hasError()) << "no lack of memory";
    }
}

// Where the audio's folder cannot take the ".awi" (here a plain file stands
// where the folder should be, which stops root too), it goes to the cache
// place, whose folder is made; once the folder takes it again, the one in
// the cache goes.
TEST_F(ImportPipelineTest, TheWaveInfoFileGoesToTheCacheWhereItsFolderCannotTakeIt)
{
    const std::vector<float> beats {0.0f, 1.0f, 2.0f};
    ASSERT_TRUE(testutil::writeFile(m_dir.filePath("plain"), {'x'}));
    const QString beside = m_paths.waveInfo;
    m_paths.waveInfo = m_dir.filePath("plain/quiet.awi");
    m_paths.cachedWaveInfo = m_dir.filePath("cache/analysis/quiet.awi");
    {
        jobs_test::JobsCore core;
        ImportDetails details;
        ASSERT_EQ(import(core, beats, details), 0u) << core.errorText().toStdString();
        EXPECT_TRUE(details.completed);
        EXPECT_TRUE(core.errorText().isEmpty()) << core.errorText().toStdString();
        CKRMcore loaded;
        auto* rec = new WaveInfoRecord;
        ASSERT_EQ(loaded.applyWaveInfo(rec, m_paths.cachedWaveInfo, kFrames), 0u);
        WaveInfoRecord* wave = nullptr;
        ASSERT_EQ(loaded.getWavInfo(0, &wave), 0u);
        EXPECT_EQ(wave->beats, core.wave(0).beats);
    }
    m_paths.waveInfo = beside;
    {
        jobs_test::JobsCore core;
        ImportDetails details;
        ASSERT_EQ(import(core, beats, details), 0u) << core.errorText().toStdString();
        EXPECT_TRUE(QFileInfo::exists(beside));
        EXPECT_FALSE(QFileInfo::exists(m_paths.cachedWaveInfo));
    }
    // Neither place takes it: the import fails as before, with nothing left.
    m_paths.waveInfo = m_dir.filePath("plain/quiet.awi");
    m_paths.cachedWaveInfo = m_dir.filePath("plain/cache/quiet.awi");
    ASSERT_TRUE(QFile::remove(beside));
    jobs_test::JobsCore core;
    ImportDetails details;
    EXPECT_EQ(import(core, beats, details), 0x80000229u);
    EXPECT_FALSE(details.completed);
    EXPECT_EQ(core.errorText(), "#0065 error at saveAwi()");
}
