// The import formats the README lists, on files that tools other than the
// program's own audio library wrote: sox for WAV, AIFF and FLAC, a Wave64
// file built by hand here. Apple Lossless in CAF has no other writer on the
// machine, so libsndfile writes it; the variant that another common encoder
// writes (the 'desc' chunk's format flags left 0, the bit depth only in the
// decoder cookie) is refused, as the README says.
#include "IF_audioFileMngr.h"
#include "TestUtil.h"
#include "WavFixtures.h"

#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <gtest/gtest.h>

using namespace fixtures;

namespace {

constexpr int kFrames = 22050;

// Half a second of a song-like stereo source: a 441 Hz note at half scale
// on the left, a 110 Hz bass with a fifth above it on the right.
std::vector<int16_t> source()
{
    std::vector<int16_t> s(2 * size_t(kFrames));
    const double w = 6.283185307179586 / 44100.0;
    for (int i = 0; i < kFrames; ++i) {
        s[2 * size_t(i)] = int16_t(std::lrint(16384.0 * std::sin(w * 441.0 * i)));
        s[2 * size_t(i) + 1] =
            int16_t(std::lrint(12000.0 * std::sin(w * 110.0 * i + 0.3) + 6000.0 * std::sin(w * 165.0 * i)));
    }
    return s;
}

// A Wave64 file of 16-bit stereo samples: chunks named by GUIDs, sizes in
// 64 bits counting the 24-byte chunk header, bodies padded to 8 bytes.
std::vector<uint8_t> wave64(const std::vector<int16_t>& samples)
{
    const uint8_t tail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
    const uint8_t riffTail[12] = {0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
    std::vector<uint8_t> f;
    auto guid = [&](const char* tag, const uint8_t* rest) {
        f.insert(f.end(), tag, tag + 4);
        f.insert(f.end(), rest, rest + 12);
    };
    auto u64 = [&](uint64_t v) {
        for (int i = 0; i < 8; ++i)
            f.push_back(uint8_t(v >> (8 * i)));
    };
    const std::vector<uint8_t> data = sampleBytes(samples);
    guid("riff", riffTail);
    u64(0);  // the whole file's size, set below
    guid("wave", tail);
    guid("fmt ", tail);
    u64(24 + 16);
    const std::vector<uint8_t> header = canonicalHeader(0);
    f.insert(f.end(), header.begin() + 20, header.begin() + 36);  // the 16-byte PCM format record
    guid("data", tail);
    u64(24 + data.size());
    f.insert(f.end(), data.begin(), data.end());
    f.resize((f.size() + 7) / 8 * 8, 0);
    for (int i = 0; i < 8; ++i)
        f[16 + size_t(i)] = uint8_t(uint64_t(f.size()) >> (8 * i));
    return f;
}

// Writes the samples as Apple Lossless in CAF through libsndfile.
bool writeAlac(const QString& path, int subtype, const std::vector<int16_t>& samples)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_CAF | subtype;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    if (f == nullptr)
        return false;
    const bool ok = sf_writef_short(f, samples.data(), kFrames) == kFrames;
    sf_close(f);
    return ok;
}

// The offset of the format flags in a CAF file's 'desc' chunk body, or 0.
size_t cafFormatFlagsAt(const std::vector<uint8_t>& f)
{
    size_t at = 8;
    while (at + 12 <= f.size()) {
        uint64_t size = 0;
        for (int i = 0; i < 8; ++i)
            size = size << 8 | f[at + 4 + size_t(i)];
        if (std::memcmp(f.data() + at, "desc", 4) == 0)
            return at + 12 + 12;  // after the sample rate (8 bytes) and the format id (4)
        at += 12 + size_t(size);
    }
    return 0;
}

class ImportFormats : public ::testing::Test {
protected:
    std::unique_ptr<IF_audioFileMngr> m {createAudioFileMngr()};
    testutil::TempDir dir;
    std::vector<int16_t> expected = source();

    void SetUp() override
    {
        if (QStandardPaths::findExecutable("sox").isEmpty())
            GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh installs it)";
        ASSERT_TRUE(testutil::writeFile(dir.path("source.wav"), canonicalWav(expected)));
    }

    // Converts the source with sox; `options` come before the output name.
    QString sox(const QString& name, const QStringList& options)
    {
        QStringList arguments {dir.path("source.wav")};
        arguments << options << dir.path(name);
        EXPECT_EQ(QProcess::execute("sox", arguments), 0) << name.toStdString();
        return dir.path(name);
    }

    // Imports `path` as the window's import does (the format check, then the
    // 16-bit working copy) and returns the working copy's samples.
    std::vector<int16_t> imported(const QString& path, uint32_t* code)
    {
        uint32_t frames = 0;
        *code = m->checkAudioFile(path.toStdWString(), &frames);
        if (*code != 0)
            return {};
        const QString copy = path + ".KRM_temp.wav";
        EXPECT_EQ(m->copyAudioFile(path.toStdWString(), copy), 0u);
        return samplesOf(testutil::readFile(copy), 44);
    }
};

}  // namespace

