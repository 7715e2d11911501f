#include "CSMSAnalysis.h"
#include "SMSAnalysisParams.h"
#include "SMSBandFeatureAnalyzer.h"
#include "SMSRegion.h"
#include "SMSSpectrumAnalyzer.h"
#include "SoundFileStream.h"

#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using P = SMSAnalysisParams;
using stretchtest::kPi;

// An analyser over its own parameters, fed block by block.
struct Analysis {
    Analysis(int rate, void (*configure)(P&) = nullptr)
    {
        params.SetSampleRate(static_cast<float>(rate));
        if (configure)
            configure(params);
        analysis = std::make_unique<CSMSAnalysis>(fft, rate, params);
    }
    // Feeds the signal in blocks and collects every frame handed over.
    std::vector<std::unique_ptr<SMSFrame>> run(const std::vector<float>& x, int block = 512)
    {
        std::vector<std::unique_ptr<SMSFrame>> frames;
        for (size_t at = 0; at < x.size(); at += block) {
            const int n = static_cast<int>(std::min<size_t>(block, x.size() - at));
            analysis->PutSamples(x.data() + at, n);
            while (analysis->FrameReady() && analysis->AnalyzeFrame() == 0) {
                if (auto f = analysis->TakeFrame())
                    frames.push_back(std::move(f));
            }
        }
        return frames;
    }
    SharedFft fft;
    P params;
    std::unique_ptr<CSMSAnalysis> analysis;
};

TEST(SMSAnalysis, SetUpFollowsRateAndParameters)
{
    struct Case {
        int rate;
        int hop, fftSize, bins, window, slots, featureFrame;
    };
    for (const Case& c : {Case {11025, 64, 128, 65, 129, 9, 512}, Case {22050, 128, 256, 129, 257, 9, 1024},
                          Case {44100, 256, 512, 257, 513, 9, 2048}}) {
        SCOPED_TRACE(c.rate);
        Analysis a(c.rate, [](P& p) { p.SetAnalysisParameter(P::FramesPerSecond, 172.0f); });
        EXPECT_EQ(a.params.GetAnalysisParameter(P::FramesPerSecond), 172.265625);
        EXPECT_EQ(a.analysis->AnalysisHop(), c.hop);
        EXPECT_DOUBLE_EQ(a.analysis->HopDuration(), 1.0 / 172.265625);
        EXPECT_EQ(a.analysis->SpectrumAnalyzer().Hop(), c.hop);
        EXPECT_EQ(a.analysis->SpectrumAnalyzer().FftSize(), c.fftSize);
        EXPECT_EQ(a.analysis->SpectrumAnalyzer().AnalysisWindowLength(), c.window);
        EXPECT_EQ(a.analysis->SlotCount(), c.slots);
        ASSERT_NE(a.analysis->FeatureAnalyzer(), nullptr);
        EXPECT_EQ(a.analysis->FeatureAnalyzer()->FrameLength(), c.featureFrame);
        EXPECT_EQ(a.analysis->BufferLength(), c.rate / 2 + 2 * c.hop);

        std::vector<float> silence(c.rate, 0.0f);
        const auto frames = a.run(silence);
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames[0]->Count(), c.bins);
    }
    // The engine's band analysers: no features, two slots; the whole-input
    // analysis: features, no spectrum.
    Analysis band(11025, [](P& p) {
        p.SetAnalysisParameter(P::BandFeatures, 0.0f);
        p.SetAnalysisParameter(P::WindowHops, 16.0f);
    });
    EXPECT_EQ(band.analysis->SlotCount(), 2);
    EXPECT_EQ(band.analysis->FeatureAnalyzer(), nullptr);
    EXPECT_EQ(band.analysis->SpectrumAnalyzer().FftSize(), 1024);
    Analysis whole(44100, [](P& p) { p.SetAnalysisParameter(P::SpectrumMethod, 0.0f); });
    EXPECT_EQ(whole.analysis->SlotCount(), 9);
    EXPECT_FALSE(whole.analysis->SpectrumAnalyzer().ProducesSpectrum());
    EXPECT_EQ(whole.analysis->BufferLength(), 22050);

    const float* edges = whole.analysis->FeatureAnalyzer()->BandEdges();
    EXPECT_NEAR(edges[0], 40.0f, 1e-3f);
    EXPECT_NEAR(edges[25], 5000.0f, 1e-2f);
    EXPECT_NEAR(edges[41], 20354.0f, 1.0f);
}

