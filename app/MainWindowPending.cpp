// First versions of the routines and slots of the main window whose work
// comes with the project workflows, the section editing and control state,
// the waveform view, the import, the export and the audition. A command
// that cannot do its work yet says so instead of doing nothing; slots that
// only follow a control's value stay quiet while the window updates its
// own controls.
#include "MainWindow.h"

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

void MainWindow::showTimeStretchResult(TimeStretcher& job)
{
    // The time-stretch result window opens here once it is built.
    Q_UNUSED(job)
    notAvailableYet();
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

uint32_t MainWindow::assignAreaToSection()
{
    // The selection stays as marked until the section takes it.
    notAvailableYet();
    return 0;
}

void MainWindow::selectAllSections(bool select)
{
    Q_UNUSED(select)
    notAvailableYet();
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

uint32_t MainWindow::initNewProject()
{
    if (mPlaying)
        releasedBtnStopped();
    mCore.clearError();
    mMemoryFull = false;
    if (const uint32_t r = mCore.resetProject()) {
        mMemoryFull = mCore.hasError();
        if (mMemoryFull)
            showMessage(tr("#0112 memory full"));
        return krm::nest(r, 1);
    }
    mCore.clearWavList();
    mCore.clearSecInfo();
    mCore.resetComnInfo();
    resetWindowState();
    rebuildWavView(mWave, mSection, mHorMaxZoom, {}, int(mHorZoom), mHorZoomedWidth);
    {
        UpdateGuard guard(mUpdating);
        resetProjectFields(true);
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
    }
    refreshSectionControls(mSection);
    syncSectionControls(mSection);
    updateActions();
    updateUndoRedoActions();
    setProjectTitle(defaultProjectName());
    return 0;
}

void MainWindow::openProjectFile(const QString& fileName)
{
    // Dropping unsaved changes needs the save question, which comes with
    // the project workflows.
    if (mCore.isModified()) {
        notAvailableYet();
        return;
    }
    QString name = fileName;
    if (name.isEmpty()) {
        QString folder = KRMprotoSettings::getProjectFilePath();
        if (folder.isEmpty())
            folder = "./";
        name = QFileDialog::getOpenFileName(this, tr("Open Project File"), folder,
                                            tr("Project Files (*.svproj)"));
        if (name.isEmpty())
            return;
    }
    mCore.clearError();
    mMemoryFull = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const uint32_t r = mCore.loadProject(name.toStdWString());
    QApplication::restoreOverrideCursor();
    if (r != 0) {
        mMemoryFull = mCore.hasError();
        showMessage(mMemoryFull ? tr("#0112 memory full") : tr("#0110 some error occurs!"));
        return;
    }
    mProjectPath = name;
    KRMprotoSettings::setProjectFilePath(QFileInfo(name).absolutePath());
    mProjectState = 2;
    {
        UpdateGuard guard(mUpdating);
        resetProjectFields(false);
    }
    selectSectionIndex(3);
    releasedBtnViewerWav();
    setProjectTitle(name);
    refreshWaveButtons();
    m_beatShiftState = 0;
    updateShiftBeatButtonText();
    updateActions();
    updateUndoRedoActions();
}

QString MainWindow::defaultProjectName() const
{
    return tr("New Audio Style.svproj");
}

void MainWindow::setProjectTitle(const QString& path)
{
    mLEditProjectFileName->setText(QFileInfo(path).completeBaseName());
}

// Slots.

void MainWindow::dropEventAsynchronousProcessingImportWav()
{
    mDropTimer.disconnect();
    notAvailableYet();
}

void MainWindow::dropEventAsynchronousProcessingLoadPrj()
{
    mDropTimer.disconnect();
    for (const QString& file : mDroppedFiles)
        openProjectFile(file);
}

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

void MainWindow::releasedBtnImportAudio()
{
    notAvailableYet();
}

void MainWindow::releasedBtnUnlinkAudio()
{
    notAvailableYet();
}

void MainWindow::releasedBtnBeatToggleShift()
{
    notAvailableYet();
}

void MainWindow::releasedBtnBeatAnaDouble()
{
    notAvailableYet();
}

void MainWindow::releasedBtnBeatAnaHalf()
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

void MainWindow::currentIdxChangedCmbWav()
{
    if (!mUpdating)
        notAvailableYet();
}

void MainWindow::beatTextChanged(QString)
{ }

void MainWindow::beatEditingFinished()
{
    if (mUpdating || !mLEditBeat->isModified())
        return;
    mLEditBeat->setModified(false);
    notAvailableYet();
}

void MainWindow::valueChangedSpinTempo(int)
{
    if (!mUpdating)
        notAvailableYet();
}

void MainWindow::valueChangedSpinBars(int)
{
    if (!mUpdating)
        notAvailableYet();
}

void MainWindow::trimTextChanged(QLineEdit& lineEdit, QString str)
{
    // Two leading zeros before the decimal point become one.
    const int dot = str.indexOf('.');
    const QString whole = dot > 0 ? str.left(dot) : str;
    if (whole.size() >= 2 && whole.startsWith("00"))
        lineEdit.setText("0");
}

void MainWindow::trimEditingFinished(QLineEdit& lineEdit)
{
    if (!lineEdit.isModified())
        return;
    lineEdit.setModified(false);
    notAvailableYet();
}

void MainWindow::trimStartTextChanged(QString str)
{
    trimTextChanged(*mLEditTrimStart, str);
}

void MainWindow::trimStartEditingFinished()
{
    trimEditingFinished(*mLEditTrimStart);
}

void MainWindow::trimEndTextChanged(QString str)
{
    trimTextChanged(*mLEditTrimEnd, str);
}

void MainWindow::trimEndEditingFinished()
{
    trimEditingFinished(*mLEditTrimEnd);
}

void MainWindow::clickedChkFade(bool)
{
    notAvailableYet();
}

void MainWindow::clickedChkTimeStretch(bool)
{
    notAvailableYet();
}

void MainWindow::clickedChkClick(bool)
{
    notAvailableYet();
}

void MainWindow::clickedChkManual(bool)
{
    notAvailableYet();
}

void MainWindow::clickedChkBlank(bool)
{
    notAvailableYet();
}

void MainWindow::valueChangedSpinPickup(int)
{
    if (!mUpdating)
        notAvailableYet();
}

void MainWindow::newProject()
{
    if (mCore.isModified()) {
        notAvailableYet();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const uint32_t r = initNewProject();
    QApplication::restoreOverrideCursor();
    if (r != 0)
        showMessage(tr("#0109 Resetting Project File Process returns some error! [%1]").arg(r, 0, 16));
}

void MainWindow::openProject()
{
    openProjectFile(QString());
}

void MainWindow::saveProject()
{
    notAvailableYet();
}

void MainWindow::saveProjectAs()
{
    notAvailableYet();
}

void MainWindow::onSelectAll()
{
    selectAllSections(true);
}

void MainWindow::onClearAll()
{
    selectAllSections(false);
}

void MainWindow::undo()
{
    notAvailableYet();
}

void MainWindow::redo()
{
    notAvailableYet();
}
