// The export workflow of the main window on a project of our making: the
// readiness check, the file dialog, the job behind its busy dialog and the
// report of its outcome; job replacement and teardown.
#include "ExportStyle.h"
#include "FileUtil.h"
#include "JobTestSupport.h"
#include "KRMprotoSettings.h"
#include "WindowJobFixture.h"
#include "MessageDialog.h"
#include "ModalDialogs.h"
#include "TestUtil.h"
#include "TestWav.h"
#include "TimeStretcher.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using Access = MainWindowTestAccess;

namespace {

const QString kTail = "\n\nThe project cannot be exported.\nPlease adjust the tempo, or adjust the waveform "
                      "selection range and the \"Bar\" value of the section.";

class ExportWorkflowTest : public WindowJobTest {
protected:
    void clearSection(uint8_t i)
    {
        editSection(i, [](SectionRecord& s) { s.clear(); });
    }
    // Main A over `seconds` of audio from its start.
    void setMainLength(double seconds)
    {
        editSection(
            3, [&](SectionRecord& s) { s.endAdrs = s.startAdrs + uint32_t(std::lround(seconds * 44100)); });
    }
    // Runs the export with the file dialog answered by `path` (empty:
    // cancelled); returns whether the dialog showed and its start folder.
    bool exportTo(const QString& path, QString* startFolder = nullptr)
    {
        bool asked = false;
        MainWindow::setFileChooser([&](const MainWindow::FileChoice& choice) {
            asked = true;
            if (startFolder)
                *startFolder = QDir(choice.folder).absolutePath();
            return path;
        });
        Access::exportSty(w());
        MainWindow::setFileChooser(nullptr);
        return asked;
    }
    QStringList shownTexts() const
    {
        QStringList t;
        for (const auto& s : boxes.shown())
            t << s.text;
        return t;
    }

    QTemporaryDir out;
};

}  // namespace

TEST(ExportWorkflowTables, BarLimitsAndSectionMaskText)
{
    const std::pair<int, uint32_t> limits[] = {{0, 32},  {3, 32},  {6, 32}, {7, 1}, {11, 1},
                                               {12, 32}, {14, 32}, {15, 1}, {-1, 1}};
    for (const auto& [index, limit] : limits)
        EXPECT_EQ(Access::maxBarsOfSection(index), limit) << index;
    EXPECT_EQ(Access::sectionMaskText(0x0009), "Intro 1, Main A.");
    EXPECT_EQ(Access::sectionMaskText(0x8000), "");
    EXPECT_EQ(Access::sectionMaskText(0x8001), "Intro 1.");
    EXPECT_EQ(Access::sectionMaskText(0), "");
}

TEST_F(ExportWorkflowTest, ReadinessMessagesAndNoFileDialogOnFailure)
{
    clearSection(0);
    // Only "Fill In A", 2 bars over Main A's audio.
    SectionRecord* mainA = nullptr;
    ASSERT_EQ(core().getSecInfo(3, &mainA), 0u);
    SectionRecord fill(*mainA);
    clearSection(3);
    fill.setPointCount(2);
    ASSERT_EQ(core().updateSecInfo(7, fill), 0u);
    EXPECT_FALSE(exportTo(out.filePath("never.aus")));
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].text, "The \"Bar\" value of the following sections exceeds the limit of each "
                                     "section. \n  section: Fill In A." +
                                         kTail);
}

TEST_F(ExportWorkflowTest, StretchRatioOfFourBarsAtOneHundredTwenty)
{
    clearSection(0);
    const QString listed =
        "Time stretch ratio of the following sections exceeds the limits.\n  section: Main A." + kTail;
    // 4 bars at 120 last 8.0005 s as the program computes them, so 4.0 s is
    // just below half.
    const std::pair<double, bool> cases[] = {
        {3.0, true}, {4.0, true}, {4.001, false}, {8.0, false}, {16.0, false}};
    for (const auto& [seconds, isListed] : cases) {
        SCOPED_TRACE(seconds);
        setMainLength(seconds);
        EXPECT_EQ(Access::checkExportable(w()), isListed ? listed : QString());
    }
}