TEST(SMSAnalysisParams, CodesReadBackAsTheEngineWritesThem)
{
    P p;
    p.SetSampleRate(44100.0f);
    const double whole = CEnvelope::kWholeEnvelope;
    struct Case {
        int code;
        float value;
        double stored;
    };
    // What the engine's band set-up writes, then clamps and conversions.
    const Case cases[] = {
        {58, 2.0f, 2.0},
        {23, 0.0f, 0.0},
        {2, 5512.5f, 5512.5},
        {0, 0.0f, 0.0},
        {4, 0.0f, 0.0},
        {42, 4.0f, 4.0},
        {51, 172.265625f, 172.265625},
        {77, 0.0f, 0.0},
        {12, 1300.0f, 1300.0},
        {13, 1400.0f, 1400.0},
        {14, 1500.0f, 1500.0},
        {20, 0.0f, 0.0},
        {3, -100.0f, -100.0},
        {74, 16.0f, 16.0},
        {76, 4.0f, 4.0},
        {29, 7.0f, 7.0},
        {76, 13.0f, 12.0},
        {76, -2.0f, 0.0},
        {77, 0.7f, 0.0},
        {80, 5.0f, 2.0},
        {74, 100.0f, 64.0},
        {52, 1.5f, 1.0},
        {51, 172.0f, 172.265625},
        {51, 1e6f, 44100.0 / 4},
        {42, 9.0f, 5.0},
        {13, -5.0f, 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(p.SetAnalysisParameter(c.code, c.value, whole), 0) << c.code;
        EXPECT_FLOAT_EQ(p.GetAnalysisParameter(c.code, 0.5), c.stored) << c.code << " = " << c.value;
    }
    for (int code : {-1, 81, 200}) {
        EXPECT_EQ(p.SetAnalysisParameter(code, 3.0f), 1);
        EXPECT_EQ(p.GetAnalysisParameter(code), 1.0);
    }

    // Code 11 is looked up at a frequency in kHz whatever the time mode.
    P q;
    q.SetTimeMode(P::Seconds);
    q.SetDuration(100.0);
    EXPECT_FLOAT_EQ(q.GetAnalysisParameter(P::WindowPeriods, 0.075), 2.75f);
    EXPECT_FLOAT_EQ(q.GetAnalysisParameter(P::WindowPeriods, 1.4), 7.0f);
    q.SetAnalysisParameter(13, 500.0f, 50.0);  // seconds: the middle of the input
    EXPECT_FLOAT_EQ(q.GetAnalysisParameter(13, 50.0), 500.0f);
    EXPECT_FLOAT_EQ(q.GetAnalysisParameter(13, 25.0), 305.0f);
    EXPECT_FLOAT_EQ(q.GetAnalysisParameter(13, 75.0), 305.0f);
}

TEST(SMSRegion, FramesAreFiledInTimeOrderWithoutDuplicates)
{
    CSMSRegion region;
    for (double t : {0.3, 0.1, 0.2, 0.0, 0.25}) {
        auto f = std::make_unique<SMSFrame>();
        f->SetTime(t);
        EXPECT_EQ(region.AddFrame(f), 0);
        EXPECT_EQ(f, nullptr);
    }
    auto dup = std::make_unique<SMSFrame>();
    dup->SetTime(0.2 + 5e-9);
    EXPECT_EQ(region.AddFrame(dup), 2);
    ASSERT_NE(dup, nullptr);
    ASSERT_EQ(region.Count(), 5);
    for (int i = 1; i < region.Count(); ++i)
        EXPECT_LT(region.Frame(i - 1)->Time(), region.Frame(i)->Time());
    EXPECT_EQ(region.EndTime(), 0.3);

    SMSRegionList list;
    auto early = std::make_unique<SMSFrame>();
    EXPECT_EQ(list.StoreFrame(early), 3);  // no region yet
    list.NewRegion();
    list.Region(0)->AddFrame(dup);
    list.ExtendLast(0.5);  // the first region now spans 0 .. 0.7
    list.NewRegion();
    EXPECT_NEAR(list.StartTime(1), 0.7, 1e-8);
    auto late = std::make_unique<SMSFrame>();
    late->SetTime(0.9);
    EXPECT_EQ(list.StoreFrame(late), 0);
    EXPECT_NEAR(list.Region(1)->Frame(0)->Time(), 0.2, 1e-8);
    EXPECT_NEAR(list.EndTime(), 0.9, 1e-12);
    auto before = std::make_unique<SMSFrame>();
    before->SetTime(-0.5);
    EXPECT_EQ(list.StoreFrame(before), 3);
    ASSERT_EQ(list.QuarterSecondLookup().size(), 3u);
    EXPECT_EQ(list.QuarterSecondLookup()[2], 1);

    SMSAnalysisData data;
    EXPECT_EQ(data.Insert(1, std::make_unique<SMSChannelData>()), 6);
    EXPECT_EQ(data.Insert(-2, std::make_unique<SMSChannelData>()), 6);
    EXPECT_EQ(data.Insert(0, std::make_unique<SMSChannelData>()), 0);
    EXPECT_EQ(data.Insert(-1, std::make_unique<SMSChannelData>()), 0);
    EXPECT_EQ(data.Count(), 2);
    EXPECT_EQ(data.At(-1), data.At(1));
    EXPECT_EQ(data.At(2), nullptr);
}

TEST(SMSFrame, PartsAreAllocatedCopiedAndReleased)
{
    SMSFrame a;
    a.SetTime(1.5);
    a.Allocate(SMSFrame::kAllParts, 65, true);
    EXPECT_EQ(a.Flags(), SMSFrame::kAllParts);
    a.MagnitudeData()[64] = -3.0f;
    a.FeatureData()[79] = 7.0f;
    SMSFrame b;
    a.CopyTo(b, SMSFrame::Magnitudes | SMSFrame::Features, false);
    EXPECT_EQ(b.Time(), -1.0);
    EXPECT_EQ(b.Flags(), SMSFrame::Magnitudes | SMSFrame::Features);
    EXPECT_EQ(b.Count(), 65);
    EXPECT_EQ(b.MagnitudeData()[64], -3.0f);
    EXPECT_EQ(b.FeatureData()[79], 7.0f);
    a.CopyTo(b, SMSFrame::Phases, true);
    EXPECT_EQ(b.Time(), 1.5);
    const float* kept = b.MagnitudeData();
    b.Release(SMSFrame::kAllParts, true);
    EXPECT_EQ(b.Flags(), 0u);
    b.Allocate(SMSFrame::Magnitudes, 33, false);
    EXPECT_EQ(b.MagnitudeData(), kept);  // reused
    b.Release(SMSFrame::kAllParts, false);
    EXPECT_EQ(b.Count(), 0);
}

TEST(SMSSpectrumAnalyzer, MagnitudesAndPhasesOfKnownFrames)
{
    const int rate = 44100, hop = 256, n = 512;
    struct Case {
        const char* name;
        std::vector<float> signal;
        int bin;
        float db;
        float phase;
    };
    std::vector<Case> cases;
    cases.push_back({"silence", std::vector<float>(rate, 0.0f), 3, SMSFrame::kSilentDb, 0.0f});
    // The window sums to 2, so a constant c reads 2c at DC.
    cases.push_back({"negative DC", std::vector<float>(rate, -1000.0f), 0,
                     static_cast<float>(20.0 * std::log10(2000.0 / 32768.0)), 3.14159274f});
    // A full-scale cosine centred on bin 8, peaking at the frame centres.
    std::vector<float> cosine(rate);
    for (int i = 0; i < rate; ++i)
        cosine[i] = static_cast<float>(32768.0 * std::cos(2.0 * kPi * 8.0 * i / n));
    cases.push_back({"cosine on bin 8", cosine, 8, 0.0f, 0.0f});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Analysis a(rate, [](P& p) { p.SetAnalysisParameter(P::WindowType, 0.0f); });
        const auto frames = a.run(c.signal);
        ASSERT_GT(frames.size(), 20u);
        const SMSFrame& f = *frames[20];
        ASSERT_TRUE(f.Has(SMSFrame::kSpectrum | SMSFrame::Features));
        ASSERT_EQ(f.Count(), n / 2 + 1);
        if (c.db == SMSFrame::kSilentDb) {
            for (int k = 0; k < f.Count(); ++k)
                ASSERT_EQ(f.MagnitudeData()[k], -3.4028234663852886e+38f) << k;
            for (int e = 3; e < SMSFrame::kBands; ++e)
                ASSERT_EQ(f.FeatureData()[e], -100.0f) << e;
            EXPECT_EQ(f.FeatureData()[0], 0.0f);
            continue;
        }
        EXPECT_NEAR(f.MagnitudeData()[c.bin], c.db, 0.2f);
        EXPECT_NEAR(f.PhaseData()[c.bin], c.phase, 1e-3f);
        if (c.bin == 0) {
            EXPECT_EQ(f.PhaseData()[0], 3.14159274f);
        }
        EXPECT_EQ(f.Time(), 20 * hop / 44100.0);
    }
}