TEST_F(ImportFormats, EveryListedLosslessKindImportsSampleForSample)
{
    struct Case {
        const char* name;
        QStringList options;
    };
    const std::vector<Case> cases = {
        {"s16.wav", {}},
        {"s16.aiff", {}},
        {"s24.wav", {"-b", "24"}},
        {"s24.aiff", {"-b", "24"}},
        {"f32.wav", {"-e", "floating-point", "-b", "32"}},
        {"f64.wav", {"-e", "floating-point", "-b", "64"}},
        {"s16.flac", {"-b", "16"}},
        {"s24.flac", {"-b", "24"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t code = 1;
        const std::vector<int16_t> got = imported(sox(c.name, c.options), &code);
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(got, expected);  // also the frame count
    }

    SCOPED_TRACE("Wave64");
    ASSERT_TRUE(testutil::writeFile(dir.path("s16.w64"), wave64(expected)));
    uint32_t code = 1;
    EXPECT_EQ(imported(dir.path("s16.w64"), &code), expected);
    EXPECT_EQ(code, 0u);
}

TEST_F(ImportFormats, AdpcmImportsAsAnotherDecoderDecodesIt)
{
    for (const char* encoding : {"ima-adpcm", "ms-adpcm"}) {
        SCOPED_TRACE(encoding);
        const QString adpcm = sox(QString(encoding) + ".wav", {"-e", encoding});
        // sox's own decoder of the same file is the reference.
        QStringList arguments {adpcm, "-e", "signed-integer", "-b", "16", dir.path("decoded.wav")};
        ASSERT_EQ(QProcess::execute("sox", arguments), 0);
        const std::vector<int16_t> reference = samplesOf(testutil::readFile(dir.path("decoded.wav")), 44);
        uint32_t code = 1;
        const std::vector<int16_t> got = imported(adpcm, &code);
        EXPECT_EQ(code, 0u);
        // Both decoders give the whole last block, padding included.
        ASSERT_EQ(got.size(), reference.size());
        ASSERT_GE(got.size(), expected.size());
        int worst = 0;
        for (size_t i = 0; i < got.size(); ++i)
            worst = std::max(worst, std::abs(got[i] - reference[i]));
        EXPECT_LE(worst, 1) << "largest difference from sox's decoding";
    }
}

TEST_F(ImportFormats, AppleLosslessInCafReadsAt24And32BitsWithItsFormatFlags)
{
    for (int subtype : {SF_FORMAT_ALAC_24, SF_FORMAT_ALAC_32}) {
        SCOPED_TRACE(subtype == SF_FORMAT_ALAC_24 ? "24 bits" : "32 bits");
        const QString path = dir.path("alac.caf");
        ASSERT_TRUE(writeAlac(path, subtype, expected));
        uint32_t code = 1;
        EXPECT_EQ(imported(path, &code), expected);
        EXPECT_EQ(code, 0u);

        std::vector<uint8_t> bytes = testutil::readFile(path);
        const size_t flags = cafFormatFlagsAt(bytes);
        ASSERT_GT(flags, 0u);
        ASSERT_NE(bytes[flags + 3], 0) << "libsndfile names the bit depth in the flags";
        std::memset(bytes.data() + flags, 0, 4);
        ASSERT_TRUE(testutil::writeFile(dir.path("flags0.caf"), bytes));
        imported(dir.path("flags0.caf"), &code);
        EXPECT_NE(code, 0u) << "without format flags the file is refused";
    }
}

TEST_F(ImportFormats, TheKindsTheReadmeRefusesAreRefused)
{
    struct Case {
        const char* name;
        QStringList options;
    };
    const std::vector<Case> cases = {
        {"u8.wav", {"-e", "unsigned-integer", "-b", "8"}},
        {"s8.aiff", {"-e", "signed-integer", "-b", "8"}},
        {"s32.wav", {"-e", "signed-integer", "-b", "32"}},
        {"ulaw.wav", {"-e", "u-law"}},
        {"alaw.wav", {"-e", "a-law"}},
        {"r48000.wav", {"-r", "48000"}},
        {"mono.wav", {"-c", "1"}},
        {"vorbis.ogg", {}},
    };
    // Apple Lossless of 16 and 20 bits (libsndfile writes it; no other tool
    // here does).
    for (int subtype : {SF_FORMAT_ALAC_16, SF_FORMAT_ALAC_20}) {
        SCOPED_TRACE(subtype == SF_FORMAT_ALAC_16 ? "alac 16" : "alac 20");
        ASSERT_TRUE(writeAlac(dir.path("alac.caf"), subtype, expected));
        uint32_t code = 0;
        imported(dir.path("alac.caf"), &code);
        EXPECT_NE(code, 0u);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t code = 0;
        imported(sox(c.name, c.options), &code);
        EXPECT_NE(code, 0u);
    }
}
