// The main window's import: the choice of the file through the chooser
// seam, the reuse of an existing ".awi" (and a fresh analysis when the audio
// is newer or the file unreadable), the progress dialog over the analysis
// thread, Cancel, the job's errors as messages, the new project it
// builds and the audio file it adds to a project; and the control state
// that follows the engine: the enable rules, the trim fields and the
// section's information line.
#include "AnalysisJob.h"
#include "IF_audioFileMngr.h"
#include "ImportPipeline.h"
#include "BeatGrid.h"
#include "ImportFixture.h"
#include "KRMprotoSettings.h"
#include "MainWindowTestAccess.h"
#include "MessageDialog.h"
#include "ModalDialogs.h"
#include "TestProject.h"
#include "TestUtil.h"
#include "WaveInfoStore.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <map>
#include <memory>

using Access = MainWindowTestAccess;

namespace {

// A song with "Intro 1" and "Main A" and its ".awi" beside it, written
// through the engine; `folder` gets song.wav and song.awi.
struct AwiSong {
    QString wav, awi;
    testproject::Made made;
};

AwiSong writeAwiSong(const QString& folder, double seconds, double bpm)
{
    AwiSong s;
    QDir().mkpath(folder);
    const QString error = testproject::writeProject(folder, {seconds, bpm}, s.made);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    s.wav = s.made.wavPath;
    s.awi = waveInfoPathOf(s.wav);
    CKRMcore core;
    EXPECT_EQ(core.loadProject(s.made.projectPath.toStdWString()), 0u);
    EXPECT_EQ(core.saveAwi(s.awi.toStdWString(), 0), 0u);
    return s;
}

// Fresh settings for each test, every message box recorded, and the file
// dialogs replaced by answers of the test.
class ImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedData = qgetenv("XDG_DATA_HOME");
        m_savedCache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
        MainWindow::setFileChooser([this](const MainWindow::FileChoice& c) {
            m_choices.push_back(c);
            return m_answers.empty() ? QString() : m_answers.takeFirst();
        });
    }
    void TearDown() override
    {
        m_window.reset();
        MainWindow::setFileChooser(nullptr);
        qputenv("XDG_DATA_HOME", m_savedData);
        qputenv("XDG_CACHE_HOME", m_savedCache);
    }
    MainWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<MainWindow>(QString());
        return *m_window;
    }
    QStringList shownTexts() const
    {
        QStringList out;
        for (const auto& s : boxes.shown())
            out << s.text;
        return out;
    }
    // A new project from `path` through Ctrl+I's action.
    void importNew(const QString& path)
    {
        m_answers << path;
        window().actionNewAudioStyleProject_with_Import->trigger();
    }
    // `path` added to the current section through the import button.
    void importIntoSection(const QString& path)
    {
        m_answers << path;
        window().mBtnImport->click();
    }
    QString folder(const QString& name) const { return m_files.filePath(name); }
    // `path` imported on one of the two paths: as a new project, or into
    // section 7 of a new project of `base`. Whether it was analysed, and
    // every message shown but the save question (answered "Yes").
    struct Outcome {
        bool analysed = false;
        QStringList messages;
    };
    Outcome importOn(bool intoSection, const QString& base, const QString& path)
    {
        MainWindow& w = window();
        if (intoSection) {
            if (MainWindowTestAccess::core(w).isModified())
                boxes.answer(QString("Yes"));
            importNew(base);
            MainWindowTestAccess::selectSectionIndex(w, 7);
        }
        if (MainWindowTestAccess::core(w).isModified())
            boxes.answer(QString("Yes"));
        const int before = boxes.shown().size();
        testutil::ModalAnswer<QProgressDialog> progress([](QProgressDialog&) {});
        if (intoSection)
            importIntoSection(path);
        else
            importNew(path);
        Outcome out;
        out.analysed = progress.seen();
        for (int i = before; i < boxes.shown().size(); ++i) {
            if (boxes.shown()[i].text !=
                "Project data have been changed. Do you wish to proceed without saving?")
                out.messages << boxes.shown()[i].text;
        }
        return out;
    }

    MessageDialogScript boxes;
    QStringList m_answers;
    std::vector<MainWindow::FileChoice> m_choices;
    QTemporaryDir m_files;

    QTemporaryDir m_cache;

private:
    QTemporaryDir m_data;
    QByteArray m_savedData, m_savedCache;
    std::unique_ptr<MainWindow> m_window;
};

int waves(MainWindow& w)
{
    return int(Access::core(w).getProjectInfo()->waveCount());
}

WaveInfoRecord wave0(MainWindow& w)
{
    WaveInfoRecord* r = nullptr;
    EXPECT_EQ(Access::core(w).getWavInfo(0, &r), 0u);
    return r ? *r : WaveInfoRecord();
}

bool setModified(const QString& path, const QDateTime& when)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

// The analysis that a wave-info file holds, read as a project engine reads
// it; null when it cannot be read.
std::unique_ptr<WaveInfoRecord> storedAnalysis(const QString& awi)
{
    CKRMcore core;
    core.clearWavList();
    auto record = std::make_unique<WaveInfoRecord>();
    if (core.applyWaveInfo(record.get(), awi, UINT32_MAX) != 0)
        return nullptr;
    record.release();  // the engine's now
    WaveInfoRecord* loaded = nullptr;
    if (core.getWavInfo(0, &loaded) != 0 || !loaded)
        return nullptr;
    return std::make_unique<WaveInfoRecord>(*loaded);
}

// The median distance of the beats in seconds (a beat is two entries of
// the half-beat list).
double beatPeriod(const WaveInfoRecord& w)
{
    const size_t step = 2 * std::max<size_t>(1, w.beatStep);
    std::vector<double> d;
    for (size_t i = step; i < w.beats.size(); i += step)
        d.push_back(double(w.beats[i]) - double(w.beats[i - step]));
    if (d.empty())
        return 0.0;
    std::nth_element(d.begin(), d.begin() + long(d.size() / 2), d.end());
    return d[d.size() / 2];
}

SectionRecord section(MainWindow& w, int i)
{
    SectionRecord* r = nullptr;
    EXPECT_EQ(Access::core(w).getSecInfo(uint8_t(i), &r), 0u);
    return r ? *r : SectionRecord();
}

}  // namespace

