// The analysis worker on songs of the repository's synthesiser, with the
// section segmenter (and where needed the onset analyser) replaced by
// stand-ins: its progress, its results on disk, its fallbacks, its stop
// and its failures.
#include "AnalysisJob.h"
#include "BeatGrid.h"
#include "ImportFixture.h"
#include "KRMprotoSettings.h"
#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <array>

using importfix::Script;

namespace {

struct Outcome {
    std::vector<int> progress;
    int analyzed = 0;
    int errors = 0;
    uint32_t code = 0;
};

// Runs the worker over `files` on this thread, recording what it emits.
Outcome runWorker(anaThreadObj& worker, const QStringList& files, const QStringList& folders = {})
{
    Outcome run;
    QObject::connect(&worker, &anaThreadObj::signalProgress,
                     [&run](uchar, uchar, uchar v) { run.progress.push_back(v); });
    QObject::connect(&worker, &anaThreadObj::signalAnalyzed, [&run] { ++run.analyzed; });
    QObject::connect(&worker, &anaThreadObj::signalErr, [&run] { ++run.errors; });
    run.code = worker.analyzeProcTh(folders, files);
    return run;
}

// Beats every half second of `seconds`, and two labelled parts.
Script twoPartScript(double seconds)
{
    Script s;
    for (double t = 0.0; t < seconds - 0.25; t += 0.5)
        s.beatTimes.push_back(float(t));
    s.segments = {{0.0f, 4.0f, 0, 0}, {4.0f, float(seconds) - 1.0f, 8, 1}};
    return s;
}

class AnalysisJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath("x");
        m_song = m_dir.filePath("x/take.one.wav");
    }
    QTemporaryDir m_dir;
    QString m_song;
};

}  // namespace

TEST(AnalysisJobPaths, WaveInfoPathKeepsInnerDots)
{
    EXPECT_EQ(waveInfoPathOf("x/take.one.wav"), "x/take.one.awi");
    EXPECT_EQ(waveInfoPathOf("/a/b/song.take1.aiff"), "/a/b/song.take1.awi");
}

TEST_F(AnalysisJob, OneSongReportsEveryStepAndWritesItsWaveInfo)
{
    ASSERT_TRUE(importfix::writeSong(m_song, 10.0));
    Script script = twoPartScript(10.0);
    script.progress = {0, 25, 50, 75, 100};
    anaThreadObj worker;
    importfix::Slots::useSegmenter(worker.engine(), importfix::scriptedSegmenter(script));
    QObject::connect(worker.engine().segmenterObject(), SIGNAL(signalProgress(const unsigned char)), &worker,
                     SLOT(thruProgress(unsigned char)), Qt::DirectConnection);
    KRMprotoSettings::setAudioFilePath(QString());

    const Outcome run = runWorker(worker, {m_song});
    EXPECT_EQ(run.code, 0u) << worker.errorText().toStdString();
    EXPECT_EQ(run.analyzed, 1);
    EXPECT_EQ(run.errors, 0);
    // Start, segmenter window 10 .. 80 (relayed 0, 25, 50, 75, 100), end.
    const std::vector<int> expected {0, 5, 10, 10, 27, 45, 62, 80, 80, 85, 90, 93, 95, 98, 100};
    EXPECT_EQ(run.progress, expected);
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath("x/take.one.awi")));
    EXPECT_EQ(QDir(KRMprotoSettings::readString("Audio", "AudioFilePath")), QDir(m_dir.filePath("x")));
    EXPECT_TRUE(QFileInfo::exists(krm::platform::privateTempFolder() + "/KRM_temp.wav"));

    // The file holds the analysis: it loads into an engine of its own.
    CKRMcore loaded;
    auto* rec = new WaveInfoRecord;
    ASSERT_EQ(loaded.applyWaveInfo(rec, m_dir.filePath("x/take.one.awi"), 441000), 0u);
    WaveInfoRecord* wave = nullptr;
    ASSERT_EQ(loaded.getWavInfo(0, &wave), 0u);
    EXPECT_GT(wave->beats.size(), 20u);
}

