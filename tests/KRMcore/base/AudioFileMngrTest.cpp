#include "AllocationProbe.h"
#include "IF_audioFileMngr.h"
#include "WavFile.h"
#include "WavFixtures.h"
#include "WavSeekerSeq.h"
#include "TestUtil.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QEvent>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

using namespace fixtures;

namespace {

constexpr int kPcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

class AudioFileMngrTest : public ::testing::Test {
protected:
    std::unique_ptr<IF_audioFileMngr> m {createAudioFileMngr()};
    testutil::TempDir dir;

    std::wstring file(const QString& name, int format, int channels, int rate, sf_count_t frames)
    {
        EXPECT_TRUE(writeSndFile(dir.path(name), format, channels, rate, frames)) << name.toStdString();
        return dir.wpath(name);
    }
    // The 16-bit sample k of frame i that writeSndFile stores.
    static int16_t sample(sf_count_t i, int k) { return int16_t((i * 13 + k * 1000) % 20000); }
};

// Counts the calls that serve posted events while it is armed: each
// delivery posts the next event, which only the following call delivers.
class EventTicker : public QObject {
public:
    static constexpr QEvent::Type kTick = QEvent::Type(QEvent::User + 17);
    int ticks = 0;
    bool armed = true;
    void start() { QCoreApplication::postEvent(this, new QEvent(kTick)); }
    void stop()
    {
        armed = false;
        QCoreApplication::removePostedEvents(this, kTick);
    }
    bool event(QEvent* e) override
    {
        if (e->type() != kTick)
            return QObject::event(e);
        if (armed) {
            ++ticks;
            QCoreApplication::postEvent(this, new QEvent(kTick));
        }
        return true;
    }
};

}  // namespace

