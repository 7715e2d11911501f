// The output framework: the block filling shared by the output families,
// the null output with its capture file, the platform manager's list, and
// the holder's device handling over a manager of the test's own.
#include "AudioDeviceASFF.h"
#include "AudioTestSupport.h"
#include "CaudioOutFactory.h"
#include "TestUtil.h"

#include <QThread>
#include <QtTest/QTest>
#include <atomic>
#include <gtest/gtest.h>

using namespace Tessaro;
using audiotest::Samples;

namespace {

// The program's audio tests run on the null output only.
const bool kNullOutputOnly = audiotest::listOutputs(true, false);

// ---------------------------------------------------------------- block filling

struct FillCase {
    const char* name;
    int leftSlot;
    int rightSlot;
    int rendered;
    std::vector<int> want;  // three interleaved frames
};

TEST(FillInterleavedBlock, SlotsCountsAndSilence)
{
    const std::vector<FillCase> cases = {
        {"slots 0 1 keep left first", 0, 1, 3, {1, -1, 2, -2, 3, -3}},
        {"slots 1 0 swap the channels", 1, 0, 3, {-1, 1, -2, 2, -3, 3}},
        {"a short render is padded with silence", 0, 1, 1, {1, -1, 0, 0, 0, 0}},
        {"a render of 0 is silence", 0, 1, 0, {0, 0, 0, 0, 0, 0}},
        {"a negative count is silence", 0, 1, -3, {0, 0, 0, 0, 0, 0}},
        {"a count above the block is the whole block", 0, 1, 9, {1, -1, 2, -2, 3, -3}},
        {"slot 2 or more is not written", 2, 1, 3, {0, -1, 0, -2, 0, -3}},
    };
    for (const FillCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Exactly three samples per channel: reading past them is caught.
        const std::vector<int16_t> left {1, 2, 3};
        const std::vector<int16_t> right {-1, -2, -3};
        std::vector<int16_t> out(6, 99);
        fillInterleavedBlock(out.data(), 3, left.data(), right.data(), c.rendered, c.leftSlot, c.rightSlot);
        EXPECT_EQ(std::vector<int>(out.begin(), out.end()), c.want);
    }
}

// ---------------------------------------------------------------- null output

// Left counts the frames rendered, right is its negative; `answer` can
// replace the count returned, `sleepMs` makes the first render slow.
class CountingClient : public CaudioOutCallbackIF {
public:
    bool notify(int) override { return true; }
    int render(int16_t left[], int16_t right[], int frames) override
    {
        inRender = true;
        if (sleepMs > 0 && renders == 0)
            QThread::msleep(unsigned(sleepMs));
        for (int i = 0; i < frames; ++i) {
            left[i] = int16_t(1 + (next + i) % 30000);
            right[i] = int16_t(-left[i]);
        }
        next += frames;
        ++renders;
        inRender = false;
        return answer < 0 ? frames : answer;
    }
    std::atomic<int> renders {0};
    std::atomic<bool> inRender {false};
    int next = 0;
    int answer = -1;
    int sleepMs = 0;
};

class NullOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        capture = dir.path("capture.wav");
        qputenv("STELVANO_AUDIO_CAPTURE", capture.toLocal8Bit());
    }
    void TearDown() override { qunsetenv("STELVANO_AUDIO_CAPTURE"); }

    static void waitForRenders(const CountingClient& c, int n)
    {
        ASSERT_TRUE(testutil::waitUntil([&] { return c.renders >= n; }, 10000));
    }

    testutil::TempDir dir;
    QString capture;
    static constexpr int kFrames = 256;
};

TEST_F(NullOutput, PlaysTheClientsBlocksOnTheChosenSlots)
{
    struct Slots {
        int left;
        int right;
        int sign;  // of the left sample in the capture
    };
    for (const Slots s : {Slots {0, 1, 1}, Slots {1, 0, -1}}) {
        SCOPED_TRACE(s.left);
        qputenv("STELVANO_AUDIO_CAPTURE", dir.path(QString("slots%1.wav").arg(s.left)).toLocal8Bit());
        auto client = QSharedPointer<CountingClient>::create();
        CaudioOutDevice_null device(client);
        ASSERT_TRUE(device.open(s.left, s.right, kFrames, 44100.0));
        waitForRenders(*client, 3);
        ASSERT_TRUE(device.close());
        const Samples got = audiotest::readStereo(dir.path(QString("slots%1.wav").arg(s.left)));
        ASSERT_EQ(got.size(), size_t(client->next) * 2);
        for (size_t k = 0; k < got.size() / 2; ++k) {
            const int v = int(1 + k % 30000);
            ASSERT_EQ(got[2 * k], s.sign * v) << "frame " << k;
            ASSERT_EQ(got[2 * k + 1], -s.sign * v) << "frame " << k;
        }
    }
}