TEST_F(ImportTest, AnExistingWaveInfoFileIsLoadedWithoutAnalysis)
{
    const AwiSong a = writeAwiSong(folder("a"), 16.0, 120.0);
    const QDateTime before = QFileInfo(a.awi).lastModified();
    MainWindow& w = window();
    testutil::ModalAnswer<QProgressDialog> progress([](QProgressDialog& d) { d.cancel(); });
    importNew(a.wav);
    QTest::qWait(30);
    EXPECT_FALSE(progress.seen());
    EXPECT_EQ(Access::analysisThread(w), nullptr);
    EXPECT_TRUE(shownTexts().isEmpty()) << shownTexts().join('|').toStdString();
    EXPECT_EQ(QFileInfo(a.awi).lastModified(), before);

    EXPECT_EQ(w.mCmbTrimSec->currentText(), "Main A");
    EXPECT_TRUE(w.mCmbTrimSec->isEnabled());
    EXPECT_EQ(Access::projectState(w), 1u);
    EXPECT_EQ(w.mLEditProjectFileName->text(), "New Audio Style");
    ASSERT_EQ(w.mCmbWav->count(), 1);
    EXPECT_EQ(w.mCmbWav->currentText(), "song.wav");
    EXPECT_EQ(Access::zoom(w), 1u);
    EXPECT_EQ(section(w, 3).startAdrs, a.made.mainStart);
    EXPECT_TRUE(Access::selectionExists(w));
    EXPECT_TRUE(w.actionUndo->isEnabled());
}

// The stored analysis serves as long as the audio has not been written
// after it, up to the same moment. (Setting the audio's time is a status
// change of its own, so the analysis is dated a minute after it.)
TEST_F(ImportTest, AnUnchangedPairIsLoadedWithoutAnalysis)
{
    const AwiSong a = writeAwiSong(folder("a"), 16.0, 120.0);
    const std::vector<uint8_t> stored = testutil::readFile(a.awi);
    const QDateTime analysed = QDateTime::currentDateTime().addSecs(60);
    struct Row {
        const char* name;
        qint64 audioAfterMs;
    } const rows[] = {{"audio written at the same moment", 0}, {"audio an hour older", -3600 * 1000}};
    MainWindow& w = window();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(setModified(a.awi, analysed));
        ASSERT_TRUE(setModified(a.wav, analysed.addMSecs(r.audioAfterMs)));
        testutil::ModalAnswer<QProgressDialog> progress([](QProgressDialog& d) { d.cancel(); });
        if (Access::core(w).isModified())
            boxes.answer(QString("Yes"));
        importNew(a.wav);
        QTest::qWait(30);
        EXPECT_FALSE(progress.seen());
        EXPECT_EQ(Access::analysisThread(w), nullptr);
        for (const QString& text : shownTexts())
            EXPECT_EQ(text, "Project data have been changed. Do you wish to proceed without saving?");
        EXPECT_EQ(QFileInfo(a.awi).lastModified(), analysed);
        EXPECT_EQ(testutil::readFile(a.awi), stored);
        ASSERT_EQ(waves(w), 1);
        EXPECT_EQ(wave0(w).onsets, a.made.onsets);
    }
}

// A take replaced by a longer one at the same path after its analysis: the
// old analysis would fit within it and pass for its own.
TEST_F(ImportTest, AudioWrittenAfterItsAnalysisIsAnalysedAfresh)
{
    const AwiSong a = writeAwiSong(folder("a"), 16.0, 120.0);
    MainWindow& w = window();
    importNew(a.wav);
    ASSERT_EQ(waves(w), 1);
    ASSERT_EQ(wave0(w).onsets, a.made.onsets);
    ASSERT_NEAR(beatPeriod(wave0(w)), 0.5, 0.01);

    std::vector<float> beats;
    ASSERT_TRUE(importfix::writeSong(a.wav, 24.0, &beats, 90.0));
    const QDateTime analysed = QDateTime::currentDateTime().addSecs(-3600);
    ASSERT_TRUE(setModified(a.awi, analysed));
    ASSERT_TRUE(setModified(a.wav, analysed.addSecs(60)));
    testutil::ModalAnswer<QProgressDialog> progress([](QProgressDialog&) {});
    boxes.answer(QString("Yes"));
    importNew(a.wav);
    EXPECT_TRUE(progress.seen());
    ASSERT_EQ(boxes.shown().size(), 1) << shownTexts().join('|').toStdString();
    ASSERT_EQ(waves(w), 1);

    // The new song's analysis: its length, its tempo, its beats.
    const WaveInfoRecord now = wave0(w);
    ASSERT_FALSE(now.onsets.empty());
    EXPECT_FLOAT_EQ(now.onsets.back(), 24.0f);
    EXPECT_NEAR(beatPeriod(now), 60.0 / 90.0, 0.02);
    ASSERT_FALSE(now.beats.empty());
    EXPECT_GT(now.beats.back(), 20.0f);
    // And it replaced the old file, which now serves as it should.
    const std::unique_ptr<WaveInfoRecord> stored = storedAnalysis(a.awi);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->onsets, now.onsets);
    EXPECT_GE(QFileInfo(a.awi).lastModified(), QFileInfo(a.wav).lastModified());
    EXPECT_EQ(QDir(folder("a")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList {"song.awi", "song.svproj", "song.wav"}));
}

