#pragma once
// The main window's private state, for the window tests only.
#include "CKRMcore.h"
#include "KRMAudition.h"
#include "MainWindow.h"

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

    // Project workflows, section assignment and editing.
    static QString& projectPath(MainWindow& w) { return w.mProjectPath; }
    static void showSection(MainWindow& w, int section)
    {
        w.refreshSectionControls(section);
        w.syncSectionControls(section);
    }
    static int section(MainWindow& w) { return w.mSection; }
    static int& wave(MainWindow& w) { return w.mWave; }
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
    static void applyWaveInfo(MainWindow& w, CKRMcore& loaded, int wave)
    {
        w.applyWaveInfoSections(loaded, w.mCore, wave);
    }
};
