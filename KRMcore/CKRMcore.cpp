#include "CKRMcore.h"

#include "IF_onsetAnalyzer.h"
#include "IF_prjMngr.h"
#include "IF_segmenter.h"
#include "IF_styMngr.h"
#include "IF_timeStretch.h"
#include "KRMundo.h"
#include "base/ResultCode.h"
#include "TempFolder.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <iterator>
#include <memory>
#include <new>

using krm::fail;
using krm::kOk;
using krm::kSectionCount;
using krm::nest;
using krm::nestOnFail;

namespace {

// Standard locations 0..17 of QStandardPaths that a resource path may be
// based on; 254 and 255 are handled separately.
constexpr uint8_t kLastStandardLocation = 17;
constexpr uint8_t kCurrentFolder = 254;
constexpr uint8_t kExplicitFolder = 255;

QString currentFolder()
{
    return QDir::current().canonicalPath();
}

}  // namespace

CKRMcore::CKRMcore()
{
    // A factory that throws ends the construction; release what the earlier
    // ones made so that nothing leaks on the way out.
    try {
        styMngr = createStyMngr();
        timeStretch = createTimeStretch();
        segmenter = createSegmenter();
        onsetAnalyzer = createOnsetAnalyzer();
        prjMngr = createPrjMngr(this);
    } catch (...) {
        delete styMngr;
        delete timeStretch;
        delete segmenter;
        delete onsetAnalyzer;
        delete prjMngr;
        throw;
    }

    try {
        undoStack = new KRMundo();
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();  // the engine goes on without an undo stack
        undoStack = nullptr;
    }

    tempFolder = krm::platform::privateTempFolder();
    const QString c = currentFolder();
    templatePath = c + "/Empty.sty";
    clickPath1 = c + "/Metro1.wav";
    clickPath2 = c + "/Metro2.wav";
    if (styMngr)
        styMngr->setTemplatePath(templatePath);
}

CKRMcore::~CKRMcore()
{
    projectInfo.clearWaves();
    delete styMngr;
    delete timeStretch;
    delete segmenter;
    delete onsetAnalyzer;
    delete prjMngr;
    delete undoStack;
}

// ---------------------------------------------------------------- resource paths

uint32_t CKRMcore::setResourcePath(int8_t which, uint8_t location, const QString& folder)
{
    QString f;
    if (location <= kLastStandardLocation || location == kCurrentFolder) {
        const QString base =
            location == kCurrentFolder
                ? currentFolder()
                : QStandardPaths::writableLocation(static_cast<QStandardPaths::StandardLocation>(location));
        f = folder.isEmpty() ? base : base + "/" + folder;
    } else if (location == kExplicitFolder) {
        if (folder.isEmpty())
            return fail(1);
        f = folder;
    } else {
        return fail(2);
    }

    switch (which) {
    case 0:
        tempFolder = f;
        break;
    case 1:
        templatePath = f + "/Empty.sty";
        if (styMngr)
            styMngr->setTemplatePath(templatePath);
        break;
    case 2:
        clickPath1 = f + "/Metro1.wav";
        break;
    case 3:
        clickPath2 = f + "/Metro2.wav";
        break;
    default:
        return fail(3);
    }
    return kOk;
}

uint32_t CKRMcore::getResourcePath(int8_t which, QString& out) const
{
    switch (which) {
    case 0:
        out = tempFolder;
        return kOk;
    case 1:
        out = templatePath;
        return kOk;
    case 2:
        out = clickPath1;
        return kOk;
    case 3:
        out = clickPath2;
        return kOk;
    default:
        return fail(1);
    }
}

// ---------------------------------------------------------------- error state

QString CKRMcore::errorText() const
{
    return m_errorState.errorText();
}

void CKRMcore::setErrorText(const QString& text)
{
    m_errorState.setText(text);
}

void CKRMcore::clearError()
{
    m_errorState.clearError();
    if (styMngr)
        styMngr->clearError();
    if (timeStretch)
        timeStretch->clearError();
    if (segmenter)
        segmenter->clearError();
    if (onsetAnalyzer)
        onsetAnalyzer->clearError();
    if (prjMngr)
        prjMngr->clearError();
}

