// The host engine over the Null Output Driver: its answers to driver
// messages, what start refuses, the render step (short and wrong counts,
// sample conversion, seen through the driver's capture), and the reset
// watchdog.
#include "../AudioTestSupport.h"
#include "AsioDrivers.h"
#include "AsioHostCalls.h"
#include "CaudioOut_host.h"
#include "HostTestSupport.h"
#include "NullOutputDriver.h"

#include <QtTest/QTest>
#include <gtest/gtest.h>

using namespace hosttest;
using audiotest::Samples;
using Tessaro::CaudioOutDevice_host;

namespace {

CasioHostEngine& engine()
{
    return CasioHostEngine::instance();
}

// Makes driver `d` again (so it reads its keys anew) unless it is running.
void reload(Driver d)
{
    engine().unloadDriver(d);
    ASSERT_TRUE(engine().loadDriver(d, 44100.0));
}

TEST(HostEngine, AnswersDriverMessages)
{
    struct Row {
        int32_t selector;
        int32_t value;
        int32_t answer;
    };
    const std::vector<Row> rows = {
        {1, 2, 1}, {1, 3, 1}, {1, 5, 1}, {1, 6, 1}, {1, 7, 1},  {1, 8, 1},   {1, 10, 1},
        {1, 4, 0}, {1, 9, 0}, {1, 1, 0}, {2, 0, 2}, {3, 0, 1},  {4, 512, 0}, {5, 0, 1},
        {6, 0, 1}, {7, 0, 1}, {8, 0, 0}, {9, 0, 0}, {10, 0, 0}, {11, 0, 0},  {0, 0, 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(engine().message(r.selector, r.value), r.answer) << r.selector << " " << r.value;
    EXPECT_FALSE(engine().resetRequested()) << "a reset request without a client is ignored";

    // With a client attached the request is noted for the timer (nothing
    // runs the event loop here, so the tick cannot act on it yet).
    CountingClient client;
    ASSERT_TRUE(engine().loadDriver(kSmall, 44100.0));
    ASSERT_TRUE(engine().start(kSmall, 0, 1, 512, &client));
    EXPECT_EQ(engine().message(AsioResetRequest, 0), 1);
    EXPECT_TRUE(engine().resetRequested());
    EXPECT_TRUE(engine().stop(kSmall));
    EXPECT_FALSE(engine().resetRequested()) << "stop clears the request";
}

// Forwards to the real driver and notes each call.
class RecordingDriver : public IF_asioDriver {
public:
    explicit RecordingDriver(IF_asioDriver* real) : m_real(real) { }
    std::vector<std::string> calls;

    bool init(void* r) override { return note("init"), m_real->init(r); }
    int32_t getDriverName(char* n) override { return note("getDriverName"), m_real->getDriverName(n); }
    int32_t getDriverVersion(int32_t* v) override
    {
        return note("getDriverVersion"), m_real->getDriverVersion(v);
    }
    int32_t getErrorMessage(char* t) override { return note("getErrorMessage"), m_real->getErrorMessage(t); }
    int32_t start() override { return note("start"), m_real->start(); }
    int32_t stop() override { return note("stop"), m_real->stop(); }
    int32_t getChannels(int32_t* i, int32_t* o) override
    {
        return note("getChannels"), m_real->getChannels(i, o);
    }
    int32_t getBufferSize(int32_t* a, int32_t* b, int32_t* c, int32_t* d) override
    {
        return note("getBufferSize"), m_real->getBufferSize(a, b, c, d);
    }
    int32_t setSampleRate(double r) override { return note("setSampleRate"), m_real->setSampleRate(r); }
    int32_t getChannelInfo(ASIOChannelInfo* i) override
    {
        return note("getChannelInfo"), m_real->getChannelInfo(i);
    }
    int32_t createBuffers(ASIOBufferInfo* i, int32_t n, int32_t f, const ASIOCallbacks* c) override
    {
        return note("createBuffers"), m_real->createBuffers(i, n, f, c);
    }
    int32_t disposeBuffers() override { return note("disposeBuffers"), m_real->disposeBuffers(); }
    int32_t controlPanel() override { return note("controlPanel"), m_real->controlPanel(); }
    // Also called on the driver's thread: not noted.
    int32_t outputReady() override { return m_real->outputReady(); }
    int32_t release() override { return 0; }

private:
    void note(const char* call) { calls.push_back(call); }
    IF_asioDriver* m_real;
};

TEST(HostEngine, StartRefusesBadRequestsWithoutCallingTheDriver)
{
    CountingClient client;
    ASSERT_TRUE(engine().loadDriver(kSmall, 44100.0));
    IF_asioDriver* const real = asioCurrentDriver();
    RecordingDriver recorder(real);
    asioSetCurrentDriver(&recorder);

    EXPECT_FALSE(engine().start(kSmall, 0, 0, 512, &client)) << "equal channels";
    EXPECT_FALSE(engine().start(kSmall, 1, 1, 512, &client)) << "equal channels";
    EXPECT_FALSE(engine().start(kSmall, 0, 1, 0, &client)) << "no frames";
    EXPECT_FALSE(engine().start(kSmall, 0, 1, -512, &client)) << "negative frames";
    EXPECT_FALSE(engine().start(kDefault, 0, 1, 512, &client)) << "a driver not loaded";
    EXPECT_TRUE(recorder.calls.empty()) << recorder.calls.front();
    EXPECT_FALSE(engine().isRunning());

    ASSERT_TRUE(engine().start(kSmall, 0, 1, 512, &client));
    EXPECT_FALSE(engine().start(kSmall, 0, 1, 512, &client)) << "a stream runs";
    ASSERT_TRUE(engine().stop(kSmall));
    EXPECT_FALSE(engine().stop(kSmall)) << "stopped already";
    const std::vector<std::string> want = {"createBuffers", "getChannelInfo", "getChannelInfo",
                                           "start",         "stop",           "disposeBuffers"};
    EXPECT_EQ(recorder.calls, want);
    asioSetCurrentDriver(real);
}

// A failed load brings the previous driver back without initialising it;
// the engine must not take that one for the driver it initialised.
TEST(HostEngine, ADriverBroughtBackByAFailedLoadIsLoadedAfresh)
{
    ASSERT_TRUE(engine().loadDriver(kSmall, 44100.0));
    // The driver that comes back reads this key when it is made again.
    Registry::instance().setKeys(kSmall, {{"buffer_frames", "512"}, {"fail_init", "1"}});
    EXPECT_FALSE(engine().loadDriver(kBroken, 0.0));
    EXPECT_EQ(engine().drivers()->currentDriver(), int(kSmall)) << "the previous driver is current again";
    EXPECT_EQ(engine().loadedDriver(), -1);
    int inputs = 0, outputs = 0;
    EXPECT_FALSE(engine().getChannels(kSmall, inputs, outputs)) << "it is not initialised";
    EXPECT_FALSE(engine().loadDriver(kSmall, 44100.0)) << "loaded afresh, its init fails";
    EXPECT_EQ(krm::drivers::nullOutputDriverObjects(), 0);

    Registry::instance().setKeys(
        kSmall, {{"buffer_frames", "512"}, {"capture", Registry::instance().path("small.wav")}});
    EXPECT_TRUE(engine().loadDriver(kSmall, 44100.0));
}

TEST(HostDevice, TellsTheClientThePreferredSizeBeforeTheFirstRender)
{
    auto client = QSharedPointer<CountingClient>::create();
    CaudioOutDevice_host device(kSmall, client);
    ASSERT_TRUE(device.open(0, 1, 2048, 44100.0));
    ASSERT_TRUE(testutil::waitUntil([&] { return client->renders >= 3; }, 10000));
    EXPECT_FALSE(device.open(0, 1, 2048, 44100.0)) << "open already";
    ASSERT_TRUE(device.close());
    EXPECT_FALSE(device.close());
    const std::vector<int> events = client->eventsCopy();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], -512) << "notify(512) first";
    EXPECT_TRUE(std::all_of(events.begin() + 1, events.end(), [](int e) { return e == 512; }));
    EXPECT_EQ(engine().loadedDriver(), kSmall) << "close keeps the driver loaded";
}

TEST(HostDevice, FramesTheClientLeavesAreSilenceAndWrongCountsAreClamped)
{
    struct Row {
        const char* name;
        int answer;
        int sounding;  // frames of each half that carry the client's samples
    };
    const std::vector<Row> rows = {
        {"a short render", 100, 100},
        {"nothing rendered", 0, 0},
        {"a negative count", -40, 0},
        {"more than asked", 600, 512},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const QString capture = Registry::instance().path(QString("short%1.wav").arg(r.answer));
        Registry::instance().setKeys(kSmall, {{"buffer_frames", "512"}, {"capture", capture}});
        reload(kSmall);
        auto client = QSharedPointer<CountingClient>::create();
        client->answer = r.answer;
        CaudioOutDevice_host device(kSmall, client);
        ASSERT_TRUE(device.open(0, 1, 512, 44100.0));
        ASSERT_TRUE(testutil::waitUntil([&] { return client->renders >= 3; }, 10000));
        device.close();
        const Samples got = audiotest::readStereo(capture);
        ASSERT_EQ(got.size(), size_t(client->renders) * 512 * 2);
        for (size_t i = 0; i < got.size() / 2; ++i) {
            const int k = int(i % 512);
            const int16_t left = k < r.sounding ? int16_t(1 + i % 30000) : 0;
            ASSERT_EQ(got[2 * i], left) << "frame " << i;
            ASSERT_EQ(got[2 * i + 1], int16_t(-left)) << "frame " << i;
        }
    }
    Registry::instance().setKeys(
        kSmall, {{"buffer_frames", "512"}, {"capture", Registry::instance().path("small.wav")}});
    engine().unloadDriver(kSmall);
}

struct ConversionRow {
    int type;
    const char* left;   // bytes of 0x1234
    const char* right;  // bytes of -2
};

std::vector<uint8_t> hexBytes(const std::string& text)
{
    std::vector<uint8_t> b;
    for (size_t i = 0; i < text.size(); i += 3)
        b.push_back(uint8_t(std::stoi(text.substr(i, 2), nullptr, 16)));
    return b;
}

TEST(HostEngine, ConvertsEachSampleTypeAsTheDriverExpects)
{
    const std::vector<ConversionRow> rows = {
        {0, "12 34", "ff fe"},
        {1, "12 34 00", "ff fe 00"},
        {2, "12 34 00 00", "ff fe 00 00"},
        {3, "3e 11 a0 00", "b8 80 00 00"},
        {4, "3f c2 34 00 00 00 00 00", "bf 10 00 00 00 00 00 00"},
        {8, "00 00 12 34", "ff ff ff fe"},
        {9, "00 00 48 d0", "ff ff ff f8"},
        {10, "00 01 23 40", "ff ff ff e0"},
        {11, "00 12 34 00", "ff ff fe 00"},
        {16, "34 12", "fe ff"},
        {17, "00 34 12", "00 fe ff"},
        {18, "00 00 34 12", "00 00 fe ff"},
        {19, "00 a0 11 3e", "00 00 80 b8"},
        {20, "00 00 00 00 00 34 c2 3f", "00 00 00 00 00 00 10 bf"},
        {24, "34 12 00 00", "fe ff ff ff"},
        {25, "d0 48 00 00", "f8 ff ff ff"},
        {26, "40 23 01 00", "e0 ff ff ff"},
        {27, "00 34 12 00", "00 fe ff ff"},
        // Types the host does not convert keep the driver's own bytes.
        {5, "a5 a5 a5 a5", "a5 a5 a5 a5"},
        {12, "a5 a5 a5 a5", "a5 a5 a5 a5"},
        {21, "a5 a5 a5 a5", "a5 a5 a5 a5"},
        {28, "a5 a5 a5 a5", "a5 a5 a5 a5"},
    };
    for (const ConversionRow& r : rows) {
        SCOPED_TRACE(r.type);
        const QString capture = Registry::instance().path(QString("types%1.wav").arg(r.type));
        Registry::instance().setKeys(
            kTypes,
            {{"buffer_frames", "64"}, {"sample_types", QString::number(r.type)}, {"capture", capture}});
        reload(kTypes);
        auto client = QSharedPointer<CountingClient>::create();
        client->constant = true;
        CaudioOutDevice_host device(kTypes, client);
        ASSERT_TRUE(device.open(0, 1, 64, 44100.0));
        ASSERT_TRUE(testutil::waitUntil([&] { return client->renders >= 2; }, 10000));
        device.close();

        std::vector<uint8_t> frame = hexBytes(r.left);
        const std::vector<uint8_t> right = hexBytes(r.right);
        frame.insert(frame.end(), right.begin(), right.end());
        const std::vector<uint8_t> file = testutil::readFile(capture);
        ASSERT_GT(file.size(), 44u);
        const size_t frames = (file.size() - 44) / frame.size();
        ASSERT_EQ(frames, size_t(client->renders) * 64);
        for (size_t f = 0; f < frames; ++f) {
            ASSERT_TRUE(std::equal(frame.begin(), frame.end(), file.begin() + 44 + f * frame.size()))
                << "frame " << f;
        }
    }
    engine().unloadDriver(kTypes);
}

// ---------------------------------------------------------------- reset watchdog

void setResetKeys(bool failInit)
{
    Registry::instance().setKeys(kReset, {{"buffer_frames", "512"},
                                          {"reset_after", "20"},
                                          {"capture", Registry::instance().path("reset.wav")},
                                          {"fail_init", failInit ? "1" : "0"}});
}

TEST(ResetWatchdog, RestartsWithinASecondWithoutGapOrRepeat)
{
    setResetKeys(false);
    reload(kReset);
    auto client = QSharedPointer<CountingClient>::create();
    CaudioOutDevice_host device(kReset, client);
    ASSERT_TRUE(device.open(0, 1, 512, 44100.0));
    // The driver asks after its 20th half; the restart tells the client the
    // size again before rendering on.
    ASSERT_TRUE(testutil::waitUntil([&] { return !client->notifyTimes.empty(); }, 5000));
    ASSERT_TRUE(testutil::waitUntil([&] { return client->renders >= 30; }, 5000));
    EXPECT_TRUE(engine().isRunning());
    EXPECT_EQ(engine().runningDriver(), kReset);
    ASSERT_TRUE(device.close());

    const std::vector<int> events = client->eventsCopy();
    const auto notified = std::find(events.begin(), events.end(), -512);
    ASSERT_NE(notified, events.end());
    ASSERT_GE(notified - events.begin(), 20) << "the request comes after 20 halves";
    const auto waited = client->notifyTimes[0] - client->renderTimes[19];
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 1000 + 250)
        << "the timer acts within its 1000 ms";