// A damaged wave-info file newer than its audio: the audio is analysed and
// imported, and the fresh file takes the damaged one's place.
TEST_F(ImportTest, AnUnreadableWaveInfoFileIsReplacedByAFreshAnalysis)
{
    const QString wav = folder("b/take.wav");
    QDir().mkpath(folder("b"));
    ASSERT_TRUE(importfix::writeSong(wav, 4.0));
    const QString awi = waveInfoPathOf(wav);
    MainWindow& w = window();
    importNew(wav);
    ASSERT_EQ(waves(w), 1);
    const std::vector<uint8_t> good = testutil::readFile(awi);
    ASSERT_GT(good.size(), 100u);
    const std::vector<float> onsets = wave0(w).onsets;

    const auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + long(n)); };
    const auto flip = [&](size_t at, int bit) {
        std::vector<uint8_t> d = good;
        d[at] ^= uint8_t(1u << bit);
        return d;
    };
    const size_t blockB =
        32 + (size_t(good[12]) << 24 | size_t(good[13]) << 16 | size_t(good[14]) << 8 | good[15]);
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
    } const rows[] = {
        {"empty", {}},
        {"header only", cut(32)},
        {"cut inside the sections", cut(good.size() / 2)},
        {"last byte missing", cut(good.size() - 1)},
        {"magic flipped", flip(0, 1)},
        {"length of block B flipped", flip(20, 7)},
        {"section count flipped", flip(blockB, 0)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(testutil::writeFile(awi, r.bytes));
        ASSERT_FALSE(storedAnalysis(awi)) << "the row's file must not be readable";
        const QDateTime audioTime = QDateTime::currentDateTime().addSecs(-3600);
        ASSERT_TRUE(setModified(wav, audioTime));
        ASSERT_TRUE(setModified(awi, audioTime.addSecs(60)));
        testutil::ModalAnswer<QProgressDialog> progress([](QProgressDialog&) {});
        const int before = boxes.shown().size();
        if (Access::core(w).isModified())
            boxes.answer(QString("Yes"));
        importNew(wav);
        EXPECT_TRUE(progress.seen());
        for (int i = before; i < boxes.shown().size(); ++i)
            EXPECT_EQ(boxes.shown()[i].text,
                      "Project data have been changed. Do you wish to proceed without saving?");
        ASSERT_EQ(waves(w), 1);
        EXPECT_EQ(wave0(w).onsets, onsets);
        EXPECT_EQ(w.mCmbTrimSec->currentText(), "Main A");
        const std::unique_ptr<WaveInfoRecord> stored = storedAnalysis(awi);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->onsets, onsets);
    }
}

TEST_F(ImportTest, TheChooserStartsInTheAudioFolderOrHere)
{
    MainWindow& w = window();
    w.mBtnImport->setEnabled(true);
    importNew(QString());
    ASSERT_EQ(m_choices.size(), 1u);
    EXPECT_EQ(m_choices[0].folder, "./");
    EXPECT_FALSE(m_choices[0].save);
    EXPECT_EQ(m_choices[0].caption, "Open Audio File");
    EXPECT_EQ(m_choices[0].filter, "Audio Files (*.wav *.aiff *.aif);; Audio Files (*.wav);; Audio Files "
                                   "(*.aiff *.aif);; Audio Files (*.*)");
    KRMprotoSettings::setAudioFilePath(m_files.path());
    importNew(QString());
    ASSERT_EQ(m_choices.size(), 2u);
    EXPECT_EQ(QDir(m_choices[1].folder), QDir(m_files.path()));
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(ImportTest, OnlyAModifiedProjectAsksTheSaveQuestion)
{
    MainWindow& w = window();
    importNew(QString());
    EXPECT_TRUE(boxes.shown().isEmpty());
    EXPECT_EQ(m_choices.size(), 1u);

    ASSERT_EQ(Access::core(w).updateTempo(99), 0u);
    ASSERT_TRUE(Access::core(w).isModified());
    boxes.answer(QString("Cancel"));
    importNew(QString());
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].text,
              "Project data have been changed. Do you wish to proceed without saving?");
    EXPECT_EQ(boxes.shown()[0].buttons, (QStringList {"Yes", "No", "Cancel"}));
    EXPECT_EQ(m_choices.size(), 1u) << "Cancel stops before the file choice";
}

// The real analysis thread behind the dialog, on a short song.
TEST_F(ImportTest, TheProgressDialogRunsTheAnalysisAndLoadsItsResult)
{
    const QString wav = folder("c/take.one.wav");
    QDir().mkpath(folder("c"));
    ASSERT_TRUE(importfix::writeSong(wav, 4.0));
    MainWindow& w = window();
    QString label, cancel;
    int minimum = -1, maximum = -1;
    bool actionsOff = false;
    testutil::ModalAnswer<QProgressDialog> seen([&](QProgressDialog& d) {
        label = d.labelText();
        cancel = d.findChild<QAbstractButton*>() ? d.findChild<QAbstractButton*>()->text() : QString();
        minimum = d.minimum();
        maximum = d.maximum();
        actionsOff = !w.actionNewAudioStyleProject->isEnabled() &&
                     !w.actionOpenAudioStyleProject->isEnabled() &&
                     !w.actionSaveAudioStyleProject->isEnabled() && !w.actionUndo->isEnabled() &&
                     !w.actionRedo->isEnabled() && !w.actionNewAudioStyleProject_with_Import->isEnabled();
        EXPECT_EQ(d.windowTitle(), "Import Audio File");
        EXPECT_TRUE(d.isModal());
    });
    importNew(wav);
    EXPECT_TRUE(seen.seen());
    EXPECT_EQ(label, "Now analyzing the audio file ...\n" + wav);
    EXPECT_EQ(cancel, "Cancel");
    EXPECT_EQ(minimum, 0);
    EXPECT_EQ(maximum, 100);
    EXPECT_TRUE(actionsOff);
    EXPECT_TRUE(QFileInfo::exists(folder("c/take.one.awi")));
    EXPECT_EQ(Access::analysisThread(w), nullptr);
    EXPECT_EQ(Access::importDialog(w), nullptr);
    EXPECT_TRUE(boxes.shown().isEmpty()) << shownTexts().join('|').toStdString();
    EXPECT_EQ(waves(w), 1);
    EXPECT_EQ(w.mCmbTrimSec->currentText(), "Main A");
    EXPECT_TRUE(section(w, 3).used);
    EXPECT_TRUE(w.actionNewAudioStyleProject->isEnabled());
}