TEST_F(AudioFileMngrTest, CheckAudioFileAcceptsOnlyTheWorkingShape)
{
    struct Case {
        const char* name;
        int format, channels, rate;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"ok16.wav", kPcm16, 2, 44100, 0},
        {"ok24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44100, 0},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 0},
        {"ok16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, 0},
        {"mono.wav", kPcm16, 1, 44100, 0x80000004},
        {"six.wav", kPcm16, 6, 44100, 0x80000004},
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2, 44100, 0x80000005},
        {"s8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, 44100, 0x80000005},
        {"int32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 44100, 0x80000005},
        {"48k.wav", kPcm16, 2, 48000, 0x80000006},
        // The kind decides, not one bit of the sample format's code: these
        // share bit 0x0002 with 16-bit PCM.
        {"s16.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 2, 44100, 0},
        {"ima.aiff", SF_FORMAT_AIFF | SF_FORMAT_IMA_ADPCM, 2, 44100, 0x80000005},
        {"layer3.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, 0x80000005},
    };
    for (const Case& c : cases) {
        const std::wstring p = file(c.name, c.format, c.channels, c.rate, 777);
        uint32_t frames = 5;
        EXPECT_EQ(m->checkAudioFile(p, &frames), c.code) << c.name;
        EXPECT_EQ(frames, c.code == 0 ? 777u : 0u) << c.name;
    }
    uint32_t frames = 5;
    EXPECT_EQ(m->checkAudioFile(dir.wpath("missing.wav"), &frames), 0x80000003u);
    EXPECT_EQ(frames, 0u);
    EXPECT_FALSE(m->hasError());
    EXPECT_TRUE(m->errorText().isEmpty());
}

TEST_F(AudioFileMngrTest, CopyOf24BitGivesACanonical16BitWorkingFile)
{
    const std::wstring src = file("in24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44100, 3000);
    uint32_t frames = 0;
    ASSERT_EQ(m->checkAudioFile(src, &frames), 0u);
    const QString dst = dir.path("KRM_temp.wav");
    ASSERT_EQ(m->copyAudioFile(src, dst), 0u);

    const std::vector<uint8_t> bytes = testutil::readFile(dst);
    ASSERT_EQ(bytes.size(), 44u + 3000u * 4u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 44), canonicalHeader(3000 * 4));
    QFile f(dst);
    uint32_t headerFrames = 0;
    EXPECT_EQ(readWavHeaderFromDevice(&f, &headerFrames), 0u);
    EXPECT_EQ(headerFrames, 3000u);
    for (sf_count_t i : {0, 1, 1500, 2999})
        for (int k = 0; k < 2; ++k) {
            const size_t at = 44 + size_t(i) * 4 + size_t(k) * 2;
            EXPECT_EQ(int16_t(bytes[at] | bytes[at + 1] << 8), sample(i, k)) << i << "/" << k;
        }
}

TEST_F(AudioFileMngrTest, CopyWorksInBlocksOf1024FramesServingEventsBetween)
{
    // 2500 frames: blocks of 1024, 1024 and 452, events served twice.
    const std::vector<std::pair<sf_count_t, int>> cases = {
        {0, 0}, {1024, 0}, {1025, 1}, {2500, 2}, {4096, 3}};
    for (auto [frames, calls] : cases) {
        const QString name = QString("c%1.wav").arg(frames);
        const std::wstring src = file(name, kPcm16, 2, 44100, frames);
        EventTicker ticker;
        ticker.start();
        const uint32_t r = m->copyAudioFile(src, dir.path("out_" + name));
        ticker.stop();
        ASSERT_EQ(r, 0u) << frames;
        EXPECT_EQ(ticker.ticks, calls) << frames;
        const std::vector<uint8_t> in = testutil::readFile(dir.path(name));
        const std::vector<uint8_t> out = testutil::readFile(dir.path("out_" + name));
        EXPECT_EQ(out, in) << "a canonical 16-bit source copies byte for byte";
    }
}

TEST_F(AudioFileMngrTest, CopyFailuresCloseAndRemoveTheWorkingFile)
{
    // A compressed file cut short announces more frames than it delivers.
    const std::wstring cut = file("cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 50000);
    const QString cutPath = dir.path("cut.flac");
    QFile::resize(cutPath, QFile(cutPath).size() / 3);
    const std::wstring six = file("six.wav", kPcm16, 6, 44100, 3000);
    const std::wstring ok = file("ok.wav", kPcm16, 2, 44100, 10);

    struct Case {
        std::wstring src;
        QString dst;
        uint32_t code;
        QString because;  // part of the error text
    };
    const std::vector<Case> cases = {
        {dir.wpath("missing.wav"), dir.path("o1.wav"), 0x80000001,
         "copyAudioFile: cannot read " + dir.path("missing.wav")},
        {ok, dir.path("no/such/dir/o2.wav"), 0x80000002,
         "copyAudioFile: cannot create " + dir.path("no/such/dir/o2.wav")},
        {cut, dir.path("o3.wav"), 0x80000005, cutPath + " ended after "},
        {cut, dir.path("o3.wav"), 0x80000005, " of the 50000 frames it announces"},
        {six, dir.path("o4.wav"), 0x80000006, dir.path("six.wav") + " has 6 channels, not 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dst.toStdString());
        EXPECT_EQ(m->copyAudioFile(c.src, c.dst), c.code);
        EXPECT_FALSE(QFile::exists(c.dst));
        EXPECT_TRUE(m->errorText().contains(c.because)) << m->errorText().toStdString();
        EXPECT_FALSE(m->hasError()) << "a bad file is no lack of memory";
    }
    ASSERT_EQ(m->copyAudioFile(ok, dir.path("o5.wav")), 0u);
    EXPECT_TRUE(m->errorText().isEmpty()) << "a copy that succeeds clears the last failure's text";
}

TEST_F(AudioFileMngrTest, ReadFramesAsBytesTakesAClampedRange)
{
    const std::wstring p = file("r.wav", kPcm16, 2, 44100, 20);
    std::vector<uint8_t> out = {1, 2, 3};
    EXPECT_EQ(m->readFramesAsBytes(dir.wpath("missing.wav"), out, 10, 10), 0x80000001u)
        << "an empty range fails before the file is opened";
    EXPECT_EQ(m->readFramesAsBytes(dir.wpath("missing.wav"), out, 0, 10), 0x80000004u);

    ASSERT_EQ(m->readFramesAsBytes(p, out, 3, 7), 0u);
    ASSERT_EQ(out.size(), 16u);
    EXPECT_EQ(int16_t(out[0] | out[1] << 8), sample(3, 0));
    EXPECT_EQ(int16_t(out[14] | out[15] << 8), sample(6, 1));

    // An end at or past the frame count stops one frame short of it.
    for (uint32_t end : {20u, 21u, 0xffffffffu}) {
        ASSERT_EQ(m->readFramesAsBytes(p, out, 15, end), 0u) << end;
        ASSERT_EQ(out.size(), 16u) << end;
        EXPECT_EQ(int16_t(out[14] | out[15] << 8), sample(18, 1));
    }

    const std::wstring empty = file("empty.wav", kPcm16, 2, 44100, 0);
    const std::wstring one = file("one.wav", kPcm16, 2, 44100, 1);
    const std::wstring mono = file("mono.wav", kPcm16, 1, 44100, 20);
    EXPECT_EQ(m->readFramesAsBytes(empty, out, 0, 5), 0x80000001u);
    EXPECT_EQ(m->readFramesAsBytes(one, out, 0, 5), 0x80000001u);
    EXPECT_EQ(m->readFramesAsBytes(p, out, 19, 25), 0x80000001u);
    EXPECT_EQ(m->readFramesAsBytes(p, out, 30, 40), 0x80000001u);
    EXPECT_EQ(m->readFramesAsBytes(mono, out, 0, 5), 0x80000005u);
    EXPECT_TRUE(out.empty());
}

TEST_F(AudioFileMngrTest, WholeFileReadsAppendStereoFrames)
{
    const std::wstring a = file("a.wav", kPcm16, 2, 44100, 30);
    const std::wstring b = file("b.wav", kPcm16, 2, 44100, 10);
    std::vector<float> f;
    ASSERT_EQ(m->readFramesFloat(a, f), 0u);
    ASSERT_EQ(m->readFramesFloat(b, f), 0u);
    ASSERT_EQ(f.size(), 80u);
    EXPECT_EQ(f[59], float(sample(29, 1)) / 32768.0f);
    EXPECT_EQ(f[60], float(sample(0, 0)) / 32768.0f) << "the second file follows the first";

    // The 16-bit bytes are those of a canonical data chunk.
    std::vector<uint8_t> bytes;
    ASSERT_EQ(m->readFramesShort(a, bytes), 0u);
    const std::vector<uint8_t> onDisk = testutil::readFile(dir.path("a.wav"));
    EXPECT_EQ(bytes, std::vector<uint8_t>(onDisk.begin() + 44, onDisk.end()));

    std::unique_ptr<float[]> all;
    uint32_t count = 0;
    ASSERT_EQ(m->loadInterleavedFloat(a, all, &count), 0u);
    ASSERT_EQ(count, 60u);
    EXPECT_TRUE(std::equal(all.get(), all.get() + 60, f.begin()));
}

TEST_F(AudioFileMngrTest, WholeFileReadsRefuseOtherShapes)
{
    const std::wstring six = file("six.wav", kPcm16, 6, 44100, 4000);
    const std::wstring mono = file("mono.wav", kPcm16, 1, 44100, 4000);
    const std::wstring cut = file("cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 50000);
    QFile::resize(dir.path("cut.flac"), QFile(dir.path("cut.flac")).size() / 3);
    const std::wstring missing = dir.wpath("missing.wav");

    for (const std::wstring& p : {six, mono}) {
        std::vector<float> f;
        std::vector<uint8_t> b;
        EXPECT_EQ(m->readFramesFloat(p, f), 0x80000007u);
        EXPECT_EQ(m->readFramesShort(p, b), 0x80000007u);
        EXPECT_TRUE(f.empty());
        EXPECT_TRUE(b.empty());
    }
    std::vector<float> f;
    std::vector<uint8_t> b;
    EXPECT_EQ(m->readFramesFloat(missing, f), 0x80000003u);
    EXPECT_EQ(m->readFramesShort(missing, b), 0x80000003u);
    EXPECT_EQ(m->readFramesFloat(cut, f), 0x80000005u);

    std::unique_ptr<float[]> all;
    uint32_t count = 9;
    EXPECT_EQ(m->loadInterleavedFloat(missing, all, &count), 0x80000003u);
    EXPECT_EQ(m->loadInterleavedFloat(six, all, &count), 0x80000004u);
    EXPECT_EQ(m->loadInterleavedFloat(cut, all, &count), 0x80000006u);
    EXPECT_EQ(all, nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(m->hasError());
}

TEST_F(AudioFileMngrTest, WriteFramesFloatWritesSixteenBitStereo)
{
    // Bytes FF FF are -1/32768, which comes back as the same 16-bit value.
    const std::vector<uint8_t> frames = {0xff, 0xff, 0x00, 0x80, 0xff, 0x7f, 0x34, 0x12};
    const std::wstring p = dir.wpath("w.wav");
    ASSERT_EQ(m->writeFramesFloat(p, frames), 0u);
    uint32_t n = 0;
    ASSERT_EQ(m->checkAudioFile(p, &n), 0u);
    EXPECT_EQ(n, 2u);
    std::vector<uint8_t> back;
    ASSERT_EQ(m->readFramesShort(p, back), 0u);
    ASSERT_EQ(back.size(), frames.size());
    auto at = [](const std::vector<uint8_t>& b, size_t i) { return int16_t(b[2 * i] | b[2 * i + 1] << 8); };
    EXPECT_EQ(at(back, 0), -1);
    EXPECT_EQ(at(back, 3), 0x1234);
    // Full scale passes through libsndfile's float scaling within one step.
    EXPECT_NEAR(at(back, 1), -32768, 1);
    EXPECT_NEAR(at(back, 2), 32767, 1);
    std::vector<float> f;
    ASSERT_EQ(m->readFramesFloat(p, f), 0u);
    EXPECT_EQ(f[0], -1.0f / 32768.0f);

    const std::wstring e = dir.wpath("e.wav");
    ASSERT_EQ(m->writeFramesFloat(e, {}), 0u);
    ASSERT_EQ(m->checkAudioFile(e, &n), 0u);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(m->writeFramesFloat(dir.wpath("no/such/dir/x.wav"), frames), 0x80000004u);
}

namespace {

// Writes interleaved stereo samples given at full precision (1.0 = full
// scale) in `format`: floating-point files take them as they are, integer
// files of `bits` bits their rounded, clipped values. Returns the 16-bit
// value each sample must have in the working copy: a float times 32768,
// rounded and clipped; an integer sample cut to its top 16 bits.
std::vector<int16_t> writeSource(const QString& path, int format, int bits, const std::vector<double>& x)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = 44100;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << path.toStdString();
    if (f == nullptr)
        return {};
    const sf_count_t frames = sf_count_t(x.size() / 2);
    std::vector<int16_t> expect(x.size());
    if (bits == 0) {
        EXPECT_EQ(sf_writef_double(f, x.data(), frames), frames);
        std::transform(x.begin(), x.end(), expect.begin(), [](double v) {
            return int16_t(std::clamp(std::lrint(float(v) * 32768.0f), -32768L, 32767L));
        });
    } else {
        const long top = 1L << (bits - 1);
        std::vector<int> stored(x.size());
        for (size_t i = 0; i < x.size(); ++i) {
            const long v = std::clamp(std::lrint(x[i] * double(top)), -top, top - 1);
            stored[i] = int(uint32_t(v) << (32 - bits));
            expect[i] = int16_t(v >> (bits - 16));
        }
        EXPECT_EQ(sf_writef_int(f, stored.data(), frames), frames);
    }
    sf_close(f);
    return expect;
}

}  // namespace

TEST_F(AudioFileMngrTest, ImportKeepsTheLevelOfEverySampleFormat)
{
    // Left a 0.5 sine, right a 1.5 sine that runs past full scale.
    constexpr int kFrames = 3000;
    const double kTwoPi = 6.283185307179586;
    std::vector<double> x(2 * kFrames);
    for (int i = 0; i < kFrames; ++i) {
        x[2 * size_t(i)] = 0.5 * std::sin(kTwoPi * 441.0 * i / 44100.0);
        x[2 * size_t(i) + 1] = 1.5 * std::sin(kTwoPi * 110.0 * i / 44100.0 + 0.3);
    }
    struct Case {
        const char* name;
        int format;
        int bits;  // 0: floating point
    };
    const std::vector<Case> cases = {
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0},
        {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0},
        {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24},
        {"s16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 16},
        {"s24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 24},
        {"s16.wav", kPcm16, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<int16_t> expect = writeSource(dir.path(c.name), c.format, c.bits, x);
        const std::wstring src = dir.wpath(c.name);
        uint32_t frames = 0;
        ASSERT_EQ(m->checkAudioFile(src, &frames), 0u);
        const QString copy = dir.path(QString("copy_%1.wav").arg(c.name));
        ASSERT_EQ(m->copyAudioFile(src, copy), 0u);
        const std::vector<int16_t> got = samplesOf(testutil::readFile(copy), 44);
        ASSERT_EQ(got, expect);

        int peak = 0;
        for (size_t i = 0; i < got.size(); i += 2)
            peak = std::max(peak, std::abs(int(got[i])));
        EXPECT_NEAR(peak, 16384, 2) << "the level of the 0.5 sine";
        EXPECT_EQ(*std::max_element(got.begin(), got.end()), 32767) << "clipped at full scale";
        EXPECT_EQ(*std::min_element(got.begin(), got.end()), -32768);

        std::vector<uint8_t> bytes;
        ASSERT_EQ(m->readFramesShort(src, bytes), 0u);
        EXPECT_EQ(samplesOf(bytes, 0), expect) << "the whole-file read agrees with the copy";
        ASSERT_EQ(m->readFramesAsBytes(src, bytes, 100, 200), 0u);
        EXPECT_EQ(samplesOf(bytes, 0), std::vector<int16_t>(expect.begin() + 200, expect.begin() + 400));
    }
}

TEST_F(AudioFileMngrTest, AnAnnouncedFrameCountIsNotTrustedWithMemory)
{
    // A compressed file of 2000 frames whose stream header announces
    // 2^32 - 1 frames (the low 36 bits of bytes 21..25 of a FLAC file).
    const QString p = dir.path("liar.flac");
    file("liar.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 2000);
    std::vector<uint8_t> b = testutil::readFile(p);
    ASSERT_GT(b.size(), 26u);
    ASSERT_EQ(std::string(b.begin(), b.begin() + 4), "fLaC");
    b[21] &= 0xf0;
    std::fill(b.begin() + 22, b.begin() + 26, 0xff);
    ASSERT_TRUE(testutil::writeFile(p, b));
    const std::wstring liar = p.toStdWString();
    uint32_t frames = 0;
    ASSERT_EQ(m->checkAudioFile(liar, &frames), 0u);
    ASSERT_EQ(frames, 0xffffffffu);

    const size_t kSmall = 4u << 20;
    std::vector<float> f;
    std::vector<uint8_t> bytes;
    std::unique_ptr<float[]> all;
    uint32_t count = 0;
    struct Read {
        const char* what;
        std::function<uint32_t()> call;
        uint32_t code;
    };
    const std::vector<Read> reads = {
        {"readFramesFloat", [&] { return m->readFramesFloat(liar, f); }, 0x80000005},
        {"readFramesShort", [&] { return m->readFramesShort(liar, bytes); }, 0x80000005},
        {"readFramesAsBytes", [&] { return m->readFramesAsBytes(liar, bytes, 0, 100); }, 0x80000008},
        {"loadInterleavedFloat", [&] { return m->loadInterleavedFloat(liar, all, &count); }, 0x80000006},
        {"copyAudioFile", [&] { return m->copyAudioFile(liar, dir.path("KRM_temp.wav")); }, 0x80000005},
    };
    for (const Read& r : reads) {
        allocprobe::LargestAllocation probe;
        EXPECT_EQ(r.call(), r.code) << r.what;
        EXPECT_LT(probe.bytes(), kSmall) << r.what;
        EXPECT_FALSE(m->hasError()) << r.what;
    }
}

TEST(ReadingAPipe, IsRefusedAtOnceByEveryReader)
{
    testutil::TempDir dir;
    const QString path = dir.path("pipe.wav");
    testutil::NamedPipe pipe(path);
    ASSERT_TRUE(pipe.made());
    std::unique_ptr<IF_audioFileMngr> m(createAudioFileMngr());
    uint32_t frames = 7;
    EXPECT_EQ(m->checkAudioFile(path.toStdWString(), &frames), 0x80000003u);
    std::unique_ptr<uint8_t[]> data;
    uint32_t bytes = 0;
    bool oom = false;
    EXPECT_EQ(loadWavFile(path, data, &bytes, &oom), 0x80000001u);
    QFile device(path);
    EXPECT_EQ(readWavHeaderFromDevice(&device, &frames), 0x80000011u);
    WavSeekerSeq source(path);
    EXPECT_EQ(source.length(), 0);
    EXPECT_EQ(pipe.releasedReaders(), 0) << "no reader waited for a writer";
}
