// First versions of the routines and slots of the main window whose work
// comes with the project workflows, the section editing and control state,
// the waveform view, the import, the export and the audition. A command
// that cannot do its work yet says so instead of doing nothing; slots that
// only follow a control's value stay quiet while the window updates its
// own controls.
#include "MainWindow.h"

#include "IF_audioFileMngr.h"
#include "KRMprotoSettings.h"
#include "MessageDialog.h"
#include "ResultCode.h"
#include "SectionNames.h"
#include "UpdateGuard.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace {

bool isIntro(int s)
{
    return s >= 0 && s <= 2;
}

bool isEnding(int s)
{
    return s >= 12 && s <= 14;
}

}  // namespace

void MainWindow::notAvailableYet()
{
    showMessage(tr("not available yet"));
}

bool MainWindow::isBusy() const
{
    return mStretchWindow || mImportDialog || mExportDialog || mStretchDialog;
}

bool MainWindow::hasCurrentWave() const
{
    return mCmbWav->currentIndex() != -1;
}

void MainWindow::fillSectionCombo()
{
    UpdateGuard guard(mUpdating);
    mCmbTrimSec->clear();
    for (int i = 0; i < krm::kSectionCount; ++i)
        mCmbTrimSec->addItem(QCoreApplication::translate("MainWindow", sectionNames[i]));
    mCmbTrimSec->setEnabled(isProjectOpen());
}

void MainWindow::refreshBlankBox()
{
    SectionRecord* record = nullptr;
    const bool readable = mSection >= 0 && mSection < krm::kSectionCount &&
                          mCore.getSecInfo(uint8_t(mSection), &record) == 0 && record;
    const bool manual = mChkManual->isChecked();
    mChkBlank->setEnabled(isProjectOpen() && hasCurrentWave() && !manual &&
                          (isIntro(mSection) || isEnding(mSection)));
    const bool checked = readable && record->pickupOn != 0 && !manual;
    if (mChkBlank->isChecked() != checked) {
        UpdateGuard guard(mUpdating);
        mChkBlank->setChecked(checked);
    }
}

void MainWindow::refreshWaveButtons()
{
    mBtnImport->setEnabled(isProjectOpen());
    mBtnUnlink->setEnabled(isProjectOpen() && hasCurrentWave());
    updateShiftBeatButtonText();
}

void MainWindow::updateShiftBeatButtonText()
{
    mBtnShiftBeatPosition->setEnabled(isProjectOpen() && hasCurrentWave() && !mChkManual->isChecked());
    const QString text = m_beatShiftState == 0 ? tr("Shift Beat Position") : tr("Unshift Beat Position");
    if (mBtnShiftBeatPosition->text() != text)
        mBtnShiftBeatPosition->setText(text);
}

uint32_t MainWindow::refreshSectionControls(int section)
{
    UpdateGuard guard(mUpdating);
    SectionRecord* record = nullptr;
    if (section >= 0 && section < krm::kSectionCount) {
        mSection = section;
        if (mCmbTrimSec->currentIndex() != section)
            mCmbTrimSec->setCurrentIndex(section);
        if (const uint32_t r = mCore.getSecInfo(uint8_t(section), &record))
            return krm::nest(r, 4);
    }
    fillWaveCombo();
    selectWaveIndex(record && record->waveIndex < waveCount() ? int(record->waveIndex) : -1);
    mFrameWav->setEnabled(isProjectOpen() && hasCurrentWave());
    refreshBlankBox();
    updateScrollRange(mHorZoom, mHorZoomedWidth, false, 0);
    refreshWaveButtons();
    return 0;
}

uint32_t MainWindow::syncSectionControls(int section)
{
    UpdateGuard guard(mUpdating);
    if (section >= krm::kSectionCount)
        section = mSection >= 0 && mSection < krm::kSectionCount ? mSection : krm::kSectionCount;
    if (section >= 0 && section < krm::kSectionCount && mCmbTrimSec->currentIndex() != section)
        mCmbTrimSec->setCurrentIndex(section);
    const uint32_t r = syncViewMarks(section);
    update();
    if (r == 0 || r == 0x80000001)
        return r;
    return krm::nest(r, 2);
}

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

