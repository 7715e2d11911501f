#include "WavFile.h"
#include "WavFixtures.h"
#include "WavSeekerSeq.h"
#include "TestUtil.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <gtest/gtest.h>

using namespace fixtures;

namespace {

float f16(int16_t v)
{
    return float(v) / 32768.0f;
}

}  // namespace

TEST(WavSeekerSeq, ShortReadAtTheEndIsZeroPadded)
{
    testutil::TempDir dir;
    std::vector<int16_t> s = ramp(100);
    s[0] = -1;  // bytes FF FF
    s[1] = 32767;
    s[2] = -32768;
    const QString p = dir.path("a.wav");
    ASSERT_TRUE(testutil::writeFile(p, canonicalWav(s)));

    WavSeekerSeq w(p);
    EXPECT_EQ(w.length(), 100);
    EXPECT_EQ(w.channels(), 2);
    EXPECT_EQ(w.sampleRate(), 44100.0f);
    std::vector<float> buf(360, 7.0f);
    ASSERT_EQ(w.read(buf.data(), 180), 100);
    EXPECT_EQ(buf[0], -1.0f / 32768.0f);
    EXPECT_EQ(buf[1], 32767.0f / 32768.0f);
    EXPECT_EQ(buf[2], -1.0f);
    for (size_t i = 3; i < 200; ++i)
        ASSERT_EQ(buf[i], f16(s[i])) << i;
    for (size_t i = 200; i < 360; ++i)
        ASSERT_EQ(buf[i], 0.0f) << i;
    EXPECT_EQ(w.read(buf.data(), 10), 0);
}

TEST(WavSeekerSeq, OnlySeekToZeroRestarts)
{
    testutil::TempDir dir;
    const std::vector<int16_t> s = ramp(50);
    const QString p = dir.path("a.wav");
    ASSERT_TRUE(testutil::writeFile(p, canonicalWav(s)));

    WavSeekerSeq w(p);
    std::vector<float> buf(200);
    ASSERT_EQ(w.read(buf.data(), 10), 10);
    w.seek(5);
    ASSERT_EQ(w.read(buf.data(), 1), 1);
    EXPECT_EQ(buf[0], f16(s[20])) << "seek(5) leaves the position alone";
    ASSERT_EQ(w.read(buf.data(), 100), 39);
    EXPECT_EQ(w.read(buf.data(), 100), 0);
    EXPECT_EQ(w.seek(0), 0);
    EXPECT_EQ(w.length(), 50);
    ASSERT_EQ(w.read(buf.data(), 100), 50);
    for (size_t i = 0; i < 100; ++i)
        ASSERT_EQ(buf[i], f16(s[i])) << i;
}

TEST(WavSeekerSeq, FrameByFrameMatchesBlockReads)
{
    testutil::TempDir dir;
    const std::vector<int16_t> s = ramp(1000);
    const QString p = dir.path("a.wav");
    ASSERT_TRUE(testutil::writeFile(p, canonicalWav(s)));
    WavSeekerSeq w(p);
    float f[2];
    for (size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(w.read(f, 1), 1);
        ASSERT_EQ(f[0], f16(s[2 * i]));
        ASSERT_EQ(f[1], f16(s[2 * i + 1]));
    }
    EXPECT_EQ(w.read(f, 1), 0);
}

TEST(WavSeekerSeq, BadFilesGiveAnEmptySource)
{
    testutil::TempDir dir;
    std::vector<uint8_t> mono = canonicalWav(ramp(64));
    put16(mono, 22, 1);
    ASSERT_TRUE(testutil::writeFile(dir.path("mono.wav"), mono));
    for (const QString name : {"missing.wav", "mono.wav"}) {
        WavSeekerSeq w(dir.path(name));
        EXPECT_EQ(w.length(), 0) << name.toStdString();
        EXPECT_EQ(w.channels(), 2);
        EXPECT_EQ(w.sampleRate(), 44100.0f);
        std::vector<float> buf(40, 7.0f);
        EXPECT_EQ(w.read(buf.data(), 20), 0);
        EXPECT_EQ(buf, std::vector<float>(40, 0.0f));
        w.seek(0);
        EXPECT_EQ(w.read(buf.data(), 20), 0);
    }
}

