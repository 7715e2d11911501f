// Throughput of the semitone power spectrum and of the comb filter bank,
// printed as real-time factors (seconds of audio handled per second).
#include "Hpcp/CHpcp.h"
#include "Tempo/CombFilterBank.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kRate = 44100.0;

std::vector<float> testSignal(int length)
{
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    std::vector<float> x(static_cast<size_t>(length));
    const double tones[] = {110.0, 261.63, 329.63, 392.0, 880.0};
    for (int i = 0; i < length; ++i) {
        double v = 0.0;
        for (double f : tones)
            v += 0.15 * std::sin(2.0 * M_PI * f * i / kRate);
        x[i] = static_cast<float>(v) + noise(rng);
    }
    return x;
}

// The chord features' configuration: frames of 16384 samples, one every
// 720 samples (every fourth block of 180), 72 semitones, factor 3.
void BM_SemitoneSpectrum(benchmark::State& state)
{
    const int frame = 16384;
    const int hop = 720;
    const int framesPerSecond = static_cast<int>(kRate) / hop + 1;
    const std::vector<float> x = testSignal(frame + hop * framesPerSecond);
    Hpcp::CHpcp hpcp(12, 6, static_cast<float>(kRate), "C0", 48.0f, frame, false, 10, false, 3, 0, true);
    for (auto _ : state) {
        for (int f = 0; f < framesPerSecond; ++f)
            hpcp.processFrame(x.data() + static_cast<size_t>(f) * hop, frame);
        benchmark::DoNotOptimize(hpcp.getBuffer(3)[45]);
    }
    const double audioSeconds = static_cast<double>(framesPerSecond) * hop / kRate;
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(framesPerSecond) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SemitoneSpectrum)->Unit(benchmark::kMillisecond);

// One onset frame: an update and a read of all normalised energies. The
// real-time factor assumes one onset value per hop of 180 samples.
void BM_CombFilterBankFrame(benchmark::State& state)
{
    const int nPeriod = static_cast<int>(state.range(0));
    const double hopSeconds = 180.0 / kRate;
    CombFilterBank bank(nPeriod, 64.0f);
    std::vector<float> out;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> onset(0.0f, 1.0f);
    for (auto _ : state) {
        bank.update(onset(rng));
        bank.normalizedEnergies(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(hopSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CombFilterBankFrame)->Arg(128)->Arg(256)->Arg(512);

}  // namespace

BENCHMARK_MAIN();
