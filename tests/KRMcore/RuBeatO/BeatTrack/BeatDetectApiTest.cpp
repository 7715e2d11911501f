// The detector's and the onset front end's contracts: argument checks,
// block counting, state reads and the state carried between passes.
#include "CBeatDetect.h"
#include "ThrowText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

using RuBeatO::CBeatDetect;
using RuBeatO::RKBeatTrackOffline;

namespace {

// The detector as the chord pipeline builds it.
CBeatDetect systemDetector(bool doubleRate = true)
{
    return CBeatDetect(1024, 180, 44100.0f, 3, 60.0f, 200.0f, doubleRate);
}

}  // namespace

TEST(RKBeatTrackOffline, ConstructorRefusesBadArgumentsInOrder)
{
    struct Row {
        int framelen;
        float Fs, fps;
        int dim, dec;
        float lo, hi;
        const char* text;
    };
    // Each row breaks its own argument and every later one.
    const Row rows[] = {
        {0, 0.f, 0.f, 0, 0, 0.f, 100.f, "0<bpmMin<bpmMax is not satisfied"},
        {0, 0.f, 0.f, 0, 0, 120.f, 100.f, "0<bpmMin<bpmMax is not satisfied"},
        {0, 0.f, 0.f, 0, 0, 60.f, 200.f, "Framelen must be >0 and <=32768"},
        {32769, 0.f, 0.f, 0, 0, 60.f, 200.f, "Framelen must be >0 and <=32768"},
        {1024, 0.f, 0.f, 0, 0, 60.f, 200.f, "Fs should be >0 and <=192kHz"},
        {1024, 192001.f, 0.f, 0, 0, 60.f, 200.f, "Fs should be >0 and <=192kHz"},
        {1024, 44100.f, 0.f, 0, 0, 60.f, 200.f, "fps should be greater than 0"},
        {1024, 44100.f, 245.f, 0, 0, 60.f, 200.f, "_mfccDim should be >0 and <framelen"},
        {1024, 44100.f, 245.f, 1024, 0, 60.f, 200.f, "_mfccDim should be >0 and <framelen"},
        {1024, 44100.f, 245.f, 10, 0, 60.f, 200.f, "decim_factor should be greater than 0"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(messageOf<std::domain_error>(
                      [&] { RKBeatTrackOffline(r.framelen, r.Fs, r.fps, r.dim, r.dec, r.lo, r.hi); }),
                  r.text);
    }
}

TEST(RKBeatTrackOffline, SystemSettingsGiveTheDecoderItsRange)
{
    const RKBeatTrackOffline fe(1024, 44100.0f, 245.0f, 10, 3, 60.0f, 200.0f);
    const RuBeatO::BeatTrackCore& d = fe.decoder();
    EXPECT_NEAR(d.fpbMean(), 113.08, 0.005);
    EXPECT_NEAR(d.fpbStdDev(), 33.92, 0.005);
    EXPECT_EQ(d.fpbMin(), 73);
    EXPECT_EQ(d.fpbMax(), 246);
    EXPECT_EQ(d.window(), 12);
    EXPECT_EQ(d.decimation(), 3);
    EXPECT_EQ(fe.historyLength(), 5);
    EXPECT_EQ(fe.bandCount(), 10);
    EXPECT_EQ(fe.normaliser().window(), 20);
    EXPECT_EQ(fe.normaliser().floor(), 0.0f);
    // The bank is laid out for 512 bins, but the transform of 512 pair
    // sums has 256: no band may reach bin 256.
    ASSERT_EQ(fe.filterBank().nBins(), 512);
    for (const auto& band : fe.filterBank().bands())
        EXPECT_LE(band.firstBin + band.count, 256);

    // Nothing decoded yet, and nothing past what was decoded.
    const std::vector<float> spectrum(512, 1.0f);
    RKBeatTrackOffline live(1024, 44100.0f, 245.0f, 10, 3, 60.0f, 200.0f);
    for (int i = 0; i < 7; ++i)
        live.pushData(spectrum.data(), 512);
    live.infer();
    EXPECT_NO_THROW(live.getFrameResult(2));  // frames 0, 3 and 6
    EXPECT_EQ(messageOf<std::domain_error>([&] { live.getFrameResult(3); }),
              "idx must be less than the number of times pushData() was called");
    EXPECT_THROW(live.pushData(spectrum.data(), 256), std::invalid_argument);
}

TEST(CBeatDetect, ConstructorChecksTheGivenPairFirst)
{
    struct Row {
        int framelen, hop;
        float fs;
        int dec;
        float lo, hi;
        const char* text;  // nullptr: accepted
    };
    const Row rows[] = {
        {1024, 180, 44100.f, 3, 60.f, 200.f, nullptr},
        {1024, 1024, 44100.f, 1, 30.5f, 31.f, nullptr},
        {1024, 0, 0.f, 0, 0.f, 0.f, "hopsize must be positive"},
        {1024, -4, 44100.f, 3, 60.f, 200.f, "hopsize must be positive"},
        {1024, 1025, 0.f, 0, 0.f, 0.f, "framelen must be greater than or equal to hopsize"},
        {1024, 180, 0.f, 0, 0.f, 0.f, "fs must be positive"},
        {1024, 180, 44100.f, 0, 30.f, 200.f, "bpm_min must be greater than 30"},
        {1024, 180, 44100.f, 0, 200.f, 200.f, "bpm_min must be less than bpm_max"},
        {1024, 180, 44100.f, 0, 60.f, 200.f, "decimation must be a natural number"},
        // The transform runs on framelen / 2 pair sums.
        {1000, 180, 44100.f, 3, 60.f, 200.f, "framelen / 2 must be a power of two"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text ? r.text : "accepted");
        const std::string text = messageOf<std::domain_error>(
            [&] { CBeatDetect(r.framelen, r.hop, r.fs, r.dec, r.lo, r.hi, true); });
        EXPECT_EQ(text, r.text ? r.text : "");
    }
}

TEST(CBeatDetect, AddDataCountsValuesAndFrames)
{
    CBeatDetect d = systemDetector();
    const std::vector<float> block(180, 0.25f);

    EXPECT_EQ(messageOf<std::invalid_argument>([&] { d.addData(block.data(), 179); }),
              "lenData must be even");
    EXPECT_EQ(d.valuesReceived(), 0);
    d.addData(block.data(), 0);
    EXPECT_EQ(d.valuesReceived(), 0);
    d.addData(nullptr, 180);  // counted, not analysed
    EXPECT_EQ(d.valuesReceived(), 180);
    EXPECT_EQ(d.getNumFrames(), 0);
    // A negative length is refused without going into the count.
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { d.addData(block.data(), -180); }),
              "lenData must be positive");
    EXPECT_EQ(d.valuesReceived(), 180);

    d.addData(block.data(), 180);
    EXPECT_EQ(d.getNumFrames(), 1);
    EXPECT_EQ(d.pendingPairs(), 0);
    // Blocks of other lengths gather into hops: 100 + 100 + 160 = 2 hops.
    d.addData(block.data(), 100);
    EXPECT_EQ(d.getNumFrames(), 1);
    EXPECT_EQ(d.pendingPairs(), 50);
    d.addData(block.data(), 100);
    d.addData(block.data(), 160);
    EXPECT_EQ(d.getNumFrames(), 3);
    EXPECT_EQ(d.pendingPairs(), 0);
    int count = 0;
    EXPECT_NE(d.getBandEnergies(count), nullptr);
    EXPECT_EQ(count, 10);

    // Ten hours of audio is the most; the block that reaches it throws
    // after being counted.
    CBeatDetect full = systemDetector();
    full.addData(nullptr, 1587599000);
    EXPECT_EQ(messageOf<std::out_of_range>([&] { full.addData(nullptr, 1000); }),
              "Input audio exceeds max. allowed duration");
    EXPECT_EQ(full.valuesReceived(), 1587600000);
}

