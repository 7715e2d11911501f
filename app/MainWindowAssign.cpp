// Ties audio to the current section: choosing a project audio file for it,
// clearing its audio (and dropping files no section uses any more), taking
// the area dragged on the waveform as its range on the beat grid, and
// select all / clear all. Every change copies the engine's record, changes
// the copy and hands it back.
#include "MainWindow.h"

#include "BeatGrid.h"
#include "MessageDialog.h"
#include "ResultCode.h"
#include "UpdateGuard.h"
#include "WaveInfoStore.h"

#include <QApplication>
#include <QFileInfo>

#include <algorithm>

namespace {

const char* const kTitle = "Stelvano";

QString hex(uint32_t r)
{
    return QString::number(r, 16);
}

void clearFocusedWidget()
{
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
}

}  // namespace

bool MainWindow::confirmReassign()
{
    return MessageDialog::showMessage(
               this, kTitle,
               tr("This section already has a waveform assignment. Are you sure you want to change it?"),
               QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) != QMessageBox::Cancel;
}

void MainWindow::showSectionWave()
{
    SectionRecord* rec = nullptr;
    const int wave = mSection >= 0 && mSection < krm::kSectionCount &&
                             mCore.getSecInfo(uint8_t(mSection), &rec) == 0 && rec &&
                             rec->waveIndex < waveCount()
                         ? int(rec->waveIndex)
                         : -1;
    UpdateGuard guard(mUpdating);
    mWave = selectWaveIndex(wave);
}

void MainWindow::currentIdxChangedCmbWav()
{
    if (mUpdating)
        return;
    const bool wasPlaying = mPlaying;
    if (wasPlaying)
        releasedBtnStopped();
    const int chosen = mCmbWav->currentIndex();
    WaveInfoRecord* wave = nullptr;
    if (chosen < 0 || mCore.getWavInfo(uint8_t(chosen), &wave) != 0 || !wave)
        return;
    const QString audioPath = QString::fromStdWString(wave->path);
    uint32_t frames = 0;
    if (const uint32_t r = checkAudioFile(audioPath, frames)) {
        showMessage(tr("#0100 opening audio file process returns some error! [%1] ").arg(hex(r)) +
                    mCore.errorText());
        showSectionWave();
        return;
    }
    // The file's kept analysis, beside it or in the cache; without one the
    // load below reports the missing file beside it.
    QString waveInfoPath = servingWaveInfoOf(audioPath, frames);
    if (waveInfoPath.isEmpty())
        waveInfoPath = waveInfoPathOf(audioPath);
    uint32_t r = 0;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        r = switchSectionWave(waveInfoPath, audioPath, frames);
        QApplication::restoreOverrideCursor();
    }
    if (r != 0) {
        showMessage(mMemoryFull
                        ? tr("#0112 memory full")
                        : tr("#0114 changing wave file process returns some error! [%1]").arg(hex(r)));
        return;
    }
    removeUnusedWaves(QString());
    {
        UpdateGuard guard(mUpdating);
        resetProjectFields(false);
        clearFocusedWidget();
    }
    refreshSection(true);
    resetBeatShift();
    updateActions();
    updateUndoRedoActions();
    if (wasPlaying)
        releasedBtnPlayLoop();
}

uint32_t MainWindow::switchSectionWave(const QString& waveInfoPath, const QString& audioPath, uint32_t frames)
{
    CKRMcore loaded;
    loaded.resetComnInfo();
    loaded.clearWavList();
    loaded.clearError();
    mMemoryFull = false;
    SectionRecord* rec = nullptr;
    const uint32_t e = mCore.getSecInfo(uint8_t(mSection), &rec);
    if (e != 0 || !rec) {
        mMemoryFull = mCore.hasError();
        return krm::nest(e, 1);
    }
    const int chosen = mCmbWav->currentIndex();
    if (rec->used && int(rec->waveIndex) != chosen) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        const bool ok = confirmReassign();
        QApplication::restoreOverrideCursor();
        if (!ok) {
            showSectionWave();
            return 0;
        }
    }
    if (const uint32_t r = loadWaveInfoFile(loaded, audioPath, waveInfoPath, frames))
        return r;
    mWave = chosen;
    applyWaveInfoSections(loaded, mCore, chosen);
    refreshSection(true);
    clearFocusedWidget();
    return 0;
}

void MainWindow::releasedBtnUnlinkAudio()
{
    if (changeSectionWave() == 0)
        refreshSection(true);
}

uint32_t MainWindow::changeSectionWave()
{
    if (mCmbWav->count() == 0)
        return 0;
    SectionRecord* rec = nullptr;
    const uint32_t e = mCore.getSecInfo(uint8_t(mSection), &rec);
    if (e != 0 || !rec) {
        mMemoryFull = mCore.hasError();
        return krm::nest(e, 1);
    }
    if (int(rec->waveIndex) == mCmbWav->currentIndex() && rec->used && !confirmReassign())
        return 1;
    uint32_t r = 0;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        SectionRecord cleared = *rec;
        cleared.clear();
        r = mCore.setSecInfo(uint8_t(mSection), cleared);
        if (r == 0)
            r = removeUnusedWaves(QString());
        QApplication::restoreOverrideCursor();
    }
    if (r != 0) {
        mMemoryFull = mCore.hasError();
        if (mMemoryFull)
            showMessage(tr("#0112 memory full"));
        if (!mCore.errorText().isEmpty())
            showMessage(mCore.errorText() + "\r\n[" + hex(r) + "]");
        return r;
    }
    mWave = -1;
    selectSectionIndex(mSection);
    clearFocusedWidget();
    return 0;
}