bool CKRMcore::hasError()
{
    if (styMngr && styMngr->hasError())
        return true;
    if (timeStretch && timeStretch->hasError())
        return true;
    if (segmenter && segmenter->hasError())
        return true;
    if (onsetAnalyzer && onsetAnalyzer->hasError())
        return true;
    if (prjMngr && prjMngr->hasError())
        return true;
    return m_errorState.hasError();
}

// ---------------------------------------------------------------- accessors

uint32_t CKRMcore::getSecInfo(uint8_t i, SectionRecord** out)
{
    return projectInfo.getSection(i, out);
}

uint32_t CKRMcore::getSecAndWavInfo(uint8_t i, SectionRecord** sec, WaveInfoRecord** wave)
{
    return projectInfo.getSecAndWave(i, sec, wave);
}

uint32_t CKRMcore::getWavInfo(uint8_t w, WaveInfoRecord** out)
{
    return projectInfo.getWave(w, out);
}

uint32_t CKRMcore::getWavInfoOfSec(uint8_t i, WaveInfoRecord** out)
{
    return projectInfo.getWaveOfSection(i, out);
}

uint32_t CKRMcore::getTimeSig(uint8_t* beatsPerBar, uint8_t* beatUnit) const
{
    return projectInfo.getTimeSig(beatsPerBar, beatUnit);
}

uint32_t CKRMcore::isWavUsed(uint8_t w, uint8_t* flag) const
{
    return projectInfo.isWaveUsed(w, flag);
}

uint32_t CKRMcore::setWave(uint8_t w, const WaveInfoRecord& rec)
{
    return projectInfo.setWave(w, rec);
}

void CKRMcore::resetComnInfo()
{
    projectInfo.resetCommonInfo();
}

void CKRMcore::clearSecInfo()
{
    projectInfo.clearSections();
}

void CKRMcore::clearWavList()
{
    projectInfo.clearWaves();
}

// ---------------------------------------------------------------- undo stack and flags

bool CKRMcore::canUndo() const
{
    return undoStack && undoStack->canUndo();
}

bool CKRMcore::canRedo() const
{
    return undoStack && undoStack->canRedo();
}

void CKRMcore::undo()
{
    if (undoStack)
        undoStack->undo();
}

void CKRMcore::redo()
{
    if (undoStack)
        undoStack->redo();
}

bool CKRMcore::isModified() const
{
    return undoStack && undoStack->isModified();
}

void CKRMcore::clearUndoStack()
{
    if (undoStack)
        undoStack->clear();
}

bool CKRMcore::isSecWavReady(uint8_t i) const
{
    return i < kSectionCount && secWavReady[i] != 0;
}

void CKRMcore::clearSecWavReady()
{
    for (uint8_t i = 0; i < kSectionCount; ++i) {
        secWavReady[i] = 0;
        stretchRatios[i].clear();
    }
}

void CKRMcore::setMaxPoints(uint32_t n)
{
    if (styMngr)
        styMngr->setMaxPoints(static_cast<int32_t>(n));
}

// ---------------------------------------------------------------- commits

namespace {

// What the four commits share: without an undo stack nothing can be
// committed (0x80000001); an exception while the body runs (in practice a
// failed copy) raises the engine's error flag and gives fail(exceptionStep).
template <typename Body>
uint32_t commit(const KRMundo* stack, krm::ErrorState& errors, uint32_t exceptionStep, Body body)
{
    if (!stack)
        return fail(1);
    try {
        return body();
    } catch (...) {
        errors.raiseFlag();
        return fail(exceptionStep);
    }
}

// Pushes one command as its own macro. The command is made before the macro
// opens, so a failed copy never leaves a macro open on the stack; an
// exception while it is applied closes the macro again before it travels on.
// While a project is being loaded (`recordHistory` false) the command is only
// applied: the loaded project is one state without history.
template <typename MakeCommand>
void pushStep(KRMundo& stack, const QString& macroText, MakeCommand make, bool recordHistory)
{
    std::unique_ptr<QUndoCommand> cmd(make());
    if (!recordHistory) {
        cmd->redo();
        return;
    }
    stack.beginMacro(macroText);
    try {
        stack.push(cmd.get());
        cmd.release();  // the stack owns it now
    } catch (...) {
        stack.endMacro();
        throw;
    }
    stack.endMacro();
}

// The common information that a commit of it starts from: 0, or the
// commit's step-2 failure when it cannot be fetched.
uint32_t fetchCommon(ProjectInfo& project, CommonInfo*& cur)
{
    cur = nullptr;
    const uint32_t r = project.getCommonInfo(&cur);
    return r != kOk || !cur ? nest(r, 2) : kOk;
}

}  // namespace

