// Section assignment and the editing controls of the main window over a
// project of our making: reassigning and unlinking audio, the dragged area
// on the beat grid (with the pickup of blank intros), and each editing
// control with its check, its message and its undo step.
#include "BeatGrid.h"
#include "KRMprotoSettings.h"
#include "MainWindowTestAccess.h"
#include "MessageDialog.h"
#include "ProjectWindowTest.h"
#include "TestProject.h"
#include "WindowDrop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

using Access = MainWindowTestAccess;

namespace {

using projectwindow::fileBytes;
using projectwindow::song;

uint32_t beatSample(int halfBeat)
{
    return secondsToSamples(song().beats[size_t(halfBeat)]);
}

class SectionEditTest : public projectwindow::ProjectWindowTest {
protected:
    SectionRecord record(int section)
    {
        SectionRecord* r = nullptr;
        EXPECT_EQ(core().getSecInfo(uint8_t(section), &r), 0u);
        return r ? *r : SectionRecord();
    }
    void storeRecord(int section, const SectionRecord& rec)
    {
        ASSERT_EQ(core().updateSecInfo(uint8_t(section), rec), 0u);
    }
    // The project as the engine would save it now.
    QByteArray savedBytes()
    {
        CKRMcore copy;
        EXPECT_EQ(copy.assignFrom(core()), 0u);
        const QString path = dataPath("snapshot.svproj");
        EXPECT_EQ(copy.saveProject(path.toStdWString()), 0u);
        return fileBytes(path);
    }
    // A project with the song twice: Intro 1 on "a.wav", Main A on "b.wav".
    QString twoFileProject()
    {
        const QString a = dir.filePath("a.wav");
        const QString b = dir.filePath("b.wav");
        QFile::copy(song().wavPath, a);
        QFile::copy(song().wavPath, b);
        CKRMcore c;
        EXPECT_EQ(c.loadProject(song().projectPath.toStdWString()), 0u);
        EXPECT_EQ(c.setWavPath(0, a.toStdWString()), 0u);
        WaveInfoRecord* first = nullptr;
        c.getWavInfo(0, &first);
        auto* second = new WaveInfoRecord(*first);
        second->path = b.toStdWString();
        EXPECT_EQ(c.addWavList(second), 0u);
        SectionRecord* main = nullptr;
        c.getSecInfo(3, &main);
        SectionRecord moved = *main;
        moved.waveIndex = 1;
        EXPECT_EQ(c.setSecInfo(3, moved), 0u);
        const QString path = dir.filePath("two.svproj");
        EXPECT_EQ(c.saveProject(path.toStdWString()), 0u);
        return path;
    }
};

TEST_F(SectionEditTest, CancelOnTheReassignQuestionPutsTheComboBack)
{
    open(twoFileProject());
    ASSERT_EQ(w().mCmbWav->count(), 2);
    ASSERT_EQ(w().mCmbWav->currentIndex(), 1);
    boxes.answer(QMessageBox::Cancel);
    const QByteArray before = savedBytes();
    w().mCmbWav->setCurrentIndex(0);
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].text,
              "This section already has a waveform assignment. Are you sure you want to change it?");
    EXPECT_EQ(w().mCmbWav->currentIndex(), 1);
    EXPECT_EQ(Access::wave(w()), 1);
    EXPECT_EQ(savedBytes(), before);
}

TEST_F(SectionEditTest, UnlinkingTheLastSectionOfAFileRemovesTheFile)
{
    open(twoFileProject());
    boxes.answer(QMessageBox::Ok);
    QMetaObject::invokeMethod(&w(), "releasedBtnUnlinkAudio");
    EXPECT_EQ(record(3).used, 0);
    EXPECT_EQ(record(3).waveIndex, krm::kNoWave);
    EXPECT_EQ(core().getProjectInfo()->waveCount(), 1u);
    EXPECT_EQ(w().mCmbWav->count(), 1);
    EXPECT_EQ(record(0).waveIndex, 0);
    // Cancel leaves it.
    Access::showSection(w(), 0);
    MessageDialogScript script;
    script.answer(QMessageBox::Cancel);
    QMetaObject::invokeMethod(&w(), "releasedBtnUnlinkAudio");
    EXPECT_EQ(record(0).used, 1);
}

