// The import analysis on songs of our own making (AnalysisSongs.h), run
// through the engine in the analysis worker's order (ImportRun.h), each
// song once: the whole import's real-time factor on one core (wall time /
// audio time) and the figures a musician judges it by, against each
// song's truth:
//   onsetF     onset F-measure, +-50 ms, of the stored onsets
//   beatF      beat F-measure, +-70 ms, of the beats after the move onto
//              onsets
//   meterOk    1 when the detected beats per bar are the song's
//   tempoErr   |project tempo - song tempo| / song tempo
//   boundF05, boundF3  section boundary F-measure at +-0.5 s and +-3 s of
//              the fitted segment marks against the part starts
// Figures that need the section segmenter are printed only when the build
// has it; the label says when it does not.
#include "AnalysisSongs.h"
#include "CKRMcore.h"
#include "ImportRun.h"
#include "Signals.h"
#include "base/WavFile.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kRate = 44100.0;

bool writeSong(const testsig::Song& song, const QString& path)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(song.left.size() * 4);
    const auto put = [&](float v) {
        const int16_t s = static_cast<int16_t>(std::lround(std::max(-1.0f, std::min(1.0f, v)) * 32767.0f));
        bytes.push_back(static_cast<uint8_t>(s & 0xFF));
        bytes.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    };
    for (size_t i = 0; i < song.left.size(); ++i) {
        put(song.left[i]);
        put(i < song.right.size() ? song.right[i] : 0.0f);
    }
    return writeWavFile(path, bytes.data(), static_cast<uint32_t>(bytes.size())) == 0;
}

std::vector<int64_t> toSamples(const std::vector<float>& seconds)
{
    std::vector<int64_t> out;
    for (float t : seconds)
        out.push_back(static_cast<int64_t>(std::lround(t * kRate)));
    return out;
}

void BM_ImportAnalysis(benchmark::State& state)
{
    const importrun::AnalysisSong& entry = importrun::analysisSongs()[static_cast<size_t>(state.range(0))];
    const testsig::Song song = testsig::makeSong(entry.spec);
    QTemporaryDir dir;
    const QString audio = dir.filePath("song.wav"), work = dir.filePath("KRM_temp.wav");
    if (!writeSong(song, audio)) {
        state.SkipWithError("cannot write the song");
        return;
    }
    const double audioSeconds = static_cast<double>(song.left.size()) / kRate;

    double wall = 0.0;
    importrun::ImportResult result;
    std::unique_ptr<CKRMcore> core;
    for (auto _ : state) {
        core = std::make_unique<CKRMcore>();
        const auto start = std::chrono::steady_clock::now();
        result = importrun::importAudio(*core, audio, work);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["rtf"] = wall / static_cast<double>(state.iterations()) / audioSeconds;
    state.counters["audio_s"] = audioSeconds;
    if (result.code != 0) {
        state.SkipWithError("the import failed");
        return;
    }
    state.counters["onsetF"] =
        testsig::fMeasure(toSamples(result.onsets), song.onsets, static_cast<int64_t>(0.05 * kRate));
    if (!result.segmenterRan) {
        state.SetLabel(entry.name + ": section segmenter not in this build, onsets only");
        return;
    }
    state.SetLabel(entry.name);

    state.counters["beatF"] =
        testsig::fMeasure(toSamples(result.beats), song.beats, static_cast<int64_t>(0.07 * kRate));
    state.counters["meterOk"] = result.numerator == static_cast<uint32_t>(entry.spec.beatsPerBar) ? 1.0 : 0.0;
    CommonInfo* common = nullptr;
    core->getProjectInfo()->getCommonInfo(&common);
    const double meanBpm = entry.spec.bpm * (1.0 + entry.spec.tempoDriftPercent / 200.0);
    state.counters["tempoErr"] = std::fabs(common->tempo - meanBpm) / meanBpm;

    WaveInfoRecord* wave = nullptr;
    core->getWavInfo(0, &wave);
    std::vector<float> marks;
    for (const SegmentMark& m : wave->fittedMarks)
        marks.push_back(m.time);
    state.counters["boundF05"] =
        testsig::fMeasure(toSamples(marks), song.partStarts, static_cast<int64_t>(0.5 * kRate));
    state.counters["boundF3"] =
        testsig::fMeasure(toSamples(marks), song.partStarts, static_cast<int64_t>(3 * kRate));
}

void allSongs(benchmark::internal::Benchmark* b)
{
    for (size_t i = 0; i < importrun::analysisSongs().size(); ++i)
        b->Arg(static_cast<int64_t>(i));
}

}  // namespace

BENCHMARK(BM_ImportAnalysis)->Apply(allSongs)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    // The engine's debug lines (undo steps, segmenter dumps) would bury the
    // table; warnings still go out.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
