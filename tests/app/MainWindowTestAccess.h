#pragma once
// The main window's private state, for the window tests only.
#include "CKRMcore.h"
#include "KRMAudition.h"
#include "MainWindow.h"
#include "SectionWaveInfo.h"

struct MainWindowTestAccess {
    static CKRMcore& core(MainWindow& w) { return w.mCore; }
    static CKRMcore& work(MainWindow& w) { return w.mCoreWork; }
    static QLabel* statusLabel(MainWindow& w) { return w.mStatusLabel; }
    static KRMAudition& audition(MainWindow& w) { return w.mAudition; }
    static QString deviceName(MainWindow& w) { return w.mDeviceName; }
    static bool audioEnabled(MainWindow& w) { return w.mAudioEnabled; }
    static uint32_t projectState(MainWindow& w) { return w.mProjectState; }
    static MainWindow::ProgressDialog*& exportDialog(MainWindow& w) { return w.mExportDialog; }
    static QObject*& exportWorker(MainWindow& w) { return w.mExportWorker; }
    static QThread*& exportThread(MainWindow& w) { return w.mExportThread; }
    static QObject*& stretchWorker(MainWindow& w) { return w.mStretchWorker; }
    static QThread*& stretchThread(MainWindow& w) { return w.mStretchThread; }
    static bool applyRect(QWidget* w, const QRect& saved, const QRect& available)
    {
        return MainWindow::applyWindowRect(w, saved, available);
    }

    // The waveform view.
    static std::vector<wavPainter*>& layers(MainWindow& w) { return w.mLayers; }
    static uint32_t maxZoom(MainWindow& w) { return w.mHorMaxZoom; }
    static void setMaxZoom(MainWindow& w, uint32_t samples) { w.mHorMaxZoom = samples; }
    static uint32_t zoom(MainWindow& w) { return w.mHorZoom; }
    static double position(MainWindow& w) { return w.mHorZoomedWidth; }
    static void setView(MainWindow& w, int64_t zoom, double position)
    {
        w.updateScrollRange(zoom, position, false, 0);
    }
    static int32_t selectionStart(MainWindow& w) { return w.m_selectionStart; }
    static int32_t selectionEnd(MainWindow& w) { return w.m_selectionEnd; }
    static bool selectionExists(MainWindow& w) { return w.m_selectionExists; }
    static std::vector<uint32_t>& beatMarks(MainWindow& w) { return w.m_beatMarks; }
    static std::vector<uint32_t>& halfBeatMarks(MainWindow& w) { return w.m_halfBeatMarks; }
    static uint8_t edgeZone(MainWindow& w) { return w.mEdgeZone; }
    static QPoint dragAnchor(MainWindow& w) { return w.mDragAnchor; }
    static bool keyDrag(MainWindow& w) { return w.mKeyDrag; }
    static bool& playing(MainWindow& w) { return w.mPlaying; }
    static QRect locationRect(MainWindow& w) { return w.mLocationRect; }
    static int32_t snap(MainWindow& w, int32_t sample, const std::vector<uint32_t>& marks)
    {
        return w.snapToMarks(sample, marks);
    }
    static void followPlay(MainWindow& w, int x) { w.followPlayPosition(x); }
    static void refreshSection(MainWindow& w, bool rebuild) { w.refreshSection(rebuild); }
    static int columnOf(MainWindow& w, int64_t sample) { return w.columnOf(sample); }
    static int viewWidth(MainWindow& w) { return w.viewWidth(); }

