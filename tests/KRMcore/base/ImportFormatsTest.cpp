// The import formats the README lists, on files that tools other than the
// program's own audio library wrote where one can: sox for WAV, AIFF,
// AIFF-C, AU, IRCAM, NIST, VOC, AVR and FLAC, files built byte by byte here
// for Wave64, CAF, RF64 and MP3. No MP3 encoder (ffmpeg, lame) is installed,
// so the MP3 files are libsndfile's own and silent frames built here behind
// the kind of tag ffmpeg writes. Apple Lossless in CAF has no other writer
// on the machine, so libsndfile writes it; the variant that another common
// encoder writes (the 'desc' chunk's format flags left 0, the bit depth only
// in the decoder cookie) is refused, as the README says. One further test
// writes a file of every container and sample format that libsndfile offers
// here and checks each against the README's table.
#include "ByteCodec.h"
#include "IF_audioFileMngr.h"
#include "TestUtil.h"
#include "WavFixtures.h"

#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace fixtures;

namespace {

constexpr int kFrames = 22050;
constexpr int kKindMask = SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK;

// The README's table of accepted kinds: each sample format with the
// containers it is taken from. Every other kind is refused.
struct ReadmeRow {
    const char* samples;
    std::vector<int> subtypes;
    std::vector<int> containers;
};

const std::vector<ReadmeRow>& readmeTable()
{
    static const std::vector<ReadmeRow> rows = {
        {"16-bit PCM",
         {SF_FORMAT_PCM_16},
         {SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_AIFF, SF_FORMAT_AU, SF_FORMAT_CAF, SF_FORMAT_W64,
          SF_FORMAT_RF64, SF_FORMAT_IRCAM, SF_FORMAT_NIST, SF_FORMAT_AVR, SF_FORMAT_MAT4, SF_FORMAT_MAT5,
          SF_FORMAT_MPC2K, SF_FORMAT_PAF, SF_FORMAT_PVF, SF_FORMAT_VOC}},
        {"24-bit PCM",
         {SF_FORMAT_PCM_24},
         {SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_AIFF, SF_FORMAT_AU, SF_FORMAT_CAF, SF_FORMAT_W64,
          SF_FORMAT_RF64, SF_FORMAT_NIST, SF_FORMAT_PAF}},
        {"32-bit float",
         {SF_FORMAT_FLOAT},
         {SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_AIFF, SF_FORMAT_AU, SF_FORMAT_CAF, SF_FORMAT_W64,
          SF_FORMAT_RF64, SF_FORMAT_IRCAM, SF_FORMAT_MAT4, SF_FORMAT_MAT5}},
        {"64-bit float",
         {SF_FORMAT_DOUBLE},
         {SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_AIFF, SF_FORMAT_AU, SF_FORMAT_CAF, SF_FORMAT_W64,
          SF_FORMAT_RF64, SF_FORMAT_MAT4, SF_FORMAT_MAT5}},
        {"FLAC", {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24}, {SF_FORMAT_FLAC}},
        {"Apple Lossless",
         {SF_FORMAT_ALAC_16, SF_FORMAT_ALAC_20, SF_FORMAT_ALAC_24, SF_FORMAT_ALAC_32},
         {SF_FORMAT_CAF}},
        {"ADPCM", {SF_FORMAT_IMA_ADPCM, SF_FORMAT_MS_ADPCM}, {SF_FORMAT_WAV, SF_FORMAT_W64}},
    };
    return rows;
}

bool readmeAccepts(int format)
{
    auto has = [](const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); };
    for (const ReadmeRow& row : readmeTable())
        if (has(row.subtypes, format & SF_FORMAT_SUBMASK) && has(row.containers, format & SF_FORMAT_TYPEMASK))
            return true;
    return false;
}

bool isLossy(int format)
{
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_IMA_ADPCM || subtype == SF_FORMAT_MS_ADPCM;
}

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