TEST_F(ExportWorkflowTest, FailuresListedInSectionOrderAndOnlyUnderTheFirstTest)
{
    // Intro 1 and Main A both too short for their bars; then Main A also
    // over its bar limit.
    editSection(0, [](SectionRecord& s) { s.endAdrs = s.startAdrs + 44100; });
    setMainLength(1.0);
    EXPECT_EQ(
        Access::checkExportable(w()),
        "Time stretch ratio of the following sections exceeds the limits.\n  section: Intro 1, Main A." +
            kTail);
    editSection(3, [](SectionRecord& s) { s.setPointCount(33); });
    EXPECT_EQ(Access::checkExportable(w()),
              "The \"Bar\" value of the following sections exceeds the limit of each section. \n  section: "
              "Main A.\n\n"
              "Time stretch ratio of the following sections exceeds the limits.\n  section: Intro 1." +
                  kTail);
}

TEST_F(ExportWorkflowTest, NothingAssigned)
{
    clearSection(0);
    clearSection(3);
    EXPECT_FALSE(exportTo(out.filePath("never.aus")));
    EXPECT_EQ(shownTexts(), QStringList {"Internal Error #0098 "});
}

TEST_F(ExportWorkflowTest, FileDialogStartFolderAndCancel)
{
    QTemporaryDir projects;
    const struct {
        const char* name;
        QString styles;
        QString projects;
        QString start;
    } cases[] = {
        {"style folder first", out.path(), projects.path(), out.path()},
        {"then the project folder", "", projects.path(), projects.path()},
        {"else the current folder", "", "", QDir("./").absolutePath()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KRMprotoSettings::writeString("Audio", "AudioStyleFilePath", c.styles);
        KRMprotoSettings::writeString("Project", "ProjectFilePath", c.projects);
        QString start;
        ASSERT_TRUE(exportTo(QString(), &start));
        EXPECT_EQ(start, c.start);
    }
    // Cancel changes nothing.
    EXPECT_TRUE(boxes.shown().isEmpty());
    EXPECT_EQ(Access::exportWorker(w()), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(KRMprotoSettings::readString("Audio", "AudioStyleFilePath"), "");
}

TEST_F(ExportWorkflowTest, SuccessfulExportReportsAndStoresTheFolder)
{
    ASSERT_TRUE(exportTo(out.filePath("song")));
    EXPECT_EQ(shownTexts(), QStringList {"Export operation has been finished."});
    EXPECT_EQ(boxes.shown()[0].title, "Export Audio Style File");
    const QString written = out.filePath("song.aus");
    ASSERT_TRUE(QFileInfo::exists(written)) << "a name without suffix gets .aus";
    EXPECT_EQ(QFileInfo(written).size(),
              qint64(static_cast<ExportStyle*>(Access::exportWorker(w()))->writtenBytes));
    EXPECT_EQ(KRMprotoSettings::getAudioStyleFilePath(), out.path());
    EXPECT_EQ(Access::exportDialog(w()), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(w().actionExport_as_AudioStyleFile->isEnabled());
}

// While the job runs, its busy dialog (without a Cancel button) is modal
// and the file actions are off.
TEST_F(ExportWorkflowTest, BusyDialogBlocksTheFileActions)
{
    struct Busy {
        QString label;
        bool cancelButton = true;
        bool exportEnabled = true;
        bool openEnabled = true;
        bool saveEnabled = true;
    } busy;
    testutil::ModalAnswer<QProgressDialog> look([&](QProgressDialog& d) {
        busy.label = d.labelText();
        busy.cancelButton = d.findChild<QPushButton*>() != nullptr;
        busy.exportEnabled = w().actionExport_as_AudioStyleFile->isEnabled();
        busy.openEnabled = w().actionOpenAudioStyleProject->isEnabled();
        busy.saveEnabled = w().actionSaveAudioStyleProject->isEnabled();
    });
    const QString path = out.filePath("busy.aus");
    ASSERT_TRUE(exportTo(path));
    ASSERT_TRUE(look.seen());
    EXPECT_EQ(busy.label, "Processing. Please wait.\nExport audio style file : " + path);
    EXPECT_FALSE(busy.cancelButton);
    EXPECT_FALSE(busy.exportEnabled);
    EXPECT_FALSE(busy.openEnabled);
    EXPECT_FALSE(busy.saveEnabled);
    EXPECT_EQ(shownTexts(), QStringList {"Export operation has been finished."});
}

// What the window makes of each outcome the job can report. Code 0 with a
// mask is the one outcome with a file written; after a failure the mask
// (filled before anything is written) shows no warning.
TEST_F(ExportWorkflowTest, ProblemReportsInTheirOrder)
{
    const QString warningEnd = "\n\n section: Main A.";
    struct Case {
        const char* name;
        ulong code;
        uint16_t mask;
        bool memoryFull;
        QString engineText;
        QString shown;  // exact, or the end of the text for the warning
        bool storesFolder;
    };
    const Case cases[] = {
        {"memory full, written", 0, 0x0008, true, "engine", "Internal Error #0112 ", true},
        {"memory full, failed", 0x80001388, 0x0008, true, "engine", "Internal Error #0112 ", false},
        {"written with warnings", 0, 0x0008, false, "", warningEnd, true},
        {"failed after the limit, with a text", 0x80001388, 0x0008, false, "Write error!\r\nx.aus",
         "Write error!\r\nx.aus", false},
        {"failed after the limit, code only", 0x80001388, 0x0008, false, "",
         "Internal Error #0113 [80001388]", false},
        {"engine text", 0x80000003, 0, false, "section area error!", "section area error!", false},
        {"code only", 0x80000003, 0, false, "", "Internal Error #0113 [80000003]", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KRMprotoSettings::setAudioStyleFilePath(QString());
        const QString before = KRMprotoSettings::getAudioStyleFilePath();
        auto* job = new ExportStyle([] { return 0u; }, &core(), out.filePath("x.aus"), &w());
        job->warningMask = c.mask;
        delete Access::exportWorker(w());
        Access::exportWorker(w()) = job;
        core().clearError();
        core().setErrorText(c.engineText);
        if (c.memoryFull)
            jobtest::CoreAccess::raiseErrorFlag(core());
        const int shownBefore = boxes.shown().size();
        Access::exportErrorOnPreparation(w(), c.code);
        ASSERT_EQ(boxes.shown().size(), shownBefore + 1);
        const auto& shown = boxes.shown().back();
        EXPECT_EQ(shown.title, "Export Audio Style File");
        if (c.shown == warningEnd)
            EXPECT_TRUE(shown.text.startsWith("Waveform playback time of some sections is too long") &&
                        shown.text.endsWith(c.shown))
                << shown.text.toStdString();
        else
            EXPECT_EQ(shown.text, c.shown);
        EXPECT_EQ(Access::memoryFull(w()), c.memoryFull);
        EXPECT_EQ(KRMprotoSettings::getAudioStyleFilePath(), c.storesFolder ? out.path() : before);
    }
    core().clearError();
}

// Real export jobs from the window's command to its message, for a target
// that is written, one on a full disk and one that cannot be made, each
// with and without a section past the limit of playback control points.
// The message names the failure exactly when no file was written and
// shows the warning exactly when a file was written past the limit.
TEST_F(ExportWorkflowTest, OutcomeOfRealJobsNamesTheFailureOrTheWarning)
{
    const QString warning =
        "Waveform playback time of some sections is too long, so the quantity of playback control "
        "information of the section exceeds the limit. This may result in degraded sound quality when "
        "playing back the exported Audio Style on the instrument.\n\n section: Main A.";
    // Tests run as root, for whom permissions do not stop a write: a target
    // whose folder is a regular file cannot be made by anyone.
    ASSERT_TRUE(testutil::writeFile(out.filePath("plain"), {'x'}));
    const std::vector<uint8_t> songBytes = testutil::readFile(song.wavPath);
    // Clicks 40 times a second: 320 attacks in the 8 s of Main A, past the
    // 256 points the window allows; the 160 of Intro 1 stay within it.
    testsig::Signal dense = testsig::clickTrack(2400.0, 16.0, 0.8f, 64);
    dense.samples.resize(song.frames);

    enum class Target { Writable, Full, Unmakeable };
    const struct {
        const char* name;
        Target target;
    } targets[] = {
        {"writable", Target::Writable}, {"full disk", Target::Full}, {"unmakeable", Target::Unmakeable}};
    for (const bool limit : {false, true}) {
        if (limit)
            ASSERT_TRUE(testwav::writeMonoAsStereo(song.wavPath, dense.samples));
        else
            ASSERT_TRUE(testutil::writeFile(song.wavPath, songBytes));
        // Rendered here, so that the full disk refuses only the style file.
        for (const uint8_t i : {uint8_t(0), uint8_t(3)}) {
            bool skipped = false;
            ASSERT_EQ(core().writeTempWave(i, skipped), 0u) << core().errorText().toStdString();
            ASSERT_FALSE(skipped);
        }
        for (const auto& t : targets) {
            SCOPED_TRACE(std::string(t.name) + (limit ? ", limit reached" : ", within the limit"));
            const QString path = t.target == Target::Unmakeable
                                     ? out.filePath("plain/x.aus")
                                     : out.filePath(QString("%1-%2.aus").arg(int(t.target)).arg(limit));
            KRMprotoSettings::setAudioStyleFilePath(QString());
            const QString folderBefore = KRMprotoSettings::getAudioStyleFilePath();
            const int shownBefore = boxes.shown().size();
            if (t.target == Target::Full)
                // The process's file-size limit refuses any write past 64 KiB,
                // as a full disk does: the style file with its audio is larger.
                testutil::withFileSizeLimit(64 * 1024, [&] { ASSERT_TRUE(exportTo(path)); });
            else
                ASSERT_TRUE(exportTo(path));
            ASSERT_EQ(boxes.shown().size(), shownBefore + 1);
            const QString shown = boxes.shown().back().text;
            auto* job = static_cast<ExportStyle*>(Access::exportWorker(w()));
            EXPECT_EQ(job->warningMask, limit ? 0x0008 : 0) << "the limit is reached as the row says";

            const bool written = t.target == Target::Writable;
            EXPECT_EQ(QFileInfo::exists(path), written);
            if (written) {
                EXPECT_EQ(QFileInfo(path).size(), qint64(job->writtenBytes));
                EXPECT_EQ(shown, limit ? warning : QString("Export operation has been finished."));
                EXPECT_EQ(KRMprotoSettings::getAudioStyleFilePath(), out.path());
            } else {
                EXPECT_EQ(shown, "Write error!\r\n" + path);
                EXPECT_EQ(KRMprotoSettings::getAudioStyleFilePath(), folderBefore);
            }
            EXPECT_FALSE(Access::memoryFull(w()));
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        }
    }
}

// Replacing a finished job's thread and worker, and closing the window
// right after a job, end the threads before deleting anything.
TEST_F(ExportWorkflowTest, JobsReplacedAndTornDownCleanly)
{
    ASSERT_TRUE(exportTo(out.filePath("a.aus")));
    QThread* firstThread = Access::exportThread(w());
    ASSERT_NE(firstThread, nullptr);
    ASSERT_TRUE(exportTo(out.filePath("b.aus")));
    EXPECT_EQ(shownTexts(),
              QStringList({"Export operation has been finished.", "Export operation has been finished."}));
    EXPECT_TRUE(QFileInfo::exists(out.filePath("a.aus")));
    EXPECT_TRUE(QFileInfo::exists(out.filePath("b.aus")));
    w().mChkTimeStretch->setChecked(true);
    Access::playLoop(w());
    ASSERT_NE(Access::stretchThread(w()), nullptr);
    // Teardown follows in TearDown, right after the stretch.
}
