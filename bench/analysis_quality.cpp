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
//   downbeatF  downbeat F-measure, +-70 ms, of the bars the section
//              segmenter's analysis reports (beat of each bar event)
//   chordRoot, chordMaj  share of true beats whose reported chord (held
//              from each change) has the true root, and the true root and
//              major/minor quality; a true beat with no detected beat
//              within +-70 ms counts as wrong
// The downbeat and chord figures come from a second run of the section
// segmenter on the same audio with an observer, outside the timed import.
// Figures that need the section segmenter are printed only when the build
// has it; the label says when it does not.
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
#include "ImportRun.h"
#include "MusicConstants.h"
#include "PeerCommand.h"
#include "Segmenter/SectionSegmenter.h"
#include "Signals.h"
#include "base/WavFile.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
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

// A chord type counts as minor when its third is minor.
bool minorType(int type)
{
    if (type < 0 || type >= kChordTypeCount)
        return false;
    const std::string name = chordTypeNames[type];
    return name.rfind("MIN", 0) == 0 || name.rfind("MM7", 0) == 0 || name.rfind("DIM", 0) == 0;
}

// Downbeat F-measure and per-beat chord accuracy from the segmenter's
// reports on the song.
void scoreBarsAndChords(const testsig::Song& song, benchmark::State& state)
{
    testsig::MemorySource source(testsig::interleave(song.left, song.right), 2);
    testsig::RecordingObserver seen;
    SectionSegmenter seg;
    seg.setProgress(&seen);
    seg.setTimeSignature(-1, 0, -1, -1);
    seg.analyze(source);
    const std::vector<float> beats = seg.getGeneratorIndices();
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
    int rootOk = 0, bothOk = 0;
    for (size_t t = 0; t < song.beats.size(); ++t) {
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
    const double n = static_cast<double>(std::max<size_t>(1, song.beats.size()));
    state.counters["chordRoot"] = rootOk / n;
    state.counters["chordMaj"] = bothOk / n;
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
    scoreBarsAndChords(song, state);
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
    const testsig::Song song = testsig::makeSong(entry.spec);
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
    const testsig::Song song = testsig::makeSong(entry.spec);
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
