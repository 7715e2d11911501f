// Rendering and exporting a project of four sections (Intro 1, Main A,
// Main B, Ending 1) cut from one synthesised song at the project tempo,
// with 16 s, 64 s and 240 s of section audio in all (1x, 4x, 16x).
//
// One benchmark per stage, in the order the export job runs them:
//   render   the four sections rendered to their working files
//   prepare  the rendered files handed to the style manager, settings set
//   attack   attack points of every section (transient detector)
//   beat     beat points
//   sync     cut points (quiet places between the beats)
//   template the template style fitted to the sections
//   audio    the audio part written to a file
//   export   the whole export (preparation, points, template, file)
//
// Counters: x_realtime is seconds of section audio per second of work;
// peak_MiB the most heap memory live at once during the stage, over what
// was live before; peak_per_audio that peak over the bytes of section
// audio. The label says which stretcher rendered: the engine's own, or
// a copying stand-in where this build has no stretch engine yet (every
// section is at the project tempo, so a stretch is a copy either way).
#include "AllocationCounter.h"
#include "CAudioInfo.h"
#include "CKRMcore.h"
#include "IF_timeStretch.h"
#include "Signals.h"
#include "WavFile.h"
#include "styMngr.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>

namespace {

constexpr uint32_t kBeat = 22050;  // 120 per minute
constexpr uint8_t kSections[4] = {0, 3, 4, 12};

// Copies the frames from the first to the last position: what a stretch
// at an unchanged tempo gives.
class CopyStretch : public IF_timeStretch {
public:
    uint32_t setInfo(const TimeStretchInfo&) override { return 0; }
    uint32_t stretch(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) override
    {
        out = in;
        return 0;
    }
    uint32_t stretchRange(const std::vector<uint8_t>& in, std::vector<uint8_t>& out,
                          const std::vector<uint32_t>& positions) override
    {
        // Positions count from the first one, which is the buffer's start.
        const size_t bytes = std::min(in.size(), 4 * size_t(positions.back() - positions.front()));
        out.assign(in.begin(), in.begin() + long(bytes));
        return 0;
    }
    uint32_t getEngineOutput(uint8_t& flag, std::vector<double>& ratios) override
    {
        flag = 0;
        ratios.assign(1, 1.0);
        return 0;
    }
    QString errorText() override { return {}; }
    void clearError() override { }
    bool hasError() override { return false; }
};

class BenchCore : public CKRMcore {
public:
    void useCopyStretch()
    {
        delete timeStretch;
        timeStretch = new CopyStretch;
    }
    ::styMngr* style() { return static_cast<::styMngr*>(styMngr); }
};

// One project, built once per size.
struct Project {
    QTemporaryDir dir;
    BenchCore core;
    double seconds = 0.0;  // of section audio
    double bytes = 0.0;
    std::string label = "engine stretch";
    bool rendered = false, prepared = false;