TEST_F(ImportTest, CancelDuringTheSegmenterStopsTheThreadFirst)
{
    const QString wav = folder("d/take.wav");
    QDir().mkpath(folder("d"));
    ASSERT_TRUE(importfix::writeSong(wav, 4.0));
    MainWindow& w = window();
    // A thread of the test's making whose segmenter takes its time.
    importfix::Script script;
    script.progress.assign(200, 1);
    script.afterProgress = [](int) { QThread::msleep(10); };
    auto* thread = new anaThread;
    importfix::Slots::useSegmenter(thread->worker()->engine(), importfix::scriptedSegmenter(script));
    Access::analysisThread(w) = thread;

    bool threadGoneAtMessage = false;
    QString caption;
    MessageDialog::setResponder([&](MessageDialog& box) -> QAbstractButton* {
        threadGoneAtMessage = Access::analysisThread(w) == nullptr;
        caption = box.windowTitle() + "|" + box.text();
        return box.buttons().value(0);
    });
    testutil::ModalAnswer<QProgressDialog> cancel([](QProgressDialog& d) {
        QTest::qWait(50);
        d.cancel();
    });
    importNew(wav);
    MessageDialog::setResponder(nullptr);
    EXPECT_TRUE(cancel.seen());
    EXPECT_TRUE(threadGoneAtMessage);
    EXPECT_EQ(caption, "Import Audio File|The import operation has been canceled.");
    EXPECT_FALSE(QFileInfo::exists(folder("d/take.awi")));
    EXPECT_EQ(waves(w), 0);
    // A late report of the cancelled job changes nothing.
    Access::analyzed(w);
    QTest::qWait(20);
    EXPECT_EQ(waves(w), 0);
    EXPECT_EQ(Access::importDialog(w), nullptr);
}

TEST_F(ImportTest, JobErrorsBecomeMessages)
{
    struct Case {
        const char* name;
        QString workerText;
        bool errorState;
        QString shown;
    } const cases[] = {
        {"error state", "#0069 error at doAnalyzeOnsetTh() analyzeOnset [2]", true, "Internal Error #0112 "},
        {"numbered", "#0058 error at doCreateWavInfoTh()", false, "Internal Error #0096 "},
        {"plain", "error at analyzeOnsetTh() doSegmenterTh - forceBeatAs1Bar", false,
         "error at analyzeOnsetTh() doSegmenterTh - forceBeatAs1Bar"},
        {"short", "#12", false, "#12"},
    };
    MainWindow& w = window();
    for (const Case& c : cases) {
        auto* thread = new anaThread;
        CKRMcore& engine = thread->worker()->engine();
        engine.setErrorText(c.workerText);
        if (c.errorState) {
            struct Failing : importfix::FixedOnsets {
                Failing() : FixedOnsets({}, 0) { }
                bool hasError() override { return true; }
            };
            importfix::Slots::useOnsetAnalyzer(engine, new Failing);
        }
        Access::analysisThread(w) = thread;
        const int before = boxes.shown().size();
        Access::analyzeErr(w);
        EXPECT_EQ(Access::analysisThread(w), nullptr) << c.name;
        ASSERT_EQ(boxes.shown().size(), before + 1) << c.name;
        EXPECT_EQ(boxes.shown().last().text, c.shown) << c.name;
        EXPECT_EQ(boxes.shown().last().title, "Stelvano") << c.name;
    }

    // A real failure, then the cancel message.
    const QString mono = folder("mono.wav");
    ASSERT_TRUE(importfix::writePlainWav(mono, 1, 44100, 4410));
    const int before = boxes.shown().size();
    importNew(mono);
    ASSERT_EQ(boxes.shown().size(), before + 2);
    EXPECT_EQ(boxes.shown()[before].text, "Internal Error #0096 ");
    EXPECT_EQ(boxes.shown()[before + 1].text, "The import operation has been canceled.");
    EXPECT_EQ(Access::analysisThread(w), nullptr);
    EXPECT_EQ(waves(w), 0);
}

TEST_F(ImportTest, AGoodWaveInfoFileReplacesTheProjectInOneUndoStep)
{
    const AwiSong a = writeAwiSong(folder("a"), 16.0, 120.0);
    MainWindow& w = window();
    importNew(a.wav);
    ASSERT_EQ(waves(w), 1);

    // A good one replaces the project; one undo brings the old one back.
    const AwiSong c = writeAwiSong(folder("c"), 18.0, 100.0);
    boxes.answer(QString("Yes"));
    importNew(c.wav);
    ASSERT_EQ(waves(w), 1);
    WaveInfoRecord* wave = nullptr;
    ASSERT_EQ(Access::core(w).getWavInfo(0, &wave), 0u);
    EXPECT_EQ(QString::fromStdWString(wave->path), c.wav);
    Access::core(w).undo();
    ASSERT_EQ(waves(w), 1);
    ASSERT_EQ(Access::core(w).getWavInfo(0, &wave), 0u);
    EXPECT_EQ(QString::fromStdWString(wave->path), a.wav);
}

TEST_F(ImportTest, ASecondFileKeepsTheOtherSectionsAndUndoesInOneStep)
{
    const AwiSong a = writeAwiSong(folder("a"), 16.0, 120.0);
    const AwiSong b = writeAwiSong(folder("b"), 18.0, 120.0);
    MainWindow& w = window();
    importNew(a.wav);
    ASSERT_EQ(Access::core(w).setTimeSignature(3, 4), 0u);
    ASSERT_EQ(Access::core(w).updateTempo(100), 0u);
    const SectionRecord intro = section(w, 0), mainA = section(w, 3);

    // Fill In A takes B; Intro 1, Main A, the tempo and the meter stay.
    Access::selectSectionIndex(w, 7);
    importIntoSection(b.wav);
    for (const auto& box : boxes.shown())
        ADD_FAILURE() << box.title.toStdString() << ": " << box.text.toStdString();
    ASSERT_EQ(waves(w), 2);
    EXPECT_EQ(section(w, 7).waveIndex, 1);
    EXPECT_TRUE(section(w, 7).used);
    EXPECT_EQ(section(w, 0).startAdrs, intro.startAdrs);
    EXPECT_EQ(section(w, 0).endAdrs, intro.endAdrs);
    EXPECT_EQ(section(w, 3).startAdrs, mainA.startAdrs);
    EXPECT_EQ(section(w, 3).waveIndex, 0);
    uint8_t beatsPerBar = 0, beatUnit = 0;
    ASSERT_EQ(Access::core(w).getTimeSig(&beatsPerBar, &beatUnit), 0u);
    EXPECT_EQ(beatsPerBar, 3);
    EXPECT_EQ(beatUnit, 4);
    CommonInfo* common = nullptr;
    ASSERT_EQ(Access::core(w).getProjectInfo()->getCommonInfo(&common), 0u);
    EXPECT_EQ(common->tempo, 100u);
    // Two files: manual bars, checked and locked.
    EXPECT_TRUE(w.mChkManual->isChecked());
    EXPECT_FALSE(w.mChkManual->isEnabled());

    // Undo returns to one file; refreshes write no steps, so redo stays.
    Access::core(w).undo();
    EXPECT_EQ(waves(w), 1);
    Access::refreshControls(w, 7);
    Access::updateActions(w);
    EXPECT_TRUE(w.actionRedo->isEnabled());
    Access::refreshControls(w, 7);
    EXPECT_TRUE(Access::core(w).canRedo());
    Access::core(w).redo();
    EXPECT_EQ(waves(w), 2);
    Access::refreshControls(w, 7);
    Access::updateActions(w);
    EXPECT_FALSE(w.actionRedo->isEnabled());
    Access::core(w).undo();
    EXPECT_EQ(waves(w), 1);
}

