#include "StretchWindow.h"

#include "AudioDeviceASFF.h"
#include "KRMAudition.h"
#include "KRMprotoSettings.h"
#include "MainWindow.h"
#include "MessageDialog.h"
#include "PeakSummary.h"
#include "WavSeeker_libSndFile.h"
#include "wavPainterSeeker.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>

#include <algorithm>
#include <climits>

namespace {

const QString kTitle = QStringLiteral("Stelvano");
constexpr int kLayerCount = kWaveViewLayerCount;

}  // namespace

TimeStretchWindow::TimeStretchWindow(const std::wstring& filePath, uint8_t, uint8_t, uint32_t totalFrames,
                                     uint8_t beatsPerBar, const std::vector<uint32_t>* beatFrames, int zoom,
                                     double offset, KRMAudition* audition, bool manual, uint8_t* clickOn,
                                     uint8_t* clickLevel, uint8_t*, MainWindow*, QWidget* parent)
    : QDialog(parent),
      mManual(manual),
      mClickOn(clickOn),
      mClickLevel(clickLevel),
      mAudition(audition),
      mFilePath(filePath),
      mBeatFrames(beatFrames),
      mBeatsPerBar(beatsPerBar)
{
    setupUi(this);
    holdCursor(Qt::WaitCursor);

    connect(mPushButtonPlay, SIGNAL(clicked()), this, SLOT(releasedBtnPlayLoop()));
    connect(mSliderMetro, SIGNAL(valueChanged(int)), this, SLOT(valueChangedSliderMetro(int)));
    connect(mChkClick, SIGNAL(clicked(bool)), this, SLOT(clickedChkClick(bool)));
    connect(mScrollBar, SIGNAL(valueChanged(int)), this, SLOT(valueChangedScrollBar(int)));
    connect(mBtnHorZoomIn, SIGNAL(clicked()), this, SLOT(releasedBtnHorZoomIn()));
    connect(mBtnHorZoomOut, SIGNAL(clicked()), this, SLOT(releasedBtnHorZoomOut()));

    MainWindow::setFontToChildren(this);
    QFont clickFont = mChkClick->font();
    clickFont.setPixelSize(21);
    mChkClick->setFont(clickFont);

    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("wave viewer - after proccessing time stretch"));
    setMouseTracking(true);
    mMiddleVerticalLayoutMiddle->setMouseTracking(true);
    mFrameWav->m_pReceiver = this;

    for (QObject* w : std::initializer_list<QObject*> {mPushButtonPlay, mSliderMetro, mChkClick,
                                                       mBtnHorZoomIn, mBtnHorZoomOut}) {
        m_filtered[w] = [](QObject*, QEvent*) {};
        w->installEventFilter(this);
    }

    buildPainters(totalFrames, zoom, offset);
    if (!mLayers.empty()) {
        mSelectionActive = true;
        mSelStart = 0;
        mSelEnd = int(std::min<uint32_t>(mLayers[0]->totalSamples, INT_MAX));
    }
    applySelectionToPainters();
    updatePainterFlags();
    updateSelection(mHorZoom, mHorZoomedWidth, false, 0);

    if (mAudition && mAudition->audioDevice()) {
        connect(mAudition, SIGNAL(signalStop()), this, SLOT(stopped()));
        connect(mAudition->audioDevice().data(), SIGNAL(signalLocation()), this, SLOT(location()));
    }
    restoreWindowGeometry();
    refreshControls();
    releaseCursor();
}

TimeStretchWindow::~TimeStretchWindow()
{
    if (mAudition && mAudition->audioDevice()) {
        disconnect(mAudition, SIGNAL(signalStop()), this, SLOT(stopped()));
        disconnect(mAudition->audioDevice().data(), SIGNAL(signalLocation()), this, SLOT(location()));
    }
    // Cleared as they go: the message box of a failed close runs an event
    // loop, and nothing may reach a deleted layer or reader from there.
    while (!mLayers.empty()) {
        wavPainter* layer = mLayers.back();
        mLayers.pop_back();
        delete layer;
    }
    WavSeeker_libSndFile* seeker = mSeeker;
    mSeeker = nullptr;
    delete seeker;
    saveWindowGeometry();
    closeAudioDevice();
    releaseCursor();
}

