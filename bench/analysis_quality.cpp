// The import analysis on band songs of our own making (AnalysisSongs.h),
// run through the import pipeline (ImportPipeline.h) exactly as the
// window's analysis worker runs it, with the window's options, each song
// once: the whole import's real-time factor on one core (rtf: wall time /
// audio time, wave-info file included; cpu_rtf: the CPU time of the thread
// that ran it / audio time, the figure to compare on a loaded machine) and
// the figures a musician judges it by, against each song's truth:
//   onsetF     onset F-measure, +-50 ms, of the stored onsets
//   beatF      beat F-measure, +-70 ms, of the beats after the move onto
//              onsets
//   meterOk    1 when the meter the section segmenter found is the song's
//              (6/8 is six eighths, two beats a bar); the label names it
//   tempoOk, tempoErr  the project tempo within 4 % of the song's mean
//              tempo, and |project tempo - song tempo| / song tempo
//   boundF05, boundF3  section boundary F-measure at +-0.5 s and +-3 s of
//              the fitted segment marks against the part starts
//   downbeatF  downbeat F-measure, +-70 ms, of the bars the section
//              segmenter reported during the import (beat of each bar)
//   chordRoot, chordMaj  share of true beats (pickup beats left out) whose
//              chord, as the segmenter reported it during the import and
//              held from each change, has the true root, and the true root
//              and major/minor quality; a true beat with no detected beat
//              within +-70 ms counts as wrong
// The chord and bar reports are heard through the segmenter job's listener
// while the timed import runs. Figures that need the section segmenter are
// printed only when the build has it; the label says when it does not.
//
// BM_PeerBeatsAndOnsets runs the command-line beat tracker and onset
// detector of the aubio project (Debian's aubio-tools, default settings)
// on the same songs, written as 16-bit mono WAV files, and prints the same
// beat (+-70 ms) and onset (+-50 ms) F-measures, the beat lag and the two
// programs' real-time factor (their CPU time / audio time), side by side
// with ours.
//
// BM_TrackerBeats runs the beat tracker alone on each song, configured as
// the chord pipeline runs it (frame 1024, hop 180, decimation 3, 60 to 200
// BPM, double rate), and prints the better beat F-measure (+-70 ms) of the
// two every-second-beat selections and the median offset of the matched
// beats from the true ones (lag_ms, positive when late).
#include "AnalysisSongs.h"
#include "CBeatDetect.h"
#include "CKRMcore.h"
#include "IF_audioFileMngr.h"
#include "ImportPipeline.h"
#include "MusicConstants.h"
#include "PeerCommand.h"
#include "Signals.h"
#include "TestWav.h"
#include "segmenter.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr double kRate = 44100.0;

// CPU time of the calling thread, seconds.
double threadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::vector<int64_t> toSamples(const std::vector<float>& seconds)
{
    std::vector<int64_t> out;
    for (float t : seconds)
        out.push_back(static_cast<int64_t>(std::lround(t * kRate)));
    return out;
}

// A chord type counts as minor when its third is minor.
bool minorType(int type)
{
    if (type < 0 || type >= kChordTypeCount)
        return false;
    const std::string name = chordTypeNames[type];
    return name.rfind("MIN", 0) == 0 || name.rfind("MM7", 0) == 0 || name.rfind("DIM", 0) == 0;
}

// Downbeat F-measure and per-beat chord accuracy from what the segmenter
// reported during the import, on its beats.
void scoreBarsAndChords(const testsig::Song& song, const testsig::RecordingObserver& seen,
                        const std::vector<float>& beats, benchmark::State& state)
{
    const int64_t tolerance = static_cast<int64_t>(0.07 * kRate);
    std::vector<int64_t> downbeats;
    for (const RkMir::BarEvent& b : seen.bars)
        if (b.beatIndex >= 0 && static_cast<size_t>(b.beatIndex) < beats.size())
            downbeats.push_back(std::llround(beats[static_cast<size_t>(b.beatIndex)] * kRate));
    state.counters["downbeatF"] = testsig::fMeasure(downbeats, song.downbeats, tolerance);

    // Chord of every detected beat, held from each reported change.
    std::vector<int> root(beats.size(), -1), type(beats.size(), -1);
    size_t next = 0;
    for (size_t i = 0; i < beats.size(); ++i) {
        while (next < seen.chords.size() && seen.chords[next].beatIndex <= static_cast<int>(i))
            ++next;
        if (next > 0) {
            root[i] = seen.chords[next - 1].root;
            type[i] = seen.chords[next - 1].chordType;
        }
    }
    int rootOk = 0, bothOk = 0, counted = 0;
    for (size_t t = 0; t < song.beats.size(); ++t) {
        if (song.beatChordRoot[t] < 0)
            continue;  // a pickup beat has no chord of its own
        ++counted;
        const int64_t at = song.beats[t];
        const auto it = std::lower_bound(beats.begin(), beats.end(), static_cast<float>(at / kRate));
        size_t best = beats.size();
        int64_t bestDist = tolerance + 1;
        for (auto c : {it, it == beats.begin() ? it : it - 1})
            if (c != beats.end()) {
                const int64_t d = std::llabs(std::llround(*c * kRate) - at);
                if (d < bestDist) {
                    bestDist = d;
                    best = static_cast<size_t>(c - beats.begin());
                }
            }
        if (best == beats.size() || root[best] != song.beatChordRoot[t])
            continue;
        ++rootOk;
        if (minorType(type[best]) == static_cast<bool>(song.beatChordMinor[t]))
            ++bothOk;
    }
    const double n = static_cast<double>(std::max(1, counted));
    state.counters["chordRoot"] = rootOk / n;
    state.counters["chordMaj"] = bothOk / n;
}

