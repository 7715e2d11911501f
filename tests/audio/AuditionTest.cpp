// The audition player on the null output: what it plays is taken from the
// output's capture file and compared frame by frame with a mix built here
// from the song and the checked-in click sounds.
#include "AudioDeviceASFF.h"
#include "AudioOutDeviceCallbackSeq.h"
#include "AudioTestSupport.h"
#include "CKRMcore.h"
#include "KRMAudition.h"
#include "TestUtil.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <memory>

using audiotest::kBarFrames;
using audiotest::kBeatFrames;
using audiotest::Samples;

namespace {

const bool kNullOutputOnly = audiotest::listOutputs(true, false);

const QString kAssets = QStringLiteral(KRM_ASSETS_DIR);

// ---------------------------------------------------------------- click triggers

struct TriggerCase {
    const char* name;
    uint16_t beatStep;
    uint8_t halfBeat;
    uint8_t pickup;
    uint8_t section;
    int startBeat;
    int endBeat;
    std::vector<int> barBeats;  // beats with the first sound; every other beat from startBeat has the second
};

TEST(ClickTriggers, BarLinesGetTheFirstSoundAndTheOtherBeatsTheSecond)
{
    const std::vector<TriggerCase> cases = {
        {"4/4 intro with pickup: two pickup beats, then bars", 1, 0, 1, 0, 2, 8, {4, 8, 12, 16, 20}},
        {"4/4 main section with pickup: the same", 1, 0, 1, 3, 2, 8, {4, 8, 12, 16, 20}},
        {"pickup clear: the start beat is a bar line", 1, 0, 0, 3, 2, 8, {2, 6, 10, 14, 18}},
        {"pickup over whole bars counts no beat", 1, 0, 1, 0, 2, 10, {2, 6, 10, 14, 18}},
        {"half-beat flag: list entries n, 3n, 5n ...", 2, 1, 0, 3, 1, 9, {1, 5, 9, 13, 17}},
    };
    for (const TriggerCase& c : cases) {
        SCOPED_TRACE(c.name);
        CKRMcore core;
        ASSERT_EQ(core.addWavList(audiotest::makeWave("song.wav", 20, c.beatStep)), 0u);
        WaveInfoRecord* wave = nullptr;
        ASSERT_EQ(core.getWavInfo(0, &wave), 0u);
        const auto frameOf = [&](int k) { return (c.halfBeat ? kBeatFrames / 2 : 0) + k * kBeatFrames; };
        const int lastBeat = c.halfBeat ? 19 : 20;
        std::vector<int32_t> want1;
        std::vector<int32_t> want2;
        for (int k = c.startBeat; k <= lastBeat; ++k) {
            const bool bar = std::find(c.barBeats.begin(), c.barBeats.end(), k) != c.barBeats.end();
            (bar ? want1 : want2).push_back(frameOf(k) - frameOf(c.startBeat));
        }
        std::vector<int32_t> list1 {99};
        std::vector<int32_t> list2 {99};
        ASSERT_EQ(KRMAudition::buildClickTriggers(core, 0, c.section, *wave, 4, c.halfBeat, c.pickup,
                                                  frameOf(c.startBeat), frameOf(c.endBeat), list1, list2),
                  0u);
        EXPECT_EQ(list1, want1);
        EXPECT_EQ(list2, want2);
    }
}

TEST(ClickTriggers, AStartOutsideTheBeatsFailsWithTheLookupCode)
{
    CKRMcore core;
    WaveInfoRecord* noBeats = audiotest::makeWave("song.wav", 0);
    noBeats->beats.clear();
    ASSERT_EQ(core.addWavList(noBeats), 0u);
    WaveInfoRecord* wave = nullptr;
    core.getWavInfo(0, &wave);
    std::vector<int32_t> list1 {1};
    std::vector<int32_t> list2 {1};
    EXPECT_EQ(KRMAudition::buildClickTriggers(core, 0, 3, *wave, 4, 0, 0, 1000, 5000, list1, list2),
              0x80000021u);
    EXPECT_TRUE(list1.empty() && list2.empty());
}

// ---------------------------------------------------------------- playing

class Audition : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture = dir.path("capture.wav");
        qputenv("STELVANO_AUDIO_CAPTURE", capture.toLocal8Bit());
        song = audiotest::makeSong(9 * kBeatFrames);
        songPath = dir.path("song.wav");
        ASSERT_TRUE(audiotest::writeSound(songPath, song));
        ASSERT_EQ(core.addWavList(audiotest::makeWave(songPath, 9)), 0u);
        metro1 = audiotest::readStereo(kAssets + "/Metro1.wav");
        metro2 = audiotest::readStereo(kAssets + "/Metro2.wav");
        ASSERT_FALSE(metro1.empty() || metro2.empty());