bool CKRMcore::applyManualBarsRule(ProjectInfo& project) const
{
    if (!m_manualBarsWithManyWaves || project.waveCount() < 2)
        return false;
    for (uint8_t i = 0; i < kSectionCount; ++i) {
        SectionRecord* rec = nullptr;
        if (project.getSection(i, &rec) == kOk && rec)
            rec->manualBars = rec->waveIndex != krm::kNoWave ? 1 : 0;
    }
    return true;
}

void CKRMcore::applyManualBarsRule(SectionRecord& rec) const
{
    if (m_manualBarsWithManyWaves && projectInfo.waveCount() >= 2)
        rec.manualBars = rec.waveIndex != krm::kNoWave ? 1 : 0;
}

uint32_t CKRMcore::setAllInfo(const ProjectInfo& given)
{
    return commit(undoStack, m_errorState, 2, [&] {
        SecWavFlags flags;
        for (uint8_t i = 0; i < kSectionCount; ++i)
            flags[i] = &secWavReady[i];
        std::unique_ptr<ProjectInfo> ruled;
        if (m_manualBarsWithManyWaves && given.waveCount() >= 2) {
            ruled = std::make_unique<ProjectInfo>();
            ruled->assign(given);
            applyManualBarsRule(*ruled);
        }
        const ProjectInfo& src = ruled ? *ruled : given;
        pushStep(
            *undoStack, "set all", [&] { return new SetAllInfoCommand(&projectInfo, "set all", src, flags); },
            !m_loadingProject);
        std::fill(std::begin(secWavReady), std::end(secWavReady), uint8_t(0));
        return kOk;
    });
}

uint32_t CKRMcore::setCommonInfo(const CommonInfo& info)
{
    return commit(undoStack, m_errorState, 3, [&] {
        CommonInfo* cur = nullptr;
        if (const uint32_t r = fetchCommon(projectInfo, cur))
            return r;
        if (*cur == info)
            return kOk;
        pushStep(
            *undoStack, "set common",
            [&] { return new SetComnInfoCommand(&projectInfo, "set common", info); }, !m_loadingProject);
        return kOk;
    });
}

uint32_t CKRMcore::updateTempo(uint32_t tempo)
{
    return commit(undoStack, m_errorState, 2, [&] {
        CommonInfo* cur = nullptr;
        if (const uint32_t r = fetchCommon(projectInfo, cur))
            return r;
        CommonInfo next = *cur;
        next.tempo = tempo;
        pushStep(
            *undoStack, "set common", [&] { return new SetComnInfoCommand(&projectInfo, "set tempo", next); },
            !m_loadingProject);
        clearSecWavReady();
        return kOk;
    });
}

uint32_t CKRMcore::updateSecInfo(uint8_t i, const SectionRecord& given)
{
    return commit(undoStack, m_errorState, 3, [&] {
        SectionRecord rec(given);
        applyManualBarsRule(rec);
        SectionRecord* cur = nullptr;
        const uint32_t r = projectInfo.getSection(i, &cur);
        if (r != kOk || !cur)
            return nest(r, 2);
        if (cur->equals(rec)) {
            // Only the rendered length may differ: it is not an edit.
            if (cur->renderedFrames == rec.renderedFrames)
                return kOk;
            return projectInfo.setSectionInfo(i, rec);
        }
        pushStep(
            *undoStack, "set section",
            [&] {
                return new SetSecInfoCommand(&projectInfo, QString("set section[%1]").arg(i), i, rec,
                                             &secWavReady[i]);
            },
            !m_loadingProject);
        secWavReady[i] = 0;
        return kOk;
    });
}

// ---------------------------------------------------------------- project operations

