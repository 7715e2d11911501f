// The transient detector over 5 minutes of mono 16-bit audio in 32-sample
// blocks, asking after each block whether it holds an attack, as the style
// export does.
#include "Transient/TransientDetector.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 300;

// Noise with a decaying burst on every beat at 120 beats per minute.
std::vector<int16_t> audio()
{
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<int16_t> x(static_cast<size_t>(kRate) * kSeconds);
    for (size_t i = 0; i < x.size(); ++i) {
        const size_t j = i % (kRate / 2);
        double v = noise(rng);
        if (j < 2000)
            v += 12000.0 * std::exp(-static_cast<double>(j) / 300.0) * std::sin(0.2 * static_cast<double>(j));
        x[i] = static_cast<int16_t>(std::lround(std::max(-32768.0, std::min(32767.0, v))));
    }
    return x;
}

void BM_TransientFiveMinutes(benchmark::State& state)
{
    const std::vector<int16_t> x = audio();
    int attacks = 0;
    for (auto _ : state) {
        TransientDetector* d = TransientDetector::Create();
        attacks = 0;
        for (size_t at = 0; at + 32 <= x.size(); at += 32) {
            TransientDetector::ProcessBlock(d, &x[at], 32);
            attacks += TransientDetector::HasDetection(d, 0);
        }
        TransientDetector::Free(d);
        benchmark::DoNotOptimize(attacks);
    }
    state.counters["attacks"] = attacks;
    state.counters["realtime_factor"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_TransientFiveMinutes)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