    // The capture spans both driver objects: the song goes on frame by frame.
    const Samples got = audiotest::readStereo(Registry::instance().path("reset.wav"));
    ASSERT_EQ(got.size(), size_t(client->next) * 2);
    for (size_t i = 0; i < got.size() / 2; ++i)
        ASSERT_EQ(got[2 * i], int16_t(1 + i % 30000)) << "frame " << i;
}

TEST(ResetWatchdog, AReloadThatFailsLeavesTheStreamStoppedAndTheClientUntold)
{
    setResetKeys(false);
    reload(kReset);
    auto client = QSharedPointer<CountingClient>::create();
    CaudioOutDevice_host device(kReset, client);
    ASSERT_TRUE(device.open(0, 1, 512, 44100.0));
    setResetKeys(true);  // the reloaded driver will refuse to initialise
    ASSERT_TRUE(testutil::waitUntil([&] { return !engine().isRunning(); }, 5000));
    QTest::qWait(1200);  // and another tick
    EXPECT_FALSE(engine().isRunning());
    EXPECT_EQ(engine().loadedDriver(), -1);
    EXPECT_FALSE(asioCurrentDriver());
    EXPECT_EQ(krm::drivers::nullOutputDriverObjects(), 0);
    EXPECT_TRUE(client->notifyTimes.empty()) << "no buffer size was read, so none is told";
    EXPECT_TRUE(device.close());
    setResetKeys(false);
}

}  // namespace