// ---------------------------------------------------------------- control state

TEST_F(ImportTest, EnableRulesFollowTheirConditions)
{
    const AwiSong a = writeAwiSong(folder("a"), 16.0, 120.0);
    const AwiSong b = writeAwiSong(folder("b"), 18.0, 120.0);
    MainWindow& w = window();
    importNew(a.wav);
    struct Row {
        bool open, file, manual, area, busy;
        int files, s;
    } const rows[] = {
        {true, true, false, true, false, 1, 3},   {true, true, true, true, false, 1, 0},
        {true, false, false, false, false, 1, 3}, {false, true, false, true, false, 1, 0},
        {true, true, false, false, true, 1, 13},  {true, true, false, true, false, 2, 1},
        {true, true, false, true, false, 0, 9},
    };
    QWidget dummy;
    for (const Row& r : rows) {
        const std::string row = QString("open %1 file %2 manual %3 area %4 busy %5 files %6 s %7")
                                    .arg(r.open)
                                    .arg(r.file)
                                    .arg(r.manual)
                                    .arg(r.area)
                                    .arg(r.busy)
                                    .arg(r.files)
                                    .arg(r.s)
                                    .toStdString();
        // The file count first (the project engine), then the window's state.
        Access::core(w).getProjectInfo()->clearWaves();
        for (int i = 0; i < r.files; ++i) {
            auto* wave = new WaveInfoRecord;
            wave->path = (i == 0 ? a.wav : b.wav).toStdWString();
            wave->beats = a.made.beats;
            wave->onsets = a.made.onsets;
            ASSERT_EQ(Access::core(w).getProjectInfo()->addWave(wave), 0u);
        }
        SectionRecord rec = section(w, r.s);
        rec.manualBars = r.manual ? 1 : 0;
        rec.pickupOn = 1;
        ASSERT_EQ(Access::core(w).getProjectInfo()->setSectionInfo(uint8_t(r.s), rec), 0u);
        Access::sectionRef(w) = r.s;
        Access::projectStateRef(w) = r.open ? 1 : 0;
        Access::selectionExistsRef(w) = r.area;
        Access::stretchWindow(w) = r.busy ? &dummy : nullptr;
        {
            const QSignalBlocker blockWav(w.mCmbWav), blockManual(w.mChkManual);
            w.mCmbWav->clear();
            w.mCmbWav->addItem("x");
            w.mCmbWav->setCurrentIndex(r.file ? 0 : -1);
            w.mChkManual->setChecked(r.manual);
        }
        Access::applyRules(w);
        const bool of = r.open && r.file;
        const bool manualShown = w.mChkManual->isChecked();
        EXPECT_EQ(manualShown, r.files >= 2 || r.manual) << row;
        EXPECT_EQ(w.mChkManual->isEnabled(), of && r.files < 2) << row;
        EXPECT_EQ(w.mSpinTempo->isEnabled(), of) << row;
        EXPECT_EQ(w.mLEditBeat->isEnabled(), of) << row;
        EXPECT_EQ(w.mLEditTrimStart->isEnabled(), of) << row;
        EXPECT_EQ(w.mChkFade->isEnabled(), of) << row;
        EXPECT_EQ(w.mSpinBars->isEnabled(), of && manualShown) << row;
        EXPECT_EQ(w.mChkTimeStretch->isEnabled(), of && r.area) << row;
        EXPECT_EQ(w.mChkClick->isEnabled(), of && r.area && !manualShown) << row;
        EXPECT_EQ(w.mSliderMetro->isEnabled(), of && r.area) << row;
        const bool introOrEnding = r.s <= 2 || r.s >= 12;
        EXPECT_EQ(w.mChkBlank->isEnabled(), of && !manualShown && introOrEnding) << row;
        EXPECT_EQ(w.mSpinPickup->isEnabled(), of && !manualShown && r.s <= 2) << row;
        EXPECT_EQ(w.mPushButtonPlay->isEnabled(), of && r.area) << row;
        EXPECT_EQ(w.mBtnShiftBeatPosition->isEnabled(), of && !manualShown) << row;
        EXPECT_EQ(w.mBtnBeatAnaDouble->isEnabled(), of && !manualShown) << row;
        EXPECT_EQ(w.mBtnBeatAnaHalf->isEnabled(), of && !manualShown) << row;
        EXPECT_EQ(w.mBtnImport->isEnabled(), r.open) << row;
        EXPECT_EQ(w.mBtnUnlink->isEnabled(), of) << row;
        EXPECT_EQ(w.actionNewAudioStyleProject->isEnabled(), !r.busy) << row;
        EXPECT_EQ(w.actionQuit->isEnabled(), !r.busy) << row;
        EXPECT_EQ(w.actionSaveAudioStyleProject->isEnabled(), !r.busy && r.open) << row;
        EXPECT_EQ(w.actionExport_as_AudioStyleFile->isEnabled(), !r.busy && r.files >= 1) << row;
        EXPECT_EQ(w.actionUndo->isEnabled(), !r.busy && Access::core(w).canUndo()) << row;
    }
    Access::stretchWindow(w) = nullptr;

    // No audio file: the section combo shows "Main A", disabled.
    Access::core(w).getProjectInfo()->clearWaves();
    Access::projectStateRef(w) = 1;
    Access::selectSectionIndex(w, 7);
    EXPECT_EQ(w.mCmbTrimSec->currentText(), "Main A");
    EXPECT_FALSE(w.mCmbTrimSec->isEnabled());
}

