#include "Hpcp/CHpcp.h"
#include "Hpcp/FFTSemitone.h"
#include "Hpcp/PitchNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Hpcp;

namespace {

constexpr float kFloor = FFTSemitone::kFloor;
constexpr int kFrame = 16384;  // the chord pipeline's frame at 44100 Hz

std::vector<float> sines(std::initializer_list<std::pair<double, double>> parts, int length = kFrame,
                         double fs = 44100.0)
{
    std::vector<float> x(static_cast<size_t>(length), 0.0f);
    for (int i = 0; i < length; ++i) {
        double v = 0.0;
        for (const auto& p : parts)
            v += p.second * std::sin(2.0 * M_PI * p.first * i / fs);
        x[i] = static_cast<float>(v);
    }
    return x;
}

// The chord pipeline's configuration: 72 semitones from C0, factor 3.
CHpcp pipelineHpcp(int frame = kFrame)
{
    return CHpcp(12, 6, 44100.0f, "C0", 48.0f, frame, false, 10, false, 3, 0, true);
}

std::vector<float> semitones(const CHpcp& h)
{
    const float* b = h.getBuffer(3);
    return std::vector<float>(b, b + h.getDimension(3));
}

HpcpParams params(int binsPerOctave, int octaves, int lowestNote, int frameSize, int k)
{
    HpcpParams p;
    p.binsPerOctave = binsPerOctave;
    p.octaves = octaves;
    p.lowestNote = lowestNote;
    p.sampleRate = 44100.0f;
    p.frameSize = frameSize;
    p.oversampleRatio = k;
    return p;
}

template <typename F> std::string thrownMessage(F f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

}  // namespace

TEST(FFTSemitone, SineLightsItsSemitoneAndTheLowestThirteenStayAtTheFloor)
{
    CHpcp h = pipelineHpcp();
    ASSERT_EQ(h.getDimension(3), 72);

    // A at 440 Hz (index 45) with strong tones at E0 (index 4) and C1
    // (index 12, the last one that never takes a peak).
    const std::vector<float> x = sines({{440.0, 0.5}, {41.203, 0.8}, {65.406, 0.8}});
    h.processFrame(x.data(), kFrame);
    const std::vector<float> s = semitones(h);
    EXPECT_GT(s[45], 10.0f);
    for (int i = 0; i <= 12; ++i)
        EXPECT_EQ(s[i], kFloor) << "index " << i;
    EXPECT_EQ(std::max_element(s.begin(), s.end()) - s.begin(), 45);
    EXPECT_EQ(s[44], kFloor);
    EXPECT_EQ(s[46], kFloor);

    // A silent frame: 0 dB everywhere, no peak.
    const std::vector<float> silence(kFrame, 0.0f);
    h.processFrame(silence.data(), kFrame);
    for (float v : semitones(h))
        EXPECT_EQ(v, kFloor);
}

TEST(FFTSemitone, FrameOfAnotherLengthWarnsAndIsZeroPadded)
{
    CHpcp h = pipelineHpcp();
    std::vector<float> x = sines({{523.25, 0.5}, {784.0, 0.3}});
    std::fill(x.begin() + 9000, x.end(), 0.0f);
    h.processFrame(x.data(), kFrame);
    const std::vector<float> padded = semitones(h);

    testing::internal::CaptureStdout();
    h.processFrame(x.data(), 9000);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: Invalid len_signal\n");
    EXPECT_EQ(semitones(h), padded);

    // A negative length reads nothing rather than a whole frame.
    testing::internal::CaptureStdout();
    h.processFrame(x.data(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: Invalid len_signal\n");
    for (float v : semitones(h))
        EXPECT_EQ(v, kFloor);
}

TEST(FFTSemitone, BinMapCoversEachSemitoneAroundItsFrequency)
{
    FFTSemitone e;
    e.configure(params(12, 6, 24, kFrame, 3));
    ASSERT_EQ(e.count(), 72);
    EXPECT_EQ(e.lowestNote(), 24);
    EXPECT_EQ(e.highestNote(), 95);
    EXPECT_FLOAT_EQ(e.semitoneFrequencies()[0], 32.703194f);
    EXPECT_FLOAT_EQ(e.semitoneFrequencies()[45], 440.0f);

    const std::vector<int>& map = e.binMap();
    const int M = 3 * (kFrame / 4 / 2);
    ASSERT_EQ(static_cast<int>(map.size()), M);
    const double binHz = 11025.0 / 2 / M;
    for (int s = 0; s < 72; ++s) {
        const int centre = static_cast<int>(std::lround(e.semitoneFrequencies()[s] / binHz));
        EXPECT_EQ(map[centre], s) << "semitone " << s;
    }
    // One contiguous, rising run of semitones; a shared boundary bin belongs
    // to the higher semitone.
    const auto first = std::find_if(map.begin(), map.end(), [](int v) { return v >= 0; });
    const auto last = std::find_if(map.rbegin(), map.rend(), [](int v) { return v >= 0; }).base();
    EXPECT_EQ(*first, 0);
    EXPECT_EQ(*(last - 1), 71);
    for (auto it = first + 1; it != last; ++it) {
        ASSERT_GE(*it, *(it - 1));
        ASSERT_LE(*it, *(it - 1) + 1);
    }

    // Rebuilding for unchanged parameters keeps the map.
    const std::vector<int> before = map;
    e.initialize();
    EXPECT_EQ(e.binMap(), before);

    // The smoothing kernel: a Hann curve summing to 1 with its peak at 32.
    float sum = 0.0f;
    for (int j = 0; j < 65; ++j)
        sum += e.kernel()[j];
    EXPECT_NEAR(sum, 1.0f, 1e-6);
    EXPECT_EQ(std::max_element(e.kernel(), e.kernel() + 65) - e.kernel(), 32);
    EXPECT_FLOAT_EQ(e.kernel()[32], 1.0f / 32.0000267f);
}

TEST(FFTSemitone, PeakHeightsAboveTheLocalLevel)
{
    // k = 1 and a frame of 32768 (4096 bins of 1.3458 Hz): compute() sees the
    // magnitudes directly, so an isolated spike of d dB stands d * (1 - w32)
    // above the local level once the smoothing removes its own share.
    FFTSemitone e;
    e.configure(params(12, 8, 24, 32768, 1));
    const int N = 4096;
    const double binHz = 11025.0 / 2 / N;
    const auto binOf = [&](double hz) { return static_cast<int>(std::lround(hz / binHz)); };
    const auto db = [](float m) { return static_cast<float>(10.0 * std::log10(m + 1.0)); };
    const float keep = 1.0f - e.kernel()[32];
    const int s95 = 95 - 24;  // note 95 spans about 1919 .. 2033 Hz

    std::vector<float> mags(N, 0.0f);
    mags[binOf(1925.0)] = 99.0f;   // 20 dB
    mags[binOf(2025.0)] = 999.0f;  // 30 dB, same semitone, 74 bins away
    mags[binOf(523.25)] = 9.0f;    // C4 (index 48), 10 dB
    mags[binOf(3136.0)] = 999.0f;  // G6 lies above 2640 Hz: never a peak
    e.compute(mags.data(), N);
    const float* out = e.output();
    EXPECT_NEAR(out[s95], db(999.0f) * keep, 1e-4);
    EXPECT_NEAR(out[48], db(9.0f) * keep, 1e-4);
    EXPECT_EQ(out[103 - 24], kFloor);
    int lit = 0;
    for (int s = 0; s < e.count(); ++s)
        lit += out[s] != kFloor;
    EXPECT_EQ(lit, 2);

    // A spike on the bin two semitones share counts for the higher one.
    const std::vector<int>& map = e.binMap();
    int boundary = -1;
    for (int b = 1; b < static_cast<int>(map.size()) && boundary < 0; ++b) {
        if (map[b - 1] == 39 && map[b] == 40)
            boundary = b;
    }
    ASSERT_GT(boundary, 0);
    const double loOf40 = noteToFrequency(64.0f, 440.0f) / std::pow(2.0, 1.0 / 24);
    EXPECT_LE(std::fabs(boundary * binHz - loOf40), binHz);
    std::fill(mags.begin(), mags.end(), 0.0f);
    mags[boundary] = 99.0f;
    e.compute(mags.data(), N);
    EXPECT_EQ(e.output()[39], kFloor);
    EXPECT_NEAR(e.output()[40], db(99.0f) * keep, 1e-4);
}

TEST(FFTSemitone, LocalMeanRemovalMatchesTheDirectSum)
{
    // k = 1: the spectrum is the decibel magnitudes, and every bin below
    // the band limit loses the 65-tap weighted sum around it (taps outside
    // the band left out), clipped at 0. Exact, at the edges and inside.
    for (int frame : {32768, 4096}) {
        SCOPED_TRACE(frame);
        FFTSemitone e;
        e.configure(params(12, 8, 24, frame, 1));
        const int N = frame / 8;
        std::mt19937 rng(static_cast<unsigned>(frame));
        std::uniform_real_distribution<float> mag(0.0f, 50.0f);
        std::vector<float> mags(static_cast<size_t>(N));
        for (float& m : mags)
            m = mag(rng);
        e.compute(mags.data(), N);

        const float nyquist = 11025.0f * 0.5f;
        const int limit = static_cast<int>(static_cast<float>(N) * 2640.0f / nyquist);
        std::vector<float> db(static_cast<size_t>(N));
        for (int i = 0; i < N; ++i)
            db[i] = static_cast<float>(10.0 * std::log10(static_cast<double>(mags[i] + 1.0f)));
        const std::vector<float>& got = e.interpolatedSpectrum();
        for (int b = 0; b < N; ++b) {
            float expect = db[b];
            if (b < limit) {
                float bg = 0.0f;
                for (int j = 0; j <= 64; ++j) {
                    const int at = b - 32 + j;
                    if (at >= 0 && at < limit)
                        bg += e.kernel()[j] * db[at];
                }
                expect = std::max(0.0f, db[b] - bg);
            }
            ASSERT_EQ(got[b], expect) << "bin " << b << " of " << limit;
        }
    }
}

TEST(FFTSemitone, SettersCheckTheirRanges)
{
    FFTSemitone e;
    e.configure(params(12, 6, 24, kFrame, 3));

    EXPECT_NO_THROW(e.setFrameSize(65535));
    EXPECT_EQ(e.frameSize(), 65535);
    EXPECT_NO_THROW(e.setFrameSize(1));
    for (const int bad : {0, -1, 65536})
        EXPECT_EQ(thrownMessage([&] { e.setFrameSize(bad); }),
                  "Framesize should be positive and less than 65535")
            << bad;
    EXPECT_EQ(e.frameSize(), 1);

    for (const float bad : {-1.0f, 192000.5f})
        EXPECT_EQ(thrownMessage([&] { e.setSampleRate(bad); }), "Fs should be between 0 and 192kHz") << bad;
    EXPECT_NO_THROW(e.setSampleRate(192000.0f));
    EXPECT_EQ(e.reducedSampleRate(), 48000.0f);

    EXPECT_EQ(thrownMessage([&] { e.setOversampleRatio(0); }), "Oversample Ratio should be positive");
    e.setFrameSize(kFrame);
    EXPECT_THROW(e.setOversampleRatio(2000000), std::invalid_argument);  // k * 2048 bins overflow
    EXPECT_EQ(e.oversampleRatio(), 3);

    // A rate of 0 leaves the bin map unbuilt; frames then find no semitone.
    EXPECT_FALSE(e.binMap().empty());
    e.setSampleRate(0.0f);
    EXPECT_TRUE(e.binMap().empty());
    const std::vector<float> x = sines({{440.0, 0.5}});
    e.process(x.data(), kFrame);
    for (int s = 0; s < e.count(); ++s)
        EXPECT_EQ(e.output()[s], kFloor);

    // A frame size whose quarter is not a power of two has no transform.
    e.setSampleRate(44100.0f);
    e.setFrameSize(65535);
    testing::internal::CaptureStdout();
    EXPECT_THROW(e.process(x.data(), kFrame), std::logic_error);
    testing::internal::GetCapturedStdout();
}

TEST(CHpcp, FeatureKindsAndTheirBuffers)
{
    const CHpcp h = pipelineHpcp();
    const struct {
        int type, dim;
    } dims[] = {{0, 12}, {1, 12}, {2, 24}, {3, 72}, {4, 26}, {5, 1}, {6, 1}, {7, 6}};
    for (const auto& d : dims)
        EXPECT_EQ(h.getDimension(d.type), d.dim) << "TYPE " << d.type;

    float* chroma = h.getBuffer(0);
    ASSERT_NE(chroma, nullptr);
    EXPECT_EQ(h.getBuffer(1), chroma + 12);
    EXPECT_EQ(h.getBuffer(2), chroma);
    EXPECT_EQ(h.getBuffer(4), chroma);
    EXPECT_EQ(h.getBuffer(5), chroma + 24);
    EXPECT_EQ(h.getBuffer(6), chroma + 25);
    ASSERT_NE(h.getBuffer(3), nullptr);
    EXPECT_EQ(h.params().lowestNote, 24);

    for (const int bad : {-1, 8, 100})
        EXPECT_EQ(thrownMessage([&] { h.getDimension(bad); }), "Invalid TYPE") << bad;
    for (const int bad : {-1, 7, 8})
        EXPECT_EQ(thrownMessage([&] { h.getBuffer(bad); }), "Invalid TYPE") << bad;
}

TEST(CHpcp, ConstructionReportsBadParameters)
{
    const auto make = [](float fs, int frame, int k) {
        return [=] { CHpcp h(12, 6, fs, "C0", 48.0f, frame, false, 10, false, k, 0, true); };
    };
    EXPECT_EQ(thrownMessage(make(192000.5f, kFrame, 3)), "Fs should be between 0 and 192kHz");
    EXPECT_EQ(thrownMessage(make(44100.0f, 0, 3)), "Framesize should be positive and less than 65535");
    EXPECT_EQ(thrownMessage(make(44100.0f, 65536, 3)), "Framesize should be positive and less than 65535");
    EXPECT_EQ(thrownMessage(make(44100.0f, kFrame, 0)), "Oversample Ratio should be positive");

    // An unknown lowest note starts the range at note -1.
    CHpcp h(12, 6, 44100.0f, "c0", 48.0f, 4096, false, 10, false, 1, 0, true);
    EXPECT_EQ(h.params().lowestNote, -1);
    EXPECT_EQ(h.engine()->lowestNote(), -1);
    EXPECT_EQ(h.getDimension(3), 72);
}

TEST(CHpcp, FailedEngineCreationStopsAndIsReported)
{
    // A negative number of bins per octave leaves no room for the chroma
    // array, so the engine cannot be made; nothing is configured after it.
    EXPECT_THROW(CHpcp(-5, 6, 44100.0f, "C0", 48.0f, kFrame, false, 10, false, 3, 0, true),
                 std::runtime_error);

    CHpcp h = pipelineHpcp();
    EXPECT_EQ(h.initialize(-5, 6, 44100.0f, "C0", 48.0f, kFrame, false, 10, false, 3, 0, true), 1);
    EXPECT_EQ(h.engine(), nullptr);
    EXPECT_EQ(h.getBuffer(3), nullptr);
    EXPECT_EQ(h.getDimension(3), 0);
    const std::vector<float> x(kFrame, 0.0f);
    EXPECT_THROW(h.processFrame(x.data(), kFrame), std::logic_error);

    EXPECT_EQ(h.initialize(12, 6, 44100.0f, "C0", 48.0f, kFrame, false, 10, false, 3, 0, true), 0);
    h.processFrame(x.data(), kFrame);
    EXPECT_EQ(semitones(h), std::vector<float>(72, kFloor));
}

TEST(CHpcp, SemitoneArrayFollowsTheConfiguredCount)
{
    // 12 octaves from C-2: 144 semitones, more than the default 127.
    CHpcp h(12, 12, 44100.0f, "C-2", 48.0f, 4096, false, 10, false, 1, 0, true);
    ASSERT_EQ(h.getDimension(3), 144);
    const std::vector<float> x = sines({{440.0, 0.5}}, 4096);
    h.processFrame(x.data(), 4096);
    const std::vector<float> s = semitones(h);
    EXPECT_EQ(std::max_element(s.begin(), s.end()) - s.begin(), 69);
    EXPECT_GT(s[69], 10.0f);
    for (int i = 128; i < 144; ++i)
        EXPECT_EQ(s[i], kFloor);  // above 2640 Hz
}