// Band values against a direct computation: Hamming window summing to 2,
// a naive DFT power spectrum, triangles on the mel edges.
TEST(SMSBandFeatureAnalyzer, BandValuesMatchADirectComputation)
{
    const int rate = 22050, f = 1024;
    std::vector<float> x = stretchtest::noise(f, 5, 8000.0f);
    for (int i = 0; i < f; ++i)
        x[i] += static_cast<float>(6000.0 * std::sin(2.0 * kPi * 3000.0 * i / rate));
    SharedFft fft;
    SMSBandFeatureAnalyzer analyzer(fft, rate, x.data(), f);
    SMSFrame frame;
    frame.Allocate(SMSFrame::Features, 0, true);
    analyzer.ComputeBandValues(frame, f / 2);  // the frame is the whole ring

    std::vector<double> w(f), product(f);
    double sum = 0.0;
    for (int i = 0; i < f; ++i)
        sum += (w[i] = 0.54 - 0.46 * std::cos(2.0 * kPi * i / (f - 1)));
    for (int i = 0; i < f; ++i)
        product[i] = x[i] * w[i] * 2.0 / sum;
    const std::vector<double> packed = stretchtest::naivePackedDft(product);
    std::vector<double> power(f / 2 + 1);
    power[0] = std::fabs(packed[0]);
    power[f / 2] = std::fabs(packed[1]);
    for (int k = 1; k < f / 2; ++k)
        power[k] = packed[2 * k] * packed[2 * k] + packed[2 * k + 1] * packed[2 * k + 1];
    auto mel = [](double hz) { return 1127.01048 * std::log(1.0 + hz / 700.0); };
    std::vector<double> edge(42), band(40);
    for (int k = 0; k < 42; ++k)
        edge[k] = 700.0 * (std::exp((mel(40) + k * (mel(5000) - mel(40)) / 25) / 1127.01048) - 1.0);
    double total = 0.0, upper = 0.0, lower = 0.0, largest = 0.0;
    for (int j = 0; j < 40; ++j) {
        for (int k = 0; k <= f / 2; ++k) {
            const double hz = k * (rate / 2.0) / (f / 2);
            if (hz > edge[j] && hz < edge[j + 2])
                band[j] += power[k] * (hz <= edge[j + 1] ? (hz - edge[j]) / (edge[j + 1] - edge[j])
                                                         : (edge[j + 2] - hz) / (edge[j + 2] - edge[j + 1]));
        }
        total += band[j];
        upper += (j >= 26 && j <= 35) ? band[j] : 0.0;
        lower += (j >= 1 && j <= 5) ? band[j] : 0.0;
        largest = std::max(largest, band[j]);
    }
    const float* v = frame.FeatureData();
    EXPECT_NEAR(v[0], total, total * 1e-4);
    EXPECT_NEAR(v[1], upper, total * 1e-4);
    EXPECT_NEAR(v[2], lower, total * 1e-4);
    for (int j = 3; j < 40; ++j) {
        const double db = band[j] > 0.0 ? 10.0 * std::log10(band[j] / largest) : -100.0;
        EXPECT_NEAR(v[j], db, 0.01) << j;
    }
}

