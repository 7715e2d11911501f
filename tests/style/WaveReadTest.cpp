#include "AudioFixtures.h"
#include "CAudioStyle.h"
#include "GlobalMessage.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

Bytes le32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// "RIFF", size, "WAVE", "fmt ", a fmt body, then what follows it.
Bytes riff(const Bytes& fmtBody, const Bytes& rest)
{
    return sb::cat({sb::text("RIFF"), le32(uint32_t(12 + fmtBody.size() + rest.size())), sb::text("WAVEfmt "),
                    le32(uint32_t(fmtBody.size())), fmtBody, rest});
}

const Bytes kFmt16 = {0x01, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00,
                      0x10, 0xB1, 0x02, 0x00, 0x04, 0x00, 0x10, 0x00};

Bytes dataChunk(const Bytes& samples, uint32_t size)
{
    return sb::cat({sb::text("data"), le32(size), samples});
}

}  // namespace

TEST(WaveRead, DataChunkBytes)
{
    testutil::TempDir dir;
    const Bytes four = fixtures::sampleBytes(fixtures::ramp(4));
    Bytes big(2500);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 13 + 1);
    const Bytes listChunk = sb::cat({sb::text("LIST"), le32(4), sb::text("INFO")});
    const struct {
        const char* what;
        Bytes file;
        uint32_t result;
        Bytes data;
    } cases[] = {
        {"canonical, 4 frames", riff(kFmt16, dataChunk(four, 16)), 0, four},
        {"2500 bytes in three blocks", riff(kFmt16, dataChunk(big, 2500)), 0, big},
        {"odd fmt body, not padded", riff(sb::cat({kFmt16, {0x77}}), dataChunk(four, 16)), 0, four},
        {"a list chunk before the data",
         riff(kFmt16, sb::cat({listChunk, dataChunk(four, 16)})),
         0x80000033,
         {}},
        {"a known chunk before the data",
         riff(kFmt16, sb::cat({sb::chunk("RIFF", {}), dataChunk(four, 16)})),
         0x80000004,
         {}},
        {"MThd first", sb::cat({sb::text("MThd"), Bytes(40, 0)}), 0x80000004, {}},
        {"no known tag first", sb::cat({sb::text("RIFX"), Bytes(40, 0)}), 0x80000033, {}},
        {"empty file", {}, 0x80000023, {}},
        {"cut in the RIFF size", sb::text("RIFF\x01"), 0x80000025, {}},
        {"RIFF size 0",
         sb::cat({sb::text("RIFF"), le32(0), sb::text("WAVEfmt "), le32(16), kFmt16}),
         0x80000006,
         {}},
        {"no WAVE", sb::cat({sb::text("RIFF"), le32(40), sb::text("WAV")}), 0x80000007, {}},
        {"cut in the fmt size",
         sb::cat({sb::text("RIFF"), le32(40), sb::text("WAVEfmt "), {0x10}}),
         0x80000025,
         {}},
        {"fmt size 0", riff({}, dataChunk(four, 16)), 0x80000006, {}},
        {"fmt size past the file",
         sb::cat({sb::text("RIFF"), le32(40), sb::text("WAVEfmt "), le32(0xFFFFFFF0), kFmt16}),
         0x80000023,
         {}},
        {"data size 0", riff(kFmt16, dataChunk({}, 0)), 0x80000006, {}},
        {"cut inside the data", riff(kFmt16, dataChunk(Bytes(big.begin(), big.begin() + 1500), 2500)),
         0x80000008, Bytes(big.begin(), big.begin() + 1500)},
        {"data size far past the file", riff(kFmt16, dataChunk(four, 0xFFFFFFFF)), 0x80000008, four},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.path("case.wav");
        ASSERT_TRUE(testutil::writeFile(path, c.file));
        Bytes out = {0x5A};  // appended to, not replaced
        EXPECT_EQ(CAudioStyle::readWaveFile(out, path.toStdString()), c.result);
        EXPECT_EQ(out, sb::cat({{0x5A}, c.data}));
    }
    Bytes out;
    EXPECT_EQ(CAudioStyle::readWaveFile(out, dir.path("missing.wav").toStdString()), 0x80000001u);
}