        player = std::make_unique<KRMAudition>(&clickFlag, &level, &secondClick);
        ASSERT_EQ(player->openDevice(QString()), 0u);
        EXPECT_EQ(player->deviceName(), "Null: paced output");
        player->setClickSounds(kAssets + "/Metro1.wav", kAssets + "/Metro2.wav");
    }
    void TearDown() override { qunsetenv("STELVANO_AUDIO_CAPTURE"); }

    // Waits until `blocks` more buffers have been rendered while playing.
    void waitForBuffers(int blocks)
    {
        int seen = 0;
        QObject receiver;
        QObject::connect(player->audioDevice().data(), &AudioDeviceASFF::signalLocation, &receiver,
                         [&] { ++seen; });
        ASSERT_TRUE(testutil::waitUntil([&] { return seen >= blocks; }));
    }

    // What was played from its first sounding frame on; closes the output
    // so that the capture file is complete.
    Samples played()
    {
        player->closeDevice();
        const Samples all = audiotest::readStereo(capture);
        const int first = audiotest::firstSoundingFrame(all);
        return first < 0 ? Samples {} : Samples(all.begin() + 2 * first, all.end());
    }

    static void expectPlayed(const Samples& got, const Samples& want)
    {
        ASSERT_GE(got.size(), want.size());
        const int64_t d = audiotest::firstDifference(Samples(got.begin(), got.begin() + want.size()), want);
        EXPECT_EQ(d, -1) << "first difference at frame " << d / 2 << " of " << want.size() / 2;
    }

    testutil::TempDir dir;
    QString capture;
    QString songPath;
    Samples song;
    Samples metro1;
    Samples metro2;
    CKRMcore core;
    uint8_t clickFlag = 1;
    uint8_t level = 100;
    uint8_t secondClick = 1;
    std::unique_ptr<KRMAudition> player;
};

TEST_F(Audition, ClicksStartExactlyOnEveryBarAndBeat)
{
    QSignalSpy stops(player.get(), &KRMAudition::signalStop);
    const int start = kBeatFrames;  // beat 1, the first bar line of the range
    ASSERT_EQ(player->play(&core, 0, 3, start, start + kBarFrames, false, 0, 0, 0, 0), 0u);
    ASSERT_TRUE(testutil::waitUntil([&] { return stops.count() == 1; }));
    EXPECT_EQ(player->getLocation(), start + kBarFrames);

    const Samples got = played();
    expectPlayed(got, audiotest::referenceMix(song, start, kBarFrames, metro1, {0}, metro2,
                                              {kBeatFrames, 2 * kBeatFrames, 3 * kBeatFrames}));
    EXPECT_TRUE(std::all_of(got.begin() + 2 * kBarFrames, got.end(), [](int16_t v) { return v == 0; }))
        << "the output must be silent after the end of the range";
}

