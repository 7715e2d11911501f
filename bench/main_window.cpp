// Building and tearing down the main window on the offscreen platform: the
// first window of a process (which also makes the process-wide audio output
// holder and lists the outputs, here the null output) and every later one.
// A user waits for the first at start-up; later ones show what the window
// itself costs. The window is destroyed inside the timing as well, since
// that writes the preferences and closes the output.
//
// Run it alone: the first-window figure is meaningful only as the first
// benchmark of the process (--benchmark_filter keeps that order).
#include "WindowBenchMain.h"
#include "MainWindow.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// Builds and destroys one window; the counters split the time (ms, mean
// per window) between the two.
void buildAndDestroy(benchmark::State& state)
{
    double build = 0.0;
    double teardown = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        auto window = std::make_unique<MainWindow>(QString());
        benchmark::DoNotOptimize(window.get());
        const auto t1 = Clock::now();
        window.reset();
        const auto t2 = Clock::now();
        build += std::chrono::duration<double, std::milli>(t1 - t0).count();
        teardown += std::chrono::duration<double, std::milli>(t2 - t1).count();
    }
    state.counters["build_ms"] = benchmark::Counter(build, benchmark::Counter::kAvgIterations);
    state.counters["teardown_ms"] = benchmark::Counter(teardown, benchmark::Counter::kAvgIterations);
}

void BM_FirstWindowWithDeviceEnumeration(benchmark::State& state)
{
    buildAndDestroy(state);
}
BENCHMARK(BM_FirstWindowWithDeviceEnumeration)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LaterWindow(benchmark::State& state)
{
    buildAndDestroy(state);
}
BENCHMARK(BM_LaterWindow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return runWindowBenchmarks(argc, argv, "main_window");
}
