// The onset engine and the cut-point analysis over 15 s, 1 min and 4 min of
// a synthesised song (drums, bass, chords, stabs), as the import and the
// style export run them. Prints real-time factors (wall time / audio time),
// the onset F-measure (+-50 ms) against the song's own note onsets, and
// the cut-point analysis' peak heap use per 60 s section. The onset
// figures come for the song (second argument 0) and for the song with a low
// bass (1). BM_PeerOnsets
// runs the aubio project's onset detector (Debian's aubio-tools, default
// settings) on the same audio, mixed to mono, and prints the same figures
// with its real-time factor in CPU time.
#include "AllocationCounter.h"
#include "Onset/OnsetEngine.h"
#include "Onset/SyncAnalyze.h"
#include "PeerCommand.h"
#include "Signals.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

constexpr int kRate = 44100;
constexpr int kSectionSeconds = 60;

// Four minutes at 120 beats per minute: 120 bars in four kinds of part.
const testsig::Song& song()
{
    static const testsig::Song s = [] {
        testsig::SongSpec spec;
        spec.tailSeconds = 0.5;
        const std::vector<testsig::SongPart> kinds = {
            {"verse", 8, {{0}, {5}, {7}, {0}}, true, true, true, false},
            {"chorus", 8, {{9, true}, {5}, {0}, {7}}, true, true, false, true},
            {"bridge", 8, {{2, true}, {7, false, true}}, true, true, true, true},
            {"break", 6, {{0}}, false, true, true, false},
        };
        for (int bars = 0; bars < 120;) {
            for (const testsig::SongPart& p : kinds) {
                if (bars >= 120)
                    break;
                spec.parts.push_back(p);
                bars += p.bars;
            }
        }
        return testsig::makeSong(spec);
    }();
    return s;
}

// The same song with a low bass (a sine an octave below the song's bass,
// 32 to 62 Hz) held through each bar from its downbeat: a low note that
// ripples the onset detection. The downbeats are onsets of the song already.
const testsig::Song& lowBassSong()
{
    static const testsig::Song s = [] {
        testsig::Song out = song();
        for (size_t bar = 0; bar < out.downbeats.size(); ++bar) {
            const int64_t at = out.downbeats[bar];
            const int64_t end = bar + 1 < out.downbeats.size() ? out.downbeats[bar + 1]
                                                               : static_cast<int64_t>(out.left.size());
            const size_t beat = static_cast<size_t>(std::lower_bound(out.beats.begin(), out.beats.end(), at) -
                                                    out.beats.begin());
            const int root = out.beatChordRoot[std::min(beat, out.beatChordRoot.size() - 1)];
            const double hz = 440.0 * std::pow(2.0, (24 + root - 69) / 12.0);
            for (int64_t i = at; i < end && i < static_cast<int64_t>(out.left.size()); ++i) {
                const double t = static_cast<double>(i - at) / kRate;
                const float v = static_cast<float>(0.3 * std::min(1.0, t / 0.01) * std::exp(-t / 1.5) *
                                                   std::sin(2.0 * M_PI * hz * t));
                out.left[static_cast<size_t>(i)] += v;
                out.right[static_cast<size_t>(i)] += v;
            }
        }
        for (std::vector<float>* ch : {&out.left, &out.right})
            for (float& v : *ch)
                v *= 0.75f;
        return out;
    }();
    return s;
}

// Benchmark argument 1: 0 the song, 1 the song with the low bass.
const testsig::Song& songFor(int64_t variant)
{
    return variant == 0 ? song() : lowBassSong();
}

size_t samplesFor(int seconds)
{
    return std::min(song().left.size(), static_cast<size_t>(seconds) * kRate);
}

