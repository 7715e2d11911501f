// Writes a project of our making for end-to-end tests:
//   make_test_project <folder> [seconds [bpm=N] [tempo=N] [clicks]]
// puts song.wav, its wave-info file song.awi and song.svproj into the
// folder (the song at `bpm`, a click on every beat with `clicks`, the
// project at `tempo`; both 120 unless given) and prints one line per fact,
// "key=value": project, wav, awi, frames, intro (start,end), main
// (start,end), beats and onsets (comma-separated frames).
#include "BeatGrid.h"
#include "CKRMcore.h"
#include "TestProject.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <cstdio>

namespace {

QString frameList(const std::vector<float>& times)
{
    QStringList items;
    for (float t : times)
        items << QString::number(secondsToSamples(t));
    return items.join(',');
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: make_test_project <folder> [seconds [bpm=N] [tempo=N] [clicks]]\n");
        return 2;
    }
    testproject::Options options;
    if (args.size() >= 3)
        options.seconds = args[2].toDouble();
    for (const QString& option : args.mid(3)) {
        if (option.startsWith("bpm="))
            options.bpm = option.mid(4).toDouble();
        else if (option.startsWith("tempo="))
            options.projectTempo = option.mid(6).toDouble();
        else if (option == "clicks")
            options.clickSong = true;
        else {
            std::fprintf(stderr, "make_test_project: unknown option %s\n", qPrintable(option));
            return 2;
        }
    }
    QDir().mkpath(args[1]);
    testproject::Made made;
    const QString error = testproject::writeProject(QDir(args[1]).absolutePath(), options, made);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "make_test_project: %s\n", qPrintable(error));
        return 1;
    }
    // The wave-info file, written from the saved project as the analysis
    // writes it beside the audio.
    const QString awi = QDir(args[1]).absoluteFilePath("song.awi");
    CKRMcore core;
    if (core.loadProject(made.projectPath.toStdWString()) != 0 || core.saveAwi(awi.toStdWString(), 0) != 0) {
        std::fprintf(stderr, "make_test_project: cannot write %s\n", qPrintable(awi));
        return 1;
    }
    const QStringList lines = {
        "project=" + made.projectPath,
        "wav=" + made.wavPath,
        "awi=" + awi,
        QString("frames=%1").arg(made.frames),
        QString("intro=%1,%2").arg(made.introStart).arg(made.introEnd),
        QString("main=%1,%2").arg(made.mainStart).arg(made.mainEnd),
        "beats=" + frameList(made.beats),
        "onsets=" + frameList(made.onsets),
    };
    for (const QString& line : lines)
        std::printf("%s\n", qPrintable(line));
    return 0;
}
