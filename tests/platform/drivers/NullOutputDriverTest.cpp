// The Null Output Driver on its own, driven by a host of the test's making:
// its keys, the paced switching of halves filled with 0xA5, the one reset
// request, and the capture file's header and bytes.
#include "DriverRegistryFile.h"
#include "NullOutputDriver.h"
#include "TestUtil.h"

#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>

using namespace krm::drivers;

namespace {

// Driver objects are released, not deleted.
struct Release {
    void operator()(IF_asioDriver* d) const { d->release(); }
};
using DriverPtr = std::unique_ptr<IF_asioDriver, Release>;

// The host side: writes a known pattern into the first channel of each
// half it is handed and leaves the second alone.
struct FakeHost {
    static inline FakeHost* current = nullptr;

    std::vector<ASIOBufferInfo> infos;
    int frames = 0;
    int firstSampleBytes = 0;
    std::atomic<int> switches {0};
    std::atomic<int> timeInfoSwitches {0};
    std::atomic<int> resetAfterSwitch {-1};
    std::atomic<int> resets {0};
    std::atomic<bool> halvesInTurn {true};
    std::atomic<bool> filledWithA5 {true};
    bool answerTimeInfo = true;

    static uint8_t pattern(int switchNo, int frame, int byte)
    {
        return uint8_t(switchNo * 7 + frame * 3 + byte);
    }

    void fill(int32_t half)
    {
        const int k = switches;
        if (half != (k & 1))
            halvesInTurn = false;
        for (const ASIOBufferInfo& b : infos) {
            const auto* p = static_cast<const uint8_t*>(b.buffers[half]);
            for (int i = 0; i < frames * asioSampleBytes(AsioInt16LSB); ++i)
                filledWithA5 = filledWithA5 && p[i] == 0xA5;
        }
        auto* first = static_cast<uint8_t*>(infos[0].buffers[half]);
        for (int f = 0; f < frames; ++f)
            for (int j = 0; j < firstSampleBytes; ++j)
                first[f * firstSampleBytes + j] = pattern(k, f, j);
        ++switches;
    }

    static void bufferSwitch(int32_t half, bool) { current->fill(half); }
    static void* bufferSwitchTimeInfo(void*, int32_t half, bool)
    {
        ++current->timeInfoSwitches;
        current->fill(half);
        return nullptr;
    }
    static void rateChanged(double) { }
    static int32_t message(int32_t selector, int32_t value, void*, double*)
    {
        if (selector == AsioSelectorSupported)
            return value == AsioSupportsTimeInfo && current->answerTimeInfo ? 1 : 0;
        if (selector == AsioSupportsTimeInfo)
            return current->answerTimeInfo ? 1 : 0;
        if (selector == AsioResetRequest) {
            ++current->resets;
            current->resetAfterSwitch = current->switches.load();
            return 1;
        }
        return 0;
    }
    const ASIOCallbacks callbacks {&bufferSwitch, &rateChanged, &message, &bufferSwitchTimeInfo};

    FakeHost() { current = this; }
    ~FakeHost() { current = nullptr; }
};

class NullDriver : public ::testing::Test {
protected:
    DriverPtr make(const QVector<QPair<QString, QString>>& keys)
    {
        const QString path = dir.path("drivers.ini");
        EXPECT_TRUE(testutil::writeRegistry(path, {testutil::nullDriverGroup("Null", keys)}));
        return DriverPtr(createNullOutputDriver(path.toUtf8().constData(), "driver:Null"));
    }

    // Buffers for channels 0 and 1, started until `switches` halves passed.
    void run(IF_asioDriver& d, FakeHost& host, int frames, int switches)
    {
        host.infos = {{false, 0, {}}, {false, 1, {}}};
        host.frames = frames;
        ASIOChannelInfo ci {0, false, false, 0, 0, {}};
        ASSERT_EQ(d.getChannelInfo(&ci), kAsioOk);
        host.firstSampleBytes = asioSampleBytes(ci.type);
        ASSERT_EQ(d.createBuffers(host.infos.data(), 2, frames, &host.callbacks), kAsioOk);
        ASSERT_EQ(d.start(), kAsioOk);
        ASSERT_TRUE(testutil::waitUntil([&] { return host.switches >= switches; }, 10000));
        ASSERT_EQ(d.stop(), kAsioOk);
        ASSERT_EQ(d.disposeBuffers(), kAsioOk);
    }

