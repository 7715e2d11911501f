// The export job and the start of an audition as the user meets them in the
// main window (offscreen, on the null output), over songs of our making at
// 120 BPM with four sections (Intro 1, Main A, Main B, Ending 1) laid end to
// end over 16 s, 64 s and 240 s of audio (1x, 4x, 16x).
//  - BM_ExportJob: the export command with the file given by the window's
//    chooser: the readiness check, the job on its thread (each section's
//    working audio, then the style file) behind the busy dialog, and the
//    outcome. Counters: total_ms; x_realtime (seconds of section audio per
//    second); peak_rss_MiB, the process's peak resident memory during the
//    job over what it held before; gui_stall_ms, the longest gap between
//    ticks of a 1 ms timer on the GUI thread while the command runs (what
//    the window's own responsiveness suffers).
//  - BM_ExportStages: the job's stages one after the other on an engine
//    holding the same project: copy_ms, the song copied to the working copy
//    once (the preparation copies it once per section: copies_ms); cut_ms,
//    the four sections' working audio cut and stretched from it; export_ms,
//    the engine's export of the style file (compare bench_export's
//    BM_Export); copies_share, the per-section copies over the job's sum.
//  - BM_SpaceToFirstBlock: Space in the window to the first block the null
//    output renders while playing, 20 starts: mean_ms and worst_ms.
#include "WindowBenchMain.h"

#include "AudioDeviceASFF.h"
#include "CKRMcore.h"
#include "IF_audioFileMngr.h"
#include "MainWindow.h"
#include "TestProject.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kSections[4] = {0, 3, 4, 12};
constexpr int kBeatsPerBar = 4;

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

// The song of `seconds` of section audio (and a bar more), its project with
// the four sections of seconds / 8 bars each.
struct Song {
    testproject::Made made;
    QString project;
    double seconds = 0.0;
};

const Song& songOf(int seconds)
{
    static std::map<int, Song> songs;
    Song& song = songs[seconds];
    if (!song.project.isEmpty())
        return song;
    const QString dir = folder().filePath(QString::number(seconds));
    QDir().mkpath(dir);
    const QString error = testproject::writeProject(dir, {seconds + 4.0, 120.0}, song.made);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return song;
    }
    CKRMcore core;
    core.loadProject(song.made.projectPath.toStdWString());
    const int beats = seconds / 8 * kBeatsPerBar;
    for (int k = 0; k < 4; ++k)
        core.setSecInfo(kSections[k],
                        testproject::sectionOver(song.made.beats, k * beats, (k + 1) * beats, kBeatsPerBar));
    song.project = dir + "/four.svproj";
    core.saveProject(song.project.toStdWString());
    song.seconds = 4.0 * beats * 0.5;
    return song;
}

// One value of /proc/self/status in bytes ("VmRSS", "VmHWM").
int64_t statusBytes(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string name;
    int64_t kiB = 0;
    while (status >> name) {
        if (name == key + ":" && status >> kiB)
            return kiB * 1024;
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Starts a new peak of the resident memory (VmHWM) from what is resident now.
void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The longest gap between ticks of a 1 ms timer on the GUI thread.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        m_worst = 0.0;
        m_last = Clock::now();
        m_timer.start(1);
    }
    double stop()
    {
        tick();
        m_timer.stop();
        return m_worst;
    }

private:
    void tick()
    {
        m_worst = std::max(m_worst, msSince(m_last));
        m_last = Clock::now();
    }
    QTimer m_timer;
    Clock::time_point m_last;
    double m_worst = 0.0;
};

// The window takes its template style (and click sounds) from the current
// folder.
void useCheckedInAssets()
{
    QDir::setCurrent(QString(KRM_EMPTY_STYLE_FOLDER));
}

