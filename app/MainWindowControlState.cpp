// Bringing the main window's controls in step with the project engine after
// every load, edit, undo and redo: the values the controls show, which
// controls and menu actions are enabled, and the section's information line
// in the status label. Every routine sets values under the update guard and
// writes a control only when its value differs.
#include "MainWindow.h"

#include "BeatGrid.h"
#include "ResultCode.h"
#include "SectionNames.h"
#include "SectionWaveInfo.h"
#include "UpdateGuard.h"

#include <QApplication>
#include <QDebug>

#include <cmath>
#include <cstdlib>

namespace {

using krm::isEnding;
using krm::isIntro;
using krm::isSectionIndex;

bool stretchOutOfRange(double percent)
{
    return percent < 50.0 || percent > 200.0;
}

QString sixDecimals(uint32_t samples)
{
    return QString::number(double(samplesToSeconds(samples)), 'f', 6);
}

}  // namespace

// ---------------------------------------------------------------- conditions

bool MainWindow::isBusy() const
{
    return mStretchWindow || mImportDialog || mExportDialog || mStretchDialog;
}

bool MainWindow::hasCurrentWave() const
{
    return mCmbWav->currentIndex() != -1;
}

bool MainWindow::editable() const
{
    return isProjectOpen() && hasCurrentWave();
}

SectionRecord* MainWindow::currentRecord()
{
    SectionRecord* record = nullptr;
    if (!isSectionIndex(mSection) || mCore.getSecInfo(uint8_t(mSection), &record) != 0)
        return nullptr;
    return record;
}

// ---------------------------------------------------------------- the rule routines

void MainWindow::refreshTempoSpin()
{
    mLabelTempo->setEnabled(editable());
    mSpinTempo->setEnabled(editable());
    CommonInfo* common = nullptr;
    if (mCore.getProjectInfo()->getCommonInfo(&common) != 0 || !common)
        return;
    if (mSpinTempo->value() != int(common->tempo)) {
        UpdateGuard guard(mUpdating);
        mSpinTempo->setValue(int(common->tempo));
    }
}

void MainWindow::refreshTimeSignatureField()
{
    mLEditBeat->setEnabled(editable());
    uint8_t beatsPerBar = 4, beatUnit = 4;
    if (mCore.getTimeSig(&beatsPerBar, &beatUnit) != 0)
        return;
    const QString text = QString("%1/%2").arg(beatsPerBar).arg(beatUnit);
    if (mLEditBeat->text() != text) {
        UpdateGuard guard(mUpdating);
        mLEditBeat->setText(text);
        mLEditBeat->setPlaceholderText(text);
    }
}

void MainWindow::refreshTrimControls()
{
    for (QWidget* w :
         std::initializer_list<QWidget*> {mLEditTrimStart, mLEditTrimEnd, mStartTimeLabel, mEndTimeLabel})
        w->setEnabled(editable());
    if (waveCount() > 0)
        refreshTrimFields(mSection, 3);
}

void MainWindow::refreshFadeBox()
{
    mChkFade->setEnabled(editable());
    const SectionRecord* record = currentRecord();
    const bool checked = record && record->fadeOn != 0;
    if (mChkFade->isChecked() != checked) {
        UpdateGuard guard(mUpdating);
        mChkFade->setChecked(checked);
    }
}

void MainWindow::refreshManualBox()
{
    const int files = waveCount();
    mChkManual->setEnabled(editable() && files < 2);
    const SectionRecord* record = currentRecord();
    const bool checked = files >= 2 || (record && record->manualBars == 1);
    if (mChkManual->isChecked() != checked) {
        UpdateGuard guard(mUpdating);
        mChkManual->setChecked(checked);
    }
}

void MainWindow::refreshBarsControls()
{
    const bool on = editable() && mChkManual->isChecked();
    mSpinBars->setEnabled(on);
    mBarLabel->setEnabled(on);
    const SectionRecord* record = currentRecord();
    if (record && mSpinBars->value() != int(record->barCount)) {
        UpdateGuard guard(mUpdating);
        mSpinBars->setValue(int(record->barCount));
    }
}

