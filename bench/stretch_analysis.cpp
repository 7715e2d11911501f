// Speed of the stretch engine's analysis on a stereo drum loop with dense
// attacks (sixteenth notes at 160 BPM, hi-hat right, snare left):
//  - the whole-input pre-analysis and attack marks of both channels, as a
//    stretch runs it once before stretching;
//  - the two-band analysis as the engine drives it in its default mode
//    (low band decimated by 4 to 11025 Hz, high band at 44100 Hz, blocks of
//    512 samples, every ready frame analysed).
// Over 15, 30 and 60 s. Counters: `rtf` = wall time / audio length (goal
// for the pre-analysis: under 0.01, growing linearly), `marks` per channel
// against the `hits` of the loop.
#include "AttackMarks.h"
#include "CPolyphaseMultiRateProcessing.h"
#include "CSMSAnalysis.h"
#include "SMSAnalysisParams.h"
#include "SMSRegion.h"
#include "SharedFft.h"
#include "SoundFileStream.h"
#include "TimeScaleParameterBlock.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const double kRate = 44100.0;
const double kPi = 3.14159265358979323846;

struct StereoLoop {
    std::vector<float> left, right;
    int hits = 0;
};

// Kick on every beat, snare on 2 and 4 (left), a hi-hat on every sixteenth
// (right); each hit fades out smoothly before the next.
StereoLoop drumLoop(double seconds)
{
    const double sixteenth = 60.0 / 160.0 / 4.0;
    const int n = static_cast<int>(seconds * kRate);
    std::vector<double> l(static_cast<size_t>(n), 0.0), r(static_cast<size_t>(n), 0.0);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    StereoLoop loop;
    const int length = static_cast<int>(0.08 * kRate), fade = static_cast<int>(0.01 * kRate);
    for (int s = 0;; ++s) {
        const int start = static_cast<int>((s + 0.5) * sixteenth * kRate);
        if (start + length >= n)
            break;
        ++loop.hits;
        double previous = 0.0;
        for (int i = 0; i < length; ++i) {
            const double t = i / kRate;
            const double tail =
                i < length - fade ? 1.0 : 0.5 + 0.5 * std::cos(kPi * (i - length + fade) / fade);
            const double white = noise(rng);
            const double hat = 0.3 * (white - previous) * std::exp(-t / 0.01);
            previous = white;
            const double kick = s % 4 == 0
                                    ? std::sin(2.0 * kPi * (50.0 * t + 1.8 * (1.0 - std::exp(-t / 0.03)))) *
                                          std::exp(-t / 0.05)
                                    : 0.0;
            const double snare =
                s % 8 == 4 ? (0.6 * noise(rng) + 0.4 * std::sin(2.0 * kPi * 190.0 * t)) * std::exp(-t / 0.03)
                           : 0.0;
            l[static_cast<size_t>(start + i)] += (kick + snare + 0.3 * hat) * tail;
            r[static_cast<size_t>(start + i)] += (kick + 0.3 * snare + hat) * tail;
        }
    }
    loop.left.resize(static_cast<size_t>(n));
    loop.right.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        loop.left[static_cast<size_t>(i)] = static_cast<float>(12000.0 * l[static_cast<size_t>(i)]);
        loop.right[static_cast<size_t>(i)] = static_cast<float>(12000.0 * r[static_cast<size_t>(i)]);
    }
    return loop;
}

