// The driver-host output family in the platform manager: which drivers
// become outputs and under what names, the audition played through the
// Null Output Driver, and a close that waits for a render in flight.
#include "../AudioTestSupport.h"
#include "AudioDeviceASFF.h"
#include "CKRMcore.h"
#include "CaudioOutFactory.h"
#include "HostTestSupport.h"
#include "KRMAudition.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest/QTest>
#include <gtest/gtest.h>

using namespace Tessaro;
using namespace hosttest;
using audiotest::kBarFrames;
using audiotest::kBeatFrames;
using audiotest::Samples;

namespace {

const QString kAssets = QStringLiteral(KRM_ASSETS_DIR);

TEST(HostDevices, UsableDriversHeadTheListUnderTheirNames)
{
    const QSharedPointer<CaudioOutDeviceManagerIF> manager =
        CaudioOutFactory::instance()->createDeviceManager();
    DeviceInfoList list;
    ASSERT_TRUE(manager->enumerate(list));
    QStringList names;
    for (const auto& info : list)
        names << info->name();
    // No outputs, no buffer size, a 40-character name and a name listed
    // before: no output.
    EXPECT_EQ(names, QStringList({"ASIO: Null Output Driver", "ASIO: Null 512", "ASIO: Null Types",
                                  "ASIO: Null Reset"}));
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[1]->channels(), 2);
    EXPECT_EQ(list[1]->bufferFrames(), 512);
    EXPECT_EQ(list[1]->maxBufferFrames(), 512);
    EXPECT_TRUE(list[1]->isAvailable());
    EXPECT_TRUE(list[1]->hasControlPanel());
    EXPECT_TRUE(list[1]->showControlPanel());
    const auto host = list[1].dynamicCast<CaudioOutDeviceInfo_host>();
    ASSERT_TRUE(host);
    EXPECT_EQ(host->index(), int(kSmall));

    DeviceInfoList again;
    manager->enumerate(again);
    EXPECT_EQ(again.size(), 4) << "the same list again";

    EXPECT_TRUE(manager->createDevice(list[0], {}).dynamicCast<CaudioOutDevice_host>());
    EXPECT_FALSE(CaudioOutDeviceManager_host().createDevice(
        QSharedPointer<CaudioOutDeviceInfoIF>(new CaudioOutDeviceInfo_null), {}));
    EXPECT_FALSE(CaudioOutDeviceManager_host().createDevice({}, {}));
}

TEST(HostDevices, TheAuditionPutsTheClicksOnTheBarFrames)
{
    testutil::TempDir dir;
    const Samples song = audiotest::makeSong(6 * kBeatFrames);
    const QString songPath = dir.path("song.wav");
    ASSERT_TRUE(audiotest::writeSound(songPath, song));
    CKRMcore core;
    ASSERT_EQ(core.addWavList(audiotest::makeWave(songPath, 6)), 0u);
    const Samples metro1 = audiotest::readStereo(kAssets + "/Metro1.wav");
    const Samples metro2 = audiotest::readStereo(kAssets + "/Metro2.wav");
    ASSERT_FALSE(metro1.empty() || metro2.empty());

    uint8_t click = 1, level = 100, second = 1;
    KRMAudition player(&click, &level, &second);
    ASSERT_EQ(player.openDevice(QString()), 0u);
    EXPECT_EQ(player.deviceName(), "ASIO: Null Output Driver") << "the first output is the first driver";
    player.setClickSounds(kAssets + "/Metro1.wav", kAssets + "/Metro2.wav");
    QSignalSpy stops(&player, &KRMAudition::signalStop);
    const int start = kBeatFrames;
    ASSERT_EQ(player.play(&core, 0, 3, start, start + kBarFrames, false, 0, 0, 0, 0), 0u);
    ASSERT_TRUE(testutil::waitUntil([&] { return stops.count() == 1; }));
    ASSERT_EQ(player.closeDevice(), 0u);

    const Samples all = audiotest::readStereo(Registry::instance().path("audition.wav"));
    const int first = audiotest::firstSoundingFrame(all);
    ASSERT_GE(first, 0);
    const Samples want = audiotest::referenceMix(song, start, kBarFrames, metro1, {0}, metro2,
                                                 {kBeatFrames, 2 * kBeatFrames, 3 * kBeatFrames});
    ASSERT_GE(all.size(), size_t(2 * first) + want.size());
    const Samples got(all.begin() + 2 * first, all.begin() + 2 * first + want.size());
    const int64_t d = audiotest::firstDifference(got, want);
    EXPECT_EQ(d, -1) << "first difference at frame " << d / 2;
}

TEST(HostDevices, CloseWaitsForARenderInFlightAndNoSwitchFollows)
{
    auto client = QSharedPointer<CountingClient>::create();
    client->sleepMs = 200;
    CaudioOutDevice_host device(kSmall, client);
    ASSERT_TRUE(device.open(0, 1, 512, 44100.0));
    ASSERT_TRUE(testutil::waitUntil([&] { return client->inRender.load(); }, 10000));
    EXPECT_TRUE(device.close());
    EXPECT_FALSE(client->inRender) << "close returned while the client was rendering";
    const int renders = client->renders;
    const qint64 captured = QFileInfo(Registry::instance().path("small.wav")).size();
    QTest::qWait(50);
    EXPECT_EQ(client->renders, renders) << "a render after close";
    EXPECT_EQ(QFileInfo(Registry::instance().path("small.wav")).size(), captured) << "a switch after close";
}

TEST(HostDevices, AClientThatIsGoneGivesSilence)
{
    auto client = QSharedPointer<CountingClient>::create();
    CaudioOutDevice_host device(kSmall, client);
    ASSERT_TRUE(device.open(0, 1, 512, 44100.0));
    ASSERT_TRUE(testutil::waitUntil([&] { return client->renders >= 2; }, 10000));
    client.reset();
    int16_t left[4] = {1, 1, 1, 1}, right[4] = {1, 1, 1, 1};
    EXPECT_EQ(device.render(left, right, 4), 0);
    EXPECT_FALSE(device.notify(512));
    EXPECT_TRUE(device.close());
}

}  // namespace