TEST_F(AnalysisJob, RefusedFormatsEndWithTheFormatError)
{
    struct Case {
        const char* name;
        uint16_t channels;
        uint32_t rate;
    } const cases[] = {{"mono", 1, 44100}, {"48 kHz", 2, 48000}};
    for (const Case& c : cases) {
        ASSERT_TRUE(importfix::writePlainWav(m_song, c.channels, c.rate, 44100)) << c.name;
        anaThreadObj worker;
        const Outcome run = runWorker(worker, {m_song});
        EXPECT_EQ(run.errors, 1) << c.name;
        EXPECT_EQ(run.analyzed, 0) << c.name;
        EXPECT_EQ(worker.errorText(), "#0057 audio file format error!") << c.name;
        EXPECT_EQ(run.code & 0xF, 2u) << c.name;
        EXPECT_EQ((run.code >> 4) & 0xF, 2u) << c.name;
        EXPECT_TRUE(run.progress.empty()) << c.name;
        EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("x/take.one.awi"))) << c.name;
    }
}

TEST_F(AnalysisJob, AnEmptyPathEndsTheRunBeforeAnyFile)
{
    ASSERT_TRUE(importfix::writeSong(m_song, 4.0));
    anaThreadObj worker;
    const Outcome run = runWorker(worker, {QString(), m_song});
    EXPECT_EQ(run.code, 0x80000001u);
    EXPECT_EQ(run.errors, 1);
    EXPECT_EQ(worker.errorText(), "#0055 error at anaThreadObj <empty file>");
    EXPECT_TRUE(run.progress.empty());
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("x/take.one.awi")));
}

// The segmenter of this build refuses its runs: the whole song becomes one
// bar of the forced meter and the run still writes its file.
TEST_F(AnalysisJob, AFailingSegmenterGivesOneBarAndTheRunGoesOn)
{
    ASSERT_TRUE(importfix::writeSong(m_song, 6.0));
    anaThreadObj worker;
    importfix::Slots::useSegmenter(worker.engine(), createSegmenter());
    const Outcome run = runWorker(worker, {m_song});
    EXPECT_EQ(run.code, 0u) << worker.errorText().toStdString();
    EXPECT_EQ(run.analyzed, 1);
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath("x/take.one.awi")));
    // The recovered failure leaves no error behind for a later step.
    EXPECT_TRUE(worker.errorText().isEmpty());
    EXPECT_FALSE(worker.hasError());
    // The beat tracker gives the song's beats (12 at 120 BPM) where the
    // segmenter gave none; one bar would be 5 entries.
    {
        WaveInfoRecord* tracked = nullptr;
        ASSERT_EQ(worker.engine().getWavInfo(0, &tracked), 0u);
        EXPECT_GE(tracked->beats.size(), 10u);
        EXPECT_LE(tracked->beats.size(), 30u);
    }

    // The fallback on its own: 0, L/4, L/2, 3L/4, L.
    const QString work = krm::platform::privateTempFolder() + "/KRM_temp.wav";
    const uint32_t L = 6 * 44100;
    ASSERT_EQ(worker.forceBeatAs1Bar(work), 0u);
    WaveInfoRecord* wave = nullptr;
    ASSERT_EQ(worker.engine().getWavInfo(0, &wave), 0u);
    const std::vector<float> expected {0.0f, float(L / 4) / 44100.0f, float(L / 2) / 44100.0f,
                                       float(3 * L / 4) / 44100.0f, float(L) / 44100.0f};
    EXPECT_EQ(wave->beats, expected);
}

TEST_F(AnalysisJob, AnEmptyBeatListSkipsTheBeatSteps)
{
    ASSERT_TRUE(importfix::writeSong(m_song, 6.0));
    Script script;
    anaThreadObj worker;
    importfix::Slots::useSegmenter(worker.engine(), importfix::scriptedSegmenter(script));
    const Outcome run = runWorker(worker, {m_song});
    // Straight from the onsets to the tempo step and the sections.
    EXPECT_EQ(std::count(run.progress.begin(), run.progress.end(), 90), 1);
    EXPECT_EQ(std::count(run.progress.begin(), run.progress.end(), 93), 0);
    EXPECT_EQ(std::count(run.progress.begin(), run.progress.end(), 95), 1);
}