TEST_F(ImportTest, ASectionChangeEmptiesTheUndoHistory)
{
    const AwiSong a = writeAwiSong(folder("a"), 16.0, 120.0);
    MainWindow& w = window();
    importNew(a.wav);
    ASSERT_EQ(Access::core(w).updateTempo(110), 0u);
    Access::updateActions(w);
    ASSERT_TRUE(w.actionUndo->isEnabled());
    w.mCmbTrimSec->setCurrentIndex(0);
    EXPECT_EQ(w.mCmbTrimSec->currentText(), "Intro 1");
    EXPECT_FALSE(w.actionUndo->isEnabled());
    EXPECT_FALSE(w.actionRedo->isEnabled());
    EXPECT_TRUE(boxes.shown().isEmpty()) << shownTexts().join('|').toStdString();
}

TEST_F(ImportTest, TrimFieldsShowTheSectionsBeats)
{
    const AwiSong a = writeAwiSong(folder("a"), 16.0, 120.0);
    MainWindow& w = window();
    importNew(a.wav);
    CKRMcore& core = Access::core(w);
    SectionRecord rec = section(w, 3);
    const QString start = QString::number(double(samplesToSeconds(rec.startAdrs)), 'f', 6);
    const QString end = QString::number(double(samplesToSeconds(rec.endAdrs)), 'f', 6);

    // From the beat walk: only what the mask asks for.
    struct Case {
        uint32_t mask;
        QString start, end;
    } const cases[] = {{3, start, end}, {1, start, ""}, {2, "", end}};
    for (const Case& c : cases) {
        EXPECT_EQ(Access::refreshTrimFields(w, 3, c.mask), 0u) << c.mask;
        EXPECT_EQ(w.mLEditTrimStart->text(), c.start) << c.mask;
        EXPECT_EQ(w.mLEditTrimEnd->text(), c.end) << c.mask;
        EXPECT_EQ(w.mLEditTrimStart->placeholderText(), c.start) << c.mask;
    }

    // Manual bars: the stored positions, whatever the mask.
    rec.manualBars = 1;
    rec.startAdrs = 88200;
    ASSERT_EQ(core.getProjectInfo()->setSectionInfo(3, rec), 0u);
    EXPECT_EQ(Access::refreshTrimFields(w, 3, 2), 0u);
    EXPECT_EQ(w.mLEditTrimStart->text(), "2.000000");
    EXPECT_EQ(w.mLEditTrimStart->placeholderText(), "2.000000");
    EXPECT_EQ(w.mLEditTrimEnd->text(), end);
    EXPECT_EQ(w.mLEditTrimEnd->placeholderText(), end);
}

