// Speed of the stretch engine's foundations: the engine's FFT object against
// the bare toolkit transform it wraps, the multi-rate filters over a minute
// of audio, and overlap-add into a sample stream.
//
// Counters: ns per call; `speed` = audio seconds per wall second (how many
// times faster than real time); `rtf` = wall time / audio length.
#include "CPolyphaseMultiRateProcessing.h"
#include "SharedFft.h"
#include "SoundFileStream.h"
#include "fft/rdft.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const double kRate = 44100.0;

std::vector<float> noise(int n)
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> d(-20000.0f, 20000.0f);
    std::vector<float> x(static_cast<size_t>(n));
    for (float& v : x)
        v = d(rng);
    return x;
}

void setAudioCounters(benchmark::State& state, double audioSeconds, double wallSeconds)
{
    state.counters["speed"] = audioSeconds / wallSeconds;
    state.counters["rtf"] = wallSeconds / audioSeconds;
}

// Each round transforms the same frame with SharedFft (float in, float out)
// and with bare rdft (double buffer, tables prepared once), interleaved in
// batches so both see the same cache state. `overhead` is the extra time of
// the float copies relative to rdft.
void BM_SharedFftVsRdft(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> x = noise(n);
    SharedFft fft;
    std::vector<float> f(static_cast<size_t>(n));
    std::vector<double> a(static_cast<size_t>(n));
    const std::vector<double> xd(x.begin(), x.end());
    std::vector<int> ip(2 + 64, 0);
    std::vector<double> w(static_cast<size_t>(n / 2));
    std::memcpy(f.data(), x.data(), sizeof(float) * n);
    fft.Transform(n, 1, f.data());
    rdft(n, 1, a.data(), ip.data(), w.data());
    const int batch = 64;
    double oursNs = 0.0, bareNs = 0.0;
    long calls = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int b = 0; b < batch; ++b) {
            std::memcpy(f.data(), x.data(), sizeof(float) * n);
            fft.Transform(n, 1, f.data());
            benchmark::DoNotOptimize(f.data());
        }
        const auto t1 = Clock::now();
        for (int b = 0; b < batch; ++b) {
            std::memcpy(a.data(), xd.data(), sizeof(double) * n);
            rdft(n, 1, a.data(), ip.data(), w.data());
            benchmark::DoNotOptimize(a.data());
        }
        const auto t2 = Clock::now();
        oursNs += std::chrono::duration<double, std::nano>(t1 - t0).count();
        bareNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
        calls += batch;
    }
    state.counters["shared_ns"] = oursNs / calls;
    state.counters["rdft_ns"] = bareNs / calls;
    state.counters["overhead"] = oursNs / bareNs - 1.0;
}
BENCHMARK(BM_SharedFftVsRdft)->RangeMultiplier(2)->Range(512, 8192);

// Decimation or interpolation by 4 at 44100 Hz of 60 s, fed in the engine's
// 512-sample blocks (interpolation gets the decimated 128-sample blocks).
void BM_MultiRateBy4(benchmark::State& state)
{
    const bool decimate = state.range(0) == CPolyphaseMultiRateProcessing::Decimation;
    const int seconds = 60, block = decimate ? 512 : 128;
    const int total = static_cast<int>(kRate) * seconds / (decimate ? 1 : 4);
    const std::vector<float> x = noise(total);
    std::vector<float> out(static_cast<size_t>(block) * 4);
    double wall = 0.0;
    for (auto _ : state) {
        CPolyphaseMultiRateProcessing f(static_cast<uint32_t>(state.range(0)), 4, kRate);
        const auto t0 = Clock::now();
        for (int at = 0; at + block <= total; at += block) {
            int32_t produced = 0;
            if (decimate)
                f.Decimate(block, x.data() + at, out.data(), produced);
            else
                f.Interpolate(block, x.data() + at, out.data(), produced);
            benchmark::DoNotOptimize(out.data());
        }
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    state.SetLabel(decimate ? "decimate" : "interpolate");
    setAudioCounters(state, seconds * static_cast<double>(state.iterations()), wall);
}
BENCHMARK(BM_MultiRateBy4)
    ->Arg(CPolyphaseMultiRateProcessing::Decimation)
    ->Arg(CPolyphaseMultiRateProcessing::Interpolation)
    ->Unit(benchmark::kMillisecond);

// Overlap-add of 512-sample frames at a hop of 256 into a stream, over 15,
// 60 and 240 s of output. Second argument 0: the stream grows from empty, as
// a band's would without the engine's estimate (this includes the first
// touch of every fresh page, which costs tens of microseconds per page on
// some virtual machines); 1: the stream is emptied and refilled in memory it
// has already written (the cost of MixAt itself).
void BM_MixAtOverlapAdd(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    const bool warm = state.range(1) != 0;
    const int hop = 256, frame = 512;
    const int frames = static_cast<int>(kRate) * seconds / hop;
    const std::vector<float> x = noise(frame);
    SoundFileStream reused;
    if (warm) {
        reused.Allocate(1000);
        for (int k = 0; k < frames; ++k)
            reused.MixAt(x.data(), frame, k * hop);
    }
    double wall = 0.0;
    long calls = 0;
    for (auto _ : state) {
        SoundFileStream fresh;
        SoundFileStream& s = warm ? reused : fresh;
        if (warm)
            s.Empty();
        else
            s.Allocate(1000);
        const auto t0 = Clock::now();
        for (int k = 0; k < frames; ++k)
            s.MixAt(x.data(), frame, k * hop);
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
        benchmark::DoNotOptimize(s.Buffer());
        calls += frames;
    }
    state.SetLabel(warm ? "written memory" : "growing from empty");
    state.counters["ns_per_call"] = wall * 1e9 / calls;
    setAudioCounters(state, seconds * static_cast<double>(state.iterations()), wall);
}
BENCHMARK(BM_MixAtOverlapAdd)->ArgsProduct({{15, 60, 240}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