TEST_F(NullOutput, SecondOpenFailsAndTheFirstStreamGoesOn)
{
    auto client = QSharedPointer<CountingClient>::create();
    CaudioOutDevice_null device(client);
    EXPECT_FALSE(device.close());  // not open yet
    ASSERT_TRUE(device.open(0, 1, kFrames, 44100.0));
    EXPECT_FALSE(device.open(0, 1, kFrames, 44100.0));
    const int before = client->renders;
    waitForRenders(*client, before + 2);
    EXPECT_TRUE(device.close());
    EXPECT_FALSE(device.close());
}

TEST_F(NullOutput, RefusesBlockSizesOutsideItsRange)
{
    auto client = QSharedPointer<CountingClient>::create();
    CaudioOutDevice_null device(client);
    for (int frames : {0, -5, CaudioOutStreamDevice::maxFrames + 1})
        EXPECT_FALSE(device.open(0, 1, frames, 44100.0)) << frames;
    EXPECT_FALSE(device.open(0, 1, kFrames, 0.0));
    EXPECT_FALSE(device.close());
}

TEST_F(NullOutput, RenderCountsOutsideTheBlockAreClamped)
{
    struct Row {
        int answer;
        bool silent;
    };
    for (const Row r : {Row {0, true}, Row {kFrames + 100, false}}) {
        SCOPED_TRACE(r.answer);
        const QString path = dir.path(QString("count%1.wav").arg(r.answer));
        qputenv("STELVANO_AUDIO_CAPTURE", path.toLocal8Bit());
        auto client = QSharedPointer<CountingClient>::create();
        client->answer = r.answer;
        CaudioOutDevice_null device(client);
        ASSERT_TRUE(device.open(0, 1, kFrames, 44100.0));
        waitForRenders(*client, 2);
        device.close();
        const Samples got = audiotest::readStereo(path);
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(std::all_of(got.begin(), got.end(), [](int16_t v) { return v == 0; }), r.silent);
    }
}

TEST_F(NullOutput, AClientThatIsGoneGivesSilenceAndTheStreamRunsOn)
{
    auto client = QSharedPointer<CountingClient>::create();
    CaudioOutDevice_null device(client);
    ASSERT_TRUE(device.open(0, 1, kFrames, 44100.0));
    waitForRenders(*client, 2);
    const int heard = client->next;
    client.reset();  // the device only held a weak pointer
    QTest::qWait(40);
    EXPECT_TRUE(device.close());
    const Samples got = audiotest::readStereo(capture);
    ASSERT_GT(got.size(), size_t(heard) * 2) << "the stream stopped with its client";
    EXPECT_TRUE(std::all_of(got.begin() + 2 * heard, got.end(), [](int16_t v) { return v == 0; }));
}

TEST_F(NullOutput, CloseWaitsForARenderInFlightAndNoneFollows)
{
    auto client = QSharedPointer<CountingClient>::create();
    client->sleepMs = 200;
    CaudioOutDevice_null device(client);
    ASSERT_TRUE(device.open(0, 1, kFrames, 44100.0));
    ASSERT_TRUE(testutil::waitUntil([&] { return client->inRender.load(); }, 10000));
    EXPECT_TRUE(device.close());
    EXPECT_FALSE(client->inRender) << "close returned while the client was rendering";
    const int renders = client->renders;
    QTest::qWait(30);
    EXPECT_EQ(client->renders, renders) << "a render started after close returned";
}

// ---------------------------------------------------------------- platform manager

TEST(PlatformManager, ListsTheNullOutputOnlyWhenAskedAndTheSameListTwice)
{
    const QSharedPointer<CaudioOutDeviceManagerIF> manager =
        CaudioOutFactory::instance()->createDeviceManager();
    ASSERT_TRUE(manager);
    EXPECT_EQ(manager, CaudioOutFactory::instance()->createDeviceManager());

    DeviceInfoList list;
    ASSERT_TRUE(manager->enumerate(list));
    ASSERT_EQ(list.size(), 1);
    const CaudioOutDeviceInfoIF& info = *list[0];
    EXPECT_EQ(info.name(), "Null: paced output");
    EXPECT_EQ(info.channels(), 2);
    EXPECT_EQ(info.bufferFrames(), 1024);
    EXPECT_EQ(info.maxBufferFrames(), 65536);
    EXPECT_FALSE(info.hasControlPanel());

    ASSERT_TRUE(manager->enumerate(list));
    EXPECT_EQ(list.size(), 1) << "a second enumeration must not add to the list";

    qputenv("STELVANO_AUDIO_NULL", "0");
    manager->enumerate(list);
    qputenv("STELVANO_AUDIO_NULL", "1");
    EXPECT_TRUE(list.isEmpty()) << "the null output is listed only when asked for";
}