TEST(WaveRead, FormatFields)
{
    testutil::TempDir dir;
    const struct {
        const char* what;
        Bytes file;
        uint32_t result;
        std::vector<uint32_t> fields;  // tag, channels, rate, bytes per second, align, bits
    } cases[] = {
        {"canonical", riff(kFmt16, dataChunk({}, 4)), 0, {1, 2, 44100, 176400, 4, 16}},
        {"fmt body of 14 bytes",
         riff(Bytes(kFmt16.begin(), kFmt16.begin() + 14), {}),
         0x8000002C,
         {1, 2, 44100, 176400, 4, 9}},
        {"fmt body cut by the file",
         sb::cat({sb::text("RIFF"), le32(40), sb::text("WAVEfmt "), le32(16), {3, 0, 1}}),
         0x80000028,
         {3, 9, 9, 9, 9, 9}},
        {"not RIFF", sb::cat({sb::text("MThd"), Bytes(40, 0)}), 0x80000002, {9, 9, 9, 9, 9, 9}},
        {"empty file", {}, 0x80000022, {9, 9, 9, 9, 9, 9}},
        {"no fmt chunk",
         sb::cat({sb::text("RIFF"), le32(40), sb::text("WAVEdata"), le32(16)}),
         0x80000005,
         {9, 9, 9, 9, 9, 9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.path("case.wav");
        ASSERT_TRUE(testutil::writeFile(path, c.file));
        CAudioWaveFormat f;
        f.setFormatTag(9);
        f.setChannels(9);
        f.setSampleRate(9);
        f.setAvgBytesPerSec(9);
        f.setBlockAlign(9);
        f.setBitsPerSample(9);
        EXPECT_EQ(CAudioStyle::readWaveFormat(&f, path.toStdString()), c.result);
        uint16_t tag = 0, channels = 0, align = 0, bits = 0;
        uint32_t rate = 0, bps = 0;
        f.getFormatTag(&tag);
        f.getChannels(&channels);
        f.getSampleRate(&rate);
        f.getAvgBytesPerSec(&bps);
        f.getBlockAlign(&align);
        f.getBitsPerSample(&bits);
        EXPECT_EQ(std::vector<uint32_t>({tag, channels, rate, bps, align, bits}), c.fields);
    }
    CAudioWaveFormat f;
    EXPECT_EQ(CAudioStyle::readWaveFormat(nullptr, "x"), 0x80000001u);
    EXPECT_EQ(CAudioStyle::readWaveFormat(&f, dir.path("missing.wav").toStdString()), 0x80000002u);
}

TEST(WaveRead, Utf8Paths)
{
    testutil::TempDir dir;
    const QString path = dir.path(QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"
                                                    "e \xE2\x99\xAB.wav"));
    const Bytes data = af::writeWav(path, 2);
    Bytes out;
    ASSERT_EQ(CAudioStyle::readWaveFile(out, path.toUtf8().toStdString()), 0u);
    EXPECT_EQ(out, data);
    CAudioWaveFormat f;
    EXPECT_EQ(CAudioStyle::readWaveFormat(&f, path.toUtf8().toStdString()), 0u);
}

TEST(WaveRead, MessageCatalogue)
{
    EXPECT_EQ(GlobalMessage(25), QString("wave file read error!\r\n"));
    EXPECT_EQ(GlobalMessage(26), QString("save SFF"));
    EXPECT_EQ(GlobalMessage(0), QString("All Parameters in this window will be reset. Are You Sure?"));
    EXPECT_EQ(GlobalMessage(4),
              QString("Caution! Currnet AppMode is [%1]\nprj version is [%2]\nCtab Parameters are "
                      "converted. \nExecute? (CAN NOTE RETURN!)"));
    EXPECT_EQ(GlobalMessage(19), GlobalMessage(20));
    EXPECT_EQ(GlobalMessage(33), QString("Keep Audio Information[yes] or not[no]"));
    // The entries the export names.
    EXPECT_EQ(GlobalMessage(globalmsg::kTemplateLoadFailed), QString("Template File failed to load."));
    EXPECT_EQ(GlobalMessage(globalmsg::kStyleCreationFailed), QString("Style File creation failed."));
    EXPECT_EQ(GlobalMessage(globalmsg::kWriteError), QString("Write error!"));
    EXPECT_EQ(GlobalMessage(globalmsg::kWaveReadError), GlobalMessage(25));
    for (int i = 0; i < kGlobalMessageCount; ++i)
        EXPECT_FALSE(GlobalMessage(i).isEmpty()) << i;
    EXPECT_TRUE(GlobalMessage(-1).isEmpty());
    EXPECT_TRUE(GlobalMessage(34).isEmpty());
}