void MainWindow::refreshTimeStretchBox()
{
    mChkTimeStretch->setEnabled(editable() && m_selectionExists);
    if (mChkTimeStretch->isChecked() != m_timeStretchOn) {
        UpdateGuard guard(mUpdating);
        mChkTimeStretch->setChecked(m_timeStretchOn);
    }
}

void MainWindow::refreshClickBox()
{
    const bool manual = mChkManual->isChecked();
    mChkClick->setEnabled(editable() && m_selectionExists && !manual);
    const bool checked = mClickOn != 0 && !manual;
    if (mChkClick->isChecked() != checked) {
        UpdateGuard guard(mUpdating);
        mChkClick->setChecked(checked);
    }
    if (manual)
        mClickOn = 0;
}

void MainWindow::refreshMetroSlider()
{
    mSliderMetro->setEnabled(editable() && m_selectionExists);
    if (mSliderMetro->value() != int(mClickLevel)) {
        UpdateGuard guard(mUpdating);
        mSliderMetro->setValue(int(mClickLevel));
    }
}

void MainWindow::refreshBlankBox()
{
    const bool manual = mChkManual->isChecked();
    mChkBlank->setEnabled(editable() && !manual && (isIntro(mSection) || isEnding(mSection)));
    const SectionRecord* record = currentRecord();
    const bool checked = record && record->pickupOn != 0 && !manual;
    if (mChkBlank->isChecked() != checked) {
        UpdateGuard guard(mUpdating);
        mChkBlank->setChecked(checked);
    }
}

void MainWindow::refreshPickupControls()
{
    const bool manual = mChkManual->isChecked();
    const SectionRecord* record = currentRecord();
    const bool on = editable() && !manual && isIntro(mSection) && record && record->pickupOn != 0;
    for (QWidget* w : std::initializer_list<QWidget*> {mSpinPickup, mPickupLabel, mBeatLabel})
        w->setEnabled(on);
    const int value = manual || !record ? 0 : int(record->pickupHalfBeats);
    if (mSpinPickup->value() != value) {
        UpdateGuard guard(mUpdating);
        mSpinPickup->setValue(value);
    }
}

void MainWindow::refreshPlayButton()
{
    mPushButtonPlay->setEnabled(editable() && m_selectionExists);
    mPushButtonPlay->setIcon(QIcon(mPlaying ? ":/img/btn_stop.png" : ":/img/btn_play.png"));
}

void MainWindow::updateShiftBeatButtonText()
{
    mBtnShiftBeatPosition->setEnabled(editable() && !mChkManual->isChecked());
    const QString text = m_beatShiftState == 0 ? tr("Shift Beat Position") : tr("Unshift Beat Position");
    if (mBtnShiftBeatPosition->text() != text)
        mBtnShiftBeatPosition->setText(text);
}

void MainWindow::refreshBeatDoubleButton()
{
    mBtnBeatAnaDouble->setEnabled(editable() && !mChkManual->isChecked());
}

void MainWindow::refreshBeatHalfButton()
{
    mBtnBeatAnaHalf->setEnabled(editable() && !mChkManual->isChecked());
}

void MainWindow::refreshWaveButtons()
{
    mBtnImport->setEnabled(isProjectOpen());
    mBtnUnlink->setEnabled(editable());
    refreshPlayButton();
    updateShiftBeatButtonText();
    refreshBeatDoubleButton();
    refreshBeatHalfButton();
}

void MainWindow::resetBeatShift()
{
    refreshWaveButtons();
    m_beatShiftState = 0;
    updateShiftBeatButtonText();
}

void MainWindow::refreshControls()
{
    refreshSectionControls(mSection);
    syncSectionControls(mSection);
    updateActions();
    updateUndoRedoActions();
}

// ---------------------------------------------------------------- actions

void MainWindow::updateActions()
{
    const bool idle = !isBusy();
    for (QAction* a : {actionNewAudioStyleProject, actionNewAudioStyleProject_with_Import,
                       actionOpenAudioStyleProject, actionQuit})
        a->setEnabled(idle);
    actionSaveAudioStyleProject->setEnabled(idle && isProjectOpen());
    actionSaveAudioStyleProject_as->setEnabled(idle && isProjectOpen());
    actionExport_as_AudioStyleFile->setEnabled(idle && waveCount() >= 1);
}