TEST_F(AnalysisJob, OnsetListsAreFramedByTheStartAndTheEnd)
{
    ASSERT_TRUE(importfix::writeSong(m_song, 2.0));
    const uint32_t frames = 88200;
    const float end = float(frames) / 44100.0f;
    struct Case {
        const char* name;
        std::vector<float> found;
        std::vector<float> stored;
    } const cases[] = {
        {"empty", {}, {0.0f, end}},
        {"late start", {0.5f, 1.0f}, {0.0f, 0.5f, 1.0f, end}},
        {"framed already", {0.0f, 1.0f, end}, {0.0f, 1.0f, end}},
    };
    for (const Case& c : cases) {
        anaThreadObj worker;
        importfix::Slots::useOnsetAnalyzer(worker.engine(), new importfix::FixedOnsets(c.found, frames));
        ASSERT_EQ(worker.doCreateWavInfoTh(m_song.toStdWString()), 0u) << c.name;
        std::vector<float> onsets;
        ASSERT_EQ(worker.doAnalyzeOnsetTh(m_song, onsets), 0u) << c.name;
        EXPECT_EQ(onsets, c.stored) << c.name;
        WaveInfoRecord* wave = nullptr;
        ASSERT_EQ(worker.engine().getWavInfo(0, &wave), 0u);
        EXPECT_EQ(wave->onsets, c.stored) << c.name;
    }
}

TEST_F(AnalysisJob, AStopDuringTheSegmenterEndsTheFileWithoutItsWaveInfo)
{
    ASSERT_TRUE(importfix::writeSong(m_song, 6.0));
    Script script = twoPartScript(6.0);
    script.progress = {0, 30, 60, 100};
    anaThreadObj worker;
    importfix::Slots::useSegmenter(worker.engine(), importfix::scriptedSegmenter(script));
    script.afterProgress = [&worker](int p) {
        if (p == 30)
            worker.stop();
    };
    const Outcome run = runWorker(worker, {m_song});
    EXPECT_EQ(run.code, 0u);
    EXPECT_EQ(run.analyzed, 1);
    EXPECT_EQ(run.errors, 0);
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("x/take.one.awi")));
    // The stopped segmenter's fallback runs, then the next check stops.
    EXPECT_EQ(run.progress.back(), 85);
}

// The beats as the ".awi" file of `audio` holds them.
std::vector<float> storedBeats(const QString& audio, uint32_t frames)
{
    CKRMcore loaded;
    auto* rec = new WaveInfoRecord;
    if (loaded.applyWaveInfo(rec, waveInfoPathOf(audio), frames) != 0) {
        delete rec;
        ADD_FAILURE() << "no wave-info file for " << audio.toStdString();
        return {};
    }
    WaveInfoRecord* wave = nullptr;
    loaded.getWavInfo(0, &wave);
    return wave ? wave->beats : std::vector<float> {};
}

// One worker engine analyses every file of a batch: a file the segmenter
// refuses gets the fallback, exactly as when it is imported alone, never
// the beats or the meter of the file before it.
TEST_F(AnalysisJob, ABatchNeverHandsOneFilesBeatsToTheNext)
{
    const QString good = m_dir.filePath("x/good.wav"), refused = m_dir.filePath("x/refused.wav");
    ASSERT_TRUE(importfix::writeSong(good, 10.0));
    const uint32_t refusedFrames = 3 * 44100;
    ASSERT_TRUE(importfix::writePlainWav(refused, 2, 44100, refusedFrames));  // silence: no beats to track
    Script script = twoPartScript(10.0);
    script.meter = RkMir::BarEvent {0, 0, 3, 4};
    script.beforeAnalyze = [&script] {
        if (script.analyses > 1)
            throw std::runtime_error("refused");
    };
    anaThreadObj worker;
    importfix::Slots::useSegmenter(worker.engine(), importfix::scriptedSegmenter(script));
    const Outcome batch = runWorker(worker, {good, refused});
    ASSERT_EQ(batch.code, 0u) << worker.errorText().toStdString();
    EXPECT_EQ(batch.analyzed, 1);
    EXPECT_EQ(script.analyses, 2);
    const std::vector<float> inBatch = storedBeats(refused, refusedFrames);
    ASSERT_FALSE(inBatch.empty());
    EXPECT_LE(inBatch.back(), 3.0f);

    // The refused file on its own.
    Script refuseAll;
    refuseAll.beforeAnalyze = [] { throw std::runtime_error("refused"); };
    anaThreadObj alone;
    importfix::Slots::useSegmenter(alone.engine(), importfix::scriptedSegmenter(refuseAll));
    ASSERT_EQ(runWorker(alone, {refused}).code, 0u);
    EXPECT_EQ(inBatch, storedBeats(refused, refusedFrames));
}

