// The engine's side of the project round trip of the end-to-end check:
//   replay_edits select-all <project> <out>
//     loads the project, gives "Main A" the whole audio as select all does
//     (sample 0 to the last onset), undoes and redoes it and saves to <out>;
//   replay_edits resave <project> <out>
//     loads the project and saves it unchanged to <out>.
// The window's files must be byte-identical to these.
#include "BeatGrid.h"
#include "CKRMcore.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 || (args[1] != "select-all" && args[1] != "resave")) {
        std::fprintf(stderr, "usage: replay_edits select-all|resave <project> <out>\n");
        return 2;
    }
    CKRMcore core;
    if (core.loadProject(args[2].toStdWString()) != 0) {
        std::fprintf(stderr, "cannot load %s\n", qPrintable(args[2]));
        return 1;
    }
    if (args[1] == "select-all") {
        constexpr uint8_t kMainA = 3;
        SectionRecord* main = nullptr;
        WaveInfoRecord* wave = nullptr;
        if (core.getSecInfo(kMainA, &main) != 0 || core.getWavInfo(0, &wave) != 0) {
            std::fprintf(stderr, "no Main A or audio file\n");
            return 1;
        }
        SectionRecord all = *main;
        all.used = 1;
        all.waveIndex = 0;
        all.startAdrs = 0;
        all.startOffset = 0;
        all.endAdrs = wave->onsets.empty() ? 0 : secondsToSamples(wave->onsets.back());
        all.endOffset = 0;
        if (core.setSecInfo(kMainA, all) != 0) {
            std::fprintf(stderr, "Main A refused the whole audio\n");
            return 1;
        }
        core.undo();
        core.redo();
    }
    if (const uint32_t r = core.saveProject(args[3].toStdWString())) {
        std::fprintf(stderr, "cannot save [%x]\n", r);
        return 1;
    }
    return 0;
}
