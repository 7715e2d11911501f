// Play on a machine without any audio output: the start fails, the window
// stays stopped and says why once.
#include "../MainWindowTestAccess.h"
#include "MessageDialog.h"
#include "TestProject.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(PlayWithoutOutput, FailedStartStaysStoppedWithOneMessage)
{
    qputenv("STELVANO_AUDIO_NULL", "0");
    qputenv("STELVANO_AUDIO_ALSA", "0");
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    QTemporaryDir songDir;
    testproject::Made song;
    ASSERT_TRUE(testproject::writeProject(songDir.path(), {16.0, 120.0}, song).isEmpty());

    MessageDialogScript boxes;
    auto window = std::make_unique<MainWindow>(song.projectPath);
    window->mChkTimeStretch->setChecked(false);
    const int atStart = boxes.shown().size();
    MainWindowTestAccess::setSelection(*window, int32_t(song.mainStart), int32_t(song.mainEnd));
    MainWindowTestAccess::playLoop(*window);
    ASSERT_EQ(boxes.shown().size(), atStart + 1);
    EXPECT_TRUE(boxes.shown().back().text.startsWith("Internal Error #0077 ["))
        << boxes.shown().back().text.toStdString();
    EXPECT_FALSE(MainWindowTestAccess::playing(*window));
    EXPECT_TRUE(window->mChkTimeStretch->isEnabled());
    EXPECT_EQ(window->mPushButtonPlay->icon().pixmap(32).toImage(),
              QIcon(":/img/btn_play.png").pixmap(32).toImage());
}

}  // namespace