void TimeStretchWindow::buildPainters(uint32_t totalFrames, int zoom, double offset)
{
    mHorMaxZoom = int(std::min<uint32_t>(totalFrames, INT_MAX));
    mHorZoom = std::max(1, std::min(zoom, zoomLimit()));
    mHorZoomedWidth = std::max(0.0, std::min(offset, double(mHorZoom - 1)));
    delete mSeeker;
    mSeeker = new WavSeeker_libSndFile(mFilePath);
    // One read of the file for both channels; zoom and scroll steps then
    // read only the ends of each column's span.
    const std::shared_ptr<const PeakSummary> summary = PeakSummary::build(*mSeeker);

    const uint32_t length = uint32_t(mHorMaxZoom);
    const uint32_t z = uint32_t(mHorZoom);
    const double o = mHorZoomedWidth;
    if (mLayers.empty()) {
        mLayers.push_back(new wavPainterSeeker(mSeeker, 0, length, z, o, mFrameWav));
        mLayers.push_back(new wavPainterSeeker(mSeeker, 1, length, z, o, mFrameWav));
        mLayers.push_back(new wavPainterMetaLine(mBeatFrames, length, z, o, mFrameWav));
        mLayers.push_back(new wavPainterMetaLineDur(&mRegions, length, z, o, mFrameWav));
        mLayers.push_back(new wavPainterText(tr("section assigned"), length, z, o, mFrameWav));
        mLayers.push_back(new wavPainterSelecter(length, z, o, mFrameWav));
        mLayers.push_back(new wavPainterLocation(length, z, o, mFrameWav));
        static_cast<wavPainterSeeker*>(mLayers[0])->setSummary(summary);
        static_cast<wavPainterSeeker*>(mLayers[1])->setSummary(summary);
    } else {
        static_cast<wavPainterSeeker*>(mLayers[0])->setSource(mSeeker);
        static_cast<wavPainterSeeker*>(mLayers[1])->setSource(mSeeker);
        static_cast<wavPainterSeeker*>(mLayers[0])->setSummary(summary);
        static_cast<wavPainterSeeker*>(mLayers[1])->setSummary(summary);
        static_cast<wavPainterMetaLine*>(mLayers[2])->setData(mBeatFrames);
        static_cast<wavPainterMetaLineDur*>(mLayers[3])->setData(&mRegions);
        for (wavPainter* layer : mLayers) {
            layer->totalSamples = length;
            layer->zoom = z;
            layer->offset = o;
            layer->dirty = true;
        }
    }

    applyWaveViewColours(mLayers);
    auto* beats = static_cast<wavPainterMetaLine*>(mLayers[2]);
    beats->accentPeriod = mBeatsPerBar;
    beats->drawLines = !mManual;
    mLayers[3]->suspended = true;
    mLayers[4]->suspended = true;
    mLayers[6]->drawLayerEnabled = false;
    mLayers[6]->drawBackgroundEnabled = false;
}

int TimeStretchWindow::zoomLimit() const
{
    return int(wavPainter::maxZoomFor(uint32_t(std::max(0, mHorMaxZoom))));
}

// ---------------------------------------------------------------- controls

void TimeStretchWindow::refreshControls()
{
    const bool saved = mUpdating;
    mUpdating = true;
    mChkClick->setEnabled(mSelectionActive && !mManual);
    const bool clickWanted = *mClickOn != 0 && !mManual;
    if (mChkClick->isChecked() != clickWanted) {
        mChkClick->setChecked(clickWanted);
        if (*mClickOn != 0 && mManual)
            *mClickOn = 0;
    }
    mSliderMetro->setEnabled(mSelectionActive);
    if (mSliderMetro->value() != *mClickLevel)
        mSliderMetro->setValue(*mClickLevel);
    mUpdating = saved;
    updateSelection(mHorZoom, mHorZoomedWidth, false, 0);
}

