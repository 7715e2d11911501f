// How the chord recogniser chooses which tracked beat starts the beat grid,
// on the import songs (AnalysisSongs.h, band songs with a bass note on most
// beats). The tracker lists beats at twice
// the beat rate; with the song's own meter given, the recogniser decodes
// the grid from the first and from the second tracked beat and keeps the
// one its chord model scores higher per beat. Per song and grid:
//   onScore, offScore  the recogniser's score of the grid on the true
//                      beats and of the grid half a beat off them
//   pickedOn           1 when the recogniser kept the grid on the beats
//   onBass, offBass    mean log density of the bass chroma under the true
//   onTreble, offTreble  chord (major or minor) and of the treble chroma,
//                      each slice labelled with the chord at its middle
//   onBassLow, offBassLow  the lowest of these bass means over the beat
//                      positions in the bar: one position with a silent
//                      bass drags a grid down
#include "AnalysisSongs.h"
#include "BeatSliceFeatureGenerator.h"
#include "BeatSliceFeatures.h"
#include "BuiltinModelTexts.h"
#include "JointHpcpPowPdf.h"
#include "OfflineHmm.h"
#include "Signals.h"
#include "TaviOffline.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <sstream>

namespace {

constexpr double kRate = 44100.0;
constexpr int kHop = 180;
constexpr int kSimpleMeter = 2;
constexpr int kCompoundMeter = 3;

struct GridFigures {
    double score = 0.0;
    double bass = 0.0;
    double treble = 0.0;
    double bassLow = 0.0;
    double beatF = 0.0;
};

// Mean log densities of one grid's slices under the true chords.
GridFigures gridFigures(const testsig::Song& song, int beatsPerBar, double beatSeconds,
                        tavi::BeatSliceFeatureGenerator& generator, int phase,
                        std::vector<tavi::JointHpcpPowPdf>& pdfs)
{
    GridFigures g;
    std::vector<std::vector<double>> features;
    generator.selectChordFeatures(features, tavi::kJointChromaAndSums, phase, 2, tavi::kMedian);
    std::vector<double> bassAt(static_cast<size_t>(beatsPerBar), 0.0);
    std::vector<int> countAt(static_cast<size_t>(beatsPerBar), 0);
    std::vector<int64_t> times;
    int n = 0;
    for (size_t j = 0; j < features.size(); ++j) {
        const double start = generator.beatTime(static_cast<int>(j));
        times.push_back(static_cast<int64_t>(start * kRate));
        const int64_t middle = static_cast<int64_t>((start + 0.5 * beatSeconds) * kRate);
        const auto next = std::upper_bound(song.beats.begin(), song.beats.end(), middle);
        if (next == song.beats.begin() || next == song.beats.end())
            continue;
        const size_t beat = static_cast<size_t>(next - song.beats.begin()) - 1;
        if (song.beatChordRoot[beat] < 0)
            continue;  // a pickup beat has no chord of its own
        std::vector<double> rotated;
        tavi::rotateBeatFeature(features[j], song.beatChordRoot[beat], rotated);
        const tavi::JointHpcpPowPdf& pdf = pdfs[song.beatChordMinor[beat] ? 1 : 0];
        tavi::VonMisesFisherMixture bass = pdf.bass(), treble = pdf.treble();
        const double b = bass.logDensity(rotated.data());
        g.bass += b;
        g.treble += treble.logDensity(rotated.data() + 12);
        bassAt[beat % static_cast<size_t>(beatsPerBar)] += b;
        ++countAt[beat % static_cast<size_t>(beatsPerBar)];
        ++n;
    }
    g.bass /= std::max(n, 1);
    g.treble /= std::max(n, 1);
    g.bassLow = 1e9;
    for (size_t p = 0; p < bassAt.size(); ++p)
        g.bassLow = std::min(g.bassLow, bassAt[p] / std::max(countAt[p], 1));
    g.beatF = testsig::fMeasure(times, song.beats, static_cast<int64_t>(0.07 * kRate));
    return g;
}

void BM_BeatPhase(benchmark::State& state)
{
    const importrun::AnalysisSong& entry = importrun::analysisSongs()[static_cast<size_t>(state.range(0))];
    const testsig::BandSong& spec = entry.spec;
    const testsig::Song song = testsig::makeBandSong(spec);
    const std::vector<float> mono = song.mono();

    // The built-in major and minor chord densities.
    tavi::buildBuiltinModelTexts();
    std::vector<tavi::JointHpcpPowPdf> pdfs(2);
    for (const char* key : {"0", "8"}) {
        std::istringstream in(tavi::builtinModelTexts().pdfs.at(key));
        pdfs[key[0] == '0' ? 0 : 1].read(in);
    }

    tavi::TaviOffline recogniser;
    for (auto _ : state) {
        recogniser.initialize(0, std::wstring(), kHop, spec.beatsPerBar);
        recogniser.setParams(0, -1, spec.compound ? kCompoundMeter : kSimpleMeter);
        recogniser.pushData(mono.data(), static_cast<unsigned>(mono.size()));
        recogniser.run();
    }
    GridFigures grids[2];
    for (int k = 0; k < 2; ++k) {
        grids[k] =
            gridFigures(song, spec.beatsPerBar, 60.0 / spec.bpm, *recogniser.featureGenerator(), k, pdfs);
        grids[k].score = recogniser.hypothesisScore(k);
    }
    const int on = grids[0].beatF >= grids[1].beatF ? 0 : 1;
    const GridFigures &a = grids[on], &b = grids[1 - on];
    state.counters["onScore"] = a.score;
    state.counters["offScore"] = b.score;
    state.counters["pickedOn"] = recogniser.chosenHypothesis() == on ? 1.0 : 0.0;
    state.counters["onBass"] = a.bass;
    state.counters["offBass"] = b.bass;
    state.counters["onTreble"] = a.treble;
    state.counters["offTreble"] = b.treble;
    state.counters["onBassLow"] = a.bassLow;
    state.counters["offBassLow"] = b.bassLow;
    state.SetLabel(entry.name);
}

void allSongs(benchmark::internal::Benchmark* b)
{
    for (size_t i = 0; i < importrun::analysisSongs().size(); ++i)
        b->Arg(static_cast<int64_t>(i));
}

}  // namespace

BENCHMARK(BM_BeatPhase)->Apply(allSongs)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
