// Importing a 4-minute song through the main window on the offscreen
// platform: the analysis on its thread behind the progress dialog (real-time
// factor = wall time / 240 s), the time from the file choice until the view
// has painted the result, the same with the ".awi" file reused, and how
// long the window waits for the analysis to stop after Cancel (the longest
// over cancels at several moments of the run).
//
// BM_ImportVsPeerChain/<song>/<minutes>: the whole import against the
// command-line beat tracker and onset detector of the aubio project
// (Debian's aubio-tools, default settings; `aubiotrack`, then
// `aubioonset`, the closest chain there is to ours: no section segmenter
// is packaged), on band songs of our own making (AnalysisSongs.h: the pop
// song in 4/4 and the waltz in 3/4) lengthened to 1, 4 and 16 minutes by
// repeating the parts between the intro and the ending. Both sides read
// the same 16-bit stereo WAV file. Ours is the import pipeline with the
// window's options, as the window's analysis worker runs it (working copy
// and wave-info file included). The two sides run one after the other in
// interleaved rounds (three, or IMPORT_BENCH_ROUNDS), the 1-minute song
// of the same spec in every round too, and the counters are medians over
// the rounds:
//   cpu_rtf       our CPU time (the process's, every thread) / song length
//   rtf           our wall time / song length
//   peer_cpu_rtf  the two peer programs' CPU time, summed / song length
//   cpu_vs_peer   our CPU time over the peer chain's (goal: at most 0.5)
//   growth        our CPU time over that of the 1-minute song (4 and 16
//                 for linear); peer_growth the same for the peer chain
//   audio_s       song length, seconds
// The label names the song and the peer chain, or says that aubio-tools is
// missing or failed (the peer figures are then left out). The Time and CPU
// columns cover every round of both sides; only the counters are figures.
#include "WindowBenchMain.h"
#include "AnalysisJob.h"
#include "AnalysisSongs.h"
#include "CKRMcore.h"
#include "IF_audioFileMngr.h"
#include "ImportPipeline.h"
#include "MainWindow.h"
#include "MessageDialog.h"
#include "PeerCommand.h"
#include "TestProject.h"
#include "TestWav.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSongSeconds = 240.0;

QString songPath()
{
    static QTemporaryDir folder;
    static QString path;
    if (path.isEmpty()) {
        testproject::Made made;
        const QString error = testproject::writeProject(folder.path(), {kSongSeconds, 120.0}, made);
        if (!error.isEmpty())
            fprintf(stderr, "import: %s\n", qPrintable(error));
        QFile::remove(made.projectPath);
        path = made.wavPath;
    }
    return path;
}

double ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// One new-project import of the song, shown and painted; the ".awi" is
// removed first unless `reuse`.
double importOnce(bool reuse)
{
    const QString wav = songPath();
    if (!reuse)
        QFile::remove(waveInfoPathOf(wav));
    MainWindow window {QString()};
    window.show();
    QApplication::processEvents();
    MainWindow::setFileChooser([&wav](const MainWindow::FileChoice&) { return wav; });
    const auto t0 = Clock::now();
    window.actionNewAudioStyleProject_with_Import->trigger();
    window.repaint();
    QApplication::processEvents();
    const auto t1 = Clock::now();
    MainWindow::setFileChooser(nullptr);
    return ms(t0, t1);
}

void BM_ImportAnalysed(benchmark::State& state)
{
    double total = 0.0;
    for (auto _ : state)
        total += importOnce(false);
    const double mean = total / double(state.iterations());
    state.counters["choice_to_view_ms"] = mean;
    state.counters["analysis_rtf"] = mean / 1000.0 / kSongSeconds;
}
BENCHMARK(BM_ImportAnalysed)->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_ImportReused(benchmark::State& state)
{
    importOnce(false);  // writes the ".awi"
    double total = 0.0;
    for (auto _ : state)
        total += importOnce(true);
    state.counters["choice_to_view_ms"] = total / double(state.iterations());
}
BENCHMARK(BM_ImportReused)->Iterations(3)->Unit(benchmark::kMillisecond);