uint32_t CKRMcore::addWavList(WaveInfoRecord* rec)
{
    // Index 255 means "no wave" in a section, so a 256th wave could never be
    // addressed and would be taken for every unassigned section's wave.
    if (m_loadingProject) {
        // A project being loaded is built in place, one wave after another;
        // as with any commit, an engine without an undo stack refuses it.
        if (!undoStack)
            return nest(fail(1), 3);
        if (projectInfo.waveCount() >= krm::kNoWave)
            return fail(2);
        return nestOnFail(projectInfo.addWave(rec), 2);
    }
    CKRMcore temp;
    if (const uint32_t r = nestOnFail(temp.setAllInfo(projectInfo), 1))
        return r;
    if (temp.projectInfo.waveCount() >= krm::kNoWave)
        return fail(2);
    if (const uint32_t r = nestOnFail(temp.projectInfo.addWave(rec), 2))
        return r;
    if (const uint32_t r = nestOnFail(setAllInfo(temp.projectInfo), 3)) {
        // Give the record back to the caller instead of releasing it with
        // the temporary engine.
        temp.projectInfo.detachWave(static_cast<uint8_t>(temp.projectInfo.waveCount() - 1));
        return r;
    }
    return kOk;
}

uint32_t CKRMcore::assignFrom(const CKRMcore& other)
{
    if (const uint32_t r = setAllInfo(other.projectInfo))
        return r;
    tempFolder = other.tempFolder;
    templatePath = other.templatePath;
    clickPath1 = other.clickPath1;
    clickPath2 = other.clickPath2;
    return kOk;
}

uint32_t CKRMcore::loadProject(const std::wstring& path)
{
    if (!prjMngr)
        return fail(1);
    // The current project is kept aside, not copied, and the file is read
    // into an empty one. The file manager fills it through the engine's own
    // operations, which apply their values directly while the flag is set:
    // a loaded project is one state without history, and recording every
    // wave as an undo step holding a whole copy of the project made a load
    // cost grow with the cube of the project's size.
    ProjectInfo saved;
    saved.swap(projectInfo);
    // The load's own commits clear the rendered-section flags as they go;
    // a refused file must leave them, and the ratios, as they were.
    uint8_t savedReady[kSectionCount];
    std::copy(std::begin(secWavReady), std::end(secWavReady), std::begin(savedReady));
    std::vector<double> savedRatios[kSectionCount];
    for (uint8_t i = 0; i < kSectionCount; ++i)
        savedRatios[i].swap(stretchRatios[i]);
    struct LoadingFlag {
        bool& flag;
        explicit LoadingFlag(bool& f) : flag(f) { flag = true; }
        ~LoadingFlag() { flag = false; }
    };
    uint32_t r = nestOnFail(projectInfo.clearWaves(), 3);
    if (r == kOk)
        r = nestOnFail(projectInfo.clearSections(), 4);
    if (r == kOk)
        r = nestOnFail(projectInfo.resetCommonInfo(), 5);
    if (r == kOk) {
        try {
            LoadingFlag loading(m_loadingProject);
            r = nestOnFail(prjMngr->loadProject(path), 6);
        } catch (const std::bad_alloc&) {
            m_errorState.raiseFlag();
            r = nest(fail(1), 6);
        }
    }
    if (r != kOk) {
        // A refused file leaves the engine as it was: the project, its undo
        // history with its saved (unmodified) state, and the rendered
        // sections. Clearing the history here would make the kept project
        // count as saved, and the window would drop unsaved work unasked.
        projectInfo.swap(saved);
        std::copy(std::begin(savedReady), std::end(savedReady), std::begin(secWavReady));
        for (uint8_t i = 0; i < kSectionCount; ++i)
            stretchRatios[i].swap(savedRatios[i]);
        return r;
    }
    applyManualBarsRule(projectInfo);
    // A loaded project is one state without history and nothing rendered.
    clearUndoStack();
    clearSecWavReady();
    return kOk;
}

uint32_t CKRMcore::saveProject(const std::wstring& path)
{
    if (!prjMngr)
        return fail(1);
    if (const uint32_t r = nestOnFail(prjMngr->saveProject(path), 2)) {
        setErrorTextOnce(prjMngr->errorText());
        return r;
    }
    clearUndoStack();
    return kOk;
}

uint32_t CKRMcore::saveAwi(const std::wstring& path, uint8_t w)
{
    if (!prjMngr)
        return fail(1);
    return nestOnFail(prjMngr->saveWaveInfo(path, w), 2);
}

uint32_t CKRMcore::resetProject()
{
    if (const uint32_t r = nestOnFail(projectInfo.clearWaves(), 1))
        return r;
    if (const uint32_t r = nestOnFail(projectInfo.clearSections(), 2))
        return r;
    if (const uint32_t r = nestOnFail(projectInfo.resetCommonInfo(), 3))
        return r;
    clearUndoStack();
    clearSecWavReady();
    return kOk;
}