TEST_F(Audition, ALoopGoesRoundTwiceWithTheSameClicksUntilToggledOff)
{
    QSignalSpy stops(player.get(), &KRMAudition::signalStop);
    const int start = kBeatFrames;
    ASSERT_EQ(player->playLoop(&core, 0, 3, start, start + kBarFrames, 0, 0, 0, 0), 0u);
    waitForBuffers(2 * kBarFrames / KRMAudition::kBufferFrames + 2);
    core.setErrorText("kept?");
    EXPECT_EQ(player->playLoop(&core, 0, 3, start, start + kBarFrames, 0, 0, 0, 0), 0u);
    EXPECT_FALSE(player->audioDevice()->isPlaying());
    EXPECT_EQ(core.errorText(), "") << "a toggle clears the errors and sets no text";
    QTest::qWait(150);
    EXPECT_EQ(stops.count(), 0) << "ending a loop by toggle emits no signalStop";

    const Samples once = audiotest::referenceMix(song, start, kBarFrames, metro1, {0}, metro2,
                                                 {kBeatFrames, 2 * kBeatFrames, 3 * kBeatFrames});
    Samples twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    expectPlayed(played(), twice);
}

TEST_F(Audition, StopEndsPlayWithoutSignalStop)
{
    QSignalSpy stops(player.get(), &KRMAudition::signalStop);
    ASSERT_EQ(player->playLoop(&core, 0, 3, 0, kBeatFrames, 0, 0, 0, 0), 0u);
    waitForBuffers(2);
    EXPECT_EQ(player->stop(), 0u);
    EXPECT_FALSE(player->audioDevice()->isPlaying());
    QTest::qWait(150);
    EXPECT_EQ(stops.count(), 0);
}

TEST_F(Audition, AStretchedFilePlaysWithTheTriggersGiven)
{
    const Samples stretched = audiotest::makeSong(kBeatFrames);
    const QString path = dir.path("stretched.wav");
    ASSERT_TRUE(audiotest::writeSound(path, stretched));
    QSignalSpy stops(player.get(), &KRMAudition::signalStop);
    ASSERT_EQ(player->togglePlayStretched(path.toStdWString(), 0, -1, false, {0, 11025}, {5512}), 0u);
    ASSERT_TRUE(testutil::waitUntil([&] { return stops.count() == 1; }));
    expectPlayed(played(),
                 audiotest::referenceMix(stretched, 0, kBeatFrames, metro1, {0, 11025}, metro2, {5512}));
}

TEST_F(Audition, ModesOtherThanZeroPlayWithoutClicks)
{
    for (uint8_t mode : {1, 2}) {
        SCOPED_TRACE(int(mode));
        capture = dir.path(QString("mode%1.wav").arg(mode));
        qputenv("STELVANO_AUDIO_CAPTURE", capture.toLocal8Bit());
        // played() closed the output and with it the end-of-play connection.
        ASSERT_EQ(player->openDevice(player->deviceName()), 0u);
        QSignalSpy stops(player.get(), &KRMAudition::signalStop);
        ASSERT_EQ(player->play(&core, 0, 3, kBeatFrames, 2 * kBeatFrames, false, 0, 0, 0, mode), 0u);
        EXPECT_TRUE(player->audioDevice()->callback()->triggers1().empty());
        EXPECT_TRUE(player->audioDevice()->callback()->triggers2().empty());
        ASSERT_TRUE(testutil::waitUntil([&] { return stops.count() == 1; }));
        expectPlayed(played(), audiotest::referenceMix(song, kBeatFrames, kBeatFrames, {}, {}, {}, {}));
    }
}

TEST_F(Audition, PlayFailuresStoreTheNumberedTextAndStop)
{
    WaveInfoRecord* noBeats = audiotest::makeWave(songPath, 0);
    noBeats->beats.clear();
    ASSERT_EQ(core.addWavList(noBeats), 0u);
    struct Row {
        uint8_t wave;
        uint32_t code;
        const char* text;
    };
    for (const Row r : {Row {7, 0x80000111u, "[80000011]"}, Row {1, 0x80002141u, "[80000214]"}}) {
        SCOPED_TRACE(int(r.wave));
        EXPECT_EQ(player->play(&core, r.wave, 3, 0, kBeatFrames, false, 0, 0, 0, 0), r.code);
        EXPECT_EQ(core.errorText(), QString("#0077 audition process returns some error! ") + r.text);
        EXPECT_FALSE(player->audioDevice()->isPlaying());
    }
}

