// The time-stretch window on a machine without any audio output: a start
// that fails says so once and leaves the window stopped.
#include "KRMAudition.h"
#include "MessageDialog.h"
#include "StretchWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(StretchWindowNoOutput, AFailedStartStaysStoppedAndSaysSo)
{
    qputenv("STELVANO_AUDIO_NULL", "0");
    qputenv("STELVANO_AUDIO_ALSA", "0");
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));

    uint8_t clickOn = 1;
    uint8_t level = 100;
    uint8_t second = 1;
    KRMAudition player(&clickOn, &level, &second);
    player.openDevice(QString());
    const std::vector<uint32_t> beats = {0, 22050, 44100, 66150, 88199};
    MessageDialogScript boxes;
    TimeStretchWindow w(data.filePath("stretched.wav").toStdWString(), 3, 0, 88200, 4, &beats, 1, 0.0,
                        &player, false, &clickOn, &level, &second, nullptr, nullptr);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.mPushButtonPlay->click();
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].title, "Stelvano");
    EXPECT_TRUE(boxes.shown()[0].text.startsWith("Internal Error #0077 ["))
        << boxes.shown()[0].text.toStdString();
    EXPECT_EQ(w.mPushButtonPlay->icon().pixmap(24).toImage(),
              QIcon(":/img/btn_play.png").pixmap(24).toImage());

    // Still stopped: the next press tries again rather than "stopping".
    w.mPushButtonPlay->click();
    EXPECT_EQ(boxes.shown().size(), 2);
}

}  // namespace