void BM_ImportAnalysis(benchmark::State& state)
{
    const importrun::AnalysisSong& entry = importrun::analysisSongs()[static_cast<size_t>(state.range(0))];
    const testsig::Song song = testsig::makeBandSong(entry.spec);
    QTemporaryDir dir;
    ImportPaths paths;
    paths.audio = dir.filePath("song.wav");
    paths.work = dir.filePath("KRM_temp.wav");
    paths.waveInfo = dir.filePath("song.awi");
    if (!testwav::writeSong(paths.audio, song)) {
        state.SkipWithError("cannot write the song");
        return;
    }
    const double audioSeconds = static_cast<double>(song.left.size()) / kRate;

    double wall = 0.0, cpu = 0.0;
    uint32_t code = 0;
    ImportDetails result;
    std::unique_ptr<CKRMcore> core;
    testsig::RecordingObserver seen;
    const std::unique_ptr<IF_audioFileMngr> files(createAudioFileMngr());
    for (auto _ : state) {
        core = std::make_unique<CKRMcore>();
        seen = testsig::RecordingObserver();
        if (auto* job = qobject_cast<segmenter*>(core->segmenterObject()))
            job->setListener(&seen);
        ImportPipeline pipeline(*core, files.get(), AnalysisOptions());
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuSeconds();
        code = pipeline.run(paths, &result);
        cpu += threadCpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["rtf"] = wall / static_cast<double>(state.iterations()) / audioSeconds;
    state.counters["cpu_rtf"] = cpu / static_cast<double>(state.iterations()) / audioSeconds;
    state.counters["audio_s"] = audioSeconds;
    if (code != 0) {
        state.SkipWithError(("the import failed: " + core->errorText().toStdString()).c_str());
        return;
    }
    state.counters["onsetF"] =
        testsig::fMeasure(toSamples(result.onsets), song.onsets, static_cast<int64_t>(0.05 * kRate));
    if (!result.segmenterRan) {
        state.SetLabel(entry.name + ": section segmenter not in this build, onsets only");
        return;
    }
    const int num = entry.spec.meterNumerator(), den = entry.spec.meterDenominator();
    state.SetLabel(entry.name + " found " + std::to_string(result.numerator) + "/" +
                   std::to_string(result.denominator));

    state.counters["beatF"] =
        testsig::fMeasure(toSamples(result.beats), song.beats, static_cast<int64_t>(0.07 * kRate));
    state.counters["meterOk"] =
        result.numerator == static_cast<uint32_t>(num) && result.denominator == static_cast<uint32_t>(den)
            ? 1.0
            : 0.0;
    CommonInfo* common = nullptr;
    core->getProjectInfo()->getCommonInfo(&common);
    const double meanBpm = entry.spec.bpm * (1.0 + entry.spec.driftPercent / 200.0);
    const double tempoErr = std::fabs(common->tempo - meanBpm) / meanBpm;
    state.counters["tempoErr"] = tempoErr;
    state.counters["tempoOk"] = tempoErr <= 0.04 ? 1.0 : 0.0;

    WaveInfoRecord* wave = nullptr;
    core->getWavInfo(0, &wave);
    std::vector<float> marks;
    for (const SegmentMark& m : wave->fittedMarks)
        marks.push_back(m.time);
    state.counters["boundF05"] =
        testsig::fMeasure(toSamples(marks), song.partStarts, static_cast<int64_t>(0.5 * kRate));
    state.counters["boundF3"] =
        testsig::fMeasure(toSamples(marks), song.partStarts, static_cast<int64_t>(3 * kRate));
    scoreBarsAndChords(song, seen, result.trackedBeats, state);
}

// Median signed distance from each true beat to the nearest detection
// within the tolerance, in samples.
double medianOffset(const std::vector<int64_t>& detected, const std::vector<int64_t>& truth,
                    int64_t tolerance)
{
    std::vector<int64_t> offsets;
    for (int64_t t : truth) {
        const auto it = std::lower_bound(detected.begin(), detected.end(), t);
        int64_t best = tolerance + 1;
        if (it != detected.end())
            best = *it - t;
        if (it != detected.begin() && t - *(it - 1) < std::llabs(best))
            best = *(it - 1) - t;
        if (std::llabs(best) <= tolerance)
            offsets.push_back(best);
    }
    if (offsets.empty())
        return 0.0;
    std::nth_element(offsets.begin(), offsets.begin() + static_cast<long>(offsets.size() / 2), offsets.end());
    return static_cast<double>(offsets[offsets.size() / 2]);
}

void BM_TrackerBeats(benchmark::State& state)
{
    constexpr int kHop = 180;
    const importrun::AnalysisSong& entry = importrun::analysisSongs()[static_cast<size_t>(state.range(0))];
    const testsig::Song song = testsig::makeBandSong(entry.spec);
    const std::vector<float> mono = song.mono();
    const int64_t tolerance = static_cast<int64_t>(0.07 * kRate);
    double bestF = 0.0, lag = 0.0;
    for (auto _ : state) {
        RuBeatO::CBeatDetect detect(1024, kHop, 44100.0f, 3, 60.0f, 200.0f, true);
        for (size_t at = 0; at + kHop <= mono.size(); at += kHop)
            detect.addData(mono.data() + at, kHop);
        detect.infer();
        bestF = -1.0;
        for (int offset : {0, 1}) {
            std::vector<int> frames;
            detect.getBeatFrames(frames, 2, offset);
            std::vector<int64_t> at;
            for (int f : frames)
                at.push_back(static_cast<int64_t>(f) * kHop);
            const double f = testsig::fMeasure(at, song.beats, tolerance);
            if (f > bestF) {
                bestF = f;
                lag = medianOffset(at, song.beats, tolerance);
            }
        }
    }
    state.counters["beatF"] = bestF;
    state.counters["lag_ms"] = lag / kRate * 1000.0;
    state.SetLabel(entry.name);
}

void BM_PeerBeatsAndOnsets(benchmark::State& state)
{
    const importrun::AnalysisSong& entry = importrun::analysisSongs()[static_cast<size_t>(state.range(0))];
    static const bool have = peer::available("aubiotrack --help") && peer::available("aubioonset --help");
    if (!have) {
        state.SkipWithError("aubio-tools not installed: peer figures left out");
        return;
    }
    const testsig::Song song = testsig::makeBandSong(entry.spec);
    QTemporaryDir folder;
    const QString path = folder.filePath("song.wav");
    if (!peer::writeMonoWave(path, song.mono())) {
        state.SkipWithError("cannot write the song");
        return;
    }
    const std::string quoted = "'" + path.toStdString() + "'";
    peer::Run beats, onsets;
    for (auto _ : state) {
        beats = peer::run("aubiotrack -i " + quoted);
        onsets = peer::run("aubioonset -i " + quoted);
    }
    if (!beats.ok || !onsets.ok) {
        state.SkipWithError("aubio failed");
        return;
    }
    const std::vector<int64_t> beatAt = peer::secondsToSamples(beats.output);
    const int64_t beatTolerance = static_cast<int64_t>(0.07 * kRate);
    const double audio = static_cast<double>(song.left.size()) / kRate;
    state.counters["beatF"] = testsig::fMeasure(beatAt, song.beats, beatTolerance);
    state.counters["lag_ms"] = medianOffset(beatAt, song.beats, beatTolerance) / kRate * 1000.0;
    state.counters["onsetF"] = testsig::fMeasure(peer::secondsToSamples(onsets.output), song.onsets,
                                                 static_cast<int64_t>(0.05 * kRate));
    state.counters["rtf"] = (beats.cpu + onsets.cpu) / audio;
    state.SetLabel("aubio " + entry.name);
}

void allSongs(benchmark::internal::Benchmark* b)
{
    for (size_t i = 0; i < importrun::analysisSongs().size(); ++i)
        b->Arg(static_cast<int64_t>(i));
}

}  // namespace

BENCHMARK(BM_ImportAnalysis)->Apply(allSongs)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackerBeats)->Apply(allSongs)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerBeatsAndOnsets)->Apply(allSongs)->Iterations(1)->Unit(benchmark::kMillisecond);

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