void MainWindow::updateUndoRedoActions()
{
    actionUndo->setEnabled(!isBusy() && mCore.canUndo());
    actionRedo->setEnabled(!isBusy() && mCore.canRedo());
}

// ---------------------------------------------------------------- trim fields

uint32_t MainWindow::refreshTrimFields(int section, uint32_t mask)
{
    if (section != mCmbTrimSec->currentIndex() || waveCount() == 0 || mask == 0 || !isSectionIndex(section))
        return 0;
    UpdateGuard guard(mUpdating);
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    const uint32_t r = mCore.getSecAndWavInfo(uint8_t(section), &sec, &wave);
    if (r != 0 || !sec || !wave)
        return krm::nest(r, 2);
    m_trimStartBeat = 0;
    m_trimEndBeat = 0;
    if (mask & 1)
        mCore.beatIndexAtAddress(sec->waveIndex, sec->toggle, sec->startAdrs, m_trimStartBeat);
    if (mask & 2)
        mCore.beatIndexAtAddress(sec->waveIndex, sec->toggle, sec->endAdrs, m_trimEndBeat);
    return resetTrimControls(mask);
}

uint32_t MainWindow::resetTrimControls(uint32_t mask)
{
    if (mask == 0)
        return 0;
    UpdateGuard guard(mUpdating);
    for (QLineEdit* field : {mLEditTrimStart, mLEditTrimEnd}) {
        field->clear();
        field->setPlaceholderText(QString());
    }
    for (QWidget* w :
         std::initializer_list<QWidget*> {mLEditTrimStart, mLEditTrimEnd, mStartTimeLabel, mEndTimeLabel})
        w->setEnabled(editable());
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    const int s = mCmbTrimSec->currentIndex();
    const uint32_t r = isSectionIndex(s) ? mCore.getSecAndWavInfo(uint8_t(s), &sec, &wave) : krm::fail(1);
    if (r != 0 || !sec || !wave)
        return krm::nest(r, 2);
    const auto fill = [](QLineEdit* field, const QString& text) {
        field->setText(text);
        field->setPlaceholderText(text);
    };
    if (sec->manualBars) {
        fill(mLEditTrimStart, sixDecimals(sec->startAdrs));
        fill(mLEditTrimEnd, sixDecimals(sec->endAdrs));
        return 0;
    }
    const size_t step = std::max<size_t>(1, wave->beatStep);
    bool startDone = !(mask & 1), endDone = !(mask & 2);
    uint32_t beat = 0;
    for (size_t i = size_t(sec->toggle ? 1 : 0) * step; i < wave->beats.size() && !(startDone && endDone);
         i += 2 * step, ++beat) {
        qDebug().noquote() << QString("%1:%2").arg(i).arg(double(wave->beats[i]));
        const QString text = QString::number(double(wave->beats[i]), 'f', 6);
        if (!startDone && beat == m_trimStartBeat) {
            fill(mLEditTrimStart, text);
            startDone = true;
        }
        if (!endDone && beat == m_trimEndBeat) {
            fill(mLEditTrimEnd, text);
            endDone = true;
        }
    }
    return 0;
}

// ---------------------------------------------------------------- information line

QString MainWindow::sectionInfoLine(const SectionWaveInfo& info)
{
    if (info.m_section == -1)
        return QString();
    const int limit = int(krm::maxBarsOfSection(info.m_section));
    if (info.m_bars > uint32_t(limit))
        return tr("<font color='red'>Please make the \"Bar\" value equal to or smaller than %1.")
            .arg(tr(limit == 1 ? "1" : "32"));
    const double waveLength = std::fabs(info.m_endTime - info.m_startTime);
    if (waveLength * 10000.0 < 1.0)
        return tr("<font color='red'>Selected range of waveform is too short.");
    double sectionLength = 0.0;
    if (info.m_beatUnit != 0 && info.m_tempo != 0.0) {
        const double x = double(info.m_bars) * info.m_beatsPerBar * 240.0 / (info.m_beatUnit * info.m_tempo);
        sectionLength = (std::floor(x * 10000.0) + 5.0) / 10000.0;
    }
    const double stretch = sectionLength < 0.01 ? 0.0 : waveLength / sectionLength * 100.0;
    int estimated = 0;
    if (info.m_beatUnit != 0 && info.m_bars != 0 && waveLength != 0.0)
        estimated = int(double(info.m_beatsPerBar * 4 / info.m_beatUnit) * info.m_bars * 60.0 / waveLength);
    const QString tempoPart =
        info.m_manual ? QString::asprintf("[Estimated tempo] %d - ", estimated) : QString();
    const QString rest = QString::asprintf(
        "[Section length] %.3f sec. - [Wave length] %.3f sec. - [Time stretch]<font color='%s'> "
        "%.2f %%",
        sectionLength, waveLength, stretchOutOfRange(stretch) ? "red" : "black", stretch);
    return tempoPart + rest;
}

