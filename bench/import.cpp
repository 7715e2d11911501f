// Importing a 4-minute song through the main window on the offscreen
// platform: the analysis on its thread behind the progress dialog (real-time
// factor = wall time / 240 s), the time from the file choice until the view
// has painted the result, the same with the ".awi" file reused, and how
// long the window waits for the analysis to stop after Cancel (the longest
// over cancels at several moments of the run).
#include "WindowBenchMain.h"
#include "AnalysisJob.h"
#include "MainWindow.h"
#include "MessageDialog.h"
#include "TestProject.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

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

}  // namespace

int main(int argc, char** argv)
{
    return runWindowBenchmarks(argc, argv, "import");
}
