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

void MainWindow::notAvailableYet()
{
    showMessage(tr("not available yet"));
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
        name = chooseFile(false, tr("Open Project File"), folder, tr("Project Files (*.svproj)"));
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

void MainWindow::valueChangedSliderMetro(int val)
{
    if (mUpdating || val == mClickLevel)
        return;
    mClickLevel = uint8_t(val);
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

void MainWindow::timeStretchDone(ulong, QString)
{ }

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
