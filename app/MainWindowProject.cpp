// The project as a whole in the main window: new, open (with the search for
// moved audio files), save, save as, the question before unsaved changes
// are dropped, closing, drops, undo and redo. The project lives in `mCore`;
// these routines drive it and keep the window's project state, path and
// title in step. A project file is only ever written by the engine, which
// writes beside the target and renames when every byte went out.
#include "MainWindow.h"

#include "KRMprotoSettings.h"
#include "MessageDialog.h"
#include "ResultCode.h"
#include "UpdateGuard.h"

#include <QApplication>
#include <QDebug>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace {

const char* const kTitle = "Stelvano";
const char* const kUriList = "text/uri-list";
constexpr int kDropDelayMs = 600;

QString folderOr(const QString& folder)
{
    return folder.isEmpty() ? QString("./") : folder;
}

QString storedFileName(const std::wstring& path)
{
    const QFileInfo info(QString::fromStdWString(path));
    return info.completeBaseName() + "." + info.suffix();
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

void clearFocusedWidget()
{
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
}

}  // namespace

bool MainWindow::mayDropProject()
{
    if (!mCore.isModified())
        return true;
    const QString answer = askSaveChanges();
    if (answer == "Cancel")
        return false;
    if (answer == "No")
        return saveProjectFileAs();
    return true;
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
    {
        UpdateGuard guard(mUpdating);
        resetProjectFields(true);
        clearFocusedWidget();
    }
    // After the fields: the emptied audio list disables zoom and scrolling.
    showEmptyWavView();
    refreshControls();
    setProjectTitle(defaultProjectName());
    return 0;
}

void MainWindow::newProject()
{
    if (!mayDropProject())
        return;
    uint32_t r = 0;
    {
        WaitCursor wait;
        r = initNewProject();
    }
    if (r != 0)
        showMessage(tr("#0109 Resetting Project File Process returns some error! [%1]").arg(r, 0, 16));
}

void MainWindow::openProject()
{
    openProjectFile(QString());
}

void MainWindow::openProjectFile(const QString& fileName)
{
    if (!mayDropProject())
        return;
    QString name = fileName;
    if (name.isEmpty()) {
        name = chooseFile(false, tr("Open Project File"), folderOr(KRMprotoSettings::getProjectFilePath()),
                          tr("Project Files (*.svproj)"));
        if (name.isEmpty())
            return;
    }
    mCore.clearError();
    mMemoryFull = false;
    uint32_t r = 0;
    {
        WaitCursor wait;
        r = mCore.loadProject(name.toStdWString());
    }
    if (r != 0) {
        // The message names only the code; the log keeps the cause.
        qWarning().noquote() << "project open failed:" << mCore.errorText();
        mMemoryFull = mCore.hasError();
        showMessage(mMemoryFull ? tr("#0112 memory full") : tr("#0110 some error occurs!"));
        return;
    }
    mProjectPath = name;
    KRMprotoSettings::setProjectFilePath(QFileInfo(name).absolutePath());

    const uint32_t relinked = relinkAudioFiles();
    if (relinked == krm::fail(1)) {
        newProject();
        mProjectPath = name;
        setProjectTitle(name);
    } else if (relinked != 0) {
        mMemoryFull = mCore.hasError();
        if (mMemoryFull) {
            showMessage(tr("#0112 memory full"));
            return;
        }
    }

    mProjectState = 2;
    {
        UpdateGuard guard(mUpdating);
        resetProjectFields(false);
    }
    selectSectionIndex(3);
    releasedBtnViewerWav();
    setProjectTitle(name);
    resetBeatShift();
    updateActions();
    updateUndoRedoActions();
}