TEST(CBeatDetect, HopsOfOneOrOddLengthStillMakeFrames)
{
    // A hop of 1 has no whole pair sum; each pair still makes one frame
    // instead of filling the window past its end.
    struct Row {
        int hop;
        float fs;
        int values, frames;
    };
    const Row rows[] = {{1, 100.0f, 20, 10}, {3, 300.0f, 20, 10}, {181, 44100.0f, 181 * 4, 4}};
    const std::vector<float> audio(1000, 0.5f);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.hop);
        CBeatDetect d(1024, r.hop, r.fs, 3, 60.0f, 200.0f, true);
        d.addData(audio.data(), r.values);
        EXPECT_EQ(d.getNumFrames(), r.frames);
    }
}

TEST(CBeatDetect, StateReadsCheckFrameAndInference)
{
    CBeatDetect d = systemDetector();
    std::vector<float> audio(180 * 40, 0.0f);
    for (size_t i = 0; i < audio.size(); i += 180 * 12)
        audio[i] = 1.0f;
    d.addData(audio.data(), static_cast<int>(audio.size()));
    ASSERT_EQ(d.getNumFrames(), 40);
    int period = 0, countdown = 0;
    auto read = [&](int frame) { d.getInfoAtFrame(frame, period, countdown); };

    const char* tooLate = "frame index must be less than the number of times addData was called";
    EXPECT_EQ(messageOf<std::domain_error>([&] { read(40); }), tooLate);
    EXPECT_EQ(messageOf<std::domain_error>([&] { read(-1); }), "frame index must be positive");
    EXPECT_EQ(messageOf<std::logic_error>([&] { read(0); }),
              "getInfoAtFrame wa scalled before calling infer()");
    EXPECT_THROW(d.getInfoAtFrame(5), std::logic_error);

    d.infer();
    EXPECT_TRUE(d.isInferred());
    EXPECT_NO_THROW(read(39));
    EXPECT_EQ(messageOf<std::domain_error>([&] { read(-1); }), "frame index must be positive");
    EXPECT_EQ(messageOf<std::domain_error>([&] { read(40); }), tooLate);
    std::vector<int> beats;
    EXPECT_THROW(d.getBeatFrames(beats, 0, 0), std::invalid_argument);

    // More audio makes the decode stale again.
    d.addData(audio.data(), 180);
    EXPECT_FALSE(d.isInferred());

    // The reset starts a new recording.
    d.reset();
    EXPECT_FALSE(d.isInferred());
    EXPECT_EQ(d.valuesReceived(), 0);
    EXPECT_EQ(d.pendingPairs(), 0);
    EXPECT_EQ(d.getNumFrames(), 0);
}