// The chunks of a RIFF WAVE file by id (the body of the last of each id).
std::map<std::string, std::vector<uint8_t>> riffChunks(const std::vector<uint8_t>& f)
{
    std::map<std::string, std::vector<uint8_t>> chunks;
    size_t at = 12;
    while (at + 8 <= f.size()) {
        const size_t size = f[at + 4] | f[at + 5] << 8 | f[at + 6] << 16 | size_t(f[at + 7]) << 24;
        const size_t end = std::min(f.size(), at + 8 + size);
        chunks[std::string(f.begin() + long(at), f.begin() + long(at) + 4)] =
            std::vector<uint8_t>(f.begin() + long(at) + 8, f.begin() + long(end));
        at += 8 + size + (size & 1);
    }
    return chunks;
}

// A Wave64 file around a WAV format record and its sample data: chunks
// named by GUIDs, sizes in 64 bits counting the 24-byte chunk header,
// bodies padded to 8 bytes.
std::vector<uint8_t> wave64(const std::vector<uint8_t>& format, const std::vector<uint8_t>& data)
{
    const uint8_t tail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
    const uint8_t riffTail[12] = {0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
    std::vector<uint8_t> f;
    krm::ByteWriter w(f, krm::Endian::Little);
    auto chunk = [&](const char* tag, const std::vector<uint8_t>& body) {
        w.tag(tag);
        w.bytes(tail, 12);
        w.u64(24 + body.size());
        w.bytes(body);
        f.resize((f.size() + 7) / 8 * 8, 0);
    };
    w.tag("riff");
    w.bytes(riffTail, 12);
    w.u64(0);  // the whole file's size, set below
    w.tag("wave");
    w.bytes(tail, 12);
    chunk("fmt ", format);
    chunk("data", data);
    for (int i = 0; i < 8; ++i)
        f[16 + size_t(i)] = uint8_t(uint64_t(f.size()) >> (8 * i));
    return f;
}

// The 16-byte PCM format record of canonical 16-bit stereo 44100 Hz WAV.
std::vector<uint8_t> pcmFormatRecord()
{
    const std::vector<uint8_t> header = canonicalHeader(0);
    return std::vector<uint8_t>(header.begin() + 20, header.begin() + 36);
}

// A CAF file of big-endian linear PCM samples of 16 or 24 bits (the
// 16-bit values shifted up): the 'desc' chunk (sample rate, 'lpcm', flags
// 0, bytes per packet, 1 frame per packet, 2 channels, bits), then 'data'
// (an edit count, then the samples).
std::vector<uint8_t> caf(const std::vector<int16_t>& samples, int bits)
{
    std::vector<uint8_t> f;
    krm::ByteWriter w(f, krm::Endian::Big);
    w.tag("caff");
    w.u16(1);
    w.u16(0);
    w.tag("desc");
    w.u64(32);
    w.f64(44100.0);
    w.tag("lpcm");
    w.u32(0);
    w.u32(uint32_t(2 * bits / 8));
    w.u32(1);
    w.u32(2);
    w.u32(uint32_t(bits));
    w.tag("data");
    w.u64(4 + samples.size() * size_t(bits / 8));
    w.u32(0);
    for (int16_t s : samples) {
        if (bits == 24)
            w.u24(uint32_t(int32_t(s) * 256) & 0xffffff);
        else
            w.i16(s);
    }
    return f;
}

// An RF64 file of 16-bit stereo samples: the RIFF and data sizes stand at
// 0xFFFFFFFF and the real ones in the 'ds64' chunk.
std::vector<uint8_t> rf64(const std::vector<int16_t>& samples)
{
    const std::vector<uint8_t> data = sampleBytes(samples);
    std::vector<uint8_t> f;
    krm::ByteWriter w(f, krm::Endian::Little);
    w.tag("RF64");
    w.u32(0xffffffff);
    w.tag("WAVE");
    w.tag("ds64");
    w.u32(28);
    const size_t riffSizeAt = f.size();
    w.u64(0);  // set below
    w.u64(data.size());
    w.u64(samples.size() / 2);
    w.u32(0);  // no table
    w.tag("fmt ");
    w.u32(16);
    w.bytes(pcmFormatRecord());
    w.tag("data");
    w.u32(0xffffffff);
    w.bytes(data);
    for (int i = 0; i < 8; ++i)
        f[riffSizeAt + size_t(i)] = uint8_t(uint64_t(f.size() - 8) >> (8 * i));
    return f;
}

// `frames` silent MPEG-1 Layer III frames (128 kbit/s, 44100 Hz, stereo,
// 417 bytes: a header, side information of zeros, no main data), without
// the length header an encoder may write first. With `tagged`, an ID3v2.4
// tag naming the encoder stands in front, as ffmpeg writes it.
std::vector<uint8_t> silentMp3(int frames, bool tagged)
{
    std::vector<uint8_t> f;
    krm::ByteWriter w(f, krm::Endian::Big);
    if (tagged) {
        const std::string text = "Lavf59.27.100";
        const uint32_t frameSize = uint32_t(text.size()) + 2;  // encoding byte, text, terminator
        const uint32_t tagSize = 10 + frameSize;
        w.bytes("ID3", 3);
        w.u8(4);
        w.u8(0);
        w.u8(0);
        for (int shift : {21, 14, 7, 0})  // sizes in 7-bit bytes
            w.u8(uint8_t((tagSize >> shift) & 0x7f));
        w.tag("TSSE");
        for (int shift : {21, 14, 7, 0})
            w.u8(uint8_t((frameSize >> shift) & 0x7f));
        w.u16(0);
        w.u8(3);  // UTF-8
        w.bytes(text.data(), text.size());
        w.u8(0);
    }
    for (int i = 0; i < frames; ++i) {
        w.u32(0xFFFB9000);
        f.resize(f.size() + 417 - 4, 0);
    }
    return f;
}

// Writes the samples through libsndfile in `format`; a mono file gets the
// left channel.
bool writeThroughLibsndfile(const QString& path, int format, const std::vector<int16_t>& samples,
                            int channels = 2, int rate = 44100)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    if (f == nullptr)
        return false;
    std::vector<int16_t> s;
    for (size_t i = 0; i < samples.size(); i += 2)
        for (int k = 0; k < channels; ++k)
            s.push_back(samples[i + size_t(k)]);
    const sf_count_t frames = sf_count_t(samples.size() / 2);
    bool ok = false;
    const int subtype = format & SF_FORMAT_SUBMASK;
    if (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE) {
        // Floating-point samples at full scale 1.0, as other tools write
        // them (libsndfile would store the 16-bit values unscaled).
        std::vector<float> x(s.size());
        std::transform(s.begin(), s.end(), x.begin(), [](int16_t v) { return float(v) / 32768.0f; });
        ok = sf_writef_float(f, x.data(), frames) == frames;
    } else {
        ok = sf_writef_short(f, s.data(), frames) == frames;
    }
    sf_close(f);
    return ok;
}