TEST(WavSeekerSeq, StopsAtTheEndOfTheDataChunk)
{
    testutil::TempDir dir;
    const std::vector<int16_t> s = ramp(30);
    std::vector<uint8_t> f = canonicalWav(s);
    const std::vector<uint8_t> trailer = {'L', 'I', 'S', 'T', 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    f.insert(f.end(), trailer.begin(), trailer.end());
    put32(f, 4, uint32_t(f.size() - 8));
    const QString p = dir.path("t.wav");
    ASSERT_TRUE(testutil::writeFile(p, f));
    WavSeekerSeq w(p);
    std::vector<float> buf(200, 7.0f);
    EXPECT_EQ(w.read(buf.data(), 100), 30);
    EXPECT_EQ(buf[60], 0.0f);
}

TEST(WavFrames, PlainReadConvertsAndZeroFillsToTheEndOfTheStream)
{
    std::vector<int16_t> s = ramp(3);
    s[0] = -1;  // bytes FF FF
    std::vector<uint8_t> bytes = canonicalWav(s);
    QByteArray a(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
    QBuffer dev(&a);
    dev.open(QIODevice::ReadOnly);
    QDataStream st(&dev);
    st.setByteOrder(QDataStream::LittleEndian);
    uint32_t frames = 0;
    ASSERT_EQ(readWavHeader(st, &frames), 0u);

    std::vector<float> buf(10, 7.0f);
    uint32_t got = 99;
    bool oom = false;
    ASSERT_EQ(readWavFrames(st, 2, buf.data(), &got, &oom), 0u);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buf[0], -1.0f / 32768.0f);
    EXPECT_EQ(buf[3], f16(s[3]));
    ASSERT_EQ(readWavFrames(st, 5, buf.data(), &got, &oom), 0u);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buf[1], f16(s[5]));
    EXPECT_EQ(std::vector<float>(buf.begin() + 2, buf.end()), std::vector<float>(8, 0.0f));
    EXPECT_FALSE(oom);
}

// Damaged copies of a canonical file: nothing may crash, over-read or hang,
// and what the routines report must stay consistent with the file.
TEST(WavFuzz, DamagedFilesAreHandledSafely)
{
    testutil::TempDir dir;
    const std::vector<uint8_t> base = canonicalWav(ramp(40));
    const QString p = dir.path("d.wav");
    int accepted = 0;
    for (const std::vector<uint8_t>& bytes : testutil::damagedCopies(base, 1234, 400)) {
        ASSERT_TRUE(testutil::writeFile(p, bytes));
        const uint64_t payload = bytes.size() > 44 ? bytes.size() - 44 : 0;

        QByteArray a(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
        QBuffer buf(&a);
        buf.open(QIODevice::ReadOnly);
        QDataStream st(&buf);
        st.setByteOrder(QDataStream::LittleEndian);
        uint32_t frames = 0;
        const uint32_t h = readWavHeader(st, &frames);

        std::unique_ptr<uint8_t[]> data;
        uint32_t count = 0;
        bool oom = false;
        const uint32_t l = loadWavFile(p, data, &count, &oom);
        EXPECT_FALSE(oom);
        if (l == 0) {
            ++accepted;
            EXPECT_EQ(h, 0u);
            EXPECT_LE(count, payload);
            EXPECT_EQ(count, frames * 4);
        }

        WavSeekerSeq w(p);
        // No more frames than the file holds after the header.
        EXPECT_EQ(w.length(), h == 0 ? int32_t(std::min<uint64_t>(frames, payload / 4)) : 0);
        std::vector<float> out(360);
        int32_t total = 0;
        for (int i = 0; i < 1000; ++i) {
            const int32_t n = w.read(out.data(), 180);
            ASSERT_GE(n, 0);
            if (n == 0)
                break;
            total += n;
        }
        EXPECT_LE(total, w.length());
        EXPECT_LE(uint64_t(total) * 4, payload);
    }
    EXPECT_GT(accepted, 0) << "some damage (in the samples) leaves a valid file";
}
