// The main window as a frame: construction and teardown, preferences,
// fonts, template style, audio device, About box and lookups.
#include "MainWindow.h"

#include "AnalysisJob.h"

#include "Application.h"
#include "AudioDeviceASFF.h"
#include "AudioSetupEditor.h"
#include "BeatGrid.h"
#include "CappApplicationPrivate_linux.h"
#include "IF_audioFileMngr.h"
#include "JobThread.h"
#include "KRMprotoSettings.h"
#include "MessageDialog.h"
#include "WavSeeker_libSndFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QRegExp>
#include <QRegExpValidator>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QThread>

#include <algorithm>

// The images live in this library; the linker keeps them only when the
// window asks for them.
static void initImageResources()
{
    Q_INIT_RESOURCE(images);
}

namespace {

const char* const kTitle = "Stelvano";
// The template style's fade at a section's ends: 26 ms.
constexpr float kFadeSeconds = 0.026f;

void setPixelSize(QWidget* w, int px)
{
    if (!w)
        return;
    QFont f = w->font();
    f.setPixelSize(px);
    w->setFont(f);
}

QList<QWidget*> directWidgetChildren(QWidget* parent)
{
    return parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
}

// The program's folder, then the current folder.
QStringList resourceFolders()
{
    return {QCoreApplication::applicationDirPath(), QDir::current().canonicalPath()};
}

}  // namespace

MainWindow::CKRMcoreWork::~CKRMcoreWork() = default;

MainWindow::ProgressDialog::ProgressDialog(QWidget* parent) : QProgressDialog(parent)
{ }

void MainWindow::ProgressDialog::closeEvent(QCloseEvent* event)
{
    if (m_mayClose)
        event->accept();
    else
        event->ignore();
}

MainWindow::MainWindow(const QString& startFile) : QMainWindow(nullptr)
{
    initImageResources();
    QCoreApplication::setOrganizationName("Tanvek Corp.");
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(Tessaro::kOrganizationDomain));
    QCoreApplication::setApplicationName(kTitle);

    QIcon icon;
    icon.addFile(":/img/icon36.png", QSize(), QIcon::Normal, QIcon::Off);
    setupUi(this);
    setWindowIcon(icon);

    connectSignals();

    mStatusLabel = new QLabel();
    mStatusLabel->setFont(Ui::MainWindow::statusBar->font());
    Ui::MainWindow::statusBar->addWidget(mStatusLabel, 0);

    setFontToChildren(this);
    setWidgetPixelSizes();

    mAppStyle = QStyleFactory::create("Fusion");
    setWindowTitle(kTitle);

    for (QWidget* w :
         {static_cast<QWidget*>(this), Ui::MainWindow::centralWidget, static_cast<QWidget*>(mTopFrame),
          static_cast<QWidget*>(mMiddleVerticalLayoutMiddle), static_cast<QWidget*>(mBottomVerticalFrame)})
        w->setMouseTracking(true);
    mFrameWav->m_pReceiver = this;

    fillSectionCombo();

    // Seconds with up to five integer digits and one to six decimals.
    const QRegExp trimPattern("([1-9][0-9]{0,4}|[0]{0,1})(\\.[0-9]{1,6})", Qt::CaseSensitive);
    mLEditTrimStart->setValidator(new QRegExpValidator(trimPattern, this));
    mLEditTrimEnd->setValidator(new QRegExpValidator(trimPattern, this));

    installWidgetFilters();

    refreshBlankBox();
    mPickupFrame->hide();

    rebuildWavView(mWave, mSection, mHorMaxZoom, {}, int(mHorZoom), mHorZoomedWidth);
    refreshControls();

    loadPreference();
    findEmptyStyle();
    openAudioDevice();

    const uint32_t fade = secondsToSamples(kFadeSeconds);
    mCore.setFadeLength(fade);
    mCoreWork.setFadeLength(fade);

    mAudioFileMngr = createAudioFileMngr();
    // With several audio files every assigned section uses manual bars.
    mCore.setManualBarsWithManyWaves(true);
    mUpdating = false;

    setAcceptDrops(true);

    initNewProject();
    if (!startFile.isEmpty())
        openProjectFile(startFile);
}