QString MainWindow::showSectionInfo(int section)
{
    return sectionInfoLine(SectionWaveInfo(&mCore, section));
}

void MainWindow::setRedStatus(const QString& text)
{
    mStatusLabel->setText("<font color='red'>" + text);
}

// ---------------------------------------------------------------- refresh

uint32_t MainWindow::refreshSectionControls(int section)
{
    const bool played = mPlaying;
    if (mPlaying)
        releasedBtnStopped();
    // Reads only: the manual-bars rule of several audio files is applied
    // where the project is changed, never by a display refresh.
    SectionRecord* record = nullptr;
    if (isSectionIndex(section)) {
        if (const uint32_t r = mCore.getSecInfo(uint8_t(section), &record))
            return krm::nest(r, 4);
    }
    UpdateGuard guard(mUpdating);
    if (isSectionIndex(section)) {
        mSection = section;
        if (mCmbTrimSec->currentIndex() != section)
            mCmbTrimSec->setCurrentIndex(section);
    }
    fillWaveCombo();
    selectWaveIndex(record && record->waveIndex < waveCount() ? int(record->waveIndex) : -1);
    refreshTempoSpin();
    refreshTimeSignatureField();
    refreshTrimControls();
    refreshFadeBox();
    mFrameWav->setEnabled(editable());
    refreshManualBox();
    refreshBarsControls();
    refreshTimeStretchBox();
    refreshClickBox();
    refreshMetroSlider();
    refreshBlankBox();
    refreshPickupControls();
    mStatusLabel->setText("<font color='black'>" + showSectionInfo(mSection));
    updateScrollRange(mHorZoom, mHorZoomedWidth, false, 0);
    refreshWaveButtons();
    if (played && !mUndoRedoRunning)
        releasedBtnPlayLoop();
    return 0;
}

uint32_t MainWindow::syncSectionControls(int section)
{
    UpdateGuard guard(mUpdating);
    if (section >= krm::kSectionCount)
        section = isSectionIndex(mSection) ? mSection : krm::kSectionCount;
    if (isSectionIndex(section) && mCmbTrimSec->currentIndex() != section)
        mCmbTrimSec->setCurrentIndex(section);
    SectionRecord* record = nullptr;
    if (isSectionIndex(section) && mCore.getSecInfo(uint8_t(section), &record) == 0 && record) {
        const bool manual = mChkManual->isChecked();
        if (manual) {
            mChkClick->setChecked(false);
            mBtnBeatAnaHalf->setEnabled(false);
            mBtnBeatAnaDouble->setEnabled(false);
        }
        mChkBlank->setChecked(record->pickupOn != 0 && !manual);
        if (manual) {
            for (QWidget* w : std::initializer_list<QWidget*> {mSpinPickup, mPickupLabel, mBeatLabel})
                w->setEnabled(false);
        }
        mChkFade->setChecked(record->fadeOn != 0);
    }
    const uint32_t r = syncViewMarks(section);
    update();
    if (r == 0 || r == krm::fail(1))
        return r;
    return krm::nest(r, 2);
}