// What libsndfile makes of a file: its format word (container and sample
// format) and the frames it announces; format 0 when it cannot open it.
struct Reading {
    int format = 0;
    sf_count_t frames = 0;
};

Reading libsndfileReading(const QString& path)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    if (f == nullptr)
        return {};
    sf_close(f);
    return {info.format & kKindMask, info.frames};
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

std::string formatName(int format)
{
    std::string name;
    for (int part : {format & SF_FORMAT_TYPEMASK, format & SF_FORMAT_SUBMASK}) {
        SF_FORMAT_INFO info;
        std::memset(&info, 0, sizeof info);
        info.format = part;
        name += sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 ? info.name : "?";
        name += " / ";
    }
    char code[16];
    std::snprintf(code, sizeof code, "%08x", format);
    return name + code;
}

// The error energy of `got` against `want` over want's length, relative to
// want's energy.
double relativeError(const std::vector<int16_t>& got, const std::vector<int16_t>& want)
{
    double error = 0.0, energy = 0.0;
    for (size_t i = 0; i < want.size() && i < got.size(); ++i) {
        error += std::pow(double(got[i]) - want[i], 2);
        energy += std::pow(double(want[i]), 2);
    }
    return error / energy;
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

    // Converts the source with sox; `options` come before the output name,
    // whose suffix names the container.
    QString sox(const QString& name, const QStringList& options)
    {
        QStringList arguments {dir.path("source.wav")};
        arguments << options << dir.path(name);
        EXPECT_EQ(QProcess::execute("sox", arguments), 0) << name.toStdString();
        return dir.path(name);
    }

    // Imports `path` as the window's import does (the format check, then the
    // 16-bit working copy) and returns the working copy's samples. A file
    // that passes the check must copy whole, with as many frames as the
    // check reported.
    std::vector<int16_t> imported(const QString& path, uint32_t* code)
    {
        uint32_t frames = 0;
        *code = m->checkAudioFile(path.toStdWString(), &frames);
        if (*code != 0)
            return {};
        const QString copy = path + ".KRM_temp.wav";
        EXPECT_EQ(m->copyAudioFile(path.toStdWString(), copy), 0u) << m->errorText().toStdString();
        std::vector<int16_t> samples = samplesOf(testutil::readFile(copy), 44);
        EXPECT_EQ(samples.size(), 2 * size_t(frames));
        return samples;
    }
};

}  // namespace