// Cancel `afterMs` into the analysis; the wait lasts from the click until
// the cancel message, which the window shows once the thread has ended.
double cancelWait(int afterMs)
{
    const QString wav = songPath();
    QFile::remove(waveInfoPathOf(wav));
    MainWindow window {QString()};
    MainWindow::setFileChooser([&wav](const MainWindow::FileChoice&) { return wav; });
    Clock::time_point clicked {}, told {};
    MessageDialog::setResponder([&told](MessageDialog& box) -> QAbstractButton* {
        told = Clock::now();
        return box.buttons().value(0);
    });
    QTimer poll;
    Clock::time_point shown {};
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (shown == Clock::time_point {})
            shown = Clock::now();
        if (ms(shown, Clock::now()) >= afterMs) {
            poll.stop();
            clicked = Clock::now();
            dialog->cancel();
        }
    });
    poll.start(5);
    window.actionNewAudioStyleProject_with_Import->trigger();
    MessageDialog::setResponder(nullptr);
    MainWindow::setFileChooser(nullptr);
    if (clicked == Clock::time_point {} || told == Clock::time_point {})
        return 0.0;  // the analysis ended before the cancel
    return ms(clicked, told);
}

void BM_CancelWait(benchmark::State& state)
{
    double longest = 0.0;
    for (auto _ : state) {
        for (int at : {100, 1000, 3000, 6000})
            longest = std::max(longest, cancelWait(at));
    }
    state.counters["longest_wait_ms"] = longest;
}
BENCHMARK(BM_CancelWait)->Iterations(1)->Unit(benchmark::kMillisecond);

// `spec` made about `minutes` long: its first and last parts kept, the
// parts between repeated in order, the last repeat cut short to fit (its
// fill still in its last bar). A spec of fewer than three parts is kept.
testsig::BandSong lengthened(const testsig::BandSong& spec, double minutes)
{
    if (spec.parts.size() < 3)
        return spec;
    const double beatSeconds = 60.0 / spec.bpm;
    const double around = spec.leadInSeconds + spec.holdSeconds + spec.pickupBeats * beatSeconds;
    const int bars = std::max(
        1, static_cast<int>(std::lround((minutes * 60.0 - around) / (spec.beatsPerBar * beatSeconds))));
    const testsig::BandPart& last = spec.parts.back();
    testsig::BandSong out = spec;
    out.parts.assign(1, spec.parts.front());
    int at = spec.parts.front().bars;
    for (size_t i = 0; at + last.bars < bars; ++i) {
        testsig::BandPart p = spec.parts[1 + i % (spec.parts.size() - 2)];
        p.bars = std::min(p.bars, bars - last.bars - at);
        at += p.bars;
        out.parts.push_back(p);
    }
    out.parts.push_back(last);
    return out;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2.0;
}

int benchRounds()
{
    const char* text = std::getenv("IMPORT_BENCH_ROUNDS");
    return std::max(1, text ? std::atoi(text) : 3);
}

// One song on both sides: its file, length and the times of every round.
struct Side {
    QString wav;
    double seconds = 0.0;
    std::vector<double> cpu, wall, peerCpu;
    bool peerFailed = false;
};

bool prepare(Side& side, const testsig::BandSong& spec, const QString& path)
{
    const testsig::Song song = testsig::makeBandSong(spec);
    side.wav = path;
    side.seconds = static_cast<double>(song.left.size()) / 44100.0;
    return testwav::writeSong(path, song);
}

// The import as the window's analysis worker runs it: the wave-info file
// beside the song, the working copy in the same folder.
uint32_t ourImport(Side& side, IF_audioFileMngr* files)
{
    CKRMcore core;
    ImportPipeline pipeline(core, files, AnalysisOptions());
    ImportPaths paths;
    paths.audio = side.wav;
    paths.work = side.wav + ".work.wav";
    paths.waveInfo = waveInfoPathOf(side.wav);
    const auto start = Clock::now();
    const double cpu = peer::processCpuSeconds();
    const uint32_t code = pipeline.run(paths);
    side.cpu.push_back(peer::processCpuSeconds() - cpu);
    side.wall.push_back(ms(start, Clock::now()) / 1000.0);
    return code;
}

