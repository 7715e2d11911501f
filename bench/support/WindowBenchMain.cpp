#include "WindowBenchMain.h"

#include "MainWindow.h"
#include "MessageDialog.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

void dropDebug(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

}  // namespace

int runWindowBenchmarks(int argc, char** argv, const char* name)
{
    qInstallMessageHandler(dropDebug);
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The benchmarks measure the windows, not a sound card.
    qputenv("STELVANO_AUDIO_NULL", "1");
    qputenv("STELVANO_AUDIO_ALSA", "0");
    QApplication app(argc, argv);
    // A message box would wait for a click: it is answered with its default.
    MessageDialogScript boxes;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!boxes.shown().isEmpty())
        std::fprintf(stderr, "%s: %d message box(es) shown, first: %s\n", name, int(boxes.shown().size()),
                     qPrintable(boxes.shown()[0].text));
    return 0;
}

std::unique_ptr<MainWindow> openWindow(const QString& project)
{
    auto w = std::make_unique<MainWindow>(project);
    w->resize(1200, 700);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        std::fprintf(stderr, "the window was not exposed\n");
    w->repaint();
    QCoreApplication::processEvents();
    return w;
}