    explicit Project(int totalSeconds)
    {
        const int barsPerSection = std::max(1, totalSeconds / 8);
        testsig::SongSpec spec;
        spec.bpm = 120.0;
        spec.tailSeconds = 2.0;
        for (int k = 0; k < 4; ++k) {
            testsig::SongPart part;
            part.name = "part" + std::to_string(k);
            part.bars = barsPerSection;
            part.chords = {{k * 2, k % 2 == 1, false}, {(k * 2 + 5) % 12, false, true}};
            part.stabs = k % 2 == 0;
            spec.parts.push_back(part);
        }
        const testsig::Song song = testsig::makeSong(spec);
        const std::vector<float> stereo = testsig::interleave(song.left, song.right);
        std::vector<uint8_t> frames(stereo.size() * 2);
        for (size_t i = 0; i < stereo.size(); ++i) {
            const auto v =
                uint16_t(int16_t(std::lround(std::max(-1.0f, std::min(1.0f, stereo[i])) * 32767.0f)));
            frames[2 * i] = uint8_t(v);
            frames[2 * i + 1] = uint8_t(v >> 8);
        }
        const QString folder = dir.path();
        writeWavFile(folder + "/KRM_temp.wav", frames.data(), uint32_t(frames.size()));
        core.setResourcePath(0, 255, folder);
        core.setResourcePath(1, 255, QString(KRM_EMPTY_STYLE_FOLDER));

        const uint32_t beats = uint32_t(4 * 4 * barsPerSection);
        auto* wave = new WaveInfoRecord;
        wave->path = L"song.wav";
        for (uint32_t k = 0; k <= 2 * beats + 4; ++k)
            wave->beats.push_back(float(k * kBeat / 2) / 44100.0f);
        for (uint32_t k = 0; k <= beats + 2; ++k)
            wave->onsets.push_back(float(k * kBeat) / 44100.0f);
        if (core.addWavList(wave) != 0)
            delete wave;
        for (int k = 0; k < 4; ++k) {
            SectionRecord rec;
            rec.used = 1;
            rec.waveIndex = 0;
            rec.startAdrs = uint32_t(k * 4 * barsPerSection) * kBeat;
            rec.endAdrs = uint32_t((k + 1) * 4 * barsPerSection) * kBeat;
            core.setSecInfo(kSections[k], rec);
        }
        seconds = 4.0 * barsPerSection * 2.0;
        bytes = seconds * 176400.0;
    }

    bool render()
    {
        for (uint8_t s : kSections) {
            bool skipped = false;
            const uint32_t r = core.makeSectionAudio(s, skipped);
            if (r != 0 || skipped) {
                if (label == "engine stretch") {
                    // This build's engine has no stretcher yet.
                    label = "copying stand-in stretch";
                    core.clearError();
                    core.useCopyStretch();
                    return render();
                }
                return false;
            }
        }
        rendered = true;
        return true;
    }

    bool prepare()
    {
        if (!rendered && !render())
            return false;
        if (core.sendAllSectionAudio() != 0)
            return false;
        StyleInfo info;
        for (uint8_t i = 0; i < 15; ++i) {
            SectionRecord* sec = nullptr;
            core.getSecInfo(i, &sec);
            info.sectionLength[i] = sec->renderedFrames;
            info.sectionBars[i] = sec->barCount;
        }
        prepared = core.style()->setStyleInfo(info) == 0;
        return prepared;
    }

