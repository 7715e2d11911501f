// Audition and time stretch from the main window over the null output: the
// play toggle, what a failed or empty start does, the song level, and the
// stretch job with the outcomes it hands over.
#include "JobTestSupport.h"
#include "WindowJobFixture.h"
#include "MessageDialog.h"
#include "TimeStretcher.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using Access = MainWindowTestAccess;

namespace {

bool showsIcon(QAbstractButton* button, const char* resource)
{
    return button->icon().pixmap(32).toImage() == QIcon(resource).pixmap(32).toImage();
}

using AuditionTest = WindowJobTest;

}  // namespace

TEST_F(AuditionTest, PlayTogglesTheButtonAndTheStretchBox)
{
    ASSERT_EQ(w().mCmbTrimSec->currentIndex(), 3);
    Access::setSelection(w(), int32_t(song.mainEnd), int32_t(song.mainStart));
    Access::playLoop(w());
    ASSERT_TRUE(boxes.shown().isEmpty()) << boxes.shown()[0].text.toStdString();
    EXPECT_TRUE(Access::playing(w()));
    EXPECT_TRUE(showsIcon(w().mPushButtonPlay, ":/img/btn_stop.png"));
    EXPECT_FALSE(w().mChkTimeStretch->isEnabled());
    EXPECT_TRUE(Access::layers(w()).back()->drawLayerEnabled);
    QTest::qWait(100);
    Access::playLoop(w());
    EXPECT_FALSE(Access::playing(w()));
    EXPECT_TRUE(showsIcon(w().mPushButtonPlay, ":/img/btn_play.png"));
    EXPECT_TRUE(w().mChkTimeStretch->isEnabled());
    EXPECT_FALSE(Access::layers(w()).back()->drawLayerEnabled);
}

TEST_F(AuditionTest, EqualSelectionEndsDoNothing)
{
    Access::setSelection(w(), int32_t(song.mainStart), int32_t(song.mainStart));
    Access::playLoop(w());
    EXPECT_FALSE(Access::playing(w()));
    EXPECT_TRUE(boxes.shown().isEmpty()) << boxes.shown()[0].text.toStdString();
    EXPECT_TRUE(w().mChkTimeStretch->isEnabled());
}

TEST_F(AuditionTest, SectionOutOfStretchRangeDoesNotPlay)
{
    SectionRecord* record = nullptr;
    ASSERT_EQ(core().getSecInfo(3, &record), 0u);
    SectionRecord copy(*record);
    copy.endAdrs = copy.startAdrs + 20 * 44100;
    ASSERT_EQ(core().updateSecInfo(3, copy), 0u);
    Access::setSelection(w(), int32_t(song.mainStart), int32_t(song.mainEnd));
    Access::playLoop(w());
    EXPECT_FALSE(Access::playing(w()));
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].text, "stretch ratio error!");
}

TEST_F(AuditionTest, LevelSliderSetsTheSongLevelUnlessTheWindowUpdates)
{
    w().mSliderMetro->setValue(0);
    EXPECT_EQ(Access::clickLevel(w()), 0);
    w().mSliderMetro->setValue(55);
    EXPECT_EQ(Access::clickLevel(w()), 55);
}

TEST_F(AuditionTest, StretchRunsTheJobOnTheSectionsWorkingFile)
{
    w().mChkTimeStretch->setChecked(true);
    Access::setSelection(w(), int32_t(song.mainStart), int32_t(song.mainEnd));
    Access::playLoop(w());
    auto* job = static_cast<TimeStretcher*>(Access::stretchWorker(w()));
    ASSERT_NE(job, nullptr);
    QString temp;
    core().getResourcePath(0, temp);
    EXPECT_EQ(job->outputPath(), temp + "/KRM_temp_Main A.wav");
    EXPECT_EQ(job->sectionIndex, 3u);
    EXPECT_TRUE(job->errorStr.isEmpty()) << job->errorStr.toStdString();
    EXPECT_TRUE(QFileInfo::exists(job->outputPath()));
    EXPECT_EQ(job->beatPoints.size(), 17u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(Access::playing(w()));
}

TEST_F(AuditionTest, StretchOutcomes)
{
    w().mChkTimeStretch->setChecked(true);
    Access::playLoop(w());
    const int before = boxes.shown().size();
    const struct {
        ulong code;
        QString text;
        QString shown;
    } cases[] = {
        {5, "", "time stretch error!"},
        {0, "x", "x"},
        {0, "", "not available yet"},
    };
    for (const auto& c : cases) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Access::timeStretchDone(w(), c.code, c.text);
        EXPECT_EQ(boxes.shown().back().text, c.shown);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(boxes.shown().size(), before + 3);
}
