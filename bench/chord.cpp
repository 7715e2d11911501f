// Chord features (beat tracking, semitone frames, beat slices) and the full
// chord search (2 modes x 12 keys x 4 bar phases) over 1, 4 and 16 minutes
// of a synthesised song, as real-time factors (rtf = wall time / audio
// time), and the chord accuracy per beat on songs the built-in models were
// not fitted on: songs of the model tool's synthesiser with fresh seeds,
// and songs of the test signals' own synthesiser.
#include "BeatSliceFeatureGenerator.h"
#include "ChordModelBuilder.h"
#include "ChordSynth.h"
#include "ModelTextReaders.h"
#include "OfflineHmm.h"
#include "Signals.h"
#include "SynthRandom.h"
#include "TaviHmmFactory.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>

namespace {

constexpr int kHop = 180;
constexpr int kFrame = 16384;

// Class numbers of the built-in model: DIM MAJ7 AUG MIN 7 MAJ MIN7.
enum { kDim, kMaj7, kAug, kMin, kDom7, kMaj, kMin7 };

struct Truth {
    double start, end;
    int root, cls;
};

struct Piece {
    std::vector<float> samples;
    std::vector<Truth> chords;
    double seconds() const { return samples.size() / 44100.0; }
};

// Diatonic progressions in C (root above the key, class), cycled.
const std::vector<std::vector<std::pair<int, int>>> kProgressions = {
    {{0, kMaj}, {9, kMin}, {5, kMaj}, {7, kDom7}},   {{2, kMin7}, {7, kDom7}, {0, kMaj7}, {9, kMin7}},
    {{0, kMaj}, {4, kMin}, {5, kMaj}, {7, kMaj}},    {{9, kMin}, {5, kMaj}, {0, kMaj}, {7, kDom7}},
    {{0, kMaj}, {5, kMaj7}, {11, kDim}, {4, kDom7}}, {{9, kMin}, {2, kMin7}, {4, kDom7}, {9, kMin}},
    {{0, kMaj}, {7, kAug}, {0, kMaj}, {5, kMaj}},
};

Piece toolSong(double minutes, uint64_t seed)
{
    chordsynth::Random rng(seed);
    const auto& classes = chordmodels::builtinClassIntervals();
    chordsynth::Arrangement a;
    a.tempo = rng.uniform(90.0, 140.0);
    a.comp = static_cast<chordsynth::Timbre>(rng.below(chordsynth::kTimbreCount));
    a.pad = rng.chance(0.5);
    a.noiseDb = rng.uniform(-40.0, -20.0);
    a.reverb = rng.uniform(0.0, 0.3);
    a.tuningCents = rng.uniform(-15.0, 15.0);
    a.seed = seed;
    const int key = rng.below(12);
    std::vector<chordsynth::ProgressionStep> steps;
    double beats = 0.0;
    while (beats * 60.0 / a.tempo < minutes * 60.0) {
        for (const auto& c :
             kProgressions[static_cast<size_t>(rng.below(static_cast<int>(kProgressions.size())))]) {
            chordsynth::ProgressionStep s;
            s.root = (key + c.first) % 12;
            const std::vector<int>& tones = classes[static_cast<size_t>(c.second)];
            s.intervals.assign(tones.begin(), tones.end());
            s.beats = rng.chance(0.3) ? 2 : 4;
            beats += s.beats;
            steps.push_back(s);
        }
    }
    const chordsynth::Song song = chordsynth::renderProgression(steps, a);
    Piece p;
    p.samples = song.samples;
    for (size_t i = 0; i < steps.size(); ++i) {
        const auto& c = song.chords[i];
        int cls = 0;
        while (classes[static_cast<size_t>(cls)] != c.intervals)
            ++cls;
        p.chords.push_back({c.start, c.end, c.root, cls});
    }
    return p;
}

Piece signalsSong(unsigned seed, int key)
{
    testsig::SongSpec spec;
    spec.seed = seed;
    spec.bpm = 96.0 + 8.0 * (seed % 5);
    auto chord = [&](int root, bool minor, bool seventh) {
        return testsig::SongChord {(key + root) % 12, minor, seventh};
    };
    spec.parts = {
        {"verse",
         8,
         {chord(0, false, false), chord(9, true, false), chord(5, false, false), chord(7, false, true)},
         true,
         true,
         true,
         false},
        {"chorus",
         8,
         {chord(5, false, false), chord(7, false, false), chord(4, true, true), chord(9, true, false)},
         true,
         true,
         false,
         true},
        {"bridge", 8, {chord(2, true, true), chord(7, false, true)}, true, true, true, true},
    };
    const testsig::Song s = testsig::makeSong(spec);
    Piece p;
    p.samples = s.mono();
    size_t beat = 0;
    for (const auto& part : spec.parts) {
        for (int bar = 0; bar < part.bars; ++bar) {
            const auto& c = part.chords[static_cast<size_t>(bar) % part.chords.size()];
            const double start = s.beats[beat] / 44100.0;
            beat += static_cast<size_t>(spec.beatsPerBar);
            const double end = beat < s.beats.size() ? s.beats[beat] / 44100.0 : start + 2.0;
            const int cls = c.minor ? (c.seventh ? kMin7 : kMin) : (c.seventh ? kDom7 : kMaj);
            p.chords.push_back({start, end, c.root, cls});
        }
    }
    return p;
}

const Piece& benchSong(int minutes)
{
    static std::map<int, Piece> cache;
    auto it = cache.find(minutes);
    if (it == cache.end())
        it = cache.emplace(minutes, toolSong(minutes, 900 + minutes)).first;
    return it->second;
}

struct Model {
    tavi::TaviPlainTextResourceStreamReader reader;
    std::unique_ptr<tavi::TaviHmm> hmm;
    int feature = 0;
    explicit Model(int beatsPerBar)
    {
        tavi::TaviHmmPlainTextFactory factory(reader);
        hmm.reset(factory.create(feature, true, 0, beatsPerBar));
    }
    tavi::OfflineHmm& decoder() { return dynamic_cast<tavi::OfflineHmm&>(*hmm->decoder()); }
};

std::unique_ptr<tavi::BeatSliceFeatureGenerator> featuresOf(const Piece& p)
{
    auto g = std::make_unique<tavi::BeatSliceFeatureGenerator>(kFrame, kHop);
    g->pushData(p.samples.data(), static_cast<int>(p.samples.size()));
    g->finish();
    return g;
}

void reportRtf(benchmark::State& state, std::chrono::steady_clock::time_point start, double audioSeconds)
{
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    state.counters["rtf"] = wall.count() / (audioSeconds * static_cast<double>(state.iterations()));
    state.counters["audio_s"] = audioSeconds;
}

void BM_ChordFeatures(benchmark::State& state)
{
    const Piece& p = benchSong(static_cast<int>(state.range(0)));
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        auto g = featuresOf(p);
        std::vector<std::vector<double>> out;
        g->selectChordFeatures(out, 4, 0, 2, 0);
        benchmark::DoNotOptimize(out.data());
    }
    reportRtf(state, start, p.seconds());
}
BENCHMARK(BM_ChordFeatures)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ChordSearch(benchmark::State& state)
{
    const Piece& p = benchSong(static_cast<int>(state.range(0)));
    static std::map<int, std::vector<std::vector<double>>> features;
    auto& f = features[static_cast<int>(state.range(0))];
    if (f.empty())
        featuresOf(p)->selectChordFeatures(f, 4, 0, 2, 0);
    Model model(4);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        model.decoder().clear();
        for (const auto& v : f)
            model.decoder().addObservation(v);
        benchmark::DoNotOptimize(model.decoder().decode());
    }
    reportRtf(state, start, p.seconds());
    state.counters["beats"] = static_cast<double>(f.size());
    state.SetComplexityN(static_cast<int64_t>(f.size()));
}
BENCHMARK(BM_ChordSearch)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// Root and root-with-class accuracy per counted beat: every second tracked
// beat, with the phase whose decoded path scores best, as the recogniser
// chooses it.
void accuracy(const Piece& p, Model& model, long& beats, long& roots, long& chords)
{
    auto g = featuresOf(p);
    double best = -1e300;
    long r0 = 0, c0 = 0, n0 = 0;
    for (int phase = 0; phase < 2; ++phase) {
        std::vector<std::vector<double>> f;
        g->selectChordFeatures(f, model.feature, phase, 2, 0);
        model.decoder().clear();
        for (const auto& v : f)
            model.decoder().addObservation(v);
        const double score = model.decoder().decode() / std::max<size_t>(1, f.size());
        long r = 0, c = 0, n = 0;
        for (size_t t = 0; t < f.size(); ++t) {
            const double from = g->beatTime(static_cast<int>(t));
            const double to = t + 1 < f.size() ? g->beatTime(static_cast<int>(t + 1)) : from + 0.5;
            const double mid = (from + to) / 2.0;
            for (const Truth& truth : p.chords) {
                if (mid < truth.start || mid >= truth.end)
                    continue;
                int root, cls, mode, b, key;
                model.hmm->decomposeState(model.decoder().pathState(static_cast<int>(t)), root, cls, mode, b,
                                          key);
                ++n;
                r += root == truth.root;
                c += root == truth.root && cls == truth.cls;
            }
        }
        if (score > best) {
            best = score;
            r0 = r, c0 = c, n0 = n;
        }
    }
    beats += n0;
    roots += r0;
    chords += c0;
}

void BM_ChordAccuracy(benchmark::State& state)
{
    Model model(4);
    long beats = 0, roots = 0, chords = 0, signalBeats = 0, signalRoots = 0, signalChords = 0;
    for (auto _ : state) {
        for (uint64_t seed = 0; seed < 6; ++seed)
            accuracy(toolSong(1.0, 31337 + seed), model, beats, roots, chords);
        for (unsigned seed = 0; seed < 3; ++seed)
            accuracy(signalsSong(11 + seed, static_cast<int>(seed * 5) % 12), model, signalBeats, signalRoots,
                     signalChords);
    }
    state.counters["synth_beats"] = static_cast<double>(beats);
    state.counters["synth_root"] = static_cast<double>(roots) / std::max(1L, beats);
    state.counters["synth_chord"] = static_cast<double>(chords) / std::max(1L, beats);
    state.counters["signals_beats"] = static_cast<double>(signalBeats);
    state.counters["signals_root"] = static_cast<double>(signalRoots) / std::max(1L, signalBeats);
    state.counters["signals_chord"] = static_cast<double>(signalChords) / std::max(1L, signalBeats);
}
BENCHMARK(BM_ChordAccuracy)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
