// Audition of the marked area in a loop with the click, the song level, and
// the time stretch of a section on its own thread behind a modal busy
// dialog.
#include "BeatGrid.h"
#include "JobThread.h"
#include "MainWindow.h"
#include "MessageDialog.h"
#include "ResultCode.h"
#include "SectionNames.h"
#include "SectionWaveInfo.h"
#include "StretchWindow.h"
#include "TimeStretcher.h"
#include "wavPainter.h"

#include <QApplication>
#include <QDebug>
#include <QThread>

#include <algorithm>
#include <new>

namespace {

// The view's play-position line is its last layer.
constexpr size_t kPlayLineLayer = 6;

}  // namespace

void MainWindow::releasedBtnPlayLoop()
{
    if (mPlaying) {
        releasedBtnStopped();
        mPlaying = false;
        return;
    }
    if (mChkTimeStretch->isChecked()) {
        playLoopTimeStretched();
        return;
    }
    if (mSection < 0 || mSection >= krm::kSectionCount || !m_selectionExists)
        return;
    const int32_t a = std::min(m_selectionStart, m_selectionEnd);
    const int32_t b = std::max(m_selectionStart, m_selectionEnd);
    if (a >= b)
        return;

    const SectionWaveInfo info(&mCore, mSection);
    SectionRecord* record = nullptr;
    if (!info.getSection(record))
        return;
    const uint8_t halfBeat = record->toggle;
    const uint8_t blank = record->pickupOn;
    const uint8_t pickup = record->pickupHalfBeats;
    if ((info.m_endTime - info.m_startTime) * 10000.0 < 1.0) {
        showMessage(tr("Selected range of waveform is too short."));
        return;
    }
    if (info.isStretchOutOfRange()) {
        showMessage(tr("stretch ratio error!"));
        return;
    }
    const int s = mCmbTrimSec->currentIndex();
    WaveInfoRecord* wave = nullptr;
    if (s < 0 || mCore.getWavInfoOfSec(uint8_t(s), &wave) != 0 || !wave)
        return;
    const uint32_t length = secondsToSamples(wave->onsets.empty() ? 0.0f : wave->onsets.back());
    rebuildWavView(mCmbWav->currentIndex(), s, length, {}, int(mHorZoom), mHorZoomedWidth);
    updateScrollRange(mHorZoom, mHorZoomedWidth, false, 0);

    if (mAudition.playLoop(&mCore, uint8_t(mWave), uint8_t(mSection), a, b, halfBeat, blank, pickup, 0) !=
        0) {
        // Nothing plays: stay stopped and say why once.
        mPushButtonPlay->setIcon(QIcon(":/img/btn_play.png"));
        mPlaying = false;
        mChkTimeStretch->setEnabled(true);
        showMessage(mCore.errorText());
        return;
    }
    mPushButtonPlay->setIcon(QIcon(":/img/btn_stop.png"));
    mPlaying = true;
    scrollToSelection();
    if (mLayers.size() > kPlayLineLayer)
        mLayers[kPlayLineLayer]->drawLayerEnabled = true;
    mChkTimeStretch->setEnabled(false);
}

void MainWindow::releasedBtnPlayLoopTS()
{
    playLoopTimeStretched();
}

void MainWindow::releasedBtnStopped()
{
    if (!mAudioEnabled)
        return;
    mAudition.stop();
    mPushButtonPlay->setIcon(QIcon(":/img/btn_play.png"));
    mPlaying = false;
    mChkTimeStretch->setEnabled(true);
    if (mLayers.size() > kPlayLineLayer)
        mLayers[kPlayLineLayer]->drawLayerEnabled = false;
    update();
}

void MainWindow::valueChangedSliderMetro(int val)
{
    if (mUpdating || val == mClickLevel)
        return;
    mClickLevel = uint8_t(val);
}

void MainWindow::playLoopTimeStretched()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int s = mCmbTrimSec->currentIndex();
    const int w = mCmbWav->currentIndex();
    const QString path = s >= 0 && s < krm::kSectionCount ? mCore.sectionWavePath(uint8_t(s)) : QString();

    // The old thread is ended and deleted before its worker.
    endJobThread(mStretchThread);
    delete mStretchWorker;
    auto* worker = new TimeStretcher(&mCore, path, uint32_t(s), uint32_t(w));
    mStretchWorker = worker;
    connect(worker, &TimeStretcher::done, this, &MainWindow::timeStretchDone);
    mStretchThread = new QThread;
    worker->moveToThread(mStretchThread);
    mStretchThread->start(QThread::InheritPriority);
    QMetaObject::invokeMethod(worker, "doTimeStretch", Qt::QueuedConnection);
    showTimeStretchProgress(s);
}

void MainWindow::showTimeStretchProgress(int section)
{
    const QString name = section >= 0 && section < krm::kSectionCount
                             ? QCoreApplication::translate("MainWindow", sectionNames[section])
                             : QString();
    runJobDialog(mStretchDialog, tr("Processing. Please wait.\nTime stretch audio file : %1").arg(name),
                 tr("Time Stretch Audio File"));
}

void MainWindow::timeStretchDone(ulong lErr, QString errorStr)
{
    closeJob(mStretchDialog, mStretchThread);
    QString message = errorStr;
    if (message.isEmpty() && lErr != 0)
        message = tr("time stretch error!");
    if (!message.isEmpty()) {
        qWarning().noquote() << "time stretch:" << krm::describeResult(uint32_t(lErr));
        showMessage(message);
        return;
    }
    showTimeStretchResult(*static_cast<TimeStretcher*>(mStretchWorker));
}

void MainWindow::showTimeStretchResult(TimeStretcher& job)
{
    uint8_t beatsPerBar = 4, beatUnit = 4;
    mCore.getTimeSig(&beatsPerBar, &beatUnit);
    // The window keeps a pointer to the beats: its own copy outlives it.
    const std::vector<uint32_t> points = job.beatPoints;
    delete mStretchWindow;
    mStretchWindow = nullptr;
    auto* window = new (std::nothrow)
        TimeStretchWindow(job.outputPath().toStdWString(), uint8_t(job.sectionIndex), uint8_t(job.waveIndex),
                          job.frameCount, beatsPerBar, &points, 1, 0.0, &mAudition, mChkManual->isChecked(),
                          &mClickOn, &mClickLevel, &mSecondClick, this, this);
    if (!window) {
        showMessage(tr("Wave Viewer open error!"));
        return;
    }
    mStretchWindow = window;
    window->installEventFilter(this);
    window->exec();
    delete mStretchWindow;
    mStretchWindow = nullptr;
    updateActions();
    updateUndoRedoActions();
    refreshControls();
}