// Frames of a steady sine, turned back into a spectrum from their dB and
// phases, come back through the spectrum window's synthesis.
TEST(SMSAnalysis, FramesOfASteadySineResynthesiseIt)
{
    const int rate = 44100, hop = 256, n = 2048;
    const std::vector<float> x = stretchtest::sine(60000, 997.0, rate, 12000.0, 0.4);
    Analysis a(rate, [](P& p) {
        p.SetAnalysisParameter(P::WindowHops, 8.0f);
        p.SetAnalysisParameter(P::WindowType, 4.0f);
        p.SetAnalysisParameter(P::BandFeatures, 0.0f);
    });
    const auto frames = a.run(x);
    ASSERT_GT(frames.size(), 200u);
    SharedFft fft;
    CSpectrum synthesis(fft);
    synthesis.Setup(hop, 4, 8, 50);
    std::vector<float> y(x.size(), 0.0f), s(n);
    for (size_t j = 0; j < frames.size(); ++j) {
        const SMSFrame& f = *frames[j];
        ASSERT_NEAR(f.Time(), j * hop / 44100.0, 1e-12);
        const auto magnitude = [&](int k) { return 32768.0 * std::pow(10.0, f.MagnitudeData()[k] / 20.0); };
        s[0] = static_cast<float>(magnitude(0) * std::cos(f.PhaseData()[0]));
        s[1] = static_cast<float>(magnitude(n / 2) * std::cos(f.PhaseData()[n / 2]));
        for (int k = 1; k < n / 2; ++k) {
            s[2 * k] = static_cast<float>(magnitude(k) * std::cos(f.PhaseData()[k]));
            s[2 * k + 1] = static_cast<float>(magnitude(k) * std::sin(f.PhaseData()[k]));
        }
        synthesis.InverseSpectrum(s.data(), s.data());
        const long centre = static_cast<long>(j) * hop;
        for (int k = 0; k < n; ++k) {
            const long at = centre - n / 2 + k;
            if (at >= 0 && at < static_cast<long>(y.size()))
                y[static_cast<size_t>(at)] += s[k];
        }
    }
    const size_t from = 4 * n, to = frames.size() * hop - 2 * n;
    const double db = 20.0 * std::log10(stretchtest::rms(y, from, to) / stretchtest::rms(x, from, to));
    EXPECT_NEAR(db, 0.0, 0.05);
    for (size_t i = from; i < to; i += 7)
        ASSERT_NEAR(y[i], x[i], 12000.0 * 0.006) << i;
}

