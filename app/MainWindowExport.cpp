// Export of the project as a style file: the readiness check on the work
// copy, the file name, the export job on its own thread behind a modal busy
// dialog, and the report of its outcome.
#include "ExportStyle.h"
#include "JobThread.h"
#include "KRMAudition.h"
#include "KRMprotoSettings.h"
#include "MainWindow.h"
#include "MessageDialog.h"
#include "ResultCode.h"
#include "SectionNames.h"
#include "SectionWaveInfo.h"
#include "base/TempoUtil.h"

#include <QApplication>
#include <QDebug>
#include <QFileInfo>
#include <QThread>

#include <cmath>

namespace {

// The bit of each section and its index, in section order.
const std::map<uint16_t, int>& sectionBitMap()
{
    static const std::map<uint16_t, int> map = [] {
        std::map<uint16_t, int> m;
        for (int i = 0; i < krm::kSectionCount; ++i)
            m.emplace(uint16_t(1u << i), i);
        return m;
    }();
    return map;
}

QString sectionName(int index)
{
    return QCoreApplication::translate("MainWindow", sectionNames[index]);
}

}  // namespace

uint32_t MainWindow::maxBarsOfSection(int index)
{
    return krm::maxBarsOfSection(index);
}

QString MainWindow::sectionMaskText(uint16_t mask)
{
    QStringList names;
    for (const auto& [bit, index] : sectionBitMap())
        if (mask & bit)
            names << sectionName(index);
    return names.isEmpty() ? QString() : names.join(", ") + ".";
}

QString MainWindow::checkExportable()
{
    QStringList bars, tooShort, ratio;
    for (const auto& entry : sectionBitMap()) {
        const int i = entry.second;
        const SectionWaveInfo info(&mCoreWork, i);
        if (info.m_section == -1)
            continue;
        if (info.m_bars > maxBarsOfSection(i))
            bars << sectionName(i);
        else if ((info.m_endTime - info.m_startTime) * 10000.0 < 1.0)
            tooShort << sectionName(i);
        else if (info.isStretchOutOfRange())
            ratio << sectionName(i);
    }
    QStringList messages;
    if (!bars.isEmpty())
        messages << tr("The \"Bar\" value of the following sections exceeds the limit of each section. \n  "
                       "section: %1.")
                        .arg(bars.join(", "));
    if (!tooShort.isEmpty())
        messages << tr("Selected range of waveform of the following sections is too short.\n  section: %1.")
                        .arg(tooShort.join(", "));
    if (!ratio.isEmpty())
        messages << tr("Time stretch ratio of the following sections exceeds the limits.\n  section: %1.")
                        .arg(ratio.join(", "));
    if (messages.isEmpty())
        return QString();
    return messages.join("\n\n") + "\n\nThe project cannot be exported.\nPlease adjust the tempo, or adjust "
                                   "the waveform selection range "
                                   "and the \"Bar\" value of the section.";
}

uint32_t MainWindow::prepareSectionWavs()
{
    bool warning = false;
    for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
        SectionRecord* record = nullptr;
        if (const uint32_t e = mCore.getSecInfo(i, &record))
            return krm::nest(e, 1);
        if (!record)
            return kPrepareFailed;
        if (!record->used || mCore.isSecWavReady(i))
            continue;
        if (!mAudioFileMngr)
            return kPrepareFailed;
        // Each section's render clears its own flag, so gather them: a
        // section skipped early must still be reported.
        bool skipped = false;
        if (const uint32_t e = mCore.writeTempWave(i, skipped))
            return krm::nest(e, 2);
        warning = warning || skipped;
    }
    return warning ? kPrepareSkipped : 0u;
}

QString MainWindow::chooseExportPath()
{
    // The stored folders as they are: the getters would put the Documents
    // folder in place of an empty one.
    QString folder = KRMprotoSettings::readString("Audio", "AudioStyleFilePath");
    if (folder.isEmpty())
        folder = KRMprotoSettings::readString("Project", "ProjectFilePath");
    if (folder.isEmpty())
        folder = "./";
    const QString styleFilter = tr("Style File (*.aus)");
    QString selected;
    QString path =
        chooseFile(true, tr("Export file"), folder, styleFilter + ";; " + tr("All Files (*)"), &selected);
    if (!path.isEmpty() && selected == styleFilter && QFileInfo(path).suffix().isEmpty())
        path += ".aus";
    return path;
}

