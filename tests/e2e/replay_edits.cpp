// The engine's side of the project round trip of the end-to-end check:
//   replay_edits edits <project> <window's saved project> <out>
//     loads <project> and makes, through engine calls, the edits the
//     window makes for the round trip's input, then saves to <out>:
//       - Intro 1 is chosen (a section switch empties the undo history);
//       - "100" is typed into the tempo field: the field commits each
//         value it can show while typing, so the tempo becomes 10, then 100;
//       - Main A is chosen (the history is emptied again);
//       - a drag on the waveform gives Main A a new area: its beats and
//         offsets are read from the window's saved project, since they
//         depend on the pixels dragged; the rest of the edit is replayed;
//       - "Manual" rewrites the project on a work copy that the project
//         takes as one step;
//       - "4" is typed into the bars field;
//       - two undos and two redos.
//   replay_edits resave <project> <out>
//     loads the project and saves it unchanged to <out>.
// The window's files must be byte-identical to these.
#include "CKRMcore.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

constexpr uint8_t kIntro1 = 0;
constexpr uint8_t kMainA = 3;

bool failed(const char* what, uint32_t r)
{
    if (r != 0)
        std::fprintf(stderr, "%s failed [%x]\n", what, r);
    return r != 0;
}

SectionRecord* section(CKRMcore& core, uint8_t i)
{
    SectionRecord* rec = nullptr;
    return core.getSecInfo(i, &rec) == 0 ? rec : nullptr;
}

// Main A's new area as the drag stored it: beats, offsets and grid.
bool readDraggedArea(const QString& windowFile, SectionRecord& area)
{
    CKRMcore saved;
    if (failed("loading the window's project", saved.loadProject(windowFile.toStdWString())))
        return false;
    const SectionRecord* rec = section(saved, kMainA);
    if (!rec)
        return false;
    area = *rec;
    return true;
}

// The drag: the old record with the new area; fade and blank as the
// window's check boxes show them for Main A (blank is never set there).
uint32_t dragMainA(CKRMcore& core, const SectionRecord& area)
{
    const SectionRecord* old = section(core, kMainA);
    if (!old)
        return 0x80000001;
    SectionRecord next = *old;
    next.used = 1;
    next.waveIndex = 0;
    next.pickupOn = 0;
    next.startAdrs = area.startAdrs;
    next.startOffset = area.startOffset;
    next.endAdrs = area.endAdrs;
    next.endOffset = area.endOffset;
    next.toggle = area.toggle;
    return core.setSecInfo(kMainA, next);
}

uint32_t manualOn(CKRMcore& core)
{
    CKRMcore work;
    if (const uint32_t r = work.assignFrom(core))
        return r;
    const SectionRecord* rec = section(work, kMainA);
    if (!rec)
        return 0x80000001;
    SectionRecord copy = *rec;
    copy.manualBars = 1;
    if (const uint32_t r = work.setSecInfo(kMainA, copy))
        return r;
    return core.setAllInfo(*work.getProjectInfo());
}

uint32_t setBars(CKRMcore& core, uint16_t bars)
{
    const SectionRecord* rec = section(core, kMainA);
    if (!rec)
        return 0x80000001;
    SectionRecord copy = *rec;
    copy.setPointCount(bars);
    return core.setSecInfo(kMainA, copy);
}

bool replayEdits(CKRMcore& core, const QString& windowFile)
{
    SectionRecord area;
    if (!readDraggedArea(windowFile, area) || !section(core, kIntro1))
        return false;
    core.clearUndoStack();
    if (failed("tempo 10", core.updateTempo(10)) || failed("tempo 100", core.updateTempo(100)))
        return false;
    core.clearUndoStack();
    if (failed("the drag", dragMainA(core, area)) || failed("manual", manualOn(core)) ||
        failed("bars", setBars(core, 4)))
        return false;
    core.undo();
    core.undo();
    core.redo();
    core.redo();
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool edits = args.size() == 5 && args[1] == "edits";
    if (!edits && !(args.size() == 4 && args[1] == "resave")) {
        std::fprintf(stderr, "usage: replay_edits edits <project> <window's project> <out>\n"
                             "       replay_edits resave <project> <out>\n");
        return 2;
    }
    CKRMcore core;
    core.setManualBarsWithManyWaves(true);  // as the window's project engine
    if (failed("loading the project", core.loadProject(args[2].toStdWString())))
        return 1;
    if (edits && !replayEdits(core, args[3]))
        return 1;
    if (failed("saving", core.saveProject(args.last().toStdWString())))
        return 1;
    return 0;
}