// The click readers are only ever read as 2-channel 44100 Hz frames; other
// files are refused (the first click stays silent) instead of overrunning
// the render's buffers or playing at the wrong speed.
TEST_F(Audition, ClickFilesOfOtherShapesAreRefused)
{
    struct Row {
        const char* name;
        int channels;
        int rate;
    };
    for (const Row r : {Row {"mono", 1, 44100}, Row {"four channels", 4, 44100}, Row {"48 kHz", 2, 48000}}) {
        SCOPED_TRACE(r.name);
        const QString bad = dir.path(QString("bad%1_%2.wav").arg(r.channels).arg(r.rate));
        ASSERT_TRUE(audiotest::writeSound(bad, Samples(size_t(3000 * r.channels), 9000), r.channels, r.rate));
        capture = dir.path(QString("refused%1_%2.wav").arg(r.channels).arg(r.rate));
        qputenv("STELVANO_AUDIO_CAPTURE", capture.toLocal8Bit());
        ASSERT_EQ(player->openDevice(player->deviceName()), 0u);
        player->setClickSounds(bad, kAssets + "/Metro2.wav");
        QSignalSpy stops(player.get(), &KRMAudition::signalStop);
        const int frames = kBeatFrames + 4410;
        ASSERT_EQ(player->play(&core, 0, 3, kBeatFrames, kBeatFrames + frames, false, 0, 0, 0, 0), 0u);
        ASSERT_TRUE(testutil::waitUntil([&] { return stops.count() == 1; }));
        expectPlayed(played(),
                     audiotest::referenceMix(song, kBeatFrames, frames, {}, {}, metro2, {kBeatFrames}));
    }
}

// A player that goes while it plays must not leave the output rendering from
// its readers: the holder outlives every player.
TEST_F(Audition, APlayerGoneWhilePlayingLeavesTheOutputSafe)
{
    uint8_t otherClick = 1;
    uint8_t otherLevel = 100;
    uint8_t otherSecond = 1;
    {
        auto other = std::make_unique<KRMAudition>(&otherClick, &otherLevel, &otherSecond);
        ASSERT_EQ(other->openDevice(QString()), 0u);
        other->setClickSounds(kAssets + "/Metro1.wav", kAssets + "/Metro2.wav");
        ASSERT_EQ(other->playLoop(&core, 0, 3, 0, kBarFrames, 0, 0, 0, 0), 0u);
        waitForBuffers(2);
    }
    EXPECT_FALSE(player->audioDevice()->isPlaying());
    QTest::qWait(100);

    capture = dir.path("after.wav");
    qputenv("STELVANO_AUDIO_CAPTURE", capture.toLocal8Bit());
    QSignalSpy stops(player.get(), &KRMAudition::signalStop);
    ASSERT_EQ(player->play(&core, 0, 3, kBeatFrames, 2 * kBeatFrames, false, 0, 0, 0, 0), 0u);
    ASSERT_TRUE(testutil::waitUntil([&] { return stops.count() == 1; }));
    expectPlayed(played(), audiotest::referenceMix(song, kBeatFrames, kBeatFrames, metro1, {0}, {}, {}));
}

TEST(ClickSounds, TheGeneratorReproducesTheCheckedInFiles)
{
    testutil::TempDir dir;
    QProcess generator;
    generator.start(QStringLiteral(KRM_MAKE_CLICK_SOUNDS), {dir.path("")});
    ASSERT_TRUE(generator.waitForFinished(30000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();
    for (const char* name : {"Metro1.wav", "Metro2.wav"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> made = testutil::readFile(dir.path(name));
        EXPECT_FALSE(made.empty());
        EXPECT_EQ(made, testutil::readFile(kAssets + "/" + name));
        // Short enough to end before the next beat at 500 BPM (120 ms).
        const Samples s = audiotest::readStereo(dir.path(name));
        EXPECT_GT(s.size(), 0u);
        EXPECT_LT(s.size() / 2, size_t(0.120 * 44100));
    }
}

}  // namespace