uint32_t MainWindow::assignAreaToSection()
{
    if (mSection < 0 || mSection >= krm::kSectionCount)
        return 0;
    const uint8_t section = uint8_t(mSection);
    const auto fail = [this](uint32_t code) {
        showMessage(tr("#0090 some error occurs [%1]").arg(hex(code)));
        return code;
    };
    SectionRecord* rec = nullptr;
    if (const uint32_t e = mCore.getSecInfo(section, &rec); e != 0 || !rec)
        return fail(krm::nest(e, 1));
    WaveInfoRecord* wave = nullptr;
    if (const uint32_t e = mWave < 0 ? krm::fail(1) : mCore.getWavInfo(uint8_t(mWave), &wave);
        e != 0 || !wave)
        return fail(krm::nest(e, 2));
    const SectionRecord old = *rec;
    const auto restoreSelection = [this, &old] {
        m_selectionStart = int32_t(old.startAdrs);
        m_selectionEnd = int32_t(old.endAdrs);
        refreshSection(true);
    };
    SectionRecord next = old;
    next.used = 1;
    next.waveIndex = uint8_t(mWave);
    next.fadeOn = mChkFade->isChecked() ? 1 : 0;
    next.pickupOn = mChkBlank->isChecked() ? 1 : 0;

    const uint32_t lower = uint32_t(std::max(0, std::min(m_selectionStart, m_selectionEnd)));
    const uint32_t upper = uint32_t(std::max(0, std::max(m_selectionStart, m_selectionEnd)));
    if (lower == upper) {
        restoreSelection();
        mStatusLabel->setText(QString("<font color='red'>%1</font>")
                                  .arg(tr("[Error] Section assigned area should be selected.")));
        return 0;
    }
    // A blank intro starts with its pickup: its bars count back from the
    // end, so the parity comes from the end.
    const bool pickup = mChkBlank->isChecked() && (section == 0 || section == 1);
    const uint8_t w = uint8_t(mWave);
    uint8_t parity = 0;
    if (const uint32_t e =
            CKRMcore::beatParityAt(wave->beats, pickup ? upper : lower, wave->beatStep, parity))
        return fail(krm::nest(e, pickup ? 3 : 4));
    uint32_t startBeat = 0;
    uint32_t endBeat = 0;
    if (const uint32_t e = mCore.beatIndexAtAddress(w, parity, lower, startBeat))
        return fail(krm::nest(e, 5));
    if (const uint32_t e = mCore.beatIndexAtAddress(w, parity, upper, endBeat))
        return fail(krm::nest(e, 6));
    if (pickup) {
        uint8_t n = 0;
        uint8_t d = 0;
        if (const uint32_t e = mCore.getTimeSig(&n, &d); e != 0 || n == 0)
            return fail(krm::nest(e, 7));
        const uint32_t r = (endBeat - startBeat) % n;
        if (r != 0)
            startBeat += r;
        uint8_t offset = 0;
        int32_t distance = 0;
        if (const uint32_t e = mCore.nearestBeatOffset(w, parity, startBeat, lower, offset, distance))
            return fail(krm::nest(e, 8));
        if (old.pickupHalfBeats == 0 && offset % 2 == 0) {
            startBeat -= r;
        } else {
            next.pickupHalfBeats = offset;
            next.pickupOffset = distance;
        }
    }
    const BeatGridLayout grid(wave->beats.size(), wave->beatStep, parity);
    const uint64_t i = grid.entryOf(startBeat);
    if (!grid.holds(i))
        return fail(krm::fail(9));
    next.startAdrs = secondsToSamples(wave->beats[size_t(i)]);
    next.startOffset = pickup && next.pickupHalfBeats != 0 ? 0 : int32_t(int64_t(lower) - next.startAdrs);
    const uint64_t j = grid.entryOf(endBeat);
    if (!grid.holds(j))
        return fail(0x8000000A);
    next.endAdrs = secondsToSamples(wave->beats[size_t(j)]);
    next.endOffset = int32_t(int64_t(upper) - next.endAdrs);
    next.toggle = parity;

    if (const uint32_t e = mCore.setSecInfo(section, next)) {
        restoreSelection();
        mStatusLabel->setText(
            QString("<font color='red'>%1</font>").arg(tr("[Error] Wave length is too short.")));
        return krm::nest(e, 0xB);
    }
    refreshControls();
    return 0;
}

void MainWindow::selectAllSections(bool select)
{
    WaveInfoRecord* wave = nullptr;
    const int file = mCmbWav->currentIndex();
    if (file >= 0)
        mCore.getWavInfo(uint8_t(file), &wave);
    const uint32_t end = wave && !wave->onsets.empty() ? secondsToSamples(wave->onsets.back()) : 0;
    m_selectionStart = 0;
    m_selectionExists = select;
    m_selectionEnd = select ? int32_t(end) : 0;
    applySelectionToPainters();
    SectionRecord* rec = nullptr;
    if (mSection >= 0 && mSection < krm::kSectionCount && mCore.getSecInfo(uint8_t(mSection), &rec) == 0 &&
        rec) {
        SectionRecord copy = *rec;
        copy.used = select ? 1 : 0;
        copy.waveIndex = file < 0 ? krm::kNoWave : uint8_t(file);
        copy.startAdrs = 0;
        copy.startOffset = 0;
        copy.endAdrs = uint32_t(m_selectionEnd);
        copy.endOffset = 0;
        mCore.setSecInfo(uint8_t(mSection), copy);
    }
    refreshAfterEdit();
    update();
}

void MainWindow::onSelectAll()
{
    selectAllSections(true);
}

void MainWindow::onClearAll()
{
    selectAllSections(false);
}