    // Import and the control state.
    static anaThread*& analysisThread(MainWindow& w) { return w.mAnaThread; }
    static MainWindow::ProgressDialog*& importDialog(MainWindow& w) { return w.mImportDialog; }
    static QWidget*& stretchWindow(MainWindow& w) { return w.mStretchWindow; }
    static uint32_t& projectStateRef(MainWindow& w) { return w.mProjectState; }
    static bool& selectionExistsRef(MainWindow& w) { return w.m_selectionExists; }
    static int32_t& sectionRef(MainWindow& w) { return w.mSection; }
    static void analyzeErr(MainWindow& w) { w.analyzeErr(); }
    static void analyzed(MainWindow& w) { w.analyzed(); }
    static QString infoLine(const SectionWaveInfo& info) { return MainWindow::sectionInfoLine(info); }
    static void selectSectionIndex(MainWindow& w, int i) { w.selectSectionIndex(i); }
    static int waveIndexOf(MainWindow& w, const QString& path) { return w.waveIndexOf(path); }
    static uint32_t refreshControls(MainWindow& w, int s) { return w.refreshSectionControls(s); }
    static uint32_t refreshTrimFields(MainWindow& w, int s, uint32_t mask)
    {
        return w.refreshTrimFields(s, mask);
    }
    static void updateActions(MainWindow& w)
    {
        w.updateActions();
        w.updateUndoRedoActions();
    }
    // Every per-control rule routine, then the actions.
    static void applyRules(MainWindow& w)
    {
        w.refreshTempoSpin();
        w.refreshTimeSignatureField();
        w.refreshTrimControls();
        w.refreshFadeBox();
        w.refreshManualBox();
        w.refreshBarsControls();
        w.refreshTimeStretchBox();
        w.refreshClickBox();
        w.refreshMetroSlider();
        w.refreshBlankBox();
        w.refreshPickupControls();
        w.refreshWaveButtons();
        updateActions(w);
    }
    // Project workflows, section assignment and editing.
    static QString& projectPath(MainWindow& w) { return w.mProjectPath; }
    static void showSection(MainWindow& w, int section)
    {
        w.refreshSectionControls(section);
        w.syncSectionControls(section);
    }
    static int section(MainWindow& w) { return w.mSection; }
    static int& wave(MainWindow& w) { return w.mWave; }
    // Export, audition and time stretch.
    static QString checkExportable(MainWindow& w)
    {
        w.mCoreWork.assignFrom(w.mCore);
        return w.checkExportable();
    }
    static uint32_t maxBarsOfSection(int i) { return MainWindow::maxBarsOfSection(i); }
    static QString sectionMaskText(uint16_t mask) { return MainWindow::sectionMaskText(mask); }
    static void exportSty(MainWindow& w) { w.releasedBtnExportSty(); }
    static void exportErrorOnPreparation(MainWindow& w, ulong code)
    {
        w.releasedBtnExportStyErrorOnPreparation(code);
    }
    static void playLoop(MainWindow& w) { w.releasedBtnPlayLoop(); }
    static void timeStretchDone(MainWindow& w, ulong code, const QString& text)
    {
        w.timeStretchDone(code, text);
    }
    static void setSelection(MainWindow& w, int32_t start, int32_t end)
    {
        w.m_selectionStart = start;
        w.m_selectionEnd = end;
        w.m_selectionExists = true;
    }
    static uint32_t assignArea(MainWindow& w) { return w.assignAreaToSection(); }
    static uint8_t clickOn(MainWindow& w) { return w.mClickOn; }
    static uint32_t& beatShiftState(MainWindow& w) { return w.m_beatShiftState; }
    static uint32_t shift(MainWindow& w, bool later)
    {
        return later ? w.shiftSectionHalfBeat() : w.unshiftSectionHalfBeat();
    }
    static uint32_t setPickup(MainWindow& w, int halfBeats) { return w.setSectionPickup(halfBeats); }
    static uint32_t updateBars(MainWindow& w, int bars) { return w.updateBars(bars); }
    static uint32_t changeMeter(MainWindow& w, uint8_t n, uint8_t d) { return w.changeTimeSignature(n, d); }
    static uint32_t setManual(MainWindow& w, bool on) { return w.setSectionManual(on); }
    static uint32_t setFade(MainWindow& w, bool on) { return w.setSectionFade(on); }
    static uint32_t setBlank(MainWindow& w, bool on) { return w.setSectionBlank(on); }
    static uint32_t updateTempo(MainWindow& w, int bpm) { return w.updateTempo(bpm); }
    static uint32_t& dropKind(MainWindow& w) { return w.mDropKind; }
    static QTimer& dropTimer(MainWindow& w) { return w.mDropTimer; }
    static uint8_t& clickLevel(MainWindow& w) { return w.mClickLevel; }
    static bool& memoryFull(MainWindow& w) { return w.mMemoryFull; }
    static void applyWaveInfo(MainWindow& w, CKRMcore& loaded, int wave)
    {
        w.applyWaveInfoSections(loaded, w.mCore, wave);
    }
};