TEST(SMSAnalysis, AnalyzeStreamFilesEveryFrameOfTheInput)
{
    struct Case {
        int samples;
        int minFrames;
    };
    for (const Case& c : {Case {44100, 160}, Case {1000, 1}, Case {1, 0}}) {
        SCOPED_TRACE(c.samples);
        Analysis a(44100, [](P& p) { p.SetAnalysisParameter(P::SpectrumMethod, 0.0f); });
        std::vector<float> x = stretchtest::noise(c.samples, 2, 1000.0f);
        SoundFileStream stream;
        stream.Attach(x.data(), c.samples);
        SMSAnalysisData data;
        EXPECT_EQ(a.analysis->AnalyzeStream(&stream, data), 0);
        stream.ReleaseBuffer();
        ASSERT_EQ(data.Count(), 1);
        const SMSRegionList* list = data.At(0)->At(0);
        ASSERT_EQ(list->Count(), 1);
        const CSMSRegion* region = list->Region(0);
        EXPECT_GE(region->Count(), c.minFrames);
        EXPECT_LE(region->Count(), c.samples / 256 + 2);
        for (int i = 0; i < region->Count(); ++i) {
            ASSERT_NEAR(region->Frame(i)->Time(), i * 256 / 44100.0, 1e-9) << i;
            ASSERT_TRUE(region->Frame(i)->Has(SMSFrame::Features));
            ASSERT_FALSE(region->Frame(i)->Has(SMSFrame::Magnitudes));
        }
        EXPECT_EQ(a.params.GetTimeMode(), P::Seconds);
        EXPECT_DOUBLE_EQ(a.params.Duration(), c.samples / 44100.0);
    }
    Analysis a(44100);
    SMSAnalysisData data;
    EXPECT_EQ(a.analysis->AnalyzeStream(nullptr, data), 2);
    EXPECT_EQ(data.Count(), 0);
}

}  // namespace