TEST_F(SectionEditTest, TheDraggedAreaLandsOnTheBeatGridWithThePickupOfBlankIntros)
{
    open(song().projectPath);
    // From the off-beat after beat 1 to beat 8: in the pickup case the bars
    // count back from the end (beat 4 starts them, 5 half beats before it
    // the pickup); otherwise the area starts on the off-beat grid.
    for (int section : {0, 1, 2}) {
        SCOPED_TRACE(section);
        Access::showSection(w(), section);
        Access::wave(w()) = 0;
        w().mChkBlank->setChecked(true);
        Access::setSelection(w(), int32_t(beatSample(16)), int32_t(beatSample(3)));
        ASSERT_EQ(Access::assignArea(w()), 0u) << Access::statusLabel(w())->text().toStdString();
        const SectionRecord r = record(section);
        EXPECT_EQ(r.used, 1);
        if (section < 2) {
            EXPECT_EQ(r.toggle, 0);
            EXPECT_EQ(r.startAdrs, beatSample(8));
            EXPECT_EQ(r.startOffset, 0);
            EXPECT_EQ(r.pickupHalfBeats, 5);
            EXPECT_EQ(r.endAdrs, beatSample(16));
        } else {
            EXPECT_EQ(r.toggle, 1);
            EXPECT_EQ(r.pickupHalfBeats, 0);
            EXPECT_EQ(int64_t(r.startAdrs) + r.startOffset, int64_t(beatSample(3)));
            EXPECT_EQ(int64_t(r.endAdrs) + r.endOffset, int64_t(beatSample(16)));
        }
    }
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(SectionEditTest, AnAreaTheSectionCannotTakePutsTheSelectionBack)
{
    open(song().projectPath);
    const SectionRecord before = record(3);
    struct Case {
        int32_t start, end;
        const char* status;
    };
    const Case cases[] = {
        {int32_t(beatSample(20)), int32_t(beatSample(20)),
         "[Error] Section assigned area should be selected."},
        {int32_t(beatSample(20)), int32_t(beatSample(20)) + 10, "[Error] Wave length is too short."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        Access::setSelection(w(), c.start, c.end);
        Access::assignArea(w());
        EXPECT_TRUE(record(3).equals(before));
        EXPECT_TRUE(Access::statusLabel(w())->text().contains(c.status))
            << Access::statusLabel(w())->text().toStdString();
        EXPECT_EQ(Access::selectionStart(w()), int32_t(before.startAdrs));
        EXPECT_EQ(Access::selectionEnd(w()), int32_t(before.endAdrs));
    }
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(SectionEditTest, TrimFieldsTakeSwappedTimesAndRefuseTimesPastTheAudio)
{
    open(song().projectPath);
    QLineEdit* start = w().mLEditTrimStart;
    QLineEdit* end = w().mLEditTrimEnd;
    const QList<QPair<QString, QString>> typed = {{"007.5", "0"}, {"0.5", "0.5"}, {"00", "0"}, {"12", "12"}};
    for (const auto& t : typed) {
        start->setText(t.first);
        EXPECT_EQ(start->text(), t.second) << t.first.toStdString();
    }
    start->setText("6");
    end->setText("4");
    start->setModified(true);
    end->setModified(true);
    QMetaObject::invokeMethod(&w(), "trimEndEditingFinished");
    EXPECT_EQ(start->text(), "4.000000");
    EXPECT_EQ(end->text(), "6.000000");
    const SectionRecord r = record(3);
    EXPECT_EQ(r.startAdrs,
              uint32_t(Access::snap(w(), int32_t(secondsToSamples(4.0f)), Access::beatMarks(w()))));
    EXPECT_EQ(r.endAdrs,
              uint32_t(Access::snap(w(), int32_t(secondsToSamples(6.0f)), Access::beatMarks(w()))));

    end->setPlaceholderText("6.000000");
    end->setText("99");
    end->setModified(true);
    QMetaObject::invokeMethod(&w(), "trimEndEditingFinished");
    EXPECT_EQ(end->text(), "6.000000");
    EXPECT_TRUE(record(3).equals(r));
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(SectionEditTest, BarsNeedManualAndThePickupStaysWithinABar)
{
    open(song().projectPath);
    const SectionRecord main = record(3);
    ASSERT_EQ(main.manualBars, 0);
    EXPECT_EQ(Access::updateBars(w(), main.barCount + 1), 0u);
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].text, "Internal Error #0081 ");
    EXPECT_EQ(w().mSpinBars->value(), main.barCount);
    EXPECT_TRUE(record(3).equals(main));

    ASSERT_EQ(Access::setManual(w(), true), 0u);
    ASSERT_EQ(Access::updateBars(w(), 6), 0u);
    EXPECT_EQ(record(3).barCount, 6);

    // Intro 1 over bars 2 to 4 leaves room for a pickup of a whole bar.
    Access::showSection(w(), 0);
    Access::wave(w()) = 0;
    Access::setSelection(w(), int32_t(beatSample(8)), int32_t(beatSample(32)));
    ASSERT_EQ(Access::assignArea(w()), 0u);
    SectionRecord intro = record(0);
    intro.pickupOn = 1;
    storeRecord(0, intro);
    ASSERT_EQ(Access::setPickup(w(), 8), 0u);
    EXPECT_EQ(record(0).pickupHalfBeats, 7);
}

TEST_F(SectionEditTest, TheTimeSignatureFieldTakesOnlyMetersTheProjectHas)
{
    open(song().projectPath);
    QLineEdit* beat = w().mLEditBeat;
    beat->clear();
    QTest::keyClicks(beat, "13");
    EXPECT_EQ(beat->text(), "1");

    // Cancel on the question: the field shows the project's meter again.
    boxes.answer(QString("Cancel"));
    beat->clear();
    QTest::keyClicks(beat, "3/4");
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].text, "Changing the beat will reset all settings of all sections. Continue?");
    EXPECT_EQ(boxes.shown()[0].buttons, QStringList({"Reset", "Cancel"}));
    EXPECT_EQ(beat->text(), "4/4");
    EXPECT_EQ(beat->placeholderText(), "4/4");
    uint8_t n = 0, d = 0;
    core().getTimeSig(&n, &d);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(d, 4);

    // Without a section in use the meter goes to the engine unasked.
    for (int section : {0, 3}) {
        SectionRecord cleared = record(section);
        cleared.clear();
        storeRecord(section, cleared);
    }
    beat->clear();
    QTest::keyClicks(beat, "12/8");
    core().getTimeSig(&n, &d);
    EXPECT_EQ(n, 12);
    EXPECT_EQ(d, 8);
    EXPECT_EQ(beat->text(), "12/8");
    EXPECT_EQ(beat->placeholderText(), "12/8");
    EXPECT_EQ(boxes.shown().size(), 1);
}

