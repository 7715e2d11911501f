// The engine's reading of a wave-info file, for the end-to-end check of the
// audition's clicks:
//   wave_beats <wave-info file> <audio file> <audio frames>
// reads the file through the engine as an import does and prints
//   beats_per_bar=<n>
//   grid<t>=<frame>,<frame>,...   the frames of the beats of toggle grid t
//   first<t>=<k>                  the beat the audition of frame 0 starts on
// for t = 0 and 1.
#include "BeatGrid.h"
#include "CKRMcore.h"
#include "ProjectInfo.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool framesOk = false;
    const uint32_t frames = args.size() == 4 ? args[3].toUInt(&framesOk) : 0;
    if (!framesOk) {
        std::fprintf(stderr, "usage: wave_beats <wave-info file> <audio file> <audio frames>\n");
        return 2;
    }
    CKRMcore core;
    auto* record = new WaveInfoRecord;
    record->path = args[2].toStdWString();
    if (const uint32_t r = core.applyWaveInfo(record, args[1], frames)) {
        delete record;
        std::fprintf(stderr, "cannot read %s [%x]\n", qPrintable(args[1]), r);
        return 1;
    }
    WaveInfoRecord* wave = nullptr;
    uint8_t beatsPerBar = 4, beatUnit = 4;
    if (core.getWavInfo(0, &wave) != 0 || !wave || core.getTimeSig(&beatsPerBar, &beatUnit) != 0) {
        std::fprintf(stderr, "no wave after reading %s\n", qPrintable(args[1]));
        return 1;
    }
    std::printf("beats_per_bar=%u\n", beatsPerBar);
    for (uint8_t toggle = 0; toggle < 2; ++toggle) {
        const BeatGridLayout layout(wave->beats.size(), wave->beatStep, toggle);
        std::string line;
        for (uint64_t e = layout.first; layout.holds(e); e += layout.stride)
            line += (line.empty() ? "" : ",") + std::to_string(secondsToSamples(wave->beats[size_t(e)]));
        uint32_t first = 0;
        const bool found = core.beatIndexAtAddress(0, toggle, 0, first) == 0;
        std::printf("grid%u=%s\nfirst%u=%d\n", toggle, line.c_str(), toggle, found ? int(first) : -1);
    }
    return 0;
}
