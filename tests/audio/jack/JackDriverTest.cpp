// The JACK Output Driver, found through the built-in driver registry (no
// registry file), against JACK servers of the test's own with the dummy
// backend. Skipped where jackd or the driver plugin is missing.
#include "../AudioTestSupport.h"
#include "AudioDeviceASFF.h"
#include "CKRMcore.h"
#include "CaudioOutFactory.h"
#include "KRMAudition.h"
#include "TestUtil.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <mutex>
#include <unistd.h>

using namespace Tessaro;
using audiotest::Samples;

namespace {

// A jackd of its own name, at a given rate with a period of 256 frames.
class JackServer {
public:
    ~JackServer() { stop(); }

    bool start(int rate)
    {
        m_rate = rate;
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start("jackd", {"--no-realtime", "-d", "dummy", "-r", QString::number(rate), "-p", "256"});
        return m_process.waitForStarted(5000) && testutil::waitUntil([&] { return serves(); }, 10000);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    // The server answers with its rate.
    bool serves()
    {
        QProcess probe;
        probe.start("jack_samplerate", QStringList());
        return probe.waitForFinished(5000) && probe.exitCode() == 0 &&
               probe.readAllStandardOutput().trimmed() == QByteArray::number(m_rate);
    }

    QProcess m_process;
    int m_rate = 0;
};

class JackDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("jackd").isEmpty() ||
            QStandardPaths::findExecutable("jack_samplerate").isEmpty())
            GTEST_SKIP() << "jackd is not installed";
        if (!QFileInfo::exists(QCoreApplication::applicationDirPath() + "/drivers/libstelvano-jack.so"))
            GTEST_SKIP() << "the JACK driver plugin is not built";
        // The built-in registry (no file at the usual place) and a server
        // name of this run only.
        qunsetenv("STELVANO_DRIVER_REGISTRY");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path("")));
        qputenv("JACK_DEFAULT_SERVER", QByteArray("stelvano-test-") + QByteArray::number(getpid()));
        qputenv("JACK_NO_START_SERVER", "1");
        qputenv("STELVANO_AUDIO_NULL", "0");
        qputenv("STELVANO_AUDIO_ALSA", "0");
    }

    static DeviceInfoList outputs()
    {
        DeviceInfoList list;
        CaudioOutFactory::instance()->createDeviceManager()->enumerate(list);
        return list;
    }
    static QStringList outputNames()
    {
        const DeviceInfoList list = outputs();
        QStringList names;
        for (const auto& info : list)
            names << info->name() + QString(" %1").arg(info->bufferFrames());
        return names;
    }

    testutil::TempDir config;
};

// Notes notifies as minus the frames and renders as their frame counts.
class Client : public CaudioOutCallbackIF {
public:
    bool notify(int frames) override
    {
        note(-frames);
        return true;
    }
    int render(int16_t left[], int16_t right[], int frames) override
    {
        std::fill_n(left, frames, int16_t(1));
        std::fill_n(right, frames, int16_t(-1));
        note(frames);
        lastRender = frames;
        ++renders;
        return frames;
    }
    std::vector<int> events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::atomic<int> renders {0};
    std::atomic<int> lastRender {0};

private:
    void note(int e)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(e);
    }
    mutable std::mutex m_mutex;
    std::vector<int> m_events;
};

TEST_F(JackDriver, PlaysAtTheServersPeriodAndIsListedOnlyAt44100Hz)
{
    {
        JackServer server;
        ASSERT_TRUE(server.start(44100));
        EXPECT_EQ(outputNames(), QStringList({"ASIO: JACK Output Driver 256"}));

        auto client = QSharedPointer<Client>::create();
        {
            const auto device =
                CaudioOutFactory::instance()->createDeviceManager()->createDevice(outputs().value(0), client);
            ASSERT_TRUE(device);
            ASSERT_TRUE(device->open(0, 1, 2048, 44100.0));
            ASSERT_TRUE(testutil::waitUntil([&] { return client->renders >= 20; }, 10000));
            ASSERT_TRUE(device->close());
        }
        const std::vector<int> events = client->events();
        ASSERT_GE(events.size(), 21u);
        EXPECT_EQ(events[0], -256) << "notify(256) before the first render";
        EXPECT_TRUE(std::all_of(events.begin() + 1, events.end(), [](int e) { return e == 256; }));

        // Two seconds of audition, one render per period.
        testutil::TempDir dir;
        const int frames = 2 * 44100;
        ASSERT_TRUE(audiotest::writeSound(dir.path("song.wav"), audiotest::makeSong(frames)));
        CKRMcore core;
        ASSERT_EQ(core.addWavList(audiotest::makeWave(dir.path("song.wav"), 4)), 0u);
        uint8_t click = 0, level = 100, second = 0;
        KRMAudition player(&click, &level, &second);
        ASSERT_EQ(player.openDevice(QString()), 0u);
        EXPECT_EQ(player.deviceName(), "ASIO: JACK Output Driver");
        QSignalSpy locations(player.audioDevice().data(), &AudioDeviceASFF::signalLocation);
        QSignalSpy stops(&player, &KRMAudition::signalStop);
        ASSERT_EQ(player.play(&core, 0, 3, 0, frames, false, 0, 0, 0, 1), 0u);
        ASSERT_TRUE(testutil::waitUntil([&] { return stops.count() == 1; }, 10000));
        QTest::qWait(50);
        EXPECT_EQ(locations.count(), (frames + 255) / 256);
        EXPECT_EQ(player.closeDevice(), 0u);

        // A period change asks for a reset: the stream comes back at the
        // new size, and the client hears it first.
        auto resized = QSharedPointer<Client>::create();
        const auto device =
            CaudioOutFactory::instance()->createDeviceManager()->createDevice(outputs().value(0), resized);
        ASSERT_TRUE(device && device->open(0, 1, 256, 44100.0));
        ASSERT_TRUE(testutil::waitUntil([&] { return resized->renders >= 5; }, 10000));
        ASSERT_EQ(QProcess::execute("jack_bufsize", {"512"}), 0);
        ASSERT_TRUE(testutil::waitUntil([&] { return resized->lastRender == 512; }, 5000));
        ASSERT_TRUE(device->close());
        const std::vector<int> after = resized->events();
        const auto told = std::find(after.begin(), after.end(), -512);
        ASSERT_NE(told, after.end());
        EXPECT_TRUE(std::all_of(told + 1, after.end(), [](int e) { return e == 512; }));

        // Release the driver while its server is still there.
        CasioHostEngine::instance().unloadDriver(0);
    }
    JackServer other;
    ASSERT_TRUE(other.start(48000));
    EXPECT_TRUE(outputNames().isEmpty()) << "the driver does not play at 48000 Hz, so it is not listed";
}

}  // namespace