TEST_F(ImportFormats, EveryListedLosslessKindImportsSampleForSample)
{
    struct Case {
        const char* name;
        QStringList options;
        int kind;  // as libsndfile reads the file
    };
    const std::vector<Case> cases = {
        {"s16.wav", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"s16.aiff", {}, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"s24.wav", {"-b", "24"}, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24},
        {"s24.aiff", {"-b", "24"}, SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"f32.wav", {"-e", "floating-point", "-b", "32"}, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"f64.wav", {"-e", "floating-point", "-b", "64"}, SF_FORMAT_WAV | SF_FORMAT_DOUBLE},
        {"s16.flac", {"-b", "16"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"s24.flac", {"-b", "24"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"f32.aifc", {"-e", "floating-point", "-b", "32"}, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"f64.aifc", {"-e", "floating-point", "-b", "64"}, SF_FORMAT_AIFF | SF_FORMAT_DOUBLE},
        {"s16.au", {"-b", "16"}, SF_FORMAT_AU | SF_FORMAT_PCM_16},
        {"s24.au", {"-b", "24"}, SF_FORMAT_AU | SF_FORMAT_PCM_24},
        {"f32.au", {"-e", "floating-point", "-b", "32"}, SF_FORMAT_AU | SF_FORMAT_FLOAT},
        {"f64.au", {"-e", "floating-point", "-b", "64"}, SF_FORMAT_AU | SF_FORMAT_DOUBLE},
        {"s16.sf", {"-b", "16"}, SF_FORMAT_IRCAM | SF_FORMAT_PCM_16},
        {"f32.sf", {"-e", "floating-point", "-b", "32"}, SF_FORMAT_IRCAM | SF_FORMAT_FLOAT},
        {"s16.sph", {"-b", "16"}, SF_FORMAT_NIST | SF_FORMAT_PCM_16},
        {"s16.voc", {"-b", "16"}, SF_FORMAT_VOC | SF_FORMAT_PCM_16},
        {"s16.avr", {"-b", "16"}, SF_FORMAT_AVR | SF_FORMAT_PCM_16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = sox(c.name, c.options);
        ASSERT_EQ(libsndfileReading(path).format, c.kind) << formatName(libsndfileReading(path).format);
        EXPECT_TRUE(readmeAccepts(c.kind));
        uint32_t code = 1;
        const std::vector<int16_t> got = imported(path, &code);
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(got, expected);  // also the frame count
    }

    struct Built {
        const char* name;
        std::vector<uint8_t> bytes;
        int kind;
    };
    const std::vector<Built> built = {
        {"s16.w64", wave64(pcmFormatRecord(), sampleBytes(expected)), SF_FORMAT_W64 | SF_FORMAT_PCM_16},
        {"s16.caf", caf(expected, 16), SF_FORMAT_CAF | SF_FORMAT_PCM_16},
        {"s24.caf", caf(expected, 24), SF_FORMAT_CAF | SF_FORMAT_PCM_24},
        {"s16.rf64", rf64(expected), SF_FORMAT_RF64 | SF_FORMAT_PCM_16},
    };
    for (const Built& b : built) {
        SCOPED_TRACE(b.name);
        ASSERT_TRUE(testutil::writeFile(dir.path(b.name), b.bytes));
        ASSERT_EQ(libsndfileReading(dir.path(b.name)).format, b.kind);
        EXPECT_TRUE(readmeAccepts(b.kind));
        uint32_t code = 1;
        EXPECT_EQ(imported(dir.path(b.name), &code), expected);
        EXPECT_EQ(code, 0u);
    }
}

TEST_F(ImportFormats, AdpcmImportsAsAnotherDecoderDecodesIt)
{
    for (const char* encoding : {"ima-adpcm", "ms-adpcm"}) {
        const QString adpcm = sox(QString(encoding) + ".wav", {"-e", encoding});
        // sox's own decoder of the same file is the reference.
        QStringList arguments {adpcm, "-e", "signed-integer", "-b", "16", dir.path("decoded.wav")};
        ASSERT_EQ(QProcess::execute("sox", arguments), 0);
        const std::vector<int16_t> reference = samplesOf(testutil::readFile(dir.path("decoded.wav")), 44);
        // The same format record and data in Wave64.
        auto chunks = riffChunks(testutil::readFile(adpcm));
        ASSERT_TRUE(chunks.count("fmt ") && chunks.count("data"));
        const QString w64 = dir.path(QString(encoding) + ".w64");
        ASSERT_TRUE(testutil::writeFile(w64, wave64(chunks["fmt "], chunks["data"])));

        for (const QString& path : {adpcm, w64}) {
            SCOPED_TRACE(path.toStdString());
            EXPECT_TRUE(readmeAccepts(libsndfileReading(path).format));
            uint32_t code = 1;
            const std::vector<int16_t> got = imported(path, &code);
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
}

TEST_F(ImportFormats, AppleLosslessInCafReadsAtEveryBitDepthWithItsFormatFlags)
{
    for (int subtype : {SF_FORMAT_ALAC_16, SF_FORMAT_ALAC_20, SF_FORMAT_ALAC_24, SF_FORMAT_ALAC_32}) {
        SCOPED_TRACE(formatName(SF_FORMAT_CAF | subtype));
        const QString path = dir.path("alac.caf");
        ASSERT_TRUE(writeThroughLibsndfile(path, SF_FORMAT_CAF | subtype, expected));
        EXPECT_TRUE(readmeAccepts(SF_FORMAT_CAF | subtype));
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
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"u8.wav", {"-e", "unsigned-integer", "-b", "8"}, 0x80000005},
        {"s8.aiff", {"-e", "signed-integer", "-b", "8"}, 0x80000005},
        {"s32.wav", {"-e", "signed-integer", "-b", "32"}, 0x80000005},
        {"s32.au", {"-e", "signed-integer", "-b", "32"}, 0x80000005},
        {"ulaw.wav", {"-e", "u-law"}, 0x80000005},
        {"alaw.wav", {"-e", "a-law"}, 0x80000005},
        {"ulaw.au", {"-e", "u-law"}, 0x80000005},
        {"vorbis.ogg", {}, 0x80000005},
        {"s8.8svx", {}, 0x80000005},
        // Listed kinds in another shape.
        {"r48000.wav", {"-r", "48000"}, 0x80000006},
        {"mono.wav", {"-c", "1"}, 0x80000004},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = sox(c.name, c.options);
        EXPECT_EQ(readmeAccepts(libsndfileReading(path).format), c.code != 0x80000005);
        uint32_t code = 0;
        imported(path, &code);
        EXPECT_EQ(code, c.code);
    }

    // MPEG audio is refused at the check, before any copy: libsndfile only
    // estimates the length of a stream without a length header, and a tag
    // in front of the frames makes it announce more than the stream holds.
    struct Mp3 {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Mp3> mp3s = {
        {"tagged.mp3", silentMp3(40, true)},
        {"bare.mp3", silentMp3(40, false)},
    };
    for (const Mp3& mp3 : mp3s) {
        SCOPED_TRACE(mp3.name);
        ASSERT_TRUE(testutil::writeFile(dir.path(mp3.name), mp3.bytes));
        ASSERT_EQ(libsndfileReading(dir.path(mp3.name)).format, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
        uint32_t code = 0;
        imported(dir.path(mp3.name), &code);
        EXPECT_EQ(code, 0x80000005u);
    }
    EXPECT_GT(libsndfileReading(dir.path("tagged.mp3")).frames, 40 * 1152)
        << "the tagged stream announces more frames than its 40 frames hold";
    ASSERT_TRUE(
        writeThroughLibsndfile(dir.path("lame.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, expected));
    uint32_t code = 0;
    imported(dir.path("lame.mp3"), &code);
    EXPECT_EQ(code, 0x80000005u) << "an MP3 that libsndfile wrote";
}

// One file of every container and sample format that libsndfile writes
// here (stereo at 44100 Hz; a container it writes only in mono gets a mono
// file), accepted or refused as the README's table says; the accepted
// lossless ones come out sample for sample.
TEST_F(ImportFormats, EveryContainerLibsndfileReadsHereFollowsTheReadmeTable)
{
    int majors = 0, subtypes = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &majors, sizeof majors);
    sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE_COUNT, &subtypes, sizeof subtypes);
    ASSERT_GT(majors, 20);
    std::set<int> acceptedSeen;
    for (int i = 0; i < majors; ++i) {
        SF_FORMAT_INFO major;
        major.format = i;
        ASSERT_EQ(sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &major, sizeof major), 0);
        SCOPED_TRACE(major.name);
        int written = 0;
        for (int channels : {2, 1}) {
            for (int j = 0; j < subtypes && (written == 0 || channels == 2); ++j) {
                SF_FORMAT_INFO subtype;
                subtype.format = j;
                ASSERT_EQ(sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE, &subtype, sizeof subtype), 0);
                const int format = major.format | subtype.format;
                int rate = 0;
                for (int r : {44100, 8000}) {
                    SF_INFO info;
                    std::memset(&info, 0, sizeof info);
                    info.format = format;
                    info.channels = channels;
                    info.samplerate = r;
                    if (rate == 0 && sf_format_check(&info))
                        rate = r;
                }
                const QString path = dir.path(QString("k%1_%2.%3")
                                                  .arg(major.format, 0, 16)
                                                  .arg(subtype.format, 0, 16)
                                                  .arg(major.extension));
                if (rate == 0 || !writeThroughLibsndfile(path, format, expected, channels, rate))
                    continue;
                ++written;
                SCOPED_TRACE(formatName(format));
                uint32_t code = 1;
                const std::vector<int16_t> got = imported(path, &code);
                const Reading reading = libsndfileReading(path);
                if (major.format == SF_FORMAT_RAW) {
                    EXPECT_EQ(code, 0x80000003u) << "a file without a header cannot be told apart";
                } else if (major.format == SF_FORMAT_SD2) {
                    EXPECT_EQ(code, 0x80000003u) << "libsndfile finds the resource fork by name, not in "
                                                    "the open file the import gives it";
                } else if (channels == 1) {
                    EXPECT_EQ(code, 0x80000004u);
                } else if (readmeAccepts(reading.format)) {
                    EXPECT_EQ(reading.format, format & kKindMask) << "read as the kind it was written as";
                    EXPECT_EQ(code, 0u);
                    acceptedSeen.insert(format);
                    if (isLossy(format)) {
                        EXPECT_GE(got.size(), expected.size());
                        EXPECT_LT(relativeError(got, expected), 0.01);
                    } else {
                        EXPECT_EQ(got, expected);
                    }
                } else {
                    EXPECT_EQ(code, 0x80000005u);
                }
            }
        }
        EXPECT_GT(written, 0) << "libsndfile writes no file of this container";
    }
    // Every kind the README lists was written and imported above.
    for (const ReadmeRow& row : readmeTable())
        for (int container : row.containers)
            for (int subtype : row.subtypes)
                EXPECT_EQ(acceptedSeen.count(container | subtype), 1u)
                    << row.samples << " in " << formatName(container | subtype);
}