uint32_t MainWindow::relinkAudioFiles()
{
    const int count = waveCount();
    if (count == 0)
        return krm::fail(1);
    for (int i = 0; i < count; ++i) {
        WaveInfoRecord* wave = nullptr;
        const uint32_t e = mCore.getWavInfo(uint8_t(i), &wave);
        if (e != 0 || !wave)
            return krm::nest(e, 2);
        const QString folder = folderOr(KRMprotoSettings::getAudioFilePath());
        const QString name = storedFileName(wave->path);
        bool choseMissing = false;
        while (!QFileInfo::exists(QString::fromStdWString(wave->path))) {
            const int answer = MessageDialog::showMessage(
                this, kTitle, tr("Cannot find the audio file \"%1\". Search the file now?").arg(name),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
            if (answer != QMessageBox::Yes) {
                if (answer != QMessageBox::No && choseMissing)
                    continue;
                showMessage(tr("Cannot find the audio file \"%1\". - fileNo[%2]").arg(name).arg(i));
                break;
            }
            const QString chosen = chooseFile(false, tr("Open Audio File"), folder,
                                              tr("Audio Files (*.wav *.aiff *.aif);; Audio Files (*.wav);; "
                                                 "Audio Files (*.aiff *.aif);; Audio "
                                                 "Files (*.*)"));
            if (chosen.isEmpty() || !QFileInfo::exists(chosen)) {
                choseMissing = true;
                continue;
            }
            const QString stored = QString::fromStdWString(wave->path);
            if (const uint32_t r = mCore.setWavPath(uint8_t(i), chosen.toStdWString())) {
                showMessage(tr("Cannot find the audio file.\n [%1]").arg(stored));
                return krm::nest(r, 3);
            }
            KRMprotoSettings::setAudioFilePath(QFileInfo(chosen).absolutePath());
            break;
        }
    }
    return 0;
}

void MainWindow::saveProject()
{
    if (!mProjectPath.isEmpty() && mProjectState != 1) {
        clearFocusedWidget();
        uint32_t r = 0;
        {
            WaitCursor wait;
            r = writeProjectFile(mProjectPath);
            updateActions();
            updateUndoRedoActions();
            refreshControls();
        }
        if (r != 0)
            showMessage(tr("#0078 Saving Project File Process returns some error! [%1]").arg(r, 0, 16));
        return;
    }
    mProjectPath = defaultProjectName();
    saveProjectAs();
    if (mProjectState == 1)
        mProjectPath.clear();
}

void MainWindow::saveProjectAs()
{
    if (mProjectPath.isEmpty() || mProjectState == 1)
        mProjectPath = defaultProjectName();
    saveProjectFileAs();
    if (mProjectState == 1)
        mProjectPath.clear();
    updateActions();
    updateUndoRedoActions();
}

bool MainWindow::saveProjectFileAs()
{
    const QString folder = KRMprotoSettings::getProjectFilePath();
    const QString start = (folder.isEmpty() ? QString(".") : folder) + "/" + mProjectPath;
    const QString filter = tr("Project Files (*.svproj)");
    QString name = chooseFile(true, tr("Save Project File"), start, filter);
    if (name.isEmpty())
        return false;
    // The dialog's filter names the suffix; a name typed without one gets it.
    if (QFileInfo(name).suffix().isEmpty())
        name += ".svproj";
    const uint32_t r = writeProjectFile(name);
    if (r != 0) {
        showMessage(tr("#0078 Saving Project File Process returns some error! [%1]").arg(r, 0, 16));
        return false;
    }
    setProjectTitle(name);
    return true;
}

uint32_t MainWindow::writeProjectFile(QString path)
{
    mCore.clearError();
    mMemoryFull = false;
    // Path, folder and title follow the file only once it is written: a
    // failed write leaves the window on the file the project came from, so
    // the next Save never goes silently to the name that failed.
    const uint32_t r = mCore.saveProject(path.toStdWString());
    if (r != 0) {
        // The message names only the code; the log keeps the cause.
        qWarning().noquote() << "project save failed:" << mCore.errorText();
        mMemoryFull = mCore.hasError();
        if (mMemoryFull)
            showMessage(tr("#0112 memory full"));
        return krm::nest(r, 1);
    }
    mProjectPath = path;
    KRMprotoSettings::setProjectFilePath(QFileInfo(path).absolutePath());
    mProjectState = 2;
    clearFocusedWidget();
    return 0;
}

QString MainWindow::defaultProjectName() const
{
    return tr("New Audio Style.svproj");
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!mCore.isModified()) {
        const QString yes = tr("Yes");
        const QString answer = MessageDialog::showCustomButtons(
            this, kTitle, tr("Do you wish to exit?"),
            {{yes, QMessageBox::YesRole}, {tr("No"), QMessageBox::NoRole}}, tr("No"));
        if (answer != yes)
            event->ignore();
        return;
    }
    for (;;) {
        const QString answer = askSaveChanges();
        if (answer == "Cancel")
            break;
        if (answer != "No" || saveProjectFileAs()) {
            event->accept();
            return;
        }
    }
    event->ignore();
}

