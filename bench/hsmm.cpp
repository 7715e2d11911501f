// The semi-Markov estimator at the section segmenter's sizes (20 states,
// 8 durations, 5 components, 5 feature dimensions), ten runs per song as
// the segmenter makes them. One row stands for one bar; the real-time
// factor counts 2 seconds of audio per bar (4/4 at 120 beats per minute).
#include "RkMir/Numeric/HsmmEstimator.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr double kSecondsPerBar = 2.0;

// Standardised rows of a song with sections A B A C B, each with its own
// mean feature vector plus noise.
Numeric::Matrix songRows(int rows)
{
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 0.4);
    std::uniform_real_distribution<double> centre(-2.0, 2.0);
    Numeric::Matrix means(3, 5);
    for (int i = 0; i < means.size(); ++i)
        means.data()[i] = centre(rng);
    const int order[] = {0, 1, 0, 2, 1};
    Numeric::Matrix x(rows, 5);
    for (int t = 0; t < rows; ++t) {
        const int section = order[(t * 5) / rows];
        for (int p = 0; p < 5; ++p)
            x(t, p) = means(section, p) + noise(rng);
    }
    Numeric::standardizeColumns(x);
    return x;
}

void BM_SegmenterRuns(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    const Numeric::Matrix x = songRows(rows);
    double best = 0.0;
    for (auto _ : state) {
        Numeric::reseedRandom(32768);
        best = -1e50;
        for (int run = 0; run < 10; ++run) {
            Numeric::HsmmEstimator e(20, 8, 5);
            e.setPriors(1.0, 0.01, 0.01)
                .setHyperParameterC(0.01)
                .setHyperParameterB(0.1)
                .setHyperParameterA(0.9);
            const double bound = e.run(x);
            if (bound > best)
                best = bound;
            benchmark::DoNotOptimize(e.states().data());
        }
    }
    benchmark::DoNotOptimize(best);
    const double audioSeconds = rows * kSecondsPerBar;
    state.counters["audio_s"] = audioSeconds;
    state.counters["realtime_factor"] = benchmark::Counter(
        audioSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_SegmenterRuns)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