// Wall time over audio time, from the clock around the timed loop.
class RealTimeFactor {
public:
    RealTimeFactor() : m_start(std::chrono::steady_clock::now()) { }
    void report(benchmark::State& state, double audioSeconds) const
    {
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - m_start;
        state.counters["rtf"] = wall.count() / (audioSeconds * static_cast<double>(state.iterations()));
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

void BM_OnsetEngine(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    const size_t n = samplesFor(seconds);
    const testsig::Song& s = songFor(state.range(1));
    const std::vector<float> left(s.left.begin(), s.left.begin() + n),
        right(s.right.begin(), s.right.begin() + n);
    testsig::MemorySource source(testsig::interleave(left, right), 2);
    const int32_t frames = static_cast<int32_t>(n);
    const OnsetEngine::SourceInfo info {0, 0, frames, kRate, 16, 0, frames};
    const OnsetEngine::Params params {0, 0, 2, 150, 0, 94};
    std::vector<int32_t> onsets;
    const RealTimeFactor rtf;
    for (auto _ : state) {
        OnsetEngine::State engine {};
        OnsetEngine::Range range {0, 0, 0, 4, 0, 0, 4};
        onsets.clear();
        OnsetEngine::init(engine, info);
        OnsetEngine::process(source, engine, info, onsets, range, params);
        OnsetEngine::finish(engine);
        benchmark::DoNotOptimize(onsets.data());
    }
    std::vector<int64_t> truth;
    for (int64_t t : s.onsets)
        if (t < static_cast<int64_t>(n))
            truth.push_back(t);
    const testsig::EventScore score =
        testsig::scoreEvents(std::vector<int64_t>(onsets.begin(), onsets.end()), truth, kRate / 20);
    rtf.report(state, static_cast<double>(n) / kRate);
    state.counters["onsets"] = static_cast<double>(onsets.size());
    state.counters["F_50ms"] = score.fMeasure;
    state.counters["precision"] = score.precision;
    state.counters["recall"] = score.recall;
}

// The export's way: mono 16-bit section audio, one marker per beat (closer
// ones merged), one call per section of at most 60 s.
void BM_SyncAnalyze(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    const size_t n = samplesFor(seconds);
    const testsig::Song& s = song();
    std::vector<int16_t> mono(n);
    for (size_t i = 0; i < n; ++i)
        mono[i] =
            static_cast<int16_t>(std::clamp((s.left[i] + s.right[i]) * 0.5f * 32768.0f, -32768.0f, 32767.0f));
    const int64_t minGap = 2 * syncAnalyzeSettings(kRate).margin + 2;
    int64_t peak = 0;
    uint32_t cuts = 0;
    const RealTimeFactor rtf;
    for (auto _ : state) {
        cuts = 0;
        for (size_t start = 0; start < n; start += static_cast<size_t>(kSectionSeconds) * kRate) {
            const size_t length = std::min(n - start, static_cast<size_t>(kSectionSeconds) * kRate);
            std::vector<uint32_t> markers {0};
            for (int64_t b : s.beats) {
                const int64_t at = b - static_cast<int64_t>(start);
                if (at > 0 && at < static_cast<int64_t>(length) && at - markers.back() >= minGap)
                    markers.push_back(static_cast<uint32_t>(at));
            }
            if (static_cast<int64_t>(length) - markers.back() >= minGap)
                markers.push_back(static_cast<uint32_t>(length));
            uint32_t* indices = nullptr;
            uint32_t count = 0;
            {
                testalloc::Scope scope;
                syncAnalyze(&indices, &count, mono.data() + start, static_cast<uint32_t>(length),
                            markers.data(), static_cast<uint32_t>(markers.size()), kRate, 1);
                peak = std::max(peak, scope.peakBytes());
            }
            cuts += count;
            syncAnalyzeRelease(&indices);
        }
    }
    rtf.report(state, static_cast<double>(n) / kRate);
    state.counters["cuts"] = cuts;
    state.counters["peak_MB_per_section"] = static_cast<double>(peak) / (1024.0 * 1024.0);
}

void BM_PeerOnsets(benchmark::State& state)
{
    static const bool have = peer::available("aubioonset --help");
    if (!have) {
        state.SkipWithError("aubio-tools not installed: peer figures left out");
        return;
    }
    const int seconds = static_cast<int>(state.range(0));
    const size_t n = samplesFor(seconds);
    const testsig::Song& s = songFor(state.range(1));
    std::vector<float> mono(n);
    for (size_t i = 0; i < n; ++i)
        mono[i] = 0.5f * (s.left[i] + s.right[i]);
    QTemporaryDir folder;
    const QString path = folder.filePath("song.wav");
    if (!peer::writeMonoWave(path, mono)) {
        state.SkipWithError("cannot write the song");
        return;
    }
    peer::Run run;
    double cpu = 0.0;
    for (auto _ : state) {
        run = peer::run("aubioonset -i '" + path.toStdString() + "'");
        cpu += run.cpu;
    }
    if (!run.ok) {
        state.SkipWithError("aubioonset failed");
        return;
    }
    std::vector<int64_t> truth;
    for (int64_t t : s.onsets)
        if (t < static_cast<int64_t>(n))
            truth.push_back(t);
    const std::vector<int64_t> onsets = peer::secondsToSamples(run.output);
    const testsig::EventScore score = testsig::scoreEvents(onsets, truth, kRate / 20);
    state.counters["rtf"] = cpu / (static_cast<double>(n) / kRate * static_cast<double>(state.iterations()));
    state.counters["onsets"] = static_cast<double>(onsets.size());
    state.counters["F_50ms"] = score.fMeasure;
    state.counters["precision"] = score.precision;
    state.counters["recall"] = score.recall;
}

}  // namespace

BENCHMARK(BM_OnsetEngine)->ArgsProduct({{15, 60, 240}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerOnsets)->ArgsProduct({{15, 60, 240}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncAnalyze)->Arg(15)->Arg(60)->Arg(240)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