TEST(SectionInfoLine, ShowsLengthsStretchAndLimits)
{
    const auto info = [](int s, uint32_t bars, uint32_t start, uint32_t end, bool manual) {
        SectionWaveInfo i(nullptr, -1);
        i.m_section = s;
        i.m_bars = bars;
        i.m_tempo = 120.0;
        i.m_beatsPerBar = 4;
        i.m_beatUnit = 4;
        i.m_startSample = start;
        i.m_endSample = end;
        i.m_startTime = start / 44100.0;
        i.m_endTime = end / 44100.0;
        i.m_manual = manual;
        return i;
    };
    struct Case {
        SectionWaveInfo in;
        QString line;
    } const cases[] = {
        {info(3, 4, 0, 352800, false), "[Section length] 8.001 sec. - [Wave length] 8.000 sec. - [Time "
                                       "stretch]<font color='black'> 99.99 %"},
        {info(3, 4, 0, 352800, true),
         "[Estimated tempo] 120 - [Section length] 8.001 sec. - [Wave length] 8.000 "
         "sec. - [Time stretch]<font color='black'> 99.99 %"},
        {info(3, 4, 0, 705644, false), "[Section length] 8.001 sec. - [Wave length] 16.001 sec. - [Time "
                                       "stretch]<font color='black'> 200.00 %"},
        {info(3, 4, 0, 709172, false), "[Section length] 8.001 sec. - [Wave length] 16.081 sec. - [Time "
                                       "stretch]<font color='red'> 201.00 %"},
        {info(7, 2, 0, 352800, false),
         "<font color='red'>Please make the \"Bar\" value equal to or smaller than 1."},
        {info(3, 33, 0, 352800, false),
         "<font color='red'>Please make the \"Bar\" value equal to or smaller than 32."},
        {info(3, 4, 100, 100, false), "<font color='red'>Selected range of waveform is too short."},
        {info(-1, 4, 0, 352800, false), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Access::infoLine(c.in), c.line) << c.in.m_section << " " << c.in.m_endSample;
}

TEST_F(ImportTest, AProjectWithTwoFilesLoadsWithManualBarsUnmodified)
{
    const AwiSong a = writeAwiSong(folder("a"), 16.0, 120.0);
    const AwiSong b = writeAwiSong(folder("b"), 18.0, 120.0);
    // Saved by an engine without the rule: Fill In A on the second file at
    // manual 0.
    const QString project = folder("two.svproj");
    {
        CKRMcore core;
        ASSERT_EQ(core.loadProject(a.made.projectPath.toStdWString()), 0u);
        CKRMcore other;
        ASSERT_EQ(other.loadProject(b.made.projectPath.toStdWString()), 0u);
        WaveInfoRecord* wave = nullptr;
        ASSERT_EQ(other.getWavInfo(0, &wave), 0u);
        ASSERT_EQ(core.addWavList(new WaveInfoRecord(*wave)), 0u);
        SectionRecord* main = nullptr;
        ASSERT_EQ(core.getSecInfo(3, &main), 0u);
        SectionRecord fill(*main);
        fill.waveIndex = 1;
        fill.manualBars = 0;
        ASSERT_EQ(core.updateSecInfo(7, fill), 0u);
        SectionRecord* stored = nullptr;
        ASSERT_EQ(core.getSecInfo(7, &stored), 0u);
        ASSERT_EQ(stored->manualBars, 0);
        ASSERT_EQ(core.saveProject(project.toStdWString()), 0u);
    }
    MainWindow& w = window();
    m_answers << project;
    w.actionOpenAudioStyleProject->trigger();
    ASSERT_EQ(waves(w), 2);
    EXPECT_EQ(section(w, 7).manualBars, 1);
    EXPECT_EQ(section(w, 3).manualBars, 1);
    EXPECT_EQ(section(w, 5).manualBars, 0);
    EXPECT_FALSE(Access::core(w).isModified());
    EXPECT_FALSE(Access::core(w).canUndo());
}

// A song of `seconds` in `folder`/take.wav and the ".awi" the import's own
// analysis writes beside it, with that analysis's onsets.
struct AnalysedSong {
    QString wav, awi;
    std::vector<float> onsets;
};

AnalysedSong analysedSong(const QString& folder, double seconds)
{
    AnalysedSong s;
    QDir().mkpath(folder);
    s.wav = folder + "/take.wav";
    s.awi = waveInfoPathOf(s.wav);
    EXPECT_TRUE(importfix::writeSong(s.wav, seconds));
    CKRMcore core;
    std::unique_ptr<IF_audioFileMngr> files(createAudioFileMngr());
    ImportPipeline pipeline(core, files.get(), AnalysisOptions());
    ImportPaths paths;
    paths.audio = s.wav;
    paths.work = folder + "/work.wav";
    paths.waveInfo = s.awi;
    EXPECT_EQ(pipeline.run(paths), 0u) << core.errorText().toStdString();
    QFile::remove(paths.work);
    if (const std::unique_ptr<WaveInfoRecord> stored = storedAnalysis(s.awi))
        s.onsets = stored->onsets;
    return s;
}

// The song and its ".awi" copied into `folder`, the audio first.
AwiSong copyPair(const AnalysedSong& source, const QString& folder)
{
    AwiSong s;
    QDir().mkpath(folder);
    s.wav = folder + "/take.wav";
    s.awi = waveInfoPathOf(s.wav);
    EXPECT_TRUE(QFile::copy(source.wav, s.wav));
    EXPECT_TRUE(QFile::copy(source.awi, s.awi));
    return s;
}

// An ".awi" that belongs to another take must not decide the import: a take
// moved or restored onto the name keeps its old modification time but gets
// a new status-change time, and an ".awi" newer than the audio but with
// beats past its end would be refused by the load. Each is analysed afresh,
// on both import paths, with no message; only a valid pair is reused.
TEST_F(ImportTest, AWaveInfoFileOfAnotherTakeIsReplacedByAFreshAnalysis)
{
    enum class How { Moved, Restored, NewerAwiPastTheEnd, ValidPair };
    struct Row {
        const char* name;
        How how;
        double awiSeconds, audioSeconds;
    } const rows[] = {
        {"older 6 s take moved onto the 2 s take's name", How::Moved, 2.0, 6.0},
        {"older 2 s take moved onto the 6 s take's name", How::Moved, 6.0, 2.0},
        {"6 s take restored over the 2 s one with its older time", How::Restored, 2.0, 6.0},
        {"2 s take restored over the 6 s one with its older time", How::Restored, 6.0, 2.0},
        {"newer .awi of a 6 s take beside 2 s of audio", How::NewerAwiPastTheEnd, 6.0, 2.0},
        {"valid pair", How::ValidPair, 2.0, 2.0},
    };
    const QDateTime analysed = QDateTime::currentDateTime().addSecs(-3600);
    const QDateTime older = analysed.addSecs(-3600);
    const AwiSong base = writeAwiSong(folder("base"), 16.0, 120.0);
    MainWindow& w = window();
    // A short song of each length with its ".awi" from a real analysis.
    std::map<double, AnalysedSong> songs;
    for (const double seconds : {2.0, 6.0}) {
        songs[seconds] = analysedSong(folder(QString("song%1").arg(seconds)), seconds);
        ASSERT_FALSE(songs[seconds].onsets.empty());
    }
    int n = 0;
    for (const bool intoSection : {false, true}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(r.name) + (intoSection ? ", into a section" : ", new project"));
            const QString dir = folder(QString("row%1").arg(n++));
            const AnalysedSong& source = songs[r.awiSeconds];
            const AwiSong take = copyPair(source, dir);
            const QString other = folder(QString("other%1.wav").arg(n));
            ASSERT_TRUE(importfix::writeSong(other, r.audioSeconds));
            ASSERT_TRUE(setModified(other, older));
            switch (r.how) {
            case How::Moved:
                ASSERT_TRUE(setModified(take.awi, analysed));
                ASSERT_EQ(std::rename(QFile::encodeName(other).constData(),
                                      QFile::encodeName(take.wav).constData()),
                          0);
                break;
            case How::Restored:
                ASSERT_TRUE(setModified(take.awi, analysed));
                ASSERT_TRUE(testutil::writeFile(take.wav, testutil::readFile(other)));
                ASSERT_TRUE(setModified(take.wav, older));
                break;
            case How::NewerAwiPastTheEnd: {
                // The audio first, its ".awi" copied beside it afterwards.
                ASSERT_TRUE(testutil::writeFile(take.wav, testutil::readFile(other)));
                ASSERT_TRUE(setModified(take.wav, older));
                const std::vector<uint8_t> awi = testutil::readFile(take.awi);
                ASSERT_TRUE(QFile::remove(take.awi));
                ASSERT_TRUE(testutil::writeFile(take.awi, awi));
                break;
            }
            case How::ValidPair:
                break;
            }
            const std::vector<uint8_t> storedBefore = testutil::readFile(take.awi);
            const bool fresh = r.how != How::ValidPair;

            // A cancelled analysis leaves the old ".awi" and the project.
            if (fresh && !intoSection) {
                const int before = waves(w);
                testutil::ModalAnswer<QProgressDialog> cancel([](QProgressDialog& d) { d.cancel(); });
                if (Access::core(w).isModified())
                    boxes.answer(QString("Yes"));
                importNew(take.wav);
                EXPECT_TRUE(cancel.seen());
                EXPECT_EQ(testutil::readFile(take.awi), storedBefore);
                EXPECT_EQ(waves(w), before);
            }

            const Outcome got = importOn(intoSection, base.wav, take.wav);
            EXPECT_EQ(got.analysed, fresh);
            EXPECT_TRUE(got.messages.isEmpty()) << got.messages.join('|').toStdString();

            const int index = Access::waveIndexOf(w, take.wav);
            ASSERT_GE(index, 0);
            WaveInfoRecord* wave = nullptr;
            ASSERT_EQ(Access::core(w).getWavInfo(uint8_t(index), &wave), 0u);
            ASSERT_FALSE(wave->onsets.empty());
            const float end = float(std::lround(r.audioSeconds * 44100.0)) / 44100.0f;
            EXPECT_FLOAT_EQ(wave->onsets.back(), fresh ? end : source.onsets.back());
            ASSERT_FALSE(wave->beats.empty());
            EXPECT_LE(wave->beats.back(), end);
            if (intoSection) {
                EXPECT_EQ(waves(w), 2);
                EXPECT_TRUE(section(w, 7).used);
                EXPECT_EQ(int(section(w, 7).waveIndex), index);
            } else {
                EXPECT_EQ(waves(w), 1);
            }
            const std::unique_ptr<WaveInfoRecord> stored = storedAnalysis(take.awi);
            ASSERT_TRUE(stored);
            EXPECT_EQ(stored->onsets, wave->onsets);
            if (!fresh) {
                EXPECT_EQ(testutil::readFile(take.awi), storedBefore);
            }
        }
    }
}

