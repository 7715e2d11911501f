#include "WavFile.h"
#include "WavFixtures.h"
#include "WavSeekerSeq.h"
#include "TestUtil.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace fixtures;

namespace {

uint32_t headerCode(const std::vector<uint8_t>& bytes, uint32_t* frames)
{
    QByteArray a(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
    QBuffer buf(&a);
    buf.open(QIODevice::ReadOnly);
    QDataStream s(&buf);
    s.setByteOrder(QDataStream::LittleEndian);
    *frames = 0xdeadbeef;
    return readWavHeader(s, frames);
}

}  // namespace

TEST(WavWrite, CanonicalHeaderThenDataUnchanged)
{
    testutil::TempDir dir;
    for (uint32_t n : {0u, 4u, 10u, 4000u}) {
        std::vector<uint8_t> data(n);
        for (uint32_t i = 0; i < n; ++i)
            data[i] = uint8_t(i * 37 + 1);
        const QString p = dir.path(QString("w%1.wav").arg(n));
        ASSERT_EQ(writeWavFile(p, data.data(), n), 0u);
        std::vector<uint8_t> expect = canonicalHeader(n);
        expect.insert(expect.end(), data.begin(), data.end());
        EXPECT_EQ(testutil::readFile(p), expect) << "n=" << n;
        uint32_t frames = 0;
        EXPECT_EQ(headerCode(expect, &frames), 0u);
        EXPECT_EQ(frames, n / 4) << "a remainder of 1..3 bytes is no frame";
    }
}

TEST(WavWrite, FailuresAreReportedAndLeaveNoPartialFile)
{
    testutil::TempDir dir;
    const std::vector<uint8_t> data(8000, 0x11);
    EXPECT_EQ(writeWavFile(dir.path("no/such/folder.wav"), data.data(), 4), 0x80000001u);

    // A file-size limit makes the data write fail after a good open.
    const QString p = dir.path("limited.wav");
    uint32_t r = 0;
    testutil::withFileSizeLimit(1000, [&] { r = writeWavFile(p, data.data(), uint32_t(data.size())); });
    EXPECT_EQ(r, 0x80000002u);
    EXPECT_FALSE(QFile::exists(p));
}

TEST(WavWrite, AFailedWriteKeepsThePreviousFileByteForByte)
{
    testutil::TempDir dir;
    const QString p = dir.path("KRM_temp_Main A.wav");
    const std::vector<uint8_t> old = canonicalWav(ramp(100));
    ASSERT_TRUE(testutil::writeFile(p, old));
    const std::vector<uint8_t> data(8000, 0x22);
    uint32_t r = 0;
    // As on a full disk: the new file cannot be written whole.
    testutil::withFileSizeLimit(1000, [&] { r = writeWavFile(p, data.data(), uint32_t(data.size())); });
    EXPECT_EQ(r, 0x80000002u);
    EXPECT_EQ(testutil::readFile(p), old);
    EXPECT_EQ(QDir(dir.path("")).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file left";

    ASSERT_EQ(writeWavFile(p, data.data(), uint32_t(data.size())), 0u);
    EXPECT_EQ(testutil::readFile(p).size(), 44u + data.size());
}

TEST(WavHeader, EachFieldIsCheckedInOrder)
{
    struct Case {
        const char* what;
        size_t at;
        std::vector<uint8_t> patch;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"not RIFF", 0, {'R', 'I', 'F', 'X'}, 0x80000001},
        {"form type", 8, {'A', 'V', 'I', ' '}, 0x80000003},
        {"list chunk before fmt", 12, {'L', 'I', 'S', 'T'}, 0x80000004},
        {"fmt size 18 (extension size)", 16, {18, 0, 0, 0}, 0x80000005},
        {"float format", 20, {3, 0}, 0x80000006},
        {"mono", 22, {1, 0}, 0x80000007},
        {"48 kHz", 24, {0x80, 0xbb, 0, 0}, 0x80000008},
        {"byte rate", 28, {0, 0, 0, 0}, 0x80000009},
        {"block align", 32, {6, 0}, 0x8000000a},
        {"24 bits", 34, {24, 0}, 0x8000000b},
        {"fact chunk before data", 36, {'f', 'a', 'c', 't'}, 0x8000000c},
        {"RIFF size below data + 36", 4, {35 + 8, 0, 0, 0}, 0x8000000d},
        {"RIFF size above data + 36", 4, {200, 0, 0, 0}, 0},
        {"lower-case chunk id", 36, {'D', 'A', 'T', 'A'}, 0x8000000c},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> f = canonicalWav(ramp(2));  // 8 data bytes
        std::copy(c.patch.begin(), c.patch.end(), f.begin() + long(c.at));
        uint32_t frames = 0;
        EXPECT_EQ(headerCode(f, &frames), c.code) << c.what;
        if (c.code == 0) {
            EXPECT_EQ(frames, 2u) << c.what;
        }
    }
    // A header cut short fails at the field it ends in.
    const std::vector<uint8_t> whole = canonicalHeader(10);
    const std::vector<std::pair<size_t, uint32_t>> cuts = {
        {0, 0x80000001},  {3, 0x80000001},  {6, 0x80000002},  {11, 0x80000003},
        {18, 0x80000005}, {20, 0x80000006}, {35, 0x8000000b}, {43, 0x8000000d}};
    for (auto [len, code] : cuts) {
        uint32_t frames = 0;
        EXPECT_EQ(headerCode(std::vector<uint8_t>(whole.begin(), whole.begin() + long(len)), &frames), code)
            << "cut at " << len;
    }
    uint32_t frames = 0;
    EXPECT_EQ(headerCode(whole, &frames), 0u);
    EXPECT_EQ(frames, 2u) << "data size 10 gives 2 frames";
}

TEST(WavHeader, DeviceAndFileWrappersNestTheHeaderCode)
{
    testutil::TempDir dir;
    const QString good = dir.path("good.wav");
    const QString text = dir.path("text.wav");
    const QString rate = dir.path("rate.wav");
    ASSERT_TRUE(testutil::writeFile(good, canonicalWav(ramp(5))));
    ASSERT_TRUE(testutil::writeFile(text, std::vector<uint8_t>(100, 'x')));
    std::vector<uint8_t> r = canonicalWav(ramp(5));
    put32(r, 24, 48000);
    ASSERT_TRUE(testutil::writeFile(rate, r));

    uint32_t frames = 99;
    QFile g(good);
    EXPECT_EQ(readWavHeaderFromDevice(&g, &frames), 0u);
    EXPECT_EQ(frames, 5u);
    EXPECT_FALSE(g.isOpen());
    QFile t(text);
    EXPECT_EQ(readWavHeaderFromDevice(&t, &frames), 0x80000121u);
    EXPECT_EQ(frames, 0u);
    QFile m(dir.path("missing.wav"));
    EXPECT_EQ(readWavHeaderFromDevice(&m, &frames), 0x80000011u);

    std::unique_ptr<uint8_t[]> data;
    uint32_t bytes = 1;
    bool oom = true;
    EXPECT_EQ(loadWavFile(rate, data, &bytes, &oom), 0x80000082u);
    EXPECT_EQ(loadWavFile(text, data, &bytes, &oom), 0x80000012u);
    EXPECT_EQ(loadWavFile(dir.path("missing.wav"), data, &bytes, &oom), 0x80000001u);
    EXPECT_FALSE(oom);
    EXPECT_EQ(bytes, 0u);
}

TEST(WavLoad, ReadsExactlyTheDataChunk)
{
    testutil::TempDir dir;
    const std::vector<int16_t> s = ramp(300);
    std::vector<uint8_t> f = canonicalWav(s);
    // A chunk after the audio data is not audio.
    const std::vector<uint8_t> trailer = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd'};
    f.insert(f.end(), trailer.begin(), trailer.end());
    put32(f, 4, uint32_t(f.size() - 8));
    const QString p = dir.path("t.wav");
    ASSERT_TRUE(testutil::writeFile(p, f));

    std::unique_ptr<uint8_t[]> data;
    uint32_t bytes = 0;
    bool oom = true;
    ASSERT_EQ(loadWavFile(p, data, &bytes, &oom), 0u);
    EXPECT_FALSE(oom);
    ASSERT_EQ(bytes, 1200u);
    EXPECT_EQ(std::vector<uint8_t>(data.get(), data.get() + bytes), sampleBytes(s));
}

TEST(WavLoad, HeaderClaimingMoreThanTheFileIsRefusedBeforeAllocating)
{
    testutil::TempDir dir;
    // A data size near 4 GiB no longer wraps the RIFF-size check (d nested
    // under the header step); a merely large one fails as a short read.
    const std::vector<std::pair<uint32_t, uint32_t>> cases = {{404u, 0x80000004u},
                                                              {0xfffffff0u, 0x800000d2u}};
    for (auto [claimed, code] : cases) {
        std::vector<uint8_t> f = canonicalWav(ramp(100));
        put32(f, 40, claimed);
        put32(f, 4, 0xffffffffu);
        const QString p = dir.path("big.wav");
        ASSERT_TRUE(testutil::writeFile(p, f));
        std::unique_ptr<uint8_t[]> data;
        uint32_t bytes = 0;
        bool oom = false;
        EXPECT_EQ(loadWavFile(p, data, &bytes, &oom), code) << claimed;
        EXPECT_FALSE(oom);
        EXPECT_EQ(data, nullptr);
    }
}

TEST(WavHeader, FrameCountIsBoundedByWhatTheFileHolds)
{
    // A 444-byte file (100 frames) whose header claims far more.
    testutil::TempDir dir;
    struct Case {
        uint32_t dataSize;
        uint32_t code;
        uint32_t frames;
    };
    const std::vector<Case> cases = {
        {0xfffffff0u, 0x80000d21u, 0},  // the 32-bit sum in the size check would wrap
        {0x7ffffff0u, 0, 100},
        {400, 0, 100},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> f = canonicalWav(ramp(100));
        put32(f, 40, c.dataSize);
        put32(f, 4, 0xffffffffu);
        const QString p = dir.path("claims.wav");
        ASSERT_TRUE(testutil::writeFile(p, f));
        QFile device(p);
        uint32_t frames = 7;
        EXPECT_EQ(readWavHeaderFromDevice(&device, &frames), c.code) << c.dataSize;
        EXPECT_EQ(frames, c.frames) << c.dataSize;
        EXPECT_EQ(WavSeekerSeq(p).length(), int32_t(c.frames)) << c.dataSize;
    }
}