TEST(CBeatDetect, EmptyRecordingDecodesNothing)
{
    CBeatDetect d = systemDetector();
    d.setInitialState(360, 30);
    EXPECT_NO_THROW(d.infer());
    EXPECT_TRUE(d.isInferred());
    std::vector<int> beats {1, 2, 3};
    d.getBeatFrames(beats, 1, 0);
    EXPECT_TRUE(beats.empty());
    int period = 0, countdown = 0;
    EXPECT_EQ(messageOf<std::domain_error>([&] { d.getInfoAtFrame(0, period, countdown); }),
              "frame index must be less than the number of times addData was called");
}

TEST(CBeatDetect, CarriedStateFollowsTheDecodedState)
{
    // (frame, P, j, D, double rate) -> (period, countdown), worked by hand:
    // countdown = (j + 1) D - frame mod D, period = P D; with double rate
    // the period is halved and the countdown reduced below it; a countdown
    // of 0 between decimated frames reads 1 (on a decimated frame it stays).
    struct Row {
        int frame, P, j, D;
        bool dbl;
        int period, countdown;
    };
    const Row rows[] = {
        {0, 120, 5, 3, false, 360, 18}, {0, 120, 5, 3, true, 180, 18},    {4, 120, 0, 3, false, 360, 2},
        {4, 120, 0, 3, true, 180, 2},   {5, 121, 39, 3, false, 363, 118}, {5, 121, 39, 3, true, 181, 118},
        {6, 73, 23, 3, false, 219, 72}, {6, 73, 23, 3, true, 109, 72},    {7, 100, 70, 1, false, 100, 71},
        {7, 100, 70, 1, true, 50, 21},  {9, 100, 49, 1, true, 50, 0},     {1, 5, 2, 2, true, 5, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message()
                     << r.frame << "," << r.P << "," << r.j << " D " << r.D << " dbl " << r.dbl);
        int period = 0, countdown = 0;
        CBeatDetect::carriedState(r.frame, r.P, r.j, r.D, r.dbl, period, countdown);
        EXPECT_EQ(period, r.period);
        EXPECT_EQ(countdown, r.countdown);
    }

    // Beat listing: the phase folds onto the half beat with double rate;
    // only decimated frames can hold a beat.
    struct ListRow {
        int frame, P, j;
        bool dbl;
        int phase;
    };
    const ListRow list[] = {{0, 120, 0, false, 0},  {0, 120, 20, false, 20}, {0, 120, 20, true, 0},
                            {3, 120, 19, true, 19}, {3, 120, 39, true, 19},  {1, 120, 0, false, 1},
                            {2, 120, 20, true, 1},  {0, 73, 12, true, 0},    {0, 73, 11, true, 11}};
    for (const ListRow& r : list) {
        SCOPED_TRACE(testing::Message() << r.frame << "," << r.P << "," << r.j << " dbl " << r.dbl);
        EXPECT_EQ(CBeatDetect::listedPhase(r.frame, r.P, r.j, 3, r.dbl), r.phase);
    }
}