void peerChain(Side& side)
{
    const std::string quoted = "'" + side.wav.toStdString() + "'";
    const peer::Run beats = peer::run("aubiotrack -i " + quoted);
    const peer::Run onsets = peer::run("aubioonset -i " + quoted);
    if (beats.ok && onsets.ok)
        side.peerCpu.push_back(beats.cpu + onsets.cpu);
    else
        side.peerFailed = true;
}

void BM_ImportVsPeerChain(benchmark::State& state, const std::string& songName)
{
    const auto& songs = importrun::analysisSongs();
    const auto entry = std::find_if(songs.begin(), songs.end(), [&](const importrun::AnalysisSong& s) {
        return s.name.compare(0, songName.size(), songName) == 0;
    });
    if (entry == songs.end()) {
        state.SkipWithError(("no song named " + songName).c_str());
        return;
    }
    const auto minutes = static_cast<int>(state.range(0));
    QTemporaryDir folder;
    Side whole, oneMinute;
    if (!prepare(whole, lengthened(entry->spec, minutes), folder.filePath("song.wav")) ||
        (minutes != 1 && !prepare(oneMinute, lengthened(entry->spec, 1.0), folder.filePath("one.wav")))) {
        state.SkipWithError("cannot write the song");
        return;
    }
    std::vector<Side*> sides {&whole};
    if (minutes != 1)
        sides.push_back(&oneMinute);
    static const bool havePeer = peer::available("aubiotrack --help") && peer::available("aubioonset --help");
    const std::unique_ptr<IF_audioFileMngr> files(createAudioFileMngr());
    for (auto _ : state) {
        for (int round = 0; round < benchRounds(); ++round) {
            for (Side* side : sides) {
                // Which side goes first alternates, so neither always
                // meets a warm or a cold cache.
                if (havePeer && round % 2 == 1)
                    peerChain(*side);
                if (const uint32_t code = ourImport(*side, files.get())) {
                    state.SkipWithError(("the import failed with code " + std::to_string(code)).c_str());
                    return;
                }
                if (havePeer && round % 2 == 0)
                    peerChain(*side);
            }
        }
    }
    const Side& base = minutes == 1 ? whole : oneMinute;
    const double cpu = median(whole.cpu);
    state.counters["audio_s"] = whole.seconds;
    state.counters["cpu_rtf"] = cpu / whole.seconds;
    state.counters["rtf"] = median(whole.wall) / whole.seconds;
    state.counters["growth"] = cpu / median(base.cpu);
    const std::string label = entry->name + ", " + std::to_string(minutes) + " min";
    if (!havePeer || whole.peerFailed || base.peerFailed) {
        state.SetLabel(label + (havePeer ? "; aubio failed" : "; aubio-tools not installed") +
                       ": peer figures left out");
        return;
    }
    const double peerCpu = median(whole.peerCpu);
    state.counters["peer_cpu_rtf"] = peerCpu / whole.seconds;
    state.counters["cpu_vs_peer"] = cpu / peerCpu;
    state.counters["peer_growth"] = peerCpu / median(base.peerCpu);
    state.SetLabel(label + "; peer: aubiotrack + aubioonset");
}

// 1, 4 and 16 minutes, each once: the rounds are inside.
void songLengths(benchmark::internal::Benchmark* b)
{
    b->Arg(1)->Arg(4)->Arg(16)->Iterations(1)->Unit(benchmark::kMillisecond);
}
BENCHMARK_CAPTURE(BM_ImportVsPeerChain, pop, std::string("pop 4/4"))->Apply(songLengths);
BENCHMARK_CAPTURE(BM_ImportVsPeerChain, waltz, std::string("waltz 3/4"))->Apply(songLengths);

}  // namespace

int main(int argc, char** argv)
{
    return runWindowBenchmarks(argc, argv, "import");
}