// The analysis reads a working copy: a file removed or replaced meanwhile
// must not get a wave-info file that a later import of that path would
// take for its own; an earlier one stays as it was.
TEST_F(AnalysisJob, AFileGoneOrReplacedDuringItsAnalysisGetsNoWaveInfo)
{
    const QString awi = m_dir.filePath("x/take.one.awi");
    struct Case {
        const char* name;
        bool replace;       // another file appears at the path
        QByteArray before;  // an earlier wave-info file, or none
    } const cases[] = {
        {"removed", false, {}},
        {"replaced", true, {}},
        {"removed, earlier file kept", false, "earlier analysis"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(importfix::writeSong(m_song, 6.0)) << c.name;
        QFile::remove(awi);
        if (!c.before.isEmpty()) {
            QFile f(awi);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.before);
        }
        Script script = twoPartScript(6.0);
        script.afterProgress = [&](int p) {
            if (p != 50)
                return;
            QFile::remove(m_song);
            if (c.replace)
                importfix::writeSong(m_song, 4.0);
        };
        anaThreadObj worker;
        importfix::Slots::useSegmenter(worker.engine(), importfix::scriptedSegmenter(script));
        const Outcome run = runWorker(worker, {m_song});
        EXPECT_EQ(run.errors, 1) << c.name;
        EXPECT_EQ(run.analyzed, 0) << c.name;
        EXPECT_EQ(run.code & 0xFF, 0x92u) << c.name;
        EXPECT_EQ(worker.errorText(), "The audio file was removed or changed during its analysis.") << c.name;
        if (c.before.isEmpty()) {
            EXPECT_FALSE(QFileInfo::exists(awi)) << c.name;
        } else {
            QFile f(awi);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << c.name;
            EXPECT_EQ(f.readAll(), c.before) << c.name;
        }
        // Nothing else was left in the folder (no temporary wave-info file).
        QStringList left = QDir(m_dir.filePath("x")).entryList(QDir::Files);
        left.removeAll("take.one.wav");
        left.removeAll("take.one.awi");
        EXPECT_TRUE(left.isEmpty()) << c.name << ": " << left.join(", ").toStdString();
    }
}

// The same on the analysis thread, the file removed by the window's side
// 30 ms and 800 ms into the analysis (the stand-in segmenter takes about a
// second): wherever the analysis stands, the run fails and writes nothing.
TEST_F(AnalysisJob, RemovingTheFileWhileTheThreadAnalysesItLeavesNoWaveInfo)
{
    for (const int afterMs : {30, 800}) {
        ASSERT_TRUE(importfix::writeSong(m_song, 6.0));
        Script script = twoPartScript(6.0);
        script.progress = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
        script.afterProgress = [](int) { QThread::msleep(100); };
        anaThread thread;
        anaThreadObj* worker = thread.worker();
        ASSERT_NE(worker, nullptr);
        importfix::Slots::useSegmenter(worker->engine(), importfix::scriptedSegmenter(script));
        worker->engine().segmenterObject()->moveToThread(&thread);
        QObject receiver;
        int analyzed = 0, errors = 0;
        QObject::connect(worker, &anaThreadObj::signalAnalyzed, &receiver, [&] { ++analyzed; });
        QObject::connect(worker, &anaThreadObj::signalErr, &receiver, [&] { ++errors; });
        thread.setInputLists({}, {m_song});
        thread.start();
        QTest::qWait(afterMs);
        ASSERT_TRUE(QFile::remove(m_song)) << afterMs;
        for (int i = 0; i < 200 && analyzed + errors == 0; ++i)
            QTest::qWait(50);
        thread.requestStop();
        EXPECT_TRUE(thread.wait(5000));
        EXPECT_EQ(errors, 1) << afterMs;
        EXPECT_EQ(analyzed, 0) << afterMs;
        EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("x/take.one.awi"))) << afterMs;
        EXPECT_TRUE(QDir(m_dir.filePath("x")).entryList(QDir::Files).isEmpty()) << afterMs;
    }
}