void BM_AttackPreAnalysis(benchmark::State& state)
{
    const double seconds = static_cast<double>(state.range(0));
    StereoLoop loop = drumLoop(seconds);
    TimeScaleParameterBlock block;
    const double ratio = 1.0, start = 0.0;
    block.ApplyPreset(0, 1, &ratio, &start, 2, kRate, seconds);
    double wall = 0.0;
    int marks = 0;
    for (auto _ : state) {
        SoundFileStream left, right;
        left.Attach(loop.left.data(), static_cast<int32_t>(loop.left.size()));
        right.Attach(loop.right.data(), static_cast<int32_t>(loop.right.size()));
        SharedFft fft;
        SMSAnalysisData data;
        AttackMarks leftMarks, rightMarks;
        const auto t0 = Clock::now();
        MarkAttacks(fft, kRate, 5512.5, block, 256, left, &right, leftMarks, &rightMarks, data);
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
        marks = leftMarks.count;
        left.ReleaseBuffer();
        right.ReleaseBuffer();
    }
    state.counters["rtf"] = wall / (seconds * static_cast<double>(state.iterations()));
    state.counters["marks"] = marks;
    state.counters["hits"] = loop.hits;
}
BENCHMARK(BM_AttackPreAnalysis)->Arg(15)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);

// One band's analysis parameters as the engine sets them up.
std::unique_ptr<SMSAnalysisParams> bandParams(double rate, double edge, float windowFactor)
{
    auto p = std::make_unique<SMSAnalysisParams>();
    const double whole = CEnvelope::kWholeEnvelope;
    p->SetSampleRate(static_cast<float>(rate));
    p->SetAnalysisParameter(58, 2.0f, whole);
    p->SetAnalysisParameter(2, static_cast<float>(edge), whole);
    p->SetAnalysisParameter(SMSAnalysisParams::SpectrumMethod, 4.0f, whole);
    p->SetAnalysisParameter(SMSAnalysisParams::FramesPerSecond, static_cast<float>(rate / 256.0), whole);
    p->SetAnalysisParameter(SMSAnalysisParams::BandFeatures, 0.0f, whole);
    p->SetAnalysisParameter(12, 1300.0f, whole);
    p->SetAnalysisParameter(SMSAnalysisParams::ReferenceFrequency, 1400.0f, whole);
    p->SetAnalysisParameter(14, 1500.0f, whole);
    p->SetAnalysisParameter(3, -100.0f, whole);
    p->SetAnalysisParameter(SMSAnalysisParams::WindowHops, windowFactor, whole);
    p->SetAnalysisParameter(SMSAnalysisParams::WindowType, 4.0f, whole);
    p->SetTimeMode(SMSAnalysisParams::Seconds);
    return p;
}

void BM_TwoBandAnalysis(benchmark::State& state)
{
    const double seconds = static_cast<double>(state.range(0));
    StereoLoop loop = drumLoop(seconds);
    const int block = 512, factor = 4;
    double wall = 0.0;
    long frames = 0;
    for (auto _ : state) {
        SharedFft fft;
        auto low = bandParams(kRate, kRate / 2 / factor, 16.0f);
        auto high = bandParams(kRate, kRate / 2, 8.0f);
        const auto t0 = Clock::now();
        for (const std::vector<float>* channel : {&loop.left, &loop.right}) {
            CSMSAnalysis lowBand(fft, static_cast<int32_t>(kRate / factor), *low);
            CSMSAnalysis highBand(fft, static_cast<int32_t>(kRate), *high);
            CPolyphaseMultiRateProcessing decimator(CPolyphaseMultiRateProcessing::Decimation, factor, kRate);
            std::vector<float> decimated(block / factor + 100);
            for (size_t at = 0; at + block <= channel->size(); at += block) {
                int32_t produced = 0;
                decimator.Decimate(block, channel->data() + at, decimated.data(), produced);
                lowBand.PutSamples(decimated.data(), produced);
                highBand.PutSamples(channel->data() + at, block);
                for (CSMSAnalysis* a : {&lowBand, &highBand}) {
                    while (a->FrameReady() && a->AnalyzeFrame() == 0) {
                        if (a->TakeFrame())
                            ++frames;
                    }
                }
            }
        }
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    state.counters["rtf"] = wall / (seconds * static_cast<double>(state.iterations()));
    state.counters["frames_per_s"] = frames / (seconds * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_TwoBandAnalysis)->Arg(15)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