namespace {

// `folder` made read-only for this process while the object lives: a
// read-only bind mount over itself where the process may mount (root, as
// in CI, whom file modes do not stop), else the folder's write bits taken
// away. `how` says which; empty when neither works.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder) : m_folder(QFile::encodeName(folder))
    {
        if (::geteuid() == 0) {
            if (::mount(m_folder.constData(), m_folder.constData(), nullptr, MS_BIND, nullptr) != 0)
                return;
            m_mounted = true;
            if (::mount(nullptr, m_folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                0)
                return;
            how = "a read-only bind mount";
        } else if (::chmod(m_folder.constData(), 0555) == 0) {
            m_chmodded = true;
            how = "a folder without write permission";
        }
    }
    ~ReadOnlyFolder()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
        if (m_chmodded)
            ::chmod(m_folder.constData(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    std::string how;

private:
    QByteArray m_folder;
    bool m_mounted = false, m_chmodded = false;
};

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

}  // namespace

// Audio on read-only media imports on both paths: a fitting ".awi" beside it
// is used, and otherwise the analysis is kept in the cache, read back from
// there the next time, and nothing is written into the folder.
TEST_F(ImportTest, AudioInAReadOnlyFolderImportsAndItsAnalysisIsKeptInTheCache)
{
    enum class Beside { None, Fitting, OlderThanTheAudio };
    struct Row {
        const char* name;
        Beside beside;
    } const rows[] = {
        {"no .awi beside the audio", Beside::None},
        {"a fitting .awi beside it", Beside::Fitting},
        {"an .awi copied before the audio", Beside::OlderThanTheAudio},
    };
    const AwiSong base = writeAwiSong(folder("base"), 16.0, 120.0);
    MainWindow& w = window();
    int n = 0;
    for (const bool intoSection : {false, true}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(r.name) + (intoSection ? ", into a section" : ", new project"));
            const QString dir = folder(QString("media%1").arg(n++));
            const AnalysedSong take = analysedSong(dir, 4.0);
            if (r.beside == Beside::None) {
                ASSERT_TRUE(QFile::remove(take.awi));
            }
            if (r.beside == Beside::OlderThanTheAudio) {
                ASSERT_TRUE(setModified(take.awi, QDateTime::currentDateTime().addSecs(-3600)));
            }
            const QStringList before = entries(dir);
            const ReadOnlyFolder readOnly(dir);
            if (readOnly.how.empty())
                GTEST_SKIP() << "this process can make no folder read-only (not root with mount rights)";
            ASSERT_FALSE(testutil::writeFile(dir + "/probe", {'x'})) << "the folder is still writable";

            const bool analysed = r.beside != Beside::Fitting;
            for (const bool again : {false, true}) {
                SCOPED_TRACE(again ? "imported again" : "first import");
                const Outcome got = importOn(intoSection, base.wav, take.wav);
                EXPECT_EQ(got.analysed, analysed && !again) << readOnly.how;
                EXPECT_TRUE(got.messages.isEmpty()) << got.messages.join('|').toStdString();
                const int index = Access::waveIndexOf(w, take.wav);
                ASSERT_GE(index, 0);
                WaveInfoRecord* wave = nullptr;
                ASSERT_EQ(Access::core(w).getWavInfo(uint8_t(index), &wave), 0u);
                ASSERT_FALSE(wave->beats.empty());
                ASSERT_FALSE(wave->onsets.empty());
                EXPECT_FLOAT_EQ(wave->onsets.back(), 4.0f);
                if (!analysed) {
                    EXPECT_EQ(wave->onsets, take.onsets);
                }
                if (intoSection) {
                    EXPECT_EQ(int(section(w, 7).waveIndex), index);
                }
                EXPECT_EQ(entries(dir), before) << "nothing is written into the folder";
                const std::unique_ptr<WaveInfoRecord> cached = storedAnalysis(cachedWaveInfoPathOf(take.wav));
                EXPECT_EQ(bool(cached), analysed);
                if (cached) {
                    EXPECT_EQ(cached->onsets, wave->onsets);
                }
            }
            // The cache is the user's, kept per audio path: the next row
            // starts without this one's.
            QFile::remove(cachedWaveInfoPathOf(take.wav));
        }
    }
}
