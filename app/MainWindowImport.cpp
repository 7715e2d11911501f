// Importing audio into the main window's project: choosing the file,
// analysing it on the analysis thread behind a modal progress dialog (or
// reusing its ".awi" file while that holds its analysis), turning the job's
// outcome into messages, and loading the wave-info file into the project,
// either as a new project or as one more audio file assigned to the current
// section.
#include "MainWindow.h"

#include "AnalysisJob.h"
#include "BeatGrid.h"
#include "IF_audioFileMngr.h"
#include "KRMprotoSettings.h"
#include "MessageDialog.h"
#include "ResultCode.h"
#include "UpdateGuard.h"
#include "WaveInfoStore.h"

#include <QApplication>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressBar>
#include <QRegularExpression>

#include <cstdint>
#include <memory>
#include <new>

namespace {

const char* const kTitle = "Stelvano";

QString hex(uint32_t code)
{
    return QString::number(code, 16);
}

MainWindow::FileChooser& chooserSlot()
{
    static MainWindow::FileChooser chooser;
    return chooser;
}

// Section indexes tried, in order, for the settings of section `c` in a
// loaded wave-info file: its own, then its group, then the others.
std::vector<int> preferenceList(int c)
{
    std::vector<int> groups;
    if (c <= 2)
        groups = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    else if (c <= 6)
        groups = {3, 4, 5, 6, 0, 1, 2, 7, 8, 9, 10, 11, 12, 13, 14};
    else if (c <= 11)
        groups = {7, 8, 9, 10, 11, 3, 4, 5, 6, 0, 1, 2, 12, 13, 14};
    else
        groups = {12, 13, 14, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    std::vector<int> list {c};
    list.insert(list.end(), groups.begin(), groups.end());
    return list;
}

}  // namespace

// ---------------------------------------------------------------- file chooser

void MainWindow::setFileChooser(FileChooser chooser)
{
    chooserSlot() = std::move(chooser);
}

QString MainWindow::chooseFile(bool save, const QString& caption, const QString& folder,
                               const QString& filter, QString* selectedFilter)
{
    if (chooserSlot()) {
        if (selectedFilter)
            *selectedFilter = filter.section(";;", 0, 0).trimmed();
        return chooserSlot()({save, caption, folder, filter});
    }
    return save ? QFileDialog::getSaveFileName(this, caption, folder, filter, selectedFilter)
                : QFileDialog::getOpenFileName(this, caption, folder, filter, selectedFilter);
}

// ---------------------------------------------------------------- project questions

QString MainWindow::askSaveChanges()
{
    const MessageDialog::ButtonList buttons {{tr("Yes"), QMessageBox::YesRole},
                                             {tr("No"), QMessageBox::NoRole},
                                             {tr("Cancel"), QMessageBox::RejectRole}};
    const QString answer = MessageDialog::showCustomButtons(
        this, kTitle, tr("Project data have been changed. Do you wish to proceed without saving?"), buttons,
        tr("Cancel"));
    if (answer == tr("Yes"))
        return "Yes";
    if (answer == tr("No"))
        return "No";
    if (answer == tr("Cancel"))
        return "Cancel";
    return QString();
}

// ---------------------------------------------------------------- import

bool MainWindow::importAudioFile(QString& audioPath, QString& waveInfoPath)
{
    if (audioPath.isEmpty()) {
        QString folder = KRMprotoSettings::readString("Audio", "AudioFilePath");
        if (!folder.isEmpty())
            folder = KRMprotoSettings::getAudioFilePath();
        if (folder.isEmpty())
            folder = "./";
        audioPath =
            chooseFile(false, tr("Open Audio File"), folder,
                       tr("Audio Files (*.wav *.aiff *.aif);; Audio Files (*.wav);; Audio Files (*.aiff "
                          "*.aif);; Audio Files (*.*)"));
        if (audioPath.isEmpty())
            return false;
    }
    waveInfoPath = waveInfoPathOf(audioPath);
    KRMprotoSettings::setAudioFilePath(QFileInfo(audioPath).path());
    // A kept analysis is used only when the load that follows takes it for
    // this audio: one of another take, or one the load would refuse, is
    // replaced by a fresh analysis instead of blocking the file.
    uint32_t frames = 0;
    const bool readable =
        mAudioFileMngr && mAudioFileMngr->checkAudioFile(audioPath.toStdWString(), &frames) == 0;
    const QString serving = readable ? servingWaveInfoOf(audioPath, frames) : QString();
    if (!serving.isEmpty()) {
        waveInfoPath = serving;
        return true;
    }
    if (startAnalysis(QStringList(), QStringList {audioPath}) != 0)
        return false;

    mImportDialog = new ProgressDialog(this);
    mImportDialog->setLabelText(tr("Now analyzing the audio file ...\n%1").arg(audioPath));
    mImportDialog->setCancelButtonText(tr("Cancel"));
    mImportDialog->setRange(0, 100);
    mImportDialog->setWindowFlags(Qt::Dialog);
    mImportDialog->installEventFilter(this);
    auto* bar = new QProgressBar(mImportDialog);
    if (mAppStyle)
        bar->setStyle(mAppStyle);
    bar->setTextVisible(true);
    mImportDialog->setBar(bar);
    updateActions();
    updateUndoRedoActions();
    mImportDialog->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint);
    mImportDialog->setWindowTitle(tr("Import Audio File"));
    mImportDialog->setSizeGripEnabled(false);
    mImportDialog->setModal(true);
    mImportDialog->setAutoClose(false);
    mImportDialog->setAutoReset(false);
    mImportDialog->setMinimumDuration(0);
    mImportDialog->setValue(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    copyFontToChildren(this, mImportDialog);
    setChildrenPixelSize(mImportDialog, 11);

    const int accepted = mImportDialog->exec();
    delete mImportDialog;
    mImportDialog = nullptr;
    updateActions();
    updateUndoRedoActions();
    QApplication::restoreOverrideCursor();
    if (accepted == 1) {
        // The job kept it beside the audio, or in the cache where the
        // audio's folder cannot be written.
        const QString written = servingWaveInfoOf(audioPath, frames);
        if (!written.isEmpty())
            waveInfoPath = written;
        return true;
    }

    if (mAnaThread) {
        mAnaThread->requestStop();
        mAnaThread->wait();
        mAnaThread->exit(0);
        delete mAnaThread;
        mAnaThread = nullptr;
    }
    MessageDialog::showMessage(this, tr("Import Audio File"), tr("The import operation has been canceled."),
                               QMessageBox::Ok, QMessageBox::Ok);
    return false;
}

uint32_t MainWindow::startAnalysis(const QStringList& folders, const QStringList& files)
{
    bool made = false;
    if (!mAnaThread) {
        try {
            mAnaThread = new anaThread;
        } catch (const std::bad_alloc&) {
            showMessage(tr("#0112 memory full"));
            return krm::fail(2);
        }
        made = true;
    }
    if (!mAnaThread) {
        showMessage(tr("#0091 process returns some error!"));
        return krm::fail(3);
    }
    anaThreadObj* worker = mAnaThread->worker();
    if (made && worker) {
        // The worker's signals are queued to this thread. A cancel stops
        // and deletes the thread with its last signal possibly still in
        // the queue; each run therefore answers only its own.
        const unsigned run = ++mAnalysisRun;
        connect(worker, &anaThreadObj::signalAnalyzed, this, [this, run] {
            if (run == mAnalysisRun)
                analyzed();
        });
        connect(worker, &anaThreadObj::signalErr, this, [this, run] {
            if (run == mAnalysisRun)
                analyzeErr();
        });
        connect(worker, &anaThreadObj::signalProgress, this, [this, run](uchar all, uchar no, uchar value) {
            if (run == mAnalysisRun)
                analyzeProgress(all, no, value);
        });
    }
    if (!mAnaThread->isRunning()) {
        // The window imports with the analysis defaults: the segmenter
        // finds the meter, the project gets 4/4 afterwards.
        mAnaThread->setOptions(AnalysisOptions());
        mAnaThread->setInputLists(folders, files);
        mAnaThread->start(QThread::InheritPriority);
    }
    return 0;
}

void MainWindow::analyzeProgress(uchar, uchar, uchar v)
{
    if (mImportDialog)
        mImportDialog->setValue(v);
}

void MainWindow::analyzed()
{
    if (mAnaThread) {
        mAnaThread->requestStop();
        mAnaThread->wait();
        delete mAnaThread;
        mAnaThread = nullptr;
    }
    if (mImportDialog)
        mImportDialog->done(1);
}

void MainWindow::analyzeErr()
{
    if (mAnaThread) {
        const QString text = mAnaThread->errorString();
        qDebug().noquote() << "MainWindow::analyzeErr() - " + text;
        mAnaThread->requestStop();
        QString message;
        if (mAnaThread->workerHasError()) {
            message = tr("#0112 memory full");
        } else {
            static const QRegularExpression numbered("^#[0-9]+");
            static const int numberLength = 5;
            const QString head = text.left(numberLength);
            const QRegularExpressionMatch m = numbered.match(head);
            const bool isNumbered =
                text.size() >= numberLength && m.hasMatch() && m.capturedLength() == numberLength;
            message = isNumbered ? tr("#0096 MainWindow::analyzeErr() - ") + text : text;
        }
        MessageDialog::showMessage(mImportDialog ? static_cast<QWidget*>(mImportDialog) : this, kTitle,
                                   message, QMessageBox::Ok, QMessageBox::Ok);
        if (mAnaThread) {
            mAnaThread->wait();
            delete mAnaThread;
            mAnaThread = nullptr;
        }
    }
    if (mImportDialog)
        mImportDialog->done(0);
}

uint32_t MainWindow::loadWaveInfoFile(CKRMcore& core, const QString& audioPath, const QString& waveInfoPath,
                                      uint32_t length)
{
    core.clearError();
    mMemoryFull = false;
    WaveInfoRecord* record = nullptr;
    try {
        record = new WaveInfoRecord;
    } catch (const std::bad_alloc&) {
        mMemoryFull = true;
        return krm::fail(1);
    }
    record->path = audioPath.toStdWString();
    if (const uint32_t r = core.applyWaveInfo(record, waveInfoPath, length)) {
        delete record;
        mMemoryFull = core.hasError();
        return krm::nest(r, 3);
    }
    return 0;
}

void MainWindow::releasedBtnOpenWav()
{
    if (mCore.isModified()) {
        const QString answer = askSaveChanges();
        if (answer == "Cancel")
            return;
        if (answer == "No" && !saveProjectFileAs())
            return;
    }
    QString audioPath, waveInfoPath;
    if (!importAudioFile(audioPath, waveInfoPath))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    uint32_t length = 0;
    if (const uint32_t r = checkAudioFile(audioPath, length)) {
        QApplication::restoreOverrideCursor();
        showMessage(tr("#0100 opening audio file process returns some error! [%1] ").arg(hex(r)) +
                    mCore.errorText());
        return;
    }
    // The new project is built on the work engine and taken over in one
    // step: a rejected file changes nothing, and one undo brings the old
    // project back.
    uint32_t r = mCoreWork.assignFrom(mCore);
    if (r == 0) {
        mCoreWork.clearWavList();
        mCoreWork.clearError();
        r = loadWaveInfoFile(mCoreWork, audioPath, waveInfoPath, length);
    }
    if (r == 0) {
        CKRMcore loaded;
        loaded.resetComnInfo();
        loaded.clearWavList();
        if (loadWaveInfoFile(loaded, audioPath, waveInfoPath, length) != 0 ||
            !takeWaveInfoSections(loaded, mCoreWork, 0, 3))
            assignWholeWave(mCoreWork, 3, 0);
        r = mCore.setAllInfo(*mCoreWork.getProjectInfo());
        if (r != 0)
            mMemoryFull = mCore.hasError();
    }
    QApplication::restoreOverrideCursor();
    if (r != 0) {
        if (mCore.errorText().isEmpty())
            mCore.setErrorText(mCoreWork.errorText());
        showMessage(mMemoryFull
                        ? tr("#0112 memory full")
                        : tr("#0100 opening audio file process returns some error! [%1] ").arg(hex(r)) +
                              mCore.errorText());
        return;
    }
    resetWindowState();
    refreshControls();
    setProjectTitle(defaultProjectName());
    selectSectionIndex(3);
    releasedBtnViewerWav();
    {
        const bool saved = mUpdating;
        mUpdating = false;
        setSectionManual(mManualDefault);
        mUpdating = saved;
    }
    m_timeStretchOn = mTimeStretchDefault;
}

void MainWindow::releasedBtnImportAudio()
{
    assignWaveToSection(QString(), QString());
}

// ---------------------------------------------------------------- section audio loaders

uint32_t MainWindow::checkAudioFile(const QString& audioPath, uint32_t& frames)
{
    frames = 0;
    if (!mAudioFileMngr)
        return krm::fail(1);
    const uint32_t r = mAudioFileMngr->checkAudioFile(audioPath.toStdWString(), &frames);
    if (r != 0 && mCore.errorText().isEmpty())
        mCore.setErrorText(mAudioFileMngr->errorText());
    return r;
}

void MainWindow::assignWaveToSection(QString audioPath, QString waveInfoPath)
{
    if (!importAudioFile(audioPath, waveInfoPath))
        return;
    uint32_t length = 0;
    mCore.clearError();
    if (const uint32_t r = checkAudioFile(audioPath, length)) {
        showMessage(tr("#0100 opening audio file process returns some error! [%1] ").arg(hex(r)) +
                    mCore.errorText());
        return;
    }
    const int existing = waveIndexOf(audioPath);
    if (existing >= 0) {
        mWave = selectWaveIndex(existing);
        return;
    }
    SectionRecord* record = currentRecord();
    if (record && record->used) {
        const QString answer = MessageDialog::showCustomButtons(
            this, kTitle,
            tr("This section already has a waveform assignment. Are you sure you want to change it?"),
            {{tr("Ok"), QMessageBox::AcceptRole}, {tr("Cancel"), QMessageBox::RejectRole}}, tr("Ok"));
        if (answer != tr("Ok")) {
            UpdateGuard guard(mUpdating);
            mWave = selectWaveIndex(record->waveIndex < waveCount() ? int(record->waveIndex) : -1);
            return;
        }
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const uint32_t r = loadWaveIntoProject(audioPath, waveInfoPath, length);
    if (r == 0)
        afterWaveAdded();
    QApplication::restoreOverrideCursor();
    if (r != 0)
        showMessage(mMemoryFull
                        ? tr("#0112 memory full")
                        : tr("#0100 opening audio file process returns some error! [%1] ").arg(hex(r)) +
                              mCore.errorText());
}

uint32_t MainWindow::loadWaveIntoProject(const QString& audioPath, const QString& waveInfoPath,
                                         uint32_t length)
{
    CKRMcore loaded;
    loaded.resetComnInfo();
    loaded.clearWavList();
    loaded.clearError();
    mMemoryFull = false;
    if (const uint32_t r = loadWaveInfoFile(loaded, audioPath, waveInfoPath, length)) {
        mCore.setErrorText(loaded.errorText());
        return r;
    }
    // The project gains the wave; a project that holds audio already keeps
    // its other sections, tempo and meter, and the whole addition is one
    // undo step.
    uint32_t r = mCoreWork.assignFrom(mCore);
    if (r == 0) {
        const bool first = mCoreWork.getProjectInfo()->waveCount() == 0;
        if (first) {
            r = loadWaveInfoFile(mCoreWork, audioPath, waveInfoPath, length);
        } else {
            WaveInfoRecord* source = nullptr;
            r = loaded.getWavInfo(0, &source);
            if (r == 0 && source) {
                auto* copy = new WaveInfoRecord(*source);
                r = mCoreWork.addWavList(copy);
                if (r != 0)
                    delete copy;
            }
        }
    }
    if (r == 0) {
        const int index = int(mCoreWork.getProjectInfo()->waveCount()) - 1;
        mWave = index;
        applyWaveInfoSections(loaded, mCoreWork, index);
        r = mCore.setAllInfo(*mCoreWork.getProjectInfo());
    }
    if (r != 0) {
        mMemoryFull = mCore.hasError() || mCoreWork.hasError();
        if (mCore.errorText().isEmpty())
            mCore.setErrorText(mCoreWork.errorText());
        return r;
    }
    refreshSectionAll(true);
    removeUnusedWaves(audioPath);
    {
        UpdateGuard guard(mUpdating);
        mCmbTrimSec->setCurrentIndex(mSection);
    }
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
    return 0;
}

bool MainWindow::takeWaveInfoSections(CKRMcore& loaded, CKRMcore& project, int wave, int section)
{
    if (section < 0 || section >= krm::kSectionCount)
        return false;
    for (int i : preferenceList(section)) {
        SectionRecord* record = nullptr;
        WaveInfoRecord* file = nullptr;
        if (loaded.getSecAndWavInfo(uint8_t(i), &record, &file) == 0 && record && file) {
            SectionRecord copy(*record);
            copy.waveIndex = uint8_t(wave);
            project.updateSecInfo(uint8_t(section), copy);
            return true;
        }
    }
    return false;
}

void MainWindow::applyWaveInfoSections(CKRMcore& loaded, CKRMcore& project, int wave)
{
    if (!takeWaveInfoSections(loaded, project, wave, mSection))
        assignWholeWave(project, mSection, wave);
}

uint32_t MainWindow::assignWholeWave(CKRMcore& project, int section, int wave)
{
    SectionRecord* record = nullptr;
    WaveInfoRecord* file = nullptr;
    uint32_t r = section < 0 || section >= krm::kSectionCount ? krm::fail(1)
                                                              : project.getSecInfo(uint8_t(section), &record);
    if (r == 0 && (!record || (r = project.getWavInfo(uint8_t(wave), &file)) != 0 || !file))
        r = r ? r : krm::fail(2);
    if (r == 0) {
        const uint32_t end = file->onsets.empty() ? 0 : secondsToSamples(file->onsets.back());
        m_selectionStart = 0;
        m_selectionEnd = int32_t(end);
        m_selectionExists = true;
        SectionRecord copy(*record);
        copy.used = 1;
        copy.waveIndex = uint8_t(wave);
        copy.startAdrs = 0;
        copy.startOffset = 0;
        copy.endAdrs = end;
        copy.endOffset = 0;
        r = project.setSecInfo(uint8_t(section), copy);
    }
    if (r != 0) {
        mMemoryFull = project.hasError();
        if (mMemoryFull)
            showMessage(tr("#0112 memory full"));
        if (!project.errorText().isEmpty())
            showMessage(project.errorText() + QString("\r\n[%1]").arg(hex(r)));
    }
    return r;
}

void MainWindow::afterWaveAdded()
{
    if (mCmbWav->currentIndex() == -1 && waveCount() > 0) {
        UpdateGuard guard(mUpdating);
        mWave = selectWaveIndex(waveCount() - 1);
    }
    const bool saved = mUpdating;
    mUpdating = false;
    setSectionManual(mManualDefault);
    mUpdating = saved;
    m_timeStretchOn = mTimeStretchDefault;
}

uint32_t MainWindow::removeUnusedWaves(const QString& audioPath)
{
    for (int i = mCmbWav->count() - 1; i >= 0; --i) {
        uint8_t used = 0;
        if (mCore.isWavUsed(uint8_t(i), &used) != 0 || used)
            continue;
        if (const uint32_t r = mCore.removeWav(uint8_t(i)))
            return r;
    }
    if (!audioPath.isEmpty()) {
        const int index = waveIndexOf(audioPath);
        if (index >= 0) {
            // Only shows the file: the combo's slot would assign it again.
            UpdateGuard guard(mUpdating);
            fillWaveCombo();
            mWave = selectWaveIndex(index);
        }
    }
    return 0;
}