std::array<uint8_t, 6> optionBytes(const AnalysisOptions& o)
{
    return {o.fixSegmenterMeter, o.segmenterBeatsPerBar, o.segmenterBeatUnit,
            o.forceMeter,        o.forcedBeatsPerBar,    o.forcedBeatUnit};
}

TEST(AnalysisJobThread, OptionsAndAMissingWorker)
{
    // The window's options: the segmenter finds the meter, 4/4 afterwards.
    const std::array<uint8_t, 6> window {0, 4, 4, 1, 4, 4};
    anaThread thread;
    EXPECT_EQ(optionBytes(AnalysisJobTestAccess::options(thread)), window);
    anaThreadObj worker;
    EXPECT_EQ(optionBytes(AnalysisJobTestAccess::options(worker)), window);
    worker.setOptions({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(optionBytes(AnalysisJobTestAccess::options(worker)),
              (std::array<uint8_t, 6> {1, 2, 3, 4, 5, 6}));

    // Without a worker the thread reports it and waits for its stop.
    delete AnalysisJobTestAccess::worker(thread);
    AnalysisJobTestAccess::worker(thread) = nullptr;
    EXPECT_EQ(thread.errorString(), "object creation error!");
    EXPECT_FALSE(thread.workerHasError());
    thread.start();
    EXPECT_FALSE(thread.wait(50));
    thread.requestStop();
    EXPECT_TRUE(thread.wait(5000));
}

// The real thread: the window's side of the signals arrives queued, and
// the relayed segmenter progress stays inside its window and in order.
TEST_F(AnalysisJob, OnItsThreadProgressArrivesInOrder)
{
    ASSERT_TRUE(importfix::writeSong(m_song, 6.0));
    Script script = twoPartScript(6.0);
    script.progress = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    anaThread thread;
    anaThreadObj* worker = thread.worker();
    ASSERT_NE(worker, nullptr);
    importfix::Slots::useSegmenter(worker->engine(), importfix::scriptedSegmenter(script));
    QObject* seg = worker->engine().segmenterObject();
    seg->moveToThread(&thread);
    QObject::connect(seg, SIGNAL(signalProgress(const unsigned char)), worker,
                     SLOT(thruProgress(unsigned char)), Qt::DirectConnection);
    QObject receiver;
    std::vector<int> progress;
    bool analyzed = false;
    QObject::connect(worker, &anaThreadObj::signalProgress, &receiver,
                     [&](uchar, uchar, uchar v) { progress.push_back(v); });
    QObject::connect(worker, &anaThreadObj::signalAnalyzed, &receiver, [&] { analyzed = true; });
    thread.setInputLists({}, {m_song});
    thread.start();
    for (int i = 0; i < 600 && !analyzed; ++i)
        QTest::qWait(50);
    ASSERT_TRUE(analyzed);
    EXPECT_TRUE(thread.isRunning());  // a successful run waits for its stop
    thread.requestStop();
    EXPECT_TRUE(thread.wait(5000));
    ASSERT_GE(progress.size(), 8u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    const auto relayedBegin = std::find(progress.begin(), progress.end(), 10);
    const auto relayedEnd = std::find(progress.begin(), progress.end(), 85);
    for (auto it = relayedBegin; it != relayedEnd; ++it)
        EXPECT_TRUE(*it >= 10 && *it <= 80) << *it;
}