MainWindow::~MainWindow()
{
    mDropTimer.disconnect();
    QApplication::restoreOverrideCursor();

    deletePainters();
    mSeeker.reset();

    savePreference();
    closeAudioDevice();

    delete mAudioFileMngr;
    mAudioFileMngr = nullptr;

    if (mAnaThread) {
        mAnaThread->requestStop();
        mAnaThread->wait();
        delete mAnaThread;
        mAnaThread = nullptr;
    }

    delete mAppStyle;
    mAppStyle = nullptr;

    delete mStretchWindow;
    mStretchWindow = nullptr;
    delete mStretchDialog;
    mStretchDialog = nullptr;
    endJobThread(mStretchThread);
    delete mStretchWorker;
    mStretchWorker = nullptr;
    delete mExportDialog;
    mExportDialog = nullptr;
    endJobThread(mExportThread);
    delete mExportWorker;
    mExportWorker = nullptr;
}

void MainWindow::setWidgetPixelSizes()
{
    const std::pair<int, std::vector<QWidget*>> sizes[] = {
        {27, {mLEditProjectFileName, mLEditBeat, mSpinTempo}},
        {21, {mChkTimeStretch, mChkClick, mBtnBeatAnaHalf, mBtnBeatAnaDouble}},
        {17, {mSectionLabel}},
        {19, {mCmbTrimSec, mChkManual}},
        {17, {mBarLabel}},
        {19, {mSpinBars}},
        {17, {mWaveLabel}},
        {19, {mCmbWav, mBtnImport, mBtnUnlink}},
        {13, {mStartTimeLabel}},
        {15, {mLEditTrimStart}},
        {13, {mEndTimeLabel}},
        {15, {mLEditTrimEnd, mChkFade, mBtnShiftBeatPosition, mChkBlank}},
        {13, {mPickupLabel}},
        {15, {mSpinPickup}},
        {13, {mBeatLabel, mStatusLabel}},
    };
    for (const auto& entry : sizes) {
        for (QWidget* w : entry.second)
            setPixelSize(w, entry.first);
    }
}

void MainWindow::setFontToChildren(QWidget* w)
{
    copyFontToChildren(w, w);
}

void MainWindow::copyFontToChildren(QWidget* source, QWidget* parent)
{
    for (QWidget* child : directWidgetChildren(parent)) {
        QFont f = source->font();
        f.setPixelSize(12);
        child->setFont(f);
    }
}

void MainWindow::setChildrenPixelSize(QWidget* parent, int px)
{
    for (QWidget* child : directWidgetChildren(parent))
        setPixelSize(child, px);
}

bool MainWindow::applyWindowRect(QWidget* window, const QRect& saved, const QRect& available)
{
    if (saved.width() == 0 || saved.height() == 0)
        return false;
    QRect r = saved;
    const QRect& b = available;
    // Move back onto the screen, keeping the size...
    if (r.right() > b.right())
        r.moveLeft(b.right() - (r.right() - r.left()));
    if (r.left() < b.left())
        r.moveLeft(b.left());
    if (r.bottom() > b.bottom())
        r.moveTop(b.bottom() - (r.bottom() - r.top()));
    if (r.top() < b.top())
        r.moveTop(b.top());
    // ...then cut what is still larger than the screen.
    if (r.right() > b.right())
        r.setRight(b.right());
    if (r.bottom() > b.bottom())
        r.setBottom(b.bottom());
    window->setGeometry(r);
    return true;
}

void MainWindow::loadPreference()
{
    const WindowGeometryKeys keys("MainWindow");
    KRMprotoSettings::restoreWindowGeometry(this, keys, &MainWindow::applyWindowRect);
    if (KRMprotoSettings::readString(keys.group, keys.maximized) == tr("true"))
        showMaximized();
    if (mAudioEnabled) {
        mDeviceName = KRMprotoSettings::getAudioDeviceName();
        qDebug().noquote() << QString("loadPreference: Audio Driver = [%1]").arg(mDeviceName);
    }
    mManualDefault = KRMprotoSettings::getManualDefault();
    mTimeStretchDefault = KRMprotoSettings::getTimeStretchDefault();
}

void MainWindow::writeWindowGeometry(QWidget* window, const WindowGeometryKeys& keys)
{
    KRMprotoSettings::writeString(keys.group, keys.maximized,
                                  window->isMaximized() ? tr("true") : tr("false"));
    if (!window->isMaximized() && !window->isMinimized()) {
        const QRect g = window->geometry();
        KRMprotoSettings::writeInt(keys.group, keys.geometryX, g.x());
        KRMprotoSettings::writeInt(keys.group, keys.geometryY, g.y());
        KRMprotoSettings::writeInt(keys.group, keys.geometryW, g.width());
        KRMprotoSettings::writeInt(keys.group, keys.geometryH, g.height());
    }
    QScreen* s = window->screen();
    const QRect available = s ? s->availableGeometry() : QRect();
    KRMprotoSettings::writeInt(keys.group, keys.screenNumber, QGuiApplication::screens().indexOf(s));
    KRMprotoSettings::writeInt(keys.group, keys.screenGeometryX, available.x());
    KRMprotoSettings::writeInt(keys.group, keys.screenGeometryY, available.y());
    KRMprotoSettings::writeInt(keys.group, keys.screenGeometryW, available.width());
    KRMprotoSettings::writeInt(keys.group, keys.screenGeometryH, available.height());
}