uint32_t MainWindow::refreshSectionAll(bool rebuild)
{
    WaveInfoRecord* wave = nullptr;
    if (isSectionIndex(mSection) && mSection != 3 &&
        (mCore.getWavInfoOfSec(uint8_t(mSection), &wave) != 0 || !wave)) {
        SectionRecord* current = nullptr;
        SectionRecord* mainA = nullptr;
        if (mCore.getSecInfo(uint8_t(mSection), &current) == 0 && current &&
            mCore.getSecInfo(3, &mainA) == 0 && mainA) {
            const SectionRecord a(*current), b(*mainA);
            mCore.updateSecInfo(uint8_t(mSection), b);
            mCore.updateSecInfo(3, a);
            mCore.setSecInfo(uint8_t(mSection), b);
            mCore.setSecInfo(3, a);
            collectSectionLabels();
        }
    }
    refreshSection(rebuild);
    return 0;
}

// ---------------------------------------------------------------- section combo and resets

void MainWindow::fillSectionCombo()
{
    UpdateGuard guard(mUpdating);
    mCmbTrimSec->clear();
    for (int i = 0; i < krm::kSectionCount; ++i)
        mCmbTrimSec->addItem(QCoreApplication::translate("MainWindow", sectionNames[i]));
    mCmbTrimSec->setEnabled(isProjectOpen());
}

void MainWindow::selectSectionIndex(int index)
{
    UpdateGuard guard(mUpdating);
    if (waveCount() >= 1) {
        mSection = -1;
        mCmbTrimSec->setCurrentIndex(-1);
        mSection = index;
        mCmbTrimSec->setCurrentIndex(index);
        mCmbTrimSec->setEnabled(isProjectOpen());
    } else {
        mSection = 3;
        mCmbTrimSec->setCurrentIndex(3);
        mCmbTrimSec->setEnabled(false);
    }
}

void MainWindow::currentIdxChangedCmbTrimSec(int val)
{
    if (mUpdating || val == mSection)
        return;
    const bool played = mPlaying;
    if (mPlaying)
        releasedBtnStopped();
    mSpinBars->setRange(1, 999);
    {
        UpdateGuard guard(mUpdating);
        resetProjectFields(false);
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
    }
    refreshSectionControls(val);
    refreshSection(true);
    refreshWaveButtons();
    m_beatShiftState = 0;
    updateShiftBeatButtonText();
    updateActions();
    updateUndoRedoActions();
    // Undo and redo act within one section's editing.
    mCore.clearUndoStack();
    updateUndoRedoActions();
    if (played)
        releasedBtnPlayLoop();
}

void MainWindow::resetWindowState()
{
    mProjectPath.clear();
    mSection = 3;
    mWave = 0;
    mMemoryFull = false;
    mPlaying = false;
    mClickOn = 1;
    mClickLevel = 100;
    mHorZoom = 1;
    mHorZoomedWidth = 0.0;
    m_beatMarks.clear();
    m_halfBeatMarks.clear();
    m_sectionLabels.clear();
    m_selectionStart = 0;
    m_selectionEnd = 0;
    m_selectionExists = false;
    mProjectState = 1;
    mDropTimer.disconnect();
}

uint32_t MainWindow::resetProjectFields(bool clearProjectName)
{
    if (clearProjectName) {
        mLEditProjectFileName->clear();
        selectSectionIndex(3);
    }
    refreshTempoSpin();
    refreshTimeSignatureField();
    fillWaveCombo();
    selectWaveIndex(-1);
    for (QWidget* w :
         std::initializer_list<QWidget*> {mLEditTrimStart, mLEditTrimEnd, mStartTimeLabel, mEndTimeLabel})
        w->setEnabled(editable());
    for (QLineEdit* field : {mLEditTrimStart, mLEditTrimEnd}) {
        field->clear();
        field->setPlaceholderText(QString());
    }
    refreshFadeBox();
    clearSelection();
    mFrameWav->setEnabled(editable());
    refreshManualBox();
    refreshBarsControls();
    refreshTimeStretchBox();
    refreshClickBox();
    refreshMetroSlider();
    refreshBlankBox();
    refreshPickupControls();
    updateScrollRange(mHorZoom, mHorZoomedWidth, false, 0);
    refreshWaveButtons();
    m_beatShiftState = 0;
    updateShiftBeatButtonText();
    updateActions();
    updateUndoRedoActions();
    mStatusLabel->clear();
    return 0;
}
