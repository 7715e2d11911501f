// The section segmenter on four minutes of a song of our own making, split
// into its stages: the chord and beat pass (recogniser), the frame pass
// (frame features and their summaries), the reduction of the bar matrix
// by SVD, and the ten estimator runs with their consensus. Each stage
// prints its seconds and its real-time factor (stage time / audio time);
// the whole analysis prints its own.
//
// BM_BarSvd times the reduction alone on bar matrices of 1x, 4x and 16x
// the bars of four minutes at 120 BPM, and on 3000 bars (an hour at 200
// BPM), the largest matrix an analysis can meet.
#include "RkMir/FeatureGenerator.h"
#include "Segmenter/SectionSegmenter.h"
#include "Signals.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

const testsig::Song& fourMinutes()
{
    static const testsig::Song song = [] {
        testsig::SongSpec spec;
        spec.bpm = 120.0;
        testsig::SongPart verse {
            "verse", 16, {{0, false, false}, {7, false, false}, {9, true, false}, {5, false, false}}};
        testsig::SongPart chorus {"chorus", 16, {{5, false, false}, {0, false, false}, {7, false, true}}};
        chorus.pad = false;
        chorus.stabs = true;
        testsig::SongPart bridge {"bridge", 8, {{2, true, false}, {4, true, false}}};
        bridge.drums = false;
        spec.parts = {verse, chorus, verse, chorus, bridge, verse, chorus, chorus};
        spec.tailSeconds = 0.0;
        return testsig::makeSong(spec);
    }();
    return song;
}

void BM_SegmenterStages(benchmark::State& state)
{
    const testsig::Song& song = fourMinutes();
    const std::vector<float> stereo = testsig::interleave(song.left, song.right);
    const double audio = static_cast<double>(song.left.size()) / 44100.0;
    double tavi = 0, features = 0, svd = 0, whole = 0;
    size_t bars = 0;
    for (auto _ : state) {
        testsig::MemorySource source(stereo, 2);
        std::vector<double> barTimes;
        std::vector<uint32_t> barBeats;
        RkMir::FeatureGenerator first(1024, 8192);
        auto t = Clock::now();
        first.runTaviPass(source, barTimes, barBeats, 4, 0, -1, 2);
        tavi = since(t);

        RkMir::FeatureGenerator both(1024, 8192);
        Numeric::Matrix rows;
        t = Clock::now();
        both.computeFeatures(rows, barTimes, barBeats, source, 4, 0, -1, 2);
        features = since(t);
        bars = static_cast<size_t>(rows.rows());

        // The reduction on a bar matrix of the same size.
        Numeric::Matrix summaries =
            Numeric::Matrix::Random(static_cast<Eigen::Index>(bars) * both.gridStep(), 34);
        t = Clock::now();
        benchmark::DoNotOptimize(RkMir::FeatureGenerator::reduceToBars(summaries, both.gridStep(), 5));
        svd = since(t);

        SectionSegmenter seg;
        t = Clock::now();
        seg.analyze(source);
        whole = since(t);
        benchmark::DoNotOptimize(seg.getSegments());
    }
    state.counters["audio_s"] = audio;
    state.counters["bars"] = static_cast<double>(bars);
    state.counters["tavi_s"] = tavi;
    state.counters["frames_s"] = features - tavi - svd;
    state.counters["svd_s"] = svd;
    state.counters["runs_s"] = whole - features;
    state.counters["rtf_tavi"] = tavi / audio;
    state.counters["rtf_frames"] = (features - tavi - svd) / audio;
    state.counters["rtf_runs"] = (whole - features) / audio;
    state.counters["rtf"] = whole / audio;
}

void BM_BarSvd(benchmark::State& state)
{
    const int bars = static_cast<int>(state.range(0)), points = 16;
    std::mt19937 rng(1);
    std::normal_distribution<double> normal;
    Numeric::Matrix summaries(bars * points, 34);
    for (Eigen::Index i = 0; i < summaries.size(); ++i)
        summaries.data()[i] = normal(rng);
    for (auto _ : state)
        benchmark::DoNotOptimize(RkMir::FeatureGenerator::reduceToBars(summaries, points, 5));
    state.counters["bars"] = bars;
}

}  // namespace

BENCHMARK(BM_SegmenterStages)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarSvd)->Arg(120)->Arg(480)->Arg(1920)->Arg(3000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
