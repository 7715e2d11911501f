// The platform's output streams: the paced null stream with its capture file,
// and the order in which ALSA outputs are offered.
#include "audio/AlsaPlayback.h"
#include "audio/NullPlayback.h"

#include "TestUtil.h"

#include <QtTest/QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <vector>

using namespace krm::platform;

namespace {

// All left samples of a stereo capture; empty when it cannot be read.
std::vector<int16_t> leftSamples(const QString& path)
{
    SF_INFO info {};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return {};
    std::vector<int16_t> all(size_t(info.frames) * 2);
    sf_readf_short(f, all.data(), info.frames);
    sf_close(f);
    std::vector<int16_t> left;
    for (size_t i = 0; i < all.size(); i += 2)
        left.push_back(all[i]);
    return left;
}

// Runs one null stream until it pulled `blocks` blocks of counted frames,
// continuing the count from `next`.
void playBlocks(const QString& capture, int blocks, int& next)
{
    const std::unique_ptr<PcmPlayback> stream = makeNullPlayback(capture);
    int frames = 64;
    ASSERT_TRUE(stream->open(frames, 44100.0));
    EXPECT_EQ(frames, 64);
    std::atomic<int> pulled {0};
    ASSERT_TRUE(stream->start([&](int16_t* block, int n) {
        if (pulled >= blocks) {
            std::fill_n(block, 2 * n, int16_t(-1));
        } else {
            for (int i = 0; i < n; ++i)
                block[2 * i] = block[2 * i + 1] = int16_t(next++);
        }
        ++pulled;
    }));
    ASSERT_TRUE(testutil::waitUntil([&] { return pulled >= blocks; }, 10000));
    stream->close();
    EXPECT_FALSE(stream->start([](int16_t*, int) {})) << "a closed stream does not start again";
}

TEST(NullPlayback, TheCaptureHoldsEveryBlockOfEveryStreamAndIsCompleteAfterEachClose)
{
    testutil::TempDir dir;
    const QString capture = dir.path("capture.wav");
    int next = 0;
    playBlocks(capture, 3, next);
    std::vector<int16_t> first = leftSamples(capture);
    ASSERT_GE(first.size(), size_t(3 * 64));
    first.resize(3 * 64);
    for (int i = 0; i < 3 * 64; ++i)
        ASSERT_EQ(first[size_t(i)], i);

    const size_t before = leftSamples(capture).size();
    const int secondStart = next;
    playBlocks(capture, 2, next);
    const std::vector<int16_t> both = leftSamples(capture);
    ASSERT_GE(both.size(), before + 2 * 64) << "the second stream appends";
    for (int i = 0; i < 2 * 64; ++i)
        ASSERT_EQ(both[before + size_t(i)], secondStart + i);
}

TEST(NullPlayback, RefusesBadBlockSizesAndRatesAndStartsOnlyWhenOpen)
{
    const std::unique_ptr<PcmPlayback> stream = makeNullPlayback(QString());
    EXPECT_FALSE(stream->start([](int16_t*, int) {}));
    for (int frames : {0, -1}) {
        int f = frames;
        EXPECT_FALSE(stream->open(f, 44100.0)) << frames;
    }
    int f = 64;
    EXPECT_FALSE(stream->open(f, 0.0));
    EXPECT_TRUE(stream->open(f, 44100.0));
    EXPECT_FALSE(stream->open(f, 44100.0)) << "already open";
    stream->close();
    stream->close();
}

// ALSA's own "null" PCM opens without a sound card: the whole stream set-up,
// the pulling thread and the close run against it.
TEST(AlsaPlayback, StreamsBlocksToAnAlsaPcmAndStopsOnClose)
{
    const std::unique_ptr<PcmPlayback> stream = makeAlsaPlayback("null");
    int frames = 256;
    if (!stream->open(frames, 44100.0))
        GTEST_SKIP() << "ALSA's null PCM does not open here";
    EXPECT_GT(frames, 0);
    EXPECT_FALSE(stream->open(frames, 44100.0)) << "already open";
    std::atomic<int> pulled {0};
    std::atomic<int> wrongSize {0};
    ASSERT_TRUE(stream->start([&, granted = frames](int16_t* block, int n) {
        if (n != granted)
            ++wrongSize;
        std::fill_n(block, 2 * n, int16_t(0));
        ++pulled;
    }));
    ASSERT_TRUE(testutil::waitUntil([&] { return pulled >= 3; }, 10000));
    stream->close();
    const int after = pulled;
    QTest::qWait(20);
    EXPECT_EQ(pulled, after) << "no pull after close";
    EXPECT_EQ(wrongSize, 0);
    EXPECT_FALSE(makeAlsaPlayback("no such pcm")->open(frames, 44100.0));
}

TEST(AlsaOutputs, DefaultFirstNoNullNoRepeatsOnlyThoseThatOpen)
{
    struct Row {
        const char* name;
        QStringList hints;
        QStringList closed;  // names the probe cannot open
        QStringList want;
    };
    const std::vector<Row> rows = {
        {"default first, null and repeats left out",
         {"hw:0,0", "null", "default", "sysdefault", "hw:0,0"},
         {},
         {"default", "hw:0,0", "sysdefault"}},
        {"outputs that do not open are left out", {"hw:0,0", "hw:1,0"}, {"default", "hw:1,0"}, {"hw:0,0"}},
        {"no hints: default alone", {}, {}, {"default"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QStringList probed;
        const QStringList got = orderPlaybackPcmNames(r.hints, [&](const QString& n) {
            probed << n;
            return !r.closed.contains(n);
        });
        EXPECT_EQ(got, r.want);
        EXPECT_EQ(probed.removeDuplicates(), 0) << "each name is probed once";
        EXPECT_FALSE(probed.contains("null"));
    }
}

}  // namespace