void BM_ExportJob(benchmark::State& state)
{
    const Song& song = songOf(int(state.range(0)));
    if (song.project.isEmpty()) {
        state.SkipWithError("no song");
        return;
    }
    useCheckedInAssets();
    const QString target = folder().filePath("job.aus");
    StallMeter meter;
    double total = 0.0, stall = 0.0;
    int64_t peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto w = openWindow(song.project);
        QFile::remove(target);
        MainWindow::setFileChooser([&](const MainWindow::FileChoice&) { return target; });
        state.ResumeTiming();

        resetPeakMemory();
        const int64_t before = statusBytes("VmRSS");
        meter.start();
        const auto t0 = Clock::now();
        QMetaObject::invokeMethod(w.get(), "releasedBtnExportSty");
        total += msSince(t0);
        stall = std::max(stall, meter.stop());
        peak = std::max(peak, statusBytes("VmHWM") - before);

        state.PauseTiming();
        MainWindow::setFileChooser(nullptr);
        w.reset();
        const bool written = QFileInfo(target).size() > 0;
        state.ResumeTiming();
        if (!written) {
            state.SkipWithError("the export wrote no file");
            return;
        }
    }
    const double n = double(state.iterations());
    state.counters["total_ms"] = total / n;
    state.counters["x_realtime"] = song.seconds / (total / n / 1000.0);
    state.counters["peak_rss_MiB"] = double(peak) / (1 << 20);
    state.counters["gui_stall_ms"] = stall;
}
BENCHMARK(BM_ExportJob)->Arg(16)->Arg(64)->Arg(240)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ExportStages(benchmark::State& state)
{
    const Song& song = songOf(int(state.range(0)));
    CKRMcore core;
    QTemporaryDir temp;
    if (song.project.isEmpty() || core.loadProject(song.project.toStdWString()) != 0) {
        state.SkipWithError("no project");
        return;
    }
    core.setResourcePath(0, 255, temp.path());
    core.setResourcePath(1, 255, QString(KRM_EMPTY_STYLE_FOLDER));
    WaveInfoRecord* wave = nullptr;
    core.getWavInfo(0, &wave);
    const std::unique_ptr<IF_audioFileMngr> files(createAudioFileMngr());
    double copy = 0.0, cut = 0.0, exported = 0.0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        bool ok = files->copyAudioFile(wave->path, temp.filePath("KRM_temp.wav")) == 0;
        copy += msSince(t0);
        t0 = Clock::now();
        for (uint8_t s : kSections) {
            bool warning = false;
            ok = ok && core.makeSectionAudio(s, warning) == 0;
        }
        cut += msSince(t0);
        t0 = Clock::now();
        uint32_t size = 0;
        uint16_t a = 0, b = 0, c = 0;
        ok = ok && core.exportSty(temp.filePath("stages.aus").toStdWString(), size, a, b, c) == 0;
        exported += msSince(t0);
        if (!ok) {
            static std::string why;  // the message must outlive the benchmark
            why = "a stage failed: " + core.errorText().toStdString();
            state.SkipWithError(why.c_str());
            return;
        }
    }
    const double n = double(state.iterations());
    const double copies = 4.0 * copy / n;
    state.counters["copy_ms"] = copy / n;
    state.counters["copies_ms"] = copies;
    state.counters["cut_ms"] = cut / n;
    state.counters["export_ms"] = exported / n;
    state.counters["copies_share"] = copies / (copies + (cut + exported) / n);
}
BENCHMARK(BM_ExportStages)->Arg(16)->Arg(64)->Arg(240)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SpaceToFirstBlock(benchmark::State& state)
{
    useCheckedInAssets();
    auto w = openWindow(songOf(16).project);
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (!holder) {
        state.SkipWithError("no output");
        return;
    }
    std::atomic<bool> rendered {false};
    // Emitted on the device thread for every block it renders while playing.
    const QMetaObject::Connection c = QObject::connect(
        holder.data(), &AudioDeviceASFF::signalLocation, holder.data(), [&rendered] { rendered = true; },
        Qt::DirectConnection);
    double total = 0.0, worst = 0.0;
    for (auto _ : state) {
        rendered = false;
        const auto t0 = Clock::now();
        QTest::keyClick(w.get(), Qt::Key_Space);
        while (!rendered && msSince(t0) < 5000.0)
            QThread::usleep(50);
        const double ms = msSince(t0);
        if (!rendered) {
            state.SkipWithError("Space started no play");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        total += ms;
        worst = std::max(worst, ms);
        QTest::keyClick(w.get(), Qt::Key_Space);  // stop
        QCoreApplication::processEvents();
    }
    QObject::disconnect(c);
    state.counters["mean_ms"] = total / double(state.iterations());
    state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_SpaceToFirstBlock)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return runWindowBenchmarks(argc, argv, "export_job");
}