    // The wave forms of the four sections in the style manager's model.
    std::vector<std::pair<uint8_t, CAudioWaveForm*>> forms()
    {
        std::vector<std::pair<uint8_t, CAudioWaveForm*>> out;
        for (uint8_t s : kSections) {
            CAudioFile* f = core.style()->audioInfo()->findFileForSection(core.style()->sectionToStyleId(s));
            out.emplace_back(s, f ? f->getWaveForm() : nullptr);
        }
        return out;
    }
};

void quiet(QtMsgType, const QMessageLogContext&, const QString&)
{ }

Project& project(int totalSeconds)
{
    qInstallMessageHandler(&quiet);  // the undo stack logs every step
    static std::map<int, std::unique_ptr<Project>> projects;
    auto& p = projects[totalSeconds];
    if (!p)
        p = std::make_unique<Project>(totalSeconds);
    return *p;
}

// Wall and processor time of each stage per size, for the growth table
// printed at the end (processor time is the steadier figure on a loaded
// machine).
std::map<std::string, std::map<int, double>>& stageTimes()
{
    static std::map<std::string, std::map<int, double>> times;
    return times;
}

// Runs one stage per iteration and reports its rate and memory.
void runStage(benchmark::State& state, const char* name, bool needsPreparation,
              const std::function<bool(Project&)>& stage)
{
    Project& p = project(int(state.range(0)));
    if (needsPreparation && !p.prepared && !p.prepare()) {
        state.SkipWithError("preparing the project failed");
        return;
    }
    int64_t peak = 0;
    double milliseconds = 0.0, cpuMilliseconds = 0.0;
    for (auto _ : state) {
        testalloc::Scope heap;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        if (!stage(p)) {
            state.SkipWithError("stage failed");
            return;
        }
        milliseconds +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        cpuMilliseconds += 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        peak = std::max(peak, heap.peakBytes());
    }
    stageTimes()[name][int(state.range(0))] = milliseconds / double(state.iterations());
    stageTimes()[std::string(name) + " cpu"][int(state.range(0))] =
        cpuMilliseconds / double(state.iterations());
    state.SetLabel(p.label);
    state.counters["x_realtime"] =
        benchmark::Counter(p.seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["audio_s"] = p.seconds;
    state.counters["peak_MiB"] = double(peak) / (1 << 20);
    state.counters["peak_per_audio"] = double(peak) / p.bytes;
}

void BM_Render(benchmark::State& state)
{
    runStage(state, "render", false, [](Project& p) { return p.render(); });
}

void BM_Prepare(benchmark::State& state)
{
    runStage(state, "prepare", false, [](Project& p) { return p.prepare(); });
}

void BM_AttackPoints(benchmark::State& state)
{
    runStage(state, "attack", true, [](Project& p) {
        uint16_t mask = 0;
        for (auto [s, form] : p.forms())
            if (p.core.style()->makeAttackPoints(s, form, mask) != 0)
                return false;
        return true;
    });
}

void BM_BeatPoints(benchmark::State& state)
{
    runStage(state, "beat", true, [](Project& p) {
        uint16_t mask = 0;
        for (auto [s, form] : p.forms())
            if (p.core.style()->makeBeatPoints(s, form, mask) != 0)
                return false;
        return true;
    });
}

void BM_SyncPoints(benchmark::State& state)
{
    runStage(state, "sync", true, [](Project& p) {
        uint16_t mask = 0;
        for (auto [s, form] : p.forms())
            if (p.core.style()->makeSyncPoints(s, form, mask) != 0)
                return false;
        return true;
    });
}

void BM_Template(benchmark::State& state)
{
    runStage(state, "template", true, [](Project& p) {
        std::vector<uint8_t> out;
        return p.core.style()->buildTemplateStyle(out) == 0;
    });
}

void BM_AudioPart(benchmark::State& state)
{
    runStage(state, "audio", true, [](Project& p) {
        QFile file(p.dir.path() + "/part.bin");
        uint64_t bytes = 0;
        return file.open(QIODevice::WriteOnly) && p.core.style()->appendAudioPart(file, bytes) == 0;
    });
}

void BM_Export(benchmark::State& state)
{
    runStage(state, "export", true, [](Project& p) {
        uint32_t size = 0;
        uint16_t a = 0, b = 0, c = 0;
        return p.core.exportSty((p.dir.path() + "/out.aus").toStdWString(), size, a, b, c) == 0;
    });
}

}  // namespace

#define STAGE(f)                                                                                             \
    BENCHMARK(f)->Arg(16)->Arg(64)->Arg(240)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime()
STAGE(BM_Render);
STAGE(BM_Prepare);
STAGE(BM_AttackPoints);
STAGE(BM_BeatPoints);
STAGE(BM_SyncPoints);
STAGE(BM_Template);
STAGE(BM_AudioPart);
STAGE(BM_Export);

namespace {

// How each stage grows from 16 s to 64 s and 240 s of section audio (4x and
// 15x): linear growth gives ratios near 4 and 15.
void printGrowth()
{
    std::printf("\n%-18s %10s %10s %10s %9s %9s\n", "stage", "16 s ms", "64 s ms", "240 s ms", "64/16",
                "240/16");
    for (const auto& entry : stageTimes()) {
        const std::string& stage = entry.first;
        const auto& times = entry.second;  // a lambda may not capture a structured binding
        auto at = [&](int s) {
            const auto it = times.find(s);
            return it == times.end() ? 0.0 : it->second;
        };
        const double small = at(16);
        std::printf("%-18s %10.1f %10.1f %10.1f %9.1f %9.1f\n", stage.c_str(), small, at(64), at(240),
                    small > 0 ? at(64) / small : 0.0, small > 0 ? at(240) / small : 0.0);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printGrowth();
    return 0;
}