void MainWindow::resetWindowState()
{
    mProjectPath.clear();
    mSection = 3;
    mWave = 0;
    mMemoryFull = false;
    mPlaying = false;
    mClickOn = 1;
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
    fillWaveCombo();
    selectWaveIndex(-1);
    clearSelection();
    mFrameWav->setEnabled(isProjectOpen() && hasCurrentWave());
    updateScrollRange(mHorZoom, mHorZoomedWidth, false, 0);
    refreshWaveButtons();
    m_beatShiftState = 0;
    updateShiftBeatButtonText();
    mStatusLabel->clear();
    updateActions();
    updateUndoRedoActions();
    return 0;
}

void MainWindow::setProjectTitle(const QString& path)
{
    mLEditProjectFileName->setText(QFileInfo(path).completeBaseName());
}

int MainWindow::askSaveChanges()
{
    const QString yes = tr("Yes");
    const QString no = tr("No");
    const QString cancel = tr("Cancel");
    const QString answer = MessageDialog::showCustomButtons(
        this, "Stelvano", tr("Project data have been changed. Do you wish to proceed without saving?"),
        {{yes, QMessageBox::YesRole}, {no, QMessageBox::NoRole}, {cancel, QMessageBox::RejectRole}}, cancel);
    if (answer == yes)
        return QMessageBox::Yes;
    if (answer == no)
        return QMessageBox::No;
    if (answer == cancel)
        return QMessageBox::Cancel;
    return 0;
}

void MainWindow::assignWaveToSection(const QString&, const QString&)
{
    notAvailableYet();
}

uint32_t MainWindow::removeUnusedWaves(const QString& audioPath)
{
    for (int w = mCmbWav->count() - 1; w >= 0; --w) {
        uint8_t used = 1;
        if (mCore.isWavUsed(uint8_t(w), &used) == 0 && !used) {
            if (const uint32_t r = mCore.removeWav(uint8_t(w)))
                return krm::nest(r, 1);
        }
    }
    fillWaveCombo();
    if (!audioPath.isEmpty())
        mWave = selectWaveIndex(waveIndexOf(audioPath));
    return 0;
}

// Slots.

uint32_t MainWindow::checkAudioFile(const QString& audioPath, uint32_t& frames)
{
    frames = 0;
    return mAudioFileMngr ? mAudioFileMngr->checkAudioFile(audioPath.toStdWString(), &frames) : 0x80000001;
}

uint32_t MainWindow::loadWaveInfoFile(CKRMcore&, const QString&, const QString&, uint32_t)
{
    notAvailableYet();
    return 0x80000001;
}

void MainWindow::applyWaveInfoSections(CKRMcore&, CKRMcore&, int)
{ }

void MainWindow::analyzed()
{ }

void MainWindow::analyzeErr()
{ }

void MainWindow::analyzeProgress(uchar, uchar, uchar)
{ }

void MainWindow::releasedBtnOpenWav()
{
    notAvailableYet();
}

void MainWindow::releasedBtnPlayLoop()
{
    notAvailableYet();
}

void MainWindow::releasedBtnPlayLoopTS()
{
    notAvailableYet();
}

void MainWindow::releasedBtnStopped()
{
    if (!mAudioEnabled)
        return;
    mAudition.stop();
    mPushButtonPlay->setIcon(QIcon(":/img/btn_play.png"));
    mPlaying = false;
    mChkTimeStretch->setEnabled(true);
}

void MainWindow::releasedBtnExportSty()
{
    notAvailableYet();
}

void MainWindow::releasedBtnExportStyDone(ulong)
{ }

void MainWindow::releasedBtnExportStyErrorOnPreparation(ulong)
{ }

void MainWindow::releasedBtnImportAudio()
{
    notAvailableYet();
}

void MainWindow::currentIdxChangedCmbTrimSec(int val)
{
    if (mUpdating || val == mSection)
        return;
    {
        UpdateGuard guard(mUpdating);
        mCmbTrimSec->setCurrentIndex(mSection);
    }
    notAvailableYet();
}

void MainWindow::valueChangedSliderMetro(int val)
{
    if (mUpdating || val == mClickLevel)
        return;
    mClickLevel = uint8_t(val);
}

void MainWindow::timeStretchDone(ulong, QString)
{ }

