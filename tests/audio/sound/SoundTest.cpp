// Plays a generated song with clicks through the sound card's default ALSA
// output; skipped where no ALSA output opens (build servers). Labelled
// "sound": `ctest -L sound` runs it alone.
#include "../AudioTestSupport.h"
#include "CKRMcore.h"
#include "CaudioOutFactory.h"
#include "KRMAudition.h"
#include "TestUtil.h"

#include <QSignalSpy>
#include <QtTest/QTest>
#include <gtest/gtest.h>

TEST(SoundCard, PlaysThreeSecondsWithClicksOnTheDefaultOutput)
{
    audiotest::listOutputs(false, true);
    Tessaro::DeviceInfoList outputs;
    Tessaro::CaudioOutFactory::instance()->createDeviceManager()->enumerate(outputs);
    const bool hasDefault = std::any_of(outputs.begin(), outputs.end(),
                                        [](const auto& info) { return info->name() == "ALSA: default"; });
    if (!hasDefault)
        GTEST_SKIP() << "no ALSA output opens on this machine";

    testutil::TempDir dir;
    const int frames = 3 * 44100;
    audiotest::Samples song(size_t(frames) * 2);
    for (int k = 0; k < frames; ++k) {
        // A quiet 220 Hz tone under the clicks.
        const auto v = int16_t(3000 * std::sin(2 * 3.14159265358979 * 220.0 * k / 44100.0));
        song[2 * size_t(k)] = v;
        song[2 * size_t(k) + 1] = v;
    }
    const QString path = dir.path("song.wav");
    ASSERT_TRUE(audiotest::writeSound(path, song));
    CKRMcore core;
    ASSERT_EQ(core.addWavList(audiotest::makeWave(path, 6)), 0u);

    uint8_t click = 1;
    uint8_t level = 100;
    uint8_t second = 1;
    KRMAudition player(&click, &level, &second);
    ASSERT_EQ(player.openDevice("ALSA: default"), 0u);
    EXPECT_EQ(player.deviceName(), "ALSA: default");
    const QString assets = QStringLiteral(KRM_ASSETS_DIR);
    player.setClickSounds(assets + "/Metro1.wav", assets + "/Metro2.wav");
    QSignalSpy stops(&player, &KRMAudition::signalStop);
    ASSERT_EQ(player.play(&core, 0, 3, 0, frames, false, 0, 0, 0, 0), 0u) << core.errorText().toStdString();
    ASSERT_TRUE(testutil::waitUntil([&] { return stops.count() == 1; }, 10000));
    EXPECT_EQ(player.getLocation(), frames);
    EXPECT_EQ(player.closeDevice(), 0u);
}