class ForeignInfo : public CaudioOutStreamDeviceInfo {
public:
    QString name() const override { return "Fake: foreign"; }
};

TEST(PlatformManager, MakesDevicesOnlyForItsOwnDescriptions)
{
    const QSharedPointer<CaudioOutDeviceManagerIF> manager =
        CaudioOutFactory::instance()->createDeviceManager();
    EXPECT_FALSE(manager->createDevice({}, {}));
    EXPECT_FALSE(manager->createDevice(QSharedPointer<CaudioOutDeviceInfoIF>(new ForeignInfo), {}));
    const auto null = QSharedPointer<CaudioOutDeviceInfoIF>(new CaudioOutDeviceInfo_null);
    EXPECT_TRUE(manager->createDevice(null, {}).dynamicCast<CaudioOutDevice_null>());
    EXPECT_FALSE(CaudioOutDeviceManager_alsa().createDevice(null, {}));
}

// ---------------------------------------------------------------- holder over a test manager

class ScriptedDevice : public CaudioOutDeviceIF {
public:
    explicit ScriptedDevice(bool opens) : m_opens(opens) { }
    bool open(int, int, int, double) override { return m_opens; }
    bool close() override { return false; }

private:
    bool m_opens;
};

class NamedInfo : public ForeignInfo {
public:
    explicit NamedInfo(QString n) : m_name(std::move(n)) { }
    QString name() const override { return m_name; }

private:
    QString m_name;
};

// Lists the given names; its devices open only when `opens` is set.
class ScriptedManager : public CaudioOutDeviceManagerIF {
public:
    explicit ScriptedManager(QStringList names, bool opens = true) : m_names(std::move(names)), m_opens(opens)
    { }
    bool enumerate(DeviceInfoList& list) override
    {
        for (const QString& n : m_names)
            list.append(QSharedPointer<CaudioOutDeviceInfoIF>(new NamedInfo(n)));
        return true;
    }
    QSharedPointer<CaudioOutDeviceIF> createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                                   QWeakPointer<CaudioOutCallbackIF>) override
    {
        ++created;
        return info ? QSharedPointer<CaudioOutDeviceIF>(new ScriptedDevice(m_opens)) : nullptr;
    }
    int created = 0;

private:
    QStringList m_names;
    bool m_opens;
};

TEST(Holder, FindsTheLastOutputOfANameAndRefusesIndexesOutsideTheList)
{
    AudioDeviceASFF holder(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    auto manager = QSharedPointer<ScriptedManager>::create(QStringList {"Fake: A", "Fake: B", "Fake: A"});
    ASSERT_EQ(holder.init(manager), 0u);
    int count = 0;
    holder.deviceCount(count);
    EXPECT_EQ(count, 3);

    bool found = false;
    int index = -1;
    holder.findDeviceByName("Fake: A", found, index);
    EXPECT_TRUE(found);
    EXPECT_EQ(index, 2);
    found = false;
    holder.findDeviceByName("Fake: C", found, index);
    EXPECT_FALSE(found);

    ASSERT_EQ(holder.selectDevice(1), 0u);
    const int made = manager->created;
    for (int bad : {-1, 3}) {
        EXPECT_EQ(holder.selectDevice(bad), 0x80000001u) << bad;
        QString name = "unchanged";
        EXPECT_EQ(holder.deviceName(bad, name), 0x80000001u) << bad;
        EXPECT_EQ(name, "unchanged");
    }
    EXPECT_EQ(holder.selectedDevice(), 1);
    EXPECT_EQ(manager->created, made);
    EXPECT_EQ(holder.selectDeviceByName("Fake: C"), 0u);
    EXPECT_EQ(holder.selectedDevice(), 1);
    EXPECT_EQ(holder.selectDeviceByName("Fake: A"), 0u);
    EXPECT_EQ(holder.selectedDevice(), 2);
}

TEST(Holder, OpenFailsWithoutADeviceOrWhenTheDeviceRefuses)
{
    AudioDeviceASFF empty(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(empty.init(QSharedPointer<ScriptedManager>::create(QStringList {})), 0x80000003u);
    EXPECT_EQ(empty.open(2048, 44100.0), 0x80000001u);
    EXPECT_EQ(empty.close(), 0x80000001u);
    EXPECT_EQ(empty.selectDevice(0), 0x80000001u);

    AudioDeviceASFF refusing(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(refusing.init(QSharedPointer<ScriptedManager>::create(QStringList {"Fake: A"}, false)), 0u);
    EXPECT_EQ(refusing.open(2048, 44100.0), 0x80000002u);
    EXPECT_EQ(refusing.close(), 0u);
}

}  // namespace
