// What the user waits for while editing a section of a 5-minute song in the
// main window (offscreen): a drag on the waveform with the assignment and
// refreshes it starts, a tempo step, an undo with its refreshes; and opening
// and saving a project of 16 audio files. Each prints ms per operation.
#include "WindowBenchMain.h"
#include "CKRMcore.h"
#include "MainWindow.h"
#include "TestProject.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileOpenEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

const testproject::Made& longSong()
{
    static testproject::Made made;
    if (made.projectPath.isEmpty()) {
        QDir(folder().path()).mkpath("long");
        const QString error = testproject::writeProject(folder().filePath("long"), {300.0, 120.0}, made);
        if (!error.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(error));
    }
    return made;
}

// The long song sixteen times (links to one audio file), each file holding
// one section.
QString sixteenFileProject()
{
    static QString path;
    if (!path.isEmpty())
        return path;
    const testproject::Made& song = longSong();
    CKRMcore core;
    core.loadProject(song.projectPath.toStdWString());
    WaveInfoRecord* first = nullptr;
    core.getWavInfo(0, &first);
    SectionRecord* main = nullptr;
    core.getSecInfo(3, &main);
    const SectionRecord mainCopy = *main;
    for (int i = 1; i < 16; ++i) {
        const QString link = folder().filePath(QString("long/take%1.wav").arg(i));
        QFile::link(song.wavPath, link);
        auto* wave = new WaveInfoRecord(*first);
        wave->path = link.toStdWString();
        core.addWavList(wave);
        if (i < krm::kSectionCount && i != 3) {
            SectionRecord s = mainCopy;
            s.waveIndex = uint8_t(i);
            core.setSecInfo(uint8_t(i), s);
        }
    }
    path = folder().filePath("long/sixteen.svproj");
    core.saveProject(path.toStdWString());
    return path;
}

void BM_DragOnTheWaveform(benchmark::State& state)
{
    auto w = openWindow(longSong().projectPath);
    QWidget* frame = w->mFrameWav;
    const int y = frame->height() / 4;
    int step = 0;
    for (auto _ : state) {
        const int x0 = frame->width() / 5 + (step++ % 7);
        const int x1 = frame->width() / 2;
        const QPoint p0 = frame->mapTo(w.get(), QPoint(x0, y));
        const QPoint p1 = frame->mapTo(w.get(), QPoint(x1, y));
        QTest::mousePress(w->windowHandle(), Qt::LeftButton, Qt::NoModifier, p0);
        QTest::mouseMove(w->windowHandle(), p1);
        QTest::mouseRelease(w->windowHandle(), Qt::LeftButton, Qt::NoModifier, p1);
        w->repaint();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_DragOnTheWaveform)->Unit(benchmark::kMillisecond);

void BM_TempoStepAndUndo(benchmark::State& state)
{
    auto w = openWindow(longSong().projectPath);
    int tempo = 100;
    for (auto _ : state) {
        w->mSpinTempo->setValue(tempo);
        tempo = tempo == 100 ? 101 : 100;
        QMetaObject::invokeMethod(w.get(), "undo");
        w->repaint();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_TempoStepAndUndo)->Unit(benchmark::kMillisecond);

void BM_OpenSixteenFiles(benchmark::State& state)
{
    const QString project = sixteenFileProject();
    auto w = openWindow(QString());
    for (auto _ : state) {
        QFileOpenEvent event(project);
        QApplication::sendEvent(w.get(), &event);
    }
}
BENCHMARK(BM_OpenSixteenFiles)->Unit(benchmark::kMillisecond);

void BM_SaveSixteenFiles(benchmark::State& state)
{
    auto w = openWindow(sixteenFileProject());
    for (auto _ : state)
        QMetaObject::invokeMethod(w.get(), "saveProject");
}
BENCHMARK(BM_SaveSixteenFiles)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return runWindowBenchmarks(argc, argv, "section_editing");
}
