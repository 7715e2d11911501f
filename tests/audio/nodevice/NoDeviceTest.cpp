// The audition on a machine without any audio output (the usual case on a
// build server): every call fails cleanly instead of using a missing device.
// A program of its own, since the output holder is made once per process.
#include "../AudioTestSupport.h"
#include "AudioDeviceASFF.h"
#include "CKRMcore.h"
#include "KRMAudition.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

TEST(NoOutput, EveryCallFailsCleanly)
{
    audiotest::listOutputs(false, false);
    uint8_t click = 1;
    uint8_t level = 100;
    uint8_t second = 1;
    KRMAudition player(&click, &level, &second);

    EXPECT_EQ(player.getLocation(), -1) << "no holder yet";
    EXPECT_EQ(player.stop(), 0x80000001u);
    EXPECT_EQ(player.closeDevice(), 0x80000001u);
    EXPECT_EQ(player.updateDeviceName(), 0x80000001u);
    EXPECT_FALSE(player.audioDevice());

    EXPECT_EQ(player.openDevice(QString()), 0x80000321u);
    ASSERT_TRUE(player.audioDevice());
    EXPECT_EQ(player.getLocation(), 0);
    EXPECT_EQ(player.deviceName(), "");
    EXPECT_EQ(player.updateDeviceName(), 0x80000002u);

    AudioDeviceASFF& holder = *player.audioDevice();
    int count = -1;
    holder.deviceCount(count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(holder.selectDevice(-1), 0x80000001u);
    EXPECT_EQ(holder.selectDevice(0), 0x80000001u);
    QString name = "unchanged";
    EXPECT_EQ(holder.deviceName(0, name), 0x80000001u);
    EXPECT_EQ(name, "unchanged");
    EXPECT_EQ(holder.open(2048, 44100.0), 0x80000001u);
    EXPECT_EQ(holder.close(), 0x80000001u);

    // A song and a wave with beats, so play gets as far as the device.
    testutil::TempDir dir;
    const QString song = dir.path("song.wav");
    ASSERT_TRUE(audiotest::writeSound(song, audiotest::makeSong(audiotest::kBarFrames)));
    CKRMcore core;
    ASSERT_EQ(core.addWavList(audiotest::makeWave(song, 4)), 0u);
    const uint32_t r = player.play(&core, 0, 3, 0, audiotest::kBarFrames, false, 0, 0, 0, 0);
    EXPECT_EQ(r, 0x80000121u) << "closing the (missing) device is the first step that fails";
    EXPECT_EQ(core.errorText(), "#0077 audition process returns some error! [80000012]");
    EXPECT_FALSE(holder.isPlaying());
    EXPECT_EQ(player.togglePlayStretched(song.toStdWString(), 0, -1, false, {}, {}), 0x80000111u);

    // A second open still finds nothing and changes nothing.
    EXPECT_EQ(player.openDevice("ALSA: default"), 0u);
    EXPECT_EQ(player.closeDevice(), 0u);
}
