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
    static uint8_t& clickLevel(MainWindow& w) { return w.mClickLevel; }
    static bool& memoryFull(MainWindow& w) { return w.mMemoryFull; }
};