void MainWindow::savePreference()
{
    writeWindowGeometry(this, WindowGeometryKeys("MainWindow"));
    if (mAudioEnabled) {
        KRMprotoSettings::setAudioDeviceName(mDeviceName);
        mDeviceName = KRMprotoSettings::getAudioDeviceName();
        qDebug().noquote() << QString("savePreference: Audio Driver = [%1]").arg(mDeviceName);
    }
}

void MainWindow::findEmptyStyle()
{
    for (const QString& folder : resourceFolders()) {
        if (QFileInfo::exists(folder + "/Empty.sty")) {
            mCore.setResourcePath(1, 255, folder);
            qDebug().noquote() << " find Empty.sty: " << folder;
            return;
        }
    }
}

void MainWindow::openAudioDevice()
{
    if (!mAudioEnabled)
        return;
    const uint32_t r = mAudition.openDevice(mDeviceName);
    if (r != 0) {
        showMessage(tr("Cannot open the audio output device \"%1\". [%2]").arg(mDeviceName).arg(r, 0, 16));
        mAudioEnabled = false;
    }
    if (const QSharedPointer<AudioDeviceASFF> holder = mAudition.audioDevice()) {
        connect(&mAudition, SIGNAL(signalStop()), this, SLOT(releasedBtnStopped()));
        connect(holder.data(), SIGNAL(signalLocation()), this, SLOT(location()));
    }
    if (r != 0)
        return;
    // Only the accent click's file decides the folder: a missing second
    // click just stays silent.
    for (const QString& folder : resourceFolders()) {
        const QString first = folder + "/Metro1.wav";
        const QString second = folder + "/Metro2.wav";
        if (QFileInfo::exists(first)) {
            qDebug().noquote() << " find Metro1.wav: " << first;
            qDebug().noquote() << " find Metro2.wav: " << second;
            mAudition.setClickSounds(first, second);
            return;
        }
    }
}

void MainWindow::closeAudioDevice()
{
    if (!mAudioEnabled)
        return;
    const uint32_t r = mAudition.closeDevice();
    if (r != 0)
        showMessage(tr("Cannot close the audio output device \"%1\". [%2]")
                        .arg(mAudition.deviceName())
                        .arg(r, 0, 16));
    disconnect(&mAudition, SIGNAL(signalStop()), this, SLOT(releasedBtnStopped()));
}

void MainWindow::audioDeviceSetting()
{
    if (!mAudioEnabled)
        return;
    if (mPlaying)
        releasedBtnStopped();
    AudioSetupEditor editor(this);
    if (editor.exec() != QDialog::Accepted)
        return;
    const uint32_t r = mAudition.updateDeviceName();
    if (r == 0)
        mDeviceName = mAudition.deviceName();
    else
        showMessage(tr("#0108 some error occurs! [%1]").arg(r, 0, 16));
}

void MainWindow::openInformation()
{
    const Application::VersionInformation version;
    const QString text =
        tr("%1  V%2\n\n%3")
            .arg(version.fileDescription(0), version.productVersion(0), version.legalCopyright(0));
    MessageDialog::showWithIcon(this, tr("Application Information"), text, 450, QMessageBox::Ok,
                                QMessageBox::Ok, QMessageBox::NoIcon);
}

QString MainWindow::waveNameAt(int index)
{
    WaveInfoRecord* wave = nullptr;
    if (index < 0 || index >= waveCount() || mCore.getWavInfo(uint8_t(index), &wave) != 0 || !wave)
        return QString();
    return QString::fromStdWString(wave->path);
}

int MainWindow::waveIndexOf(const QString& path)
{
    // Wave indices are 8-bit: 255 at most.
    const int count = std::min(waveCount(), 255);
    for (int i = 0; i < count; ++i) {
        WaveInfoRecord* wave = nullptr;
        if (mCore.getWavInfo(uint8_t(i), &wave) != 0 || !wave)
            return -1;
        if (QString::fromStdWString(wave->path) == path)
            return i;
    }
    return -1;
}

int MainWindow::waveCount()
{
    return int(mCore.getProjectInfo()->waveCount());
}

void MainWindow::showMessage(const QString& text)
{
    MessageDialog::showMessage(this, kTitle, text, QMessageBox::Ok, QMessageBox::Ok);
}