TEST_F(SectionEditTest, ManualPutsTheClickAsideInOneStepAndIsRemembered)
{
    open(song().projectPath);
    ASSERT_EQ(Access::clickOn(w()), 1);
    ASSERT_FALSE(core().canUndo());
    w().mChkManual->click();
    EXPECT_EQ(record(3).manualBars, 1);
    EXPECT_EQ(Access::clickOn(w()), 0);
    EXPECT_TRUE(KRMprotoSettings::getManualDefault());
    core().undo();
    EXPECT_FALSE(core().canUndo());
    EXPECT_EQ(record(3).manualBars, 0);
    core().redo();
    // Switching manual off applies the trim fields again, on the beats.
    const SectionRecord main = record(3);
    w().mLEditTrimStart->setText(QString::number(double(samplesToSeconds(main.startAdrs)), 'f', 6));
    w().mLEditTrimEnd->setText(QString::number(double(samplesToSeconds(main.endAdrs)), 'f', 6));
    w().mChkManual->setChecked(true);
    w().mChkManual->click();
    EXPECT_EQ(record(3).manualBars, 0);
    EXPECT_EQ(record(3).startAdrs, main.startAdrs);
    EXPECT_EQ(record(3).endAdrs, main.endAdrs);
    EXPECT_EQ(Access::clickOn(w()), 1);
    EXPECT_FALSE(KRMprotoSettings::getManualDefault());
    for (const MessageDialogScript::Shown& s : boxes.shown())
        ADD_FAILURE() << s.text.toStdString();
}