    testutil::TempDir dir;
};

struct KeyCase {
    const char* name;
    QVector<QPair<QString, QString>> keys;
    int frames;
    int outputs;
    std::vector<int> types;  // of channels 0..3 (as many as there are)
};

TEST_F(NullDriver, ReadsItsKeysWithDefaults)
{
    const std::vector<KeyCase> cases = {
        {"defaults", {}, 2048, 2, {16, 16}},
        {"sizes and types, the last type repeated",
         {{"buffer_frames", "512"}, {"outputs", "4"}, {"sample_types", "19, 18"}},
         512,
         4,
         {19, 18, 18, 18}},
        {"zero outputs and frames", {{"buffer_frames", "0"}, {"outputs", "0"}}, 0, 0, {}},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const DriverPtr d = make(c.keys);
        ASSERT_TRUE(d->init(nullptr));
        int32_t in = -1, out = -1, mn = -1, mx = -1, pref = -1, gran = -1;
        EXPECT_EQ(d->getChannels(&in, &out), kAsioOk);
        EXPECT_EQ(in, 0);
        EXPECT_EQ(out, c.outputs);
        EXPECT_EQ(d->getBufferSize(&mn, &mx, &pref, &gran), kAsioOk);
        EXPECT_EQ(std::vector<int>({mn, mx, pref}), std::vector<int>(3, c.frames));
        for (int ch = 0; ch < c.outputs; ++ch) {
            ASIOChannelInfo info {ch, false, true, -1, -1, {}};
            ASSERT_EQ(d->getChannelInfo(&info), kAsioOk);
            EXPECT_EQ(info.type, c.types[size_t(ch)]) << "channel " << ch;
            EXPECT_FALSE(info.isActive) << "no buffers yet";
        }
        ASIOChannelInfo beyond {c.outputs, false, false, 0, 0, {}};
        EXPECT_EQ(d->getChannelInfo(&beyond), kAsioInvalidParameter);
        char name[32];
        d->getDriverName(name);
        EXPECT_STREQ(name, "Null Output Driver");
    }
}

TEST_F(NullDriver, FailInitSaysWhy)
{
    const DriverPtr d = make({{"fail_init", "1"}});
    EXPECT_FALSE(d->init(nullptr));
    char text[124];
    d->getErrorMessage(text);
    EXPECT_NE(std::string(text).find("fail_init"), std::string::npos) << text;
}

TEST_F(NullDriver, RefusesBuffersItCannotMake)
{
    const DriverPtr d = make({{"buffer_frames", "64"}, {"outputs", "2"}});
    FakeHost host;
    EXPECT_EQ(d->start(), kAsioInvalidMode) << "no buffers";
    struct Row {
        const char* name;
        std::vector<ASIOBufferInfo> infos;
        int frames;
    };
    const std::vector<Row> rows = {
        {"another size", {{false, 0, {}}, {false, 1, {}}}, 128},
        {"an input", {{true, 0, {}}}, 64},
        {"a channel beyond the outputs", {{false, 2, {}}}, 64},
        {"one channel twice", {{false, 1, {}}, {false, 1, {}}}, 64},
        {"more channels than outputs", {{false, 0, {}}, {false, 1, {}}, {false, 1, {}}}, 64},
    };
    for (Row r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(d->createBuffers(r.infos.data(), int32_t(r.infos.size()), r.frames, &host.callbacks),
                  kAsioInvalidParameter);
    }
    std::vector<ASIOBufferInfo> ok {{false, 1, {}}};
    ASSERT_EQ(d->createBuffers(ok.data(), 1, 64, &host.callbacks), kAsioOk);
    EXPECT_TRUE(ok[0].buffers[0] && ok[0].buffers[1]);
    EXPECT_EQ(d->createBuffers(ok.data(), 1, 64, &host.callbacks), kAsioInvalidMode)
        << "buffers exist already";
    ASIOChannelInfo info {1, false, false, 0, 0, {}};
    d->getChannelInfo(&info);
    EXPECT_TRUE(info.isActive);
}

TEST_F(NullDriver, SwitchesHalvesInTurnFilledWithA5AndAsksForOneReset)
{
    for (const bool timeInfo : {true, false}) {
        SCOPED_TRACE(timeInfo ? "host takes time information" : "plain buffer switch");
        const DriverPtr d = make({{"buffer_frames", "64"}, {"reset_after", "5"}});
        ASSERT_TRUE(d->init(nullptr));
        FakeHost host;
        host.answerTimeInfo = timeInfo;
        run(*d, host, 64, 12);
        EXPECT_TRUE(host.halvesInTurn);
        EXPECT_TRUE(host.filledWithA5) << "each half is 0xA5 before its switch";
        EXPECT_EQ(host.resets, 1);
        EXPECT_EQ(host.resetAfterSwitch, 5);
        EXPECT_EQ(host.timeInfoSwitches, timeInfo ? host.switches.load() : 0);
    }
}

// The 44-byte header's fields.
struct Header {
    uint16_t tag, channels, blockAlign, bits;
    uint32_t rate, byteRate, riffSize, dataSize;
};

Header headerOf(const std::vector<uint8_t>& b)
{
    const auto u16 = [&](size_t at) { return uint16_t(b[at] | b[at + 1] << 8); };
    const auto u32 = [&](size_t at) { return uint32_t(u16(at) | uint32_t(u16(at + 2)) << 16); };
    return {u16(20), u16(22), u16(32), u16(34), u32(24), u32(28), u32(4), u32(40)};
}

TEST_F(NullDriver, CapturesWhatTheHostLeftBehindAStandardOrTagZeroHeader)
{
    struct Row {
        const char* types;
        uint16_t tag;
        uint16_t blockAlign;
        uint16_t bits;
    };
    const std::vector<Row> rows = {
        {"16", 1, 4, 16},  {"17", 1, 6, 24}, {"18", 1, 8, 32},    {"19", 3, 8, 32},
        {"20", 3, 16, 64}, {"0", 0, 4, 16},  {"19,16", 0, 6, 32}, {"5", 0, 8, 32},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.types);
        const QString capture = dir.path(QString("capture-%1.wav").arg(r.types));
        const DriverPtr d = make({{"buffer_frames", "32"}, {"sample_types", r.types}, {"capture", capture}});
        ASSERT_TRUE(d->init(nullptr));
        FakeHost host;
        run(*d, host, 32, 3);
        const std::vector<uint8_t> file = testutil::readFile(capture);
        ASSERT_GE(file.size(), 44u);
        ASSERT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
        const Header h = headerOf(file);
        EXPECT_EQ(h.tag, r.tag);
        EXPECT_EQ(h.channels, 2);
        EXPECT_EQ(h.rate, 44100u);
        EXPECT_EQ(h.blockAlign, r.blockAlign);
        EXPECT_EQ(h.byteRate, 44100u * r.blockAlign);
        EXPECT_EQ(h.bits, r.bits);
        const int switches = host.switches;
        ASSERT_EQ(h.dataSize, uint32_t(switches * 32 * r.blockAlign)) << "every played half, nothing else";
        EXPECT_EQ(h.riffSize, h.dataSize + 36);
        ASSERT_EQ(file.size(), 44 + size_t(h.dataSize));

        // Frame-interleaved: the host's pattern in the first channel, the
        // untouched 0xA5 in the second.
        const int first = host.firstSampleBytes;
        const int second = r.blockAlign - first;
        size_t at = 44;
        for (int k = 0; k < switches; ++k) {
            for (int f = 0; f < 32; ++f) {
                for (int j = 0; j < first; ++j, ++at)
                    ASSERT_EQ(file[at], FakeHost::pattern(k, f, j)) << "half " << k << " frame " << f;
                for (int j = 0; j < second; ++j, ++at)
                    ASSERT_EQ(file[at], 0xA5) << "half " << k << " frame " << f;
            }
        }
    }
}

TEST_F(NullDriver, LaterStreamsAndDriverObjectsAppendWhileTheFormatStays)
{
    const QString capture = dir.path("appended.wav");
    int total = 0;
    for (int object = 0; object < 2; ++object) {
        const DriverPtr d = make({{"buffer_frames", "32"}, {"capture", capture}});
        ASSERT_TRUE(d->init(nullptr));
        for (int stream = 0; stream < 2; ++stream) {
            FakeHost host;
            run(*d, host, 32, 2);
            total += host.switches;
            EXPECT_EQ(headerOf(testutil::readFile(capture)).dataSize, uint32_t(total * 32 * 4))
                << "object " << object << " stream " << stream;
        }
    }
    const DriverPtr other = make({{"buffer_frames", "32"}, {"sample_types", "19"}, {"capture", capture}});
    ASSERT_TRUE(other->init(nullptr));
    FakeHost host;
    run(*other, host, 32, 2);
    const Header h = headerOf(testutil::readFile(capture));
    EXPECT_EQ(h.tag, 3);
    EXPECT_EQ(h.dataSize, uint32_t(host.switches * 32 * 8)) << "another format starts the file afresh";
}

}  // namespace