uint32_t MainWindow::acceptDrag(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (!data || !data->hasFormat(kUriList)) {
        event->ignore();
        return 0;
    }
    const QList<QUrl> urls = data->urls();
    if (urls.size() > 1)
        return 0;
    const auto all = [&urls](const QStringList& suffixes) {
        for (const QUrl& url : urls) {
            if (!suffixes.contains(QFileInfo(url.toLocalFile()).suffix().toLower()))
                return false;
        }
        return true;
    };
    if (all({"wav", "aiff", "aif"})) {
        mDropKind = 1;
        event->setDropAction(Qt::LinkAction);
        event->accept();
        return 1;
    }
    if (all({"svproj"})) {
        mDropKind = 2;
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return 2;
    }
    event->ignore();
    return 0;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    acceptDrag(event);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    acceptDrag(event);
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const uint32_t kind = mDropKind;
    mDropKind = 0;
    if ((kind != 1 && kind != 2) || !event->mimeData() || !event->mimeData()->hasFormat(kUriList)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    mDroppedFiles.clear();
    for (const QUrl& url : event->mimeData()->urls())
        mDroppedFiles << url.toLocalFile();
    event->accept();
    mDropTimer.disconnect();
    if (kind == 1)
        connect(&mDropTimer, SIGNAL(timeout()), this, SLOT(dropEventAsynchronousProcessingImportWav()));
    else
        connect(&mDropTimer, SIGNAL(timeout()), this, SLOT(dropEventAsynchronousProcessingLoadPrj()));
    mDropTimer.setSingleShot(true);
    mDropTimer.start(kDropDelayMs);
}

void MainWindow::dropEventAsynchronousProcessingImportWav()
{
    mDropTimer.disconnect();
    const QStringList files = mDroppedFiles;
    for (const QString& file : files)
        assignWaveToSection(file, QString());
    syncSectionControls(mSection);
    refreshSection(false);
    updateActions();
    updateUndoRedoActions();
}

void MainWindow::dropEventAsynchronousProcessingLoadPrj()
{
    mDropTimer.disconnect();
    const QStringList files = mDroppedFiles;
    for (const QString& file : files)
        openProjectFile(file);
}

void MainWindow::undo()
{
    undoRedo(false);
}

void MainWindow::redo()
{
    undoRedo(true);
}

void MainWindow::undoRedo(bool forward)
{
    const bool wasPlaying = mPlaying;
    if (wasPlaying)
        releasedBtnStopped();
    mUndoRedoRunning = true;
    if (forward)
        mCore.redo();
    else
        mCore.undo();
    refreshAfterEdit();
    refreshSection(true);
    resetBeatShift();
    updateActions();
    updateUndoRedoActions();
    mUndoRedoRunning = false;
    if (wasPlaying)
        releasedBtnPlayLoop();
}

void MainWindow::setProjectTitle(const QString& path)
{
    mLEditProjectFileName->setText(QFileInfo(path).completeBaseName());
}