TEST_F(SectionEditTest, BeatReanalysisNeedsAFileAndAsksOverLongBeatLists)
{
    open(QString());
    QMetaObject::invokeMethod(&w(), "releasedBtnBeatAnaDouble");
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].text, "Internal Error #0092 ");

    open(song().projectPath);
    WaveInfoRecord* wave = nullptr;
    ASSERT_EQ(core().getWavInfo(0, &wave), 0u);
    std::vector<float> beats;
    for (int i = 0; i < 2001; ++i)
        beats.push_back(float(i) * 0.005f);
    wave->beats = beats;
    MessageDialogScript script;
    script.answer(QMessageBox::Cancel);
    QMetaObject::invokeMethod(&w(), "releasedBtnBeatAnaDouble");
    ASSERT_EQ(script.shown().size(), 1);
    EXPECT_EQ(script.shown()[0].text, "It may take much time. are you sure!");
    EXPECT_EQ(wave->beats, beats);
    EXPECT_FALSE(core().canUndo());
}

TEST_F(SectionEditTest, TheHalfBeatShiftMovesAlongTheHalfBeats)
{
    open(song().projectPath);
    // Main A starts on beat 8 of the on-beat grid.
    ASSERT_EQ(record(3).startAdrs, beatSample(16));
    ASSERT_EQ(Access::shift(w(), true), 0u);
    EXPECT_EQ(record(3).toggle, 1);
    EXPECT_EQ(record(3).startAdrs, beatSample(17));
    EXPECT_EQ(record(3).endAdrs, beatSample(49));
    ASSERT_EQ(Access::shift(w(), true), 0u);
    EXPECT_EQ(record(3).toggle, 0);
    EXPECT_EQ(record(3).startAdrs, beatSample(18));
    EXPECT_EQ(record(3).endAdrs, beatSample(50));

    // Intro 1 starts on beat 0: half a beat earlier is not there.
    Access::showSection(w(), 0);
    const SectionRecord intro = record(0);
    core().clearUndoStack();
    EXPECT_EQ(Access::shift(w(), false), 0u);
    EXPECT_TRUE(record(0).equals(intro));
    EXPECT_FALSE(core().canUndo());
}

TEST_F(SectionEditTest, UndoThenRedoOfEachEditGivesTheSameSavedProject)
{
    using Edit = std::function<void(MainWindow&)>;
    const std::pair<const char*, Edit> edits[] = {
        {"tempo", [](MainWindow& w) { Access::updateTempo(w, 100); }},
        {"fade", [](MainWindow& w) { Access::setFade(w, true); }},
        {"manual", [](MainWindow& w) { Access::setManual(w, true); }},
        {"shift", [](MainWindow& w) { Access::shift(w, true); }},
        {"area",
         [](MainWindow& w) {
             Access::setSelection(w, int32_t(beatSample(4)), int32_t(beatSample(20)));
             Access::assignArea(w);
         }},
        {"select all", [](MainWindow& w) { QMetaObject::invokeMethod(&w, "onSelectAll"); }},
        {"blank",
         [](MainWindow& w) {
             Access::showSection(w, 0);
             Access::setBlank(w, true);
         }},
    };
    for (const auto& e : edits) {
        SCOPED_TRACE(e.first);
        open(song().projectPath);
        const QByteArray original = savedBytes();
        e.second(w());
        ASSERT_TRUE(core().canUndo());
        const QByteArray edited = savedBytes();
        EXPECT_NE(edited, original);
        QMetaObject::invokeMethod(&w(), "undo");
        EXPECT_EQ(savedBytes(), original);
        QMetaObject::invokeMethod(&w(), "redo");
        EXPECT_EQ(savedBytes(), edited);
        EXPECT_FALSE(core().canRedo());
    }
    EXPECT_TRUE(boxes.shown().isEmpty());
}

}  // namespace

