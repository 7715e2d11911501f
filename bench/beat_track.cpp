// The beat tracker as the chord pipeline runs it (frame 1024, hop 180,
// 44100 Hz, decimation 3, 60 to 200 BPM, double rate) over a synthesised
// song with drums, bass and chords: the detector and the decoder together
// over 1, 4 and 16 minutes, the decoder alone over 4 minutes, the
// decoder's back-pointer memory per minute and the beat F-measure (+-70 ms)
// against the song's true beats.
//
// rtf = wall time / audio time; x_realtime is its inverse.
#include "CBeatDetect.h"
#include "Signals.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

constexpr int kHop = 180;
constexpr double kRate = 44100.0;

// Four minutes of a 120 BPM song in 4/4 (120 bars) with its beats.
const testsig::Song& fourMinuteSong()
{
    static const testsig::Song song = [] {
        testsig::SongSpec spec;
        spec.bpm = 120.0;
        spec.tailSeconds = 0.0;
        const std::vector<testsig::SongChord> verse {
            {0, false, false}, {9, true, false}, {5, false, false}, {7, false, true}};
        const std::vector<testsig::SongChord> chorus {
            {5, false, false}, {7, false, false}, {0, false, false}, {9, true, false}};
        spec.parts = {{"intro", 8, verse, false, true, true, false},
                      {"verse", 32, verse, true, true, true, false},
                      {"chorus", 24, chorus, true, true, false, true},
                      {"verse", 32, verse, true, true, true, false},
                      {"chorus", 24, chorus, true, true, false, true}};
        return testsig::makeSong(spec);
    }();
    return song;
}

// `minutes` of mono audio: the song, repeated as often as needed.
std::vector<float> audio(int minutes)
{
    const std::vector<float> song = fourMinuteSong().mono();
    std::vector<float> out(static_cast<size_t>(minutes * 60 * kRate));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = song[i % song.size()];
    return out;
}

std::unique_ptr<RuBeatO::CBeatDetect> detect(const std::vector<float>& mono)
{
    auto d = std::make_unique<RuBeatO::CBeatDetect>(1024, kHop, 44100.0f, 3, 60.0f, 200.0f, true);
    for (size_t at = 0; at + kHop <= mono.size(); at += kHop)
        d->addData(mono.data() + at, kHop);
    d->infer();
    return d;
}

void setTimeCounters(benchmark::State& state, double wallSeconds, double audioSeconds)
{
    const double perRun = wallSeconds / static_cast<double>(state.iterations());
    state.counters["audio_min"] = audioSeconds / 60.0;
    state.counters["rtf"] = perRun / audioSeconds;
    state.counters["x_realtime"] = audioSeconds / perRun;
}

void BM_DetectAndDecode(benchmark::State& state)
{
    const int minutes = static_cast<int>(state.range(0));
    const std::vector<float> mono = audio(minutes);
    double wall = 0.0;
    size_t backPointerBytes = 0;
    std::vector<int> beats;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto d = detect(mono);
        d->getBeatFrames(beats, 1, 0);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        backPointerBytes = d->frontEnd().decoder().backPointerBytes();
        benchmark::DoNotOptimize(beats.data());
    }
    setTimeCounters(state, wall, minutes * 60.0);
    state.counters["backptr_MB_per_min"] = static_cast<double>(backPointerBytes) / 1e6 / minutes;
    state.counters["beats"] = static_cast<double>(beats.size());
    state.SetComplexityN(minutes);
}

void BM_DecodeOnly(benchmark::State& state)
{
    const auto d = detect(audio(4));
    double wall = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        d->infer();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    setTimeCounters(state, wall, 240.0);
    state.counters["states"] = d->frontEnd().decoder().stateCount();
    state.counters["observations"] = static_cast<double>(d->frontEnd().decoder().observations().size());
    state.counters["backptr_MB_per_min"] =
        static_cast<double>(d->frontEnd().decoder().backPointerBytes()) / 1e6 / 4;
}

// Beat F-measure on the song: every listed beat (double rate) and the
// better of the two every-second-beat selections the chord pipeline makes.
void BM_SongBeatF(benchmark::State& state)
{
    const testsig::Song& song = fourMinuteSong();
    const std::vector<float> mono = song.mono();
    const int64_t tolerance = static_cast<int64_t>(0.07 * kRate);
    double all = 0.0, everySecond = 0.0;
    for (auto _ : state) {
        const auto d = detect(mono);
        auto f = [&](int every, int offset) {
            std::vector<int> frames;
            d->getBeatFrames(frames, every, offset);
            std::vector<int64_t> at;
            for (int fr : frames)
                at.push_back(static_cast<int64_t>(fr) * kHop);
            return testsig::fMeasure(at, song.beats, tolerance);
        };
        all = f(1, 0);
        everySecond = std::max(f(2, 0), f(2, 1));
    }
    state.counters["beatF_all"] = all;
    state.counters["beatF_every2nd"] = everySecond;
}

}  // namespace

BENCHMARK(BM_DetectAndDecode)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN)
    ->Iterations(2);
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SongBeatF)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
