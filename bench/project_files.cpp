// Saving and loading project files of many analysed waves (5000 beat-list
// entries and 2000 onsets each). Loading goes through the engine, which
// builds the loaded project in place as one state; the complexity fit over
// 32 to 255 waves shows how the cost grows with the size of the project
// (linear is the goal).
//
// Counters: bytes_per_second is file bytes moved per second; x_realtime is
// seconds of analysed audio (half-beat entries at 120 bpm, 0.25 s each)
// handled per second of work.
#include "CKRMcore.h"
#include "IF_prjMngr.h"
#include "ProjectInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kBeats = 5000;
constexpr int kOnsets = 2000;
constexpr double kSecondsPerEntry = 0.25;
constexpr double kAudioSecondsPerWave = kBeats * kSecondsPerEntry;

// Fills the engine's project directly: the set-up is not what is measured.
void fillProject(CKRMcore& engine, int waves)
{
    for (int w = 0; w < waves; ++w) {
        auto rec = std::make_unique<WaveInfoRecord>();
        rec->path = L"/music/project/take " + std::to_wstring(w) + L".wav";
        rec->beats.reserve(kBeats);
        for (int k = 0; k < kBeats; ++k)
            rec->beats.push_back(float(k * kSecondsPerEntry));
        rec->onsets.reserve(kOnsets);
        for (int k = 0; k < kOnsets; ++k)
            rec->onsets.push_back(float(k * kSecondsPerEntry * kBeats / kOnsets + 0.01));
        rec->barLength = 2.0f;
        rec->detectedMarks = {{0.0f, 3}, {600.0f, 7}};
        rec->fittedMarks = {{0.0f, 3}, {600.0f, 7}};
        engine.getProjectInfo()->addWave(rec.release());
    }
    for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
        SectionRecord* s = nullptr;
        engine.getSecInfo(i, &s);
        s->used = 1;
        s->waveIndex = uint8_t(i % waves);
        s->startAdrs = 44100u * i;
        s->endAdrs = 44100u * (i + 8);
        s->setPointCount(8);
    }
}

void setCounters(benchmark::State& state, int waves, int64_t fileBytes)
{
    state.SetBytesProcessed(state.iterations() * fileBytes);
    state.SetComplexityN(waves);
    state.counters["waves"] = waves;
    state.counters["x_realtime"] =
        benchmark::Counter(waves * kAudioSecondsPerWave, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_SaveProject(benchmark::State& state)
{
    const int waves = int(state.range(0));
    QTemporaryDir dir;
    const std::wstring path = dir.filePath("bench.svproj").toStdWString();
    CKRMcore engine;
    fillProject(engine, waves);
    std::unique_ptr<IF_prjMngr> mngr(createPrjMngr(&engine));
    for (auto _ : state) {
        if (mngr->saveProject(path) != 0) {
            state.SkipWithError("save failed");
            return;
        }
    }
    setCounters(state, waves, QFile(dir.filePath("bench.svproj")).size());
}

void BM_LoadProject(benchmark::State& state)
{
    const int waves = int(state.range(0));
    QTemporaryDir dir;
    const std::wstring path = dir.filePath("bench.svproj").toStdWString();
    {
        CKRMcore source;
        fillProject(source, waves);
        if (source.saveProject(path) != 0) {
            state.SkipWithError("save failed");
            return;
        }
    }
    CKRMcore engine;
    for (auto _ : state) {
        if (engine.loadProject(path) != 0) {
            state.SkipWithError("load failed");
            return;
        }
    }
    setCounters(state, waves, QFile(dir.filePath("bench.svproj")).size());
}

}  // namespace

BENCHMARK(BM_SaveProject)
    ->RangeMultiplier(2)
    ->Range(32, 255)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity();
BENCHMARK(BM_LoadProject)
    ->RangeMultiplier(2)
    ->Range(32, 255)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity();

// The undo stack logs every step to Qt's debug output; keep it off the
// benchmark's console.
void dropDebug(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtDebugMsg)
        fprintf(stderr, "%s\n", qPrintable(msg));
}

int main(int argc, char** argv)
{
    qInstallMessageHandler(dropDebug);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
