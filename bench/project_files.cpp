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

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
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

// Mean wall and processor time per operation by benchmark and wave count,
// for the growth lines printed at the end (processor time is the steadier
// figure on a loaded machine).
std::map<std::string, std::map<int, double>>& times()
{
    static std::map<std::string, std::map<int, double>> t;
    return t;
}

// Runs `operation` once per iteration, timing it; false stops the run.
template <typename Operation>
bool timeEach(benchmark::State& state, const char* name, int waves, Operation&& operation)
{
    double milliseconds = 0.0, cpuMilliseconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        if (!operation())
            return false;
        milliseconds +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        cpuMilliseconds += 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    }
    times()[name][waves] = milliseconds / double(state.iterations());
    times()[std::string(name) + " cpu"][waves] = cpuMilliseconds / double(state.iterations());
    return true;
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
    if (!timeEach(state, "save", waves, [&] { return mngr->saveProject(path) == 0; })) {
        state.SkipWithError("save failed");
        return;
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
    if (!timeEach(state, "load", waves, [&] { return engine.loadProject(path) == 0; })) {
        state.SkipWithError("load failed");
        return;
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
    // Linear growth gives 2, 4 and 8 for 2, 4 and 8 times the waves.
    std::printf("\n%-8s %9s %9s %9s %9s %7s %7s %7s\n", "", "32 ms", "64 ms", "128 ms", "255 ms", "64/32",
                "128/32", "255/32");
    for (const auto& entry : times()) {
        const std::string& name = entry.first;
        const auto& byWaves = entry.second;  // a lambda may not capture a structured binding
        auto at = [&](int w) {
            const auto it = byWaves.find(w);
            return it == byWaves.end() ? 0.0 : it->second;
        };
        const double base = at(32) > 0 ? at(32) : 1.0;
        std::printf("%-8s %9.3f %9.3f %9.3f %9.3f %7.1f %7.1f %7.1f\n", name.c_str(), at(32), at(64), at(128),
                    at(255), at(64) / base, at(128) / base, at(255) / base);
    }
    return 0;
}