void MainWindow::releasedBtnExportSty()
{
    bool assigned = false;
    mCore.hasAssignedSec(assigned);
    if (!assigned) {
        showMessage(tr("#0098 no section is trimmed!"));
        return;
    }
    mCoreWork.assignFrom(mCore);
    const QString problems = checkExportable();
    if (!problems.isEmpty()) {
        showMessage(problems);
        return;
    }
    const QString path = chooseExportPath();
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    mCore.setMaxPoints(256);

    // A previous job's thread has left its event loop; it is ended and
    // deleted before its worker, whose slot may still be returning.
    endJobThread(mExportThread);
    delete mExportWorker;
    auto* worker = new ExportStyle([this] { return prepareSectionWavs(); }, &mCore, path, this);
    mExportWorker = worker;
    connect(worker, &ExportStyle::done, this, &MainWindow::releasedBtnExportStyDone);
    connect(worker, &ExportStyle::errorOnPreparation, this,
            &MainWindow::releasedBtnExportStyErrorOnPreparation);
    mExportThread = new QThread;
    worker->moveToThread(mExportThread);
    mExportThread->start(QThread::InheritPriority);
    QMetaObject::invokeMethod(worker, "doExport", Qt::QueuedConnection);
    showExportProgress(path);
}

void MainWindow::runJobDialog(ProgressDialog*& dialog, const QString& label, const QString& title)
{
    delete dialog;
    dialog = new ProgressDialog(this);
    dialog->setWindowFlags(Qt::Dialog);
    dialog->setLabelText(label);
    dialog->setCancelButtonText(tr("Cancel"));
    dialog->setRange(0, -1);
    dialog->setMinimumDuration(0);
    dialog->setMayClose(false);
    dialog->setCancelButton(nullptr);
    dialog->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint);
    dialog->setWindowTitle(title);
    dialog->setSizeGripEnabled(false);
    dialog->setModal(true);
    copyFontToChildren(this, dialog);
    setChildrenPixelSize(dialog, 11);
    dialog->installEventFilter(this);
    updateActions();
    updateUndoRedoActions();
    // The receiving slot closes and deletes the dialog inside this exec,
    // which returns safely when its dialog is gone.
    dialog->exec();
}

void MainWindow::showExportProgress(const QString& path)
{
    runJobDialog(mExportDialog, tr("Processing. Please wait.\nExport audio style file : %1").arg(path),
                 tr("Export Audio Style File"));
}

void MainWindow::closeJob(ProgressDialog*& dialog, QThread* thread)
{
    if (dialog) {
        dialog->setMayClose(true);
        dialog->close();
        delete dialog;
        dialog = nullptr;
    }
    updateActions();
    updateUndoRedoActions();
    if (thread)
        thread->exit(0);
    QApplication::restoreOverrideCursor();
}

void MainWindow::releasedBtnExportStyDone(ulong lErr)
{
    closeJob(mExportDialog, mExportThread);
    if (lErr != 0)
        return;
    auto* worker = static_cast<ExportStyle*>(mExportWorker);
    const QFileInfo written(worker->outputPath());
    KRMprotoSettings::setAudioStyleFilePath(written.absolutePath());
    const QString text = written.size() != qint64(worker->writtenBytes)
                             ? tr("#0113 Creation working wav failed!")
                             : tr("Export operation has been finished.");
    MessageDialog::showMessage(this, tr("Export Audio Style File"), text, QMessageBox::Ok, QMessageBox::Ok);
}

void MainWindow::releasedBtnExportStyErrorOnPreparation(ulong lErr)
{
    closeJob(mExportDialog, mExportThread);
    auto* worker = static_cast<ExportStyle*>(mExportWorker);
    // Only code 0 reaches here with a file written (with warnings). The
    // mask is filled before anything is written, so after a failure it
    // tells of no file and its warning is not shown.
    const bool written = lErr == 0;
    const QString names = written ? sectionMaskText(worker->warningMask) : QString();
    mMemoryFull = mCore.hasError();
    QString text;
    if (mMemoryFull)
        text = tr("#0112 memory full");
    else if (!names.isEmpty())
        text =
            tr("Waveform playback time of some sections is too long, so the quantity of playback control "
               "information of the section exceeds the limit. This may result in degraded sound quality when "
               "playing back the exported Audio Style on the instrument.\n\n section: %1")
                .arg(names);
    else if (!mCore.errorText().isEmpty())
        text = mCore.errorText();
    else
        text = tr("#0113 Creation working wav failed! [%1]").arg(qulonglong(lErr), 0, 16);
    qWarning().noquote() << "export:" << krm::describeResult(uint32_t(lErr)) << mCore.errorText();
    MessageDialog::showMessage(this, tr("Export Audio Style File"), text, QMessageBox::Ok, QMessageBox::Ok);
    if (!names.isEmpty())
        KRMprotoSettings::setAudioStyleFilePath(QFileInfo(worker->outputPath()).absolutePath());
}