void TimeStretchWindow::valueChangedSliderMetro(int val)
{
    if (mUpdating || val < 0 || val > 255 || *mClickLevel == uint8_t(val))
        return;
    *mClickLevel = uint8_t(val);
}

void TimeStretchWindow::clickedChkClick(bool checked)
{
    if (mUpdating)
        return;
    *mClickOn = checked ? 1 : 0;
}

bool TimeStretchWindow::eventFilter(QObject* watched, QEvent* event)
{
    const auto handler = m_filtered.find(watched);
    if (handler != m_filtered.end())
        handler->second(watched, event);
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- geometry

void TimeStretchWindow::restoreWindowGeometry()
{
    const WindowGeometryKeys keys("TimeStretchWindow");
    KRMprotoSettings::restoreWindowGeometry(static_cast<QWidget*>(this), keys, &MainWindow::applyWindowRect);
    if (KRMprotoSettings::readString(keys.group, keys.maximized) == tr("true"))
        showMaximized();
}

void TimeStretchWindow::saveWindowGeometry()
{
    MainWindow::writeWindowGeometry(this, WindowGeometryKeys("TimeStretchWindow"));
}

// ---------------------------------------------------------------- playback

int TimeStretchWindow::exec()
{
    releasedBtnPlayLoop();
    return QDialog::exec();
}

void TimeStretchWindow::closeEvent(QCloseEvent*)
{
    if (mPlaying)
        stopped();
    mPlaying = false;
    reject();
}

void TimeStretchWindow::closeAudioDevice()
{
    if (!mAudition)
        return;
    const uint32_t r = mAudition->closeDevice();
    if (r != 0) {
        MessageDialog::showMessage(this, kTitle,
                                   tr("Cannot close the audio output device \"%1\". [%2]")
                                       .arg(mAudition->deviceName())
                                       .arg(r, 0, 16),
                                   QMessageBox::Ok, QMessageBox::Ok);
    }
    disconnect(mAudition, SIGNAL(signalStop()), this, SLOT(stopped()));
}

void TimeStretchWindow::buildClickLists(int start, int end, std::vector<int32_t>& bars,
                                        std::vector<int32_t>& beats) const
{
    bars.clear();
    beats.clear();
    if (!mBeatFrames || mBeatsPerBar == 0)
        return;
    const std::vector<uint32_t>& b = *mBeatFrames;
    const size_t barCount = b.size() / mBeatsPerBar;
    for (size_t i = 0; i < barCount; ++i) {
        for (size_t j = 0; j < mBeatsPerBar; ++j) {
            const int64_t p = b[i * mBeatsPerBar + j];
            if (p >= start && p < end)
                (j == 0 ? bars : beats).push_back(int32_t(p - start));
        }
    }
}

void TimeStretchWindow::playSelection(bool loop)
{
    if (mPlaying) {
        stopped();
        mPlaying = false;
        return;
    }
    const int start = std::min(mSelStart, mSelEnd);
    const int end = std::max(mSelStart, mSelEnd);
    if (!mSelectionActive || start >= end || !mAudition)
        return;
    std::vector<int32_t> bars;
    std::vector<int32_t> beats;
    buildClickLists(start, end, bars, beats);
    // A toggle while another play runs would only stop that one.
    const QSharedPointer<AudioDeviceASFF> holder = mAudition->audioDevice();
    if (holder && holder->isPlaying())
        mAudition->stop();
    const uint32_t r = mAudition->togglePlayStretched(mFilePath, start, end, loop, bars, beats);
    if (r != 0) {
        showPlaying(false);
        MessageDialog::showMessage(this, kTitle,
                                   tr("#0077 audition process returns some error! [%1]").arg(r, 0, 16),
                                   QMessageBox::Ok, QMessageBox::Ok);
        return;
    }
    showPlaying(true);
    scrollToSelection();
}

void TimeStretchWindow::showPlaying(bool playing)
{
    mPushButtonPlay->setIcon(
        QIcon(playing ? QStringLiteral(":/img/btn_stop.png") : QStringLiteral(":/img/btn_play.png")));
    mPlaying = playing;
    if (mLayers.size() >= kLayerCount) {
        mLayers[6]->drawLayerEnabled = playing;
        mLayers[6]->update();
    }
}

void TimeStretchWindow::releasedBtnPlayLoop()
{
    playSelection(true);
}

void TimeStretchWindow::releasedBtnPlayOnce()
{
    playSelection(false);
}

void TimeStretchWindow::stopped()
{
    if (mAudition)
        mAudition->stop();
    showPlaying(false);
}

void TimeStretchWindow::location()
{
    if (!mPlaying || mLayers.size() < kLayerCount || !mAudition)
        return;
    auto* line = static_cast<wavPainterLocation*>(mLayers[6]);
    const int x = line->sampleToX(mAudition->getLocation(), true);
    followPlayPosition(x);
    if (x - 1 != mLocationRect.x()) {
        line->locationX = x;
        line->update(mLocationRect);
        mLocationRect = QRect(x - 1, 0, 3, line->height());
        line->update(mLocationRect);
    }
}

// ---------------------------------------------------------------- painting

void TimeStretchWindow::paintEvent(QPaintEvent*)
{
    if (rect() != mLastViewRect || mHorZoom != mLastZoom || mHorZoomedWidth != mLastOffset)
        mRebuild = true;
    setPaintersDirty(mRebuild);
    mRebuild = false;
    mLastViewRect = rect();
    mLastZoom = mHorZoom;
    mLastOffset = mHorZoomedWidth;
    if (mLayers.size() >= kLayerCount) {
        const QRect f = mFrameWav->geometry();
        const int x = f.x();
        const int y = f.y();
        const int h = std::max(0, (f.height() - y - 31) / 2);
        const int w = std::max(0, f.width() - x - 1);
        mLayers[0]->setGeometry(x, y + 10, w, h);
        mLayers[1]->setGeometry(x, y + 20 + h, w, h);
        for (int i : {2, 5, 6})
            mLayers[size_t(i)]->setGeometry(x, y + 10, w, 2 * h + 10);
        for (int i : {3, 4})
            mLayers[size_t(i)]->setGeometry(x, y + 2 * (h + 15), w, 0);
    }
    afterPaint();
}

void TimeStretchWindow::afterPaint()
{ }

void TimeStretchWindow::setPaintersDirty(bool dirty)
{
    if (mLayers.size() < kLayerCount)
        return;
    for (int i : {0, 1, 2})
        mLayers[size_t(i)]->dirty = dirty;
}

void TimeStretchWindow::updatePainterFlags()
{
    if (mLayers.size() > 2) {
        auto* beats = static_cast<wavPainterMetaLine*>(mLayers[2]);
        beats->accentPeriod = mBeatsPerBar;
        beats->drawLines = !mManual;
    }
    if (mPlaying)
        stopped();
}

// ---------------------------------------------------------------- cursor

void TimeStretchWindow::holdCursor(Qt::CursorShape shape)
{
    if (m_cursorHeld) {
        QApplication::changeOverrideCursor(QCursor(shape));
        return;
    }
    QApplication::setOverrideCursor(QCursor(shape));
    m_cursorHeld = true;
}

void TimeStretchWindow::releaseCursor()
{
    if (!m_cursorHeld)
        return;
    m_cursorHeld = false;
    QApplication::restoreOverrideCursor();
}