namespace {

using testutil::dropFile;

TEST_F(SectionEditTest, ADroppedFileOfTheProjectIsOnlySelected)
{
    open(song().projectPath);
    const QByteArray before = savedBytes();
    dropFile(w(), song().wavPath);
    EXPECT_EQ(core().getProjectInfo()->waveCount(), 1u);
    EXPECT_EQ(w().mCmbWav->count(), 1);
    EXPECT_EQ(w().mCmbWav->currentIndex(), 0);
    EXPECT_EQ(savedBytes(), before);
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(SectionEditTest, ASecondDroppedFileIsOneStepAndRefreshesPushNothing)
{
    // A second take with its wave-info file, so no analysis runs.
    const QString b = dir.filePath("b.wav");
    ASSERT_TRUE(QFile::copy(song().wavPath, b));
    {
        CKRMcore c;
        ASSERT_EQ(c.loadProject(song().projectPath.toStdWString()), 0u);
        ASSERT_EQ(c.setWavPath(0, b.toStdWString()), 0u);
        ASSERT_EQ(c.saveAwi(dir.filePath("b.awi").toStdWString(), 0), 0u);
    }
    open(song().projectPath);
    const QByteArray one = savedBytes();
    Access::showSection(w(), 7);
    dropFile(w(), b);
    ASSERT_EQ(core().getProjectInfo()->waveCount(), 2u);
    ASSERT_EQ(record(7).waveIndex, 1);
    const QByteArray two = savedBytes();
    QMetaObject::invokeMethod(&w(), "undo");
    EXPECT_EQ(core().getProjectInfo()->waveCount(), 1u);
    EXPECT_EQ(savedBytes(), one);
    EXPECT_FALSE(core().canUndo());
    Access::showSection(w(), 7);
    EXPECT_TRUE(core().canRedo()) << "a refresh pushed an undo step";
    QMetaObject::invokeMethod(&w(), "redo");
    EXPECT_EQ(savedBytes(), two);
    for (const MessageDialogScript::Shown& s : boxes.shown())
        ADD_FAILURE() << s.text.toStdString();
}

}  // namespace

namespace {

TEST_F(SectionEditTest, AFilesSettingsComeFromTheNearestSectionOfItsWaveInfo)
{
    open(song().projectPath);
    // A loaded wave-info project whose Main C and Intro 1 use its audio
    // over different ranges: Main A takes Main C's before Intro 1's.
    CKRMcore loaded;
    ASSERT_EQ(loaded.loadProject(song().projectPath.toStdWString()), 0u);
    SectionRecord* intro = nullptr;
    ASSERT_EQ(loaded.getSecInfo(0, &intro), 0u);
    SectionRecord mainC = *intro;
    mainC.startAdrs = beatSample(32);
    mainC.endAdrs = beatSample(48);
    mainC.barPoints = {beatSample(40)};
    ASSERT_EQ(loaded.setSecInfo(5, mainC), 0u);
    SectionRecord mainA = record(3);
    mainA.clear();
    ASSERT_EQ(loaded.updateSecInfo(3, mainA), 0u);

    Access::showSection(w(), 3);
    Access::applyWaveInfo(w(), loaded, 0);
    EXPECT_EQ(record(3).startAdrs, beatSample(32));
    EXPECT_EQ(record(3).endAdrs, beatSample(48));

    // Without a section with audio: the whole file, 0 to the last onset.
    CKRMcore none;
    ASSERT_EQ(none.loadProject(song().projectPath.toStdWString()), 0u);
    none.clearSecInfo();
    Access::applyWaveInfo(w(), none, 0);
    EXPECT_EQ(record(3).startAdrs, 0u);
    EXPECT_EQ(record(3).endAdrs, secondsToSamples(song().onsets.back()));
    EXPECT_EQ(Access::selectionEnd(w()), int32_t(secondsToSamples(song().onsets.back())));

    // Without onsets the whole file is 0 to 0.
    WaveInfoRecord* wave = nullptr;
    ASSERT_EQ(core().getWavInfo(0, &wave), 0u);
    wave->onsets.clear();
    Access::applyWaveInfo(w(), none, 0);
    EXPECT_EQ(Access::selectionStart(w()), 0);
    EXPECT_EQ(Access::selectionEnd(w()), 0);
}

}  // namespace
