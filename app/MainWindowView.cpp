// The main window's waveform view: the stack of seven painter layers in
// mFrameWav, zoom and scroll, the marks, labels and selection it draws, the
// play-position line, and the drags and keys that mark a range.
//
// Points are in mFrameWav's coordinates. The layers sit inside the frame at
// the frame's own offset in its parent, so a layer's column is the point's x
// minus the layer's x; every conversion goes through columnOf and
// frameXOfColumn so that pointer, selection and drawing agree.
#include "MainWindow.h"

#include "BeatGrid.h"
#include "KeyModifiers.h"
#include "ResultCode.h"
#include "SectionNames.h"
#include "UpdateGuard.h"
#include "WaveViewRules.h"
#include "PeakSummary.h"
#include "WavSeeker_libSndFile.h"
#include "wavPainterSeeker.h"

#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

enum Layer {
    kLeftWave = 0,
    kRightWave = 1,
    kBeatLayer = 2,
    kLabelLayer = 3,
    kCaptionLayer = 4,
    kSelectionLayer = 5,
    kLocationLayer = 6,
    kLayerCount = kWaveViewLayerCount
};

// Columns from the view's edges where a drag scrolls the view.
constexpr int kEdgeColumns = 30;

using Rules = WaveViewRules;

const QPoint kNoPoint(-1, 0);

using krm::isIntro;
constexpr bool (*isSection)(int) = krm::isSectionIndex;

// The two ends of a range in order, as unsigned samples for the layers.
std::pair<uint32_t, uint32_t> orderedRange(int32_t a, int32_t b)
{
    const int32_t lo = std::max(0, std::min(a, b));
    const int32_t hi = std::max(0, std::max(a, b));
    return {uint32_t(lo), uint32_t(hi)};
}

uint32_t lastOnsetSample(const WaveInfoRecord& wave)
{
    return wave.onsets.empty() ? 0 : secondsToSamples(wave.onsets.back());
}

// Beats of a section's provisional mark list: its bars, plus the pickup bar
// of an intro that starts with a blank pickup.
size_t provisionalBeatCount(int s, const SectionRecord& sec, uint8_t beatsPerBar)
{
    const size_t bars = size_t(sec.barCount) + (isIntro(s) && sec.pickupOn && sec.pickupHalfBeats ? 1 : 0);
    return size_t(beatsPerBar) * bars;
}

bool isArrowKey(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

// Arrow keys may carry the keypad modifier; it does not change their
// meaning.
Qt::KeyboardModifiers withoutKeypad(Qt::KeyboardModifiers m)
{
    return m & ~Qt::KeypadModifier;
}

}  // namespace

// ---------------------------------------------------------------- geometry

int MainWindow::columnOf(int64_t sample) const
{
    return mLayers.empty() ? 0 : mLayers[kLeftWave]->sampleToX(sample);
}

int MainWindow::frameXOfColumn(int column) const
{
    return column + (mLayers.empty() ? 0 : mLayers[kLeftWave]->x());
}

int MainWindow::viewWidth() const
{
    return mLayers.empty() ? mFrameWav->width() : mLayers[kLeftWave]->width();
}

bool MainWindow::insideFrame(const QPoint& p) const
{
    return p.x() >= 0 && p.x() <= mFrameWav->width() && p.y() >= 0 && p.y() <= mFrameWav->height();
}

int MainWindow::painterIndexAt(const QPoint& p) const
{
    for (size_t i = 0; i < mLayers.size() && i < size_t(kLayerCount); ++i) {
        if (mLayers[i]->geometry().contains(p, true))
            return int(i);
    }
    return -1;
}

// ---------------------------------------------------------------- the stack

void MainWindow::rebuildWavView(int wave, int section, uint32_t length, const std::vector<int32_t>& marks,
                                int zoom, double position)
{
    mWave = wave;
    mSection = section;
    const bool lengthChanged = length != mHorMaxZoom;
    mHorMaxZoom = length;
    m_beatMarks.assign(marks.begin(), marks.end());
    mHorZoom = Rules::clampZoom(zoom, mHorMaxZoom);
    mHorZoomedWidth = Rules::clampPosition(position, mHorZoom);

    collectWaveMarks(section);

    bool newReader = false;
    WaveInfoRecord* record = nullptr;
    if (isSection(section) && mCore.getWavInfoOfSec(uint8_t(section), &record) == 0 && record) {
        mSeeker = std::make_unique<WavSeeker_libSndFile>(record->path);
        mPeakSummary = PeakSummary::forFile(QString::fromStdWString(record->path), *mSeeker);
        newReader = true;
    }

    for (int i = 0; i < kLayerCount; ++i) {
        if (size_t(i) >= mLayers.size()) {
            wavPainter* layer = nullptr;
            switch (i) {
            case kLeftWave:
            case kRightWave:
                layer = new wavPainterSeeker(mSeeker.get(), uint8_t(i), mHorMaxZoom, mHorZoom,
                                             mHorZoomedWidth, mFrameWav);
                static_cast<wavPainterSeeker*>(layer)->setSummary(mPeakSummary);
                break;
            case kBeatLayer:
                layer =
                    new wavPainterMetaLine(&m_beatMarks, mHorMaxZoom, mHorZoom, mHorZoomedWidth, mFrameWav);
                break;
            case kLabelLayer:
                layer = new wavPainterMetaLineDur(&m_sectionLabels, mHorMaxZoom, mHorZoom, mHorZoomedWidth,
                                                  mFrameWav);
                break;
            case kCaptionLayer:
                layer = new wavPainterText(tr("section assigned"), mHorMaxZoom, mHorZoom, mHorZoomedWidth,
                                           mFrameWav);
                break;
            case kSelectionLayer:
                layer = new wavPainterSelecter(mHorMaxZoom, mHorZoom, mHorZoomedWidth, mFrameWav);
                break;
            default:
                layer = new wavPainterLocation(mHorMaxZoom, mHorZoom, mHorZoomedWidth, mFrameWav);
                break;
            }
            mLayers.push_back(layer);
            layer->show();
            continue;
        }
        wavPainter* layer = mLayers[size_t(i)];
        layer->totalSamples = mHorMaxZoom;
        layer->zoom = mHorZoom;
        layer->offset = mHorZoomedWidth;
        if (auto* seeker = dynamic_cast<wavPainterSeeker*>(layer)) {
            seeker->setSource(mSeeker.get());
            seeker->setSummary(mPeakSummary);
            seeker->channel = uint8_t(i);
            // A new file or length needs new peaks even when the window's
            // size, zoom and scroll stay as they were.
            if (newReader || lengthChanged)
                seeker->dirty = true;
        } else if (auto* beats = dynamic_cast<wavPainterMetaLine*>(layer)) {
            beats->setData(&m_beatMarks);
        } else if (auto* labels = dynamic_cast<wavPainterMetaLineDur*>(layer)) {
            labels->setData(&m_sectionLabels);
        } else if (auto* caption = dynamic_cast<wavPainterText*>(layer)) {
            caption->text = tr("section assigned");
        }
    }

    if (mLayers.size() != size_t(kLayerCount))
        return;
    applyWaveViewColours(mLayers);
    for (wavPainter* layer : mLayers)
        layer->suspended = false;
    // The play line shows only while a section plays.
    mLayers[kLocationLayer]->drawLayerEnabled = false;
    mLayers[kLocationLayer]->drawBackgroundEnabled = false;
}

void MainWindow::showEmptyWavView()
{
    // Without this the channels kept the old reader and their cached peaks
    // (a rebuild for a section without audio keeps the reader), so the
    // previous song stayed drawn until something else repainted the view.
    mSeeker.reset();
    mPeakSummary.reset();
    rebuildWavView(mWave, mSection, 0, {}, 1, 0.0);
    // The scroll bar and zoom of a view without audio; this also repaints.
    updateScrollRange(1, 0.0, false, 0);
}

void MainWindow::deletePainters()
{
    for (wavPainter* layer : mLayers)
        delete layer;
    mLayers.clear();
}

void MainWindow::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    if (rect() != mPrevRect || mHorZoom != mPrevZoom || mHorZoomedWidth != mPrevZoomedWidth)
        mRelayout = true;
    // The layout only ever asks for a rebuild: a rebuild that a refresh or
    // a new file asked for must survive a paint that changes nothing here.
    if (mLayers.size() >= size_t(kLayerCount) && mRelayout) {
        for (int i : {kLeftWave, kRightWave, kBeatLayer})
            mLayers[size_t(i)]->dirty = true;
    }
    mRelayout = false;
    mPrevRect = rect();
    mPrevZoom = mHorZoom;
    mPrevZoomedWidth = mHorZoomedWidth;
    if (mLayers.size() != size_t(kLayerCount))
        return;

    const int x = mFrameWav->x();
    const int y = mFrameWav->y();
    const int width = mFrameWav->width() - x - 1;
    const int half = (mFrameWav->height() - y - 69) / 2;
    const QRect left(x, y + 10, width, half);
    const QRect right(x, y + 20 + half, width, half);
    const QRect whole(x, y + 10, width, 2 * half + 10);
    const QRect strip(x, y + 30 + 2 * half, width, 28);
    const QRect geometries[kLayerCount] = {left, right, whole, strip, strip, whole, whole};
    for (int i = 0; i < kLayerCount; ++i) {
        if (mLayers[size_t(i)]->geometry() != geometries[i])
            mLayers[size_t(i)]->setGeometry(geometries[i]);
    }
}

// ---------------------------------------------------------------- zoom and scroll

void MainWindow::updateScrollRange(int64_t zoom, double position, bool zoomed, uint8_t before)
{
    const bool enabled = isProjectOpen() && hasCurrentWave();
    mScrollBar->setEnabled(enabled);
    mBtnHorZoomIn->setEnabled(enabled);
    mBtnHorZoomOut->setEnabled(enabled);
    mDragAnchor.setX(-1);
    mRightClickPoint.setX(-1);
    {
        UpdateGuard guard(mUpdating);
        // Within the largest zoom the length allows (at least 1, and 50 x
        // zoom still an int), and a position on one of its pages.
        mHorZoom = Rules::clampZoom(zoom, mHorMaxZoom);
        mHorZoomedWidth = Rules::clampPosition(position, mHorZoom);
        mScrollBar->setMinimum(0);
        mScrollBar->setMaximum(Rules::scrollMaximum(mHorZoom));
        mScrollBar->setPageStep(Rules::kStepsPerWidth);
        mScrollBar->setValue(Rules::scrollValue(mHorZoomedWidth));
    }
    for (wavPainter* layer : mLayers) {
        layer->zoom = mHorZoom;
        layer->offset = mHorZoomedWidth;
    }
    if (zoomed && mHorMaxZoom > 0) {
        // Setting the bar runs valueChangedScrollBar, which takes the
        // position and moves the layers.
        const auto setBar = [this](int64_t value) {
            mScrollBar->setValue(
                int(std::clamp<int64_t>(value, mScrollBar->minimum(), mScrollBar->maximum())));
        };
        // Plain variables: C++17 lets no lambda capture a structured binding.
        const std::pair<uint32_t, uint32_t> range = orderedRange(m_selectionStart, m_selectionEnd);
        const uint32_t lo = range.first;
        const uint32_t hi = range.second;
        const auto moveStartToLeft = [&] {
            qDebug() << "should move start to left";
            setBar(Rules::scrollValueShowing(lo, mHorMaxZoom, mHorZoom));
        };
        const uint8_t now = selectionVisibility();
        qDebug().noquote() << QString("Select Condition [%1] -> [%2]").arg(before).arg(now);
        if (before == 1 && (now == 3 || now == 0)) {
            qDebug() << "should move end to right";
            setBar(Rules::scrollValueEndingAt(hi, mHorMaxZoom, mHorZoom));
            const uint8_t after = selectionVisibility();
            if (after == 2 || after == 0)
                moveStartToLeft();
        } else if (before == 3 && now == 0) {
            moveStartToLeft();
        }
    }
    update();
}

void MainWindow::releasedBtnHorZoomIn()
{
    const uint8_t visibility = selectionVisibility();
    const Rules::View view = Rules::zoomedIn({mHorZoom, mHorZoomedWidth}, mHorMaxZoom);
    updateScrollRange(view.zoom, view.position, true, visibility);
}

void MainWindow::releasedBtnHorZoomOut()
{
    const Rules::View view = Rules::zoomedOut({mHorZoom, mHorZoomedWidth});
    updateScrollRange(view.zoom, view.position, false, 0);
}

void MainWindow::valueChangedScrollBar(int val)
{
    if (mUpdating)
        return;
    updateScrollRange(mHorZoom, Rules::positionOfScrollValue(val), false, 0);
}

uint8_t MainWindow::selectionVisibility() const
{
    if (!m_selectionExists || mLayers.empty())
        return 0;
    const auto [lo, hi] = orderedRange(m_selectionStart, m_selectionEnd);
    // The view's edge columns count as in view here.
    return Rules::selectionVisibility(columnOf(lo), columnOf(hi), 0, viewWidth(), Rules::Edges::InView);
}

void MainWindow::bringSelectionIntoView()
{
    if (mHorMaxZoom == 0)
        return;
    const auto [lo, hi] = orderedRange(m_selectionStart, m_selectionEnd);
    if (Rules::scrollsToSelectionStart(selectionVisibility(), columnOf(lo), columnOf(hi), 0, viewWidth())) {
        const int64_t value = Rules::scrollValueShowing(lo, mHorMaxZoom, mHorZoom);
        mScrollBar->setValue(int(std::clamp<int64_t>(value, mScrollBar->minimum(), mScrollBar->maximum())));
    }
}

void MainWindow::scrollToSelection()
{
    if (mLayers.size() <= size_t(kSelectionLayer))
        return;
    if (mHorZoom != 1)
        bringSelectionIntoView();
    updateScrollRange(mHorZoom, mHorZoomedWidth, false, 0);
}

// ---------------------------------------------------------------- play position

void MainWindow::followPlayPosition(int x)
{
    if (mLayers.size() <= size_t(kSelectionLayer))
        return;
    const auto end = [this] { return columnOf(orderedRange(m_selectionStart, m_selectionEnd).second); };
    const int xs = columnOf(orderedRange(m_selectionStart, m_selectionEnd).first);
    const int xe = end();
    const int w = viewWidth();
    const int limit = w - 3;
    if (x == 0) {
        // Play started again at the left, e.g. after a loop.
        scrollToSelection();
        return;
    }
    if (x < limit && xs <= w)
        return;
    const int d = xe - w;
    if (d < w && x != limit) {
        int b = mScrollBar->value() + 1;
        const int before = end();
        mScrollBar->setValue(b);
        const int step = std::abs(end() - before);
        if (step < 1)
            return;
        while (true) {
            const int64_t target = int64_t(b) + 1 + (std::abs(int64_t(d)) + step - 1) / step;
            mScrollBar->setValue(int(std::min<int64_t>(target, mScrollBar->maximum())));
            if (mScrollBar->value() >= mScrollBar->maximum() || end() <= limit)
                break;
            b = mScrollBar->value() + 1;
            mScrollBar->setValue(b);
        }
    } else if (xe > w) {
        mScrollBar->setValue(mScrollBar->value() + mScrollBar->pageStep());
    }
}

void MainWindow::location()
{
    if (!mPlaying || mLayers.size() <= size_t(kLocationLayer))
        return;
    auto* line = static_cast<wavPainterLocation*>(mLayers[kLocationLayer]);
    const int x = line->sampleToX(mAudition.getLocation(), true);
    followPlayPosition(x);
    if (mLocationRect.x() == x - 1 && mLocationRect.isValid())
        return;
    line->locationX = x;
    if (mLocationRect.isValid())
        line->update(mLocationRect);
    mLocationRect = QRect(x - 1, 0, 3, line->height());
    line->update(mLocationRect);
}

// ---------------------------------------------------------------- the whole section

void MainWindow::releasedBtnViewerWav()
{
    if (mPlaying)
        releasedBtnStopped();
    const int s = mCmbTrimSec->currentIndex();
    if (!isSection(s)) {
        showMessage(tr("#0097 no section is specified!"));
        return;
    }
    WaveInfoRecord* wave = nullptr;
    uint8_t beatsPerBar = 4;
    uint8_t beatUnit = 4;
    if (mCore.getWavInfoOfSec(uint8_t(s), &wave) == 0 && wave &&
        mCore.getTimeSig(&beatsPerBar, &beatUnit) == 0) {
        const uint32_t length = lastOnsetSample(*wave);
        // Only drawn when the section's audio file cannot be found.
        std::vector<int32_t> marks;
        SectionRecord* sec = nullptr;
        WaveInfoRecord* secWave = nullptr;
        if (mCore.getSecAndWavInfo(uint8_t(s), &sec, &secWave) == 0 && sec && secWave)
            marks.assign(provisionalBeatCount(s, *sec, beatsPerBar), 0);
        rebuildWavView(mCmbWav->currentIndex(), s, length, marks, 1, 0.0);
        updateScrollRange(mHorZoom, mHorZoomedWidth, false, 0);
        QApplication::restoreOverrideCursor();
    }
    refreshSection(true);
    refreshWaveButtons();
    m_beatShiftState = 0;
    updateShiftBeatButtonText();
    updateActions();
    updateUndoRedoActions();
}

void MainWindow::refreshSection(bool rebuild)
{
    const int s = mCmbTrimSec->currentIndex();
    WaveInfoRecord* wave = nullptr;
    SectionRecord* sec = nullptr;
    const bool hasFile = isSection(s) && mCore.getWavInfoOfSec(uint8_t(s), &wave) == 0 && wave &&
                         mCore.getSecInfo(uint8_t(s), &sec) == 0 && sec;
    const uint32_t end = hasFile ? lastOnsetSample(*wave) : 0;
    uint8_t beatsPerBar = 4;
    uint8_t beatUnit = 4;
    if (mCore.getTimeSig(&beatsPerBar, &beatUnit) != 0)
        beatsPerBar = 4;

    std::vector<int32_t> marks;
    if (hasFile) {
        marks.assign(provisionalBeatCount(s, *sec, beatsPerBar), 0);
        for (int i : {kLeftWave, kRightWave}) {
            if (size_t(i) < mLayers.size()) {
                mLayers[size_t(i)]->drawLayerEnabled = true;
                mLayers[size_t(i)]->drawBackgroundEnabled = true;
                mLayers[size_t(i)]->dirty = true;
            }
        }
    } else if (isSection(mSection) && mCmbWav->currentIndex() == -1) {
        for (int i : {kLeftWave, kRightWave}) {
            if (size_t(i) < mLayers.size()) {
                mLayers[size_t(i)]->drawLayerEnabled = false;
                mLayers[size_t(i)]->dirty = false;
                mLayers[size_t(i)]->drawBackgroundEnabled = true;
            }
        }
    }

    selectionFromSection(s);
    applySelectionToPainters();
    if (rebuild)
        rebuildWavView(hasFile ? int(sec->waveIndex) : mCmbWav->currentIndex(), s, end, marks, int(mHorZoom),
                       mHorZoomedWidth);
    scrollToSelection();

    refreshSectionControls(s);
    syncSectionControls(s);
    updateActions();
    updateUndoRedoActions();
}

// ---------------------------------------------------------------- marks and labels

uint32_t MainWindow::collectWaveMarks(int section)
{
    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = nullptr;
    if (!isSection(section) || mCore.getSecAndWavInfo(uint8_t(section), &sec, &wave) != 0 || !sec || !wave)
        return krm::fail(1);
    if (!QFileInfo::exists(QString::fromStdWString(wave->path)))
        return krm::fail(2);

    // The beats on the section's grid: every second half beat from the
    // section's own (on-beat or off-beat) entry.
    const BeatGridLayout grid(wave->beats.size(), wave->beatStep, sec->toggle);
    m_beatMarks.clear();
    for (uint64_t i = grid.first; grid.holds(i); i += grid.stride)
        m_beatMarks.push_back(secondsToSamples(wave->beats[size_t(i)]));

    // Every beat and off-beat of the audio file shown.
    WaveInfoRecord* shown = nullptr;
    if (mWave < 0 || mWave >= waveCount() || mCore.getWavInfo(uint8_t(mWave), &shown) != 0 || !shown)
        shown = wave;
    const BeatGridLayout halves(shown->beats.size(), shown->beatStep, 0);
    m_halfBeatMarks.clear();
    for (uint64_t i = 0; halves.holds(i); i += halves.step)
        m_halfBeatMarks.push_back(secondsToSamples(shown->beats[size_t(i)]));
    return 0;
}

uint32_t MainWindow::syncViewMarks(int section)
{
    SectionRecord* sec = nullptr;
    if (isSection(section) && (mCore.getSecInfo(uint8_t(section), &sec) != 0 || !sec))
        return krm::fail(1);
    // A section whose audio file is missing keeps the marks it was given.
    if (sec && sec->used && collectWaveMarks(section) == krm::fail(1))
        return krm::fail(1);

    auto* beats = mLayers.size() > size_t(kBeatLayer) ? dynamic_cast<wavPainterMetaLine*>(mLayers[kBeatLayer])
                                                      : nullptr;
    if (beats) {
        uint8_t beatsPerBar = 4;
        uint8_t beatUnit = 4;
        if (mCore.getTimeSig(&beatsPerBar, &beatUnit) != 0)
            beatsPerBar = 4;
        beats->accentPeriod = beatsPerBar;
        beats->drawLines = !mChkManual->isChecked();
        if (sec && sec->used) {
            if (isIntro(section) && sec->pickupOn && sec->pickupHalfBeats == 0) {
                // A blank intro counts its bars back from its end.
                uint32_t first = 0;
                uint32_t last = 0;
                uint32_t r = mCore.beatIndexAtAddress(sec->waveIndex, sec->toggle, sec->startAdrs, first);
                if (r == 0)
                    r = mCore.beatIndexAtAddress(sec->waveIndex, sec->toggle, sec->endAdrs, last);
                if (r != 0)
                    return krm::nest(r, 4);
                const int64_t span = int64_t(last) - int64_t(first);
                beats->accentOrigin = int(first + ((span % beatsPerBar) + beatsPerBar) % beatsPerBar);
            } else {
                beats->setAccentOriginBySample(
                    uint32_t(std::max<int64_t>(0, int64_t(sec->startAdrs) + sec->startOffset)));
            }
        }
    }
    collectSectionLabels();
    return 0;
}

uint32_t MainWindow::collectSectionLabels()
{
    m_sectionLabels.clear();
    for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
        SectionRecord* sec = nullptr;
        if (const uint32_t r = mCore.getSecInfo(i, &sec))
            return krm::nest(r, 6);
        if (!sec)
            return krm::fail(7);
        if (!sec->used || int(sec->waveIndex) != mWave)
            continue;
        wavPainterMetaLineDur::Region region;
        if (sec->pickupOn && sec->pickupHalfBeats) {
            if (const uint32_t r = mCore.getSecStartAdrs(i, region.start))
                return krm::nest(r, 6);
        } else {
            region.start = uint32_t(std::max<int64_t>(0, int64_t(sec->startAdrs) + sec->startOffset));
        }
        region.end = uint32_t(std::max<int64_t>(0, int64_t(sec->endAdrs) + sec->endOffset));
        region.label = QCoreApplication::translate("MainWindow", sectionNames[i]).toStdString();
        m_sectionLabels.push_back(std::move(region));
    }
    return 0;
}

int32_t MainWindow::snapToMarks(int32_t sample, const std::vector<uint32_t>& marks) const
{
    return int32_t(Rules::snapToMarks(sample, marks, mHorMaxZoom));
}

void MainWindow::fillWaveCombo()
{
    UpdateGuard guard(mUpdating);
    mCmbWav->clear();
    mCmbWav->setCurrentIndex(-1);
    const int count = std::min(waveCount(), 255);
    for (int i = 0; i < count; ++i) {
        WaveInfoRecord* wave = nullptr;
        if (mCore.getWavInfo(uint8_t(i), &wave) != 0 || !wave)
            break;
        mCmbWav->addItem(QFileInfo(QString::fromStdWString(wave->path)).fileName());
    }
    mCmbWav->setEnabled(isProjectOpen());
}

int MainWindow::selectWaveIndex(int index)
{
    mCmbWav->setCurrentIndex(index);
    if (mCmbWav->currentIndex() != index)
        return mCmbWav->currentIndex();
    const QString path = waveNameAt(index);
    mCmbWav->setToolTip(path.isEmpty() ? tr("select audio file for section assign") : path);
    return index;
}

// ---------------------------------------------------------------- the selection

void MainWindow::selectionFromSection(int section)
{
    m_selectionStart = 0;
    m_selectionEnd = 0;
    m_selectionExists = false;
    SectionRecord* sec = nullptr;
    if (isSection(section) && mCore.getSecInfo(uint8_t(section), &sec) == 0 && sec && sec->used) {
        int32_t start = 0;
        int32_t end = 0;
        if (mCore.checkPickup(uint8_t(section), start, end) == 0) {
            m_selectionStart = start;
            m_selectionEnd = end;
            m_selectionExists = start != 0 || end != 0;
        }
    }
    if (mLayers.size() > size_t(kSelectionLayer)) {
        mLayers[kSelectionLayer]->drawBackgroundEnabled = true;
        mLayers[kSelectionLayer]->drawLayerEnabled = m_selectionExists;
    }
}

void MainWindow::clearSelection()
{
    m_selectionStart = 0;
    m_selectionEnd = 0;
    m_selectionExists = false;
    applySelectionToPainters();
}

void MainWindow::applySelectionToPainters()
{
    const auto [lo, hi] = orderedRange(m_selectionStart, m_selectionEnd);
    if (mLayers.size() > size_t(kSelectionLayer)) {
        if (auto* selection = dynamic_cast<wavPainterSelecter*>(mLayers[kSelectionLayer])) {
            selection->selectionVisible = true;
            selection->selectionStart = lo;
            selection->selectionEnd = hi;
            selection->drawLayerEnabled = m_selectionExists;
        }
    }
    if (mLayers.size() > size_t(kLabelLayer)) {
        if (auto* labels = dynamic_cast<wavPainterMetaLineDur*>(mLayers[kLabelLayer])) {
            labels->highlightEnabled = true;
            labels->highlightStart = lo;
            labels->highlightEnd = hi;
        }
    }
    update();
}

// ---------------------------------------------------------------- pointer

void MainWindow::updateWaveCursor()
{
    const QPoint p = mFrameWav->mapFromGlobal(QCursor::pos());
    const bool ours =
        QApplication::overrideCursor() && (QApplication::overrideCursor()->shape() == Qt::SplitHCursor ||
                                           QApplication::overrideCursor()->shape() == Qt::SizeHorCursor);
    // Over the layers: they start at the frame's own offset in its parent.
    const bool over = p.x() >= mFrameWav->x() && p.y() >= mFrameWav->y() && p.x() <= mFrameWav->width() &&
                      p.y() <= mFrameWav->height();
    if (!(over && hasCurrentWave() && mKeyModifiers == Qt::ShiftModifier && !mLayers.empty())) {
        mEdgeZone = 3;
        // Only the view's own shapes: a wait cursor stays.
        if (ours)
            QApplication::restoreOverrideCursor();
        return;
    }
    const auto [lo, hi] = orderedRange(m_selectionStart, m_selectionEnd);
    const int xs = columnOf(lo);
    const int xe = columnOf(hi);
    // The grip at each edge is a little wider than one beat.
    int margin = 20;
    if (m_beatMarks.size() >= 2) {
        const int64_t beat = int64_t(m_beatMarks[1]) - int64_t(m_beatMarks[0]);
        margin += std::clamp(columnOf(std::llabs(beat)) - columnOf(0), 0, viewWidth() - 1);
    }
    const int half = xe - xs >= margin ? margin / 2 : 0;
    if (mEdgeZone == 3) {
        const int x = p.x() - frameXOfColumn(0);
        mEdgeZone = x <= xs + half ? 1 : x < xe - half ? 2 : 0;
    }
    const QCursor shape(mEdgeZone == 2 ? Qt::SizeHorCursor : Qt::SplitHCursor);
    if (ours)
        QApplication::changeOverrideCursor(shape);
    else
        QApplication::setOverrideCursor(shape);
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
}

int32_t MainWindow::sampleAtPoint(int layer, const QPoint& p)
{
    if (layer >= 0 && layer < kLayerCount && size_t(layer) < mLayers.size() && !mChkManual->isChecked()) {
        const wavPainter* painter = mLayers[size_t(layer)];
        return snapToMarks(painter->xToSample(p.x() - painter->x(), true), m_beatMarks);
    }
    if (mLayers.empty())
        return -1;
    return mLayers[kLeftWave]->xToSample(p.x() - mLayers[kLeftWave]->x(), true);
}

void MainWindow::autoScrollAtEdge(const QPoint& p, int32_t edgeSample)
{
    const int x = p.x() - frameXOfColumn(0);
    const int value = mScrollBar->value();
    if (x >= viewWidth() - kEdgeColumns && value < mScrollBar->maximum())
        mScrollBar->setValue(value + 2);
    else if (x <= kEdgeColumns && value > mScrollBar->minimum())
        mScrollBar->setValue(value - 2);
    else
        return;
    // The pointer follows the edge it holds.
    const int edge = frameXOfColumn(columnOf(edgeSample));
    QCursor::setPos(mFrameWav->mapToGlobal(QPoint(edge, p.y())));
    mDragAnchor.setX(edge);
}

void MainWindow::autoScrollWhileMoving(uint32_t direction)
{
    const bool right = direction == 0;
    const QPoint anchor = mDragAnchor;
    const auto end = [this] { return columnOf(orderedRange(m_selectionStart, m_selectionEnd).second); };
    const int before = end();
    const int value = mScrollBar->value();
    mScrollBar->setValue(right ? value + 2 : std::max(mScrollBar->minimum(), value - 2));
    mDragAnchor = anchor;  // the scroll update cleared it
    const int shift = std::min(std::abs(end() - before), mFrameWav->width());
    if (shift == 0)
        return;
    // Against the motion, so the selection stays under the pointer.
    const QPoint pointer = mFrameWav->mapFromGlobal(QCursor::pos());
    const int left = frameXOfColumn(0);
    const int moved = std::clamp(pointer.x() + (right ? -shift : shift), left, left + viewWidth());
    QCursor::setPos(mFrameWav->mapToGlobal(QPoint(moved, pointer.y())));
    mDragAnchor.rx() += moved - pointer.x();
}

void MainWindow::pageToDraggedSelection(uint32_t direction)
{
    const bool left = direction == 1;
    int column = 0;
    while (true) {
        const int value = mScrollBar->value();
        mScrollBar->setValue(left ? value - mScrollBar->pageStep() : value + mScrollBar->pageStep());
        const auto [lo, hi] = orderedRange(m_selectionStart, m_selectionEnd);
        column = columnOf(left ? lo : hi);
        if (column >= 0 && column <= viewWidth())
            break;
        if (left ? mScrollBar->value() <= mScrollBar->minimum()
                 : mScrollBar->value() >= mScrollBar->maximum())
            break;
    }
    mDragAnchor.setX(frameXOfColumn(column) + (left ? kEdgeColumns : -kEdgeColumns));
}

// ---------------------------------------------------------------- mouse

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (!mFrameWav->isEnabled())
        return;
    const QPoint p = mFrameWav->mapFrom(this, event->pos());
    qDebug().noquote() << QString("mouse[ %1 , %2 ] mFrame[ %3 , %4 ]")
                              .arg(p.x())
                              .arg(p.y())
                              .arg(mFrameWav->width())
                              .arg(mFrameWav->height());
    // No drag runs at a press: the anchor is cleared whole.
    mDragAnchor = kNoPoint;
    mRightClickPoint.setX(-1);
    mDragDirection = 2;
    if (!insideFrame(p))
        return;
    if (event->button() == Qt::LeftButton) {
        mPressPoint = p;
        if (mEdgeZone != 0)
            mDragAnchor = p;
        updateWaveCursor();
    } else if (event->button() == Qt::RightButton) {
        mRightClickPoint = p;
    }
}

bool MainWindow::moveDragOfWholeSelection(const QPoint& p)
{
    selectionFromSection(mSection);
    const int32_t width = m_selectionEnd - m_selectionStart;
    const int xs = columnOf(m_selectionStart);
    const int xe = columnOf(m_selectionEnd);
    const int w = viewWidth();
    const bool spanning = xs < 0 && xe > w;
    m_selectionExists = true;
    const int maximum = mScrollBar->maximum();
    const int perStep = maximum == 0 ? 0 : (columnOf(mHorMaxZoom) - columnOf(0)) / maximum;

    if (mDragAnchor.x() == -1)
        mDragAnchor = p;
    const int dx = p.x() - mDragAnchor.x();
    const int32_t start = sampleAtPoint(kLeftWave, QPoint(frameXOfColumn(xs + dx), p.y()));
    const int32_t end = sampleAtPoint(kLeftWave, QPoint(frameXOfColumn(xe + dx), p.y()));
    const int32_t last = int32_t(std::max<int64_t>(0, int64_t(mHorMaxZoom) - 1));
    if (start < 1) {
        m_selectionStart = 0;
        m_selectionEnd = width;
    } else if (end >= last) {
        m_selectionStart = last - width;
        m_selectionEnd = last;
    } else {
        m_selectionStart = start;
        m_selectionEnd = end;
    }

    if ((mDragDirection == 1 && dx >= 1) || (mDragDirection == 0 && dx < 0))
        mDragAnchor = p;
    mDragDirection = dx < 1 ? 1 : 0;

    if (perStep == 0)
        return false;
    const bool nearLeft = dx < 0 && xs + dx <= kEdgeColumns && m_selectionStart != 0;
    const bool nearRight = dx >= 1 && xe + dx >= w - kEdgeColumns && m_selectionEnd < last;
    if (!nearLeft && !nearRight)
        return false;
    if (spanning) {
        pageToDraggedSelection(mDragDirection);
        return true;
    }
    autoScrollWhileMoving(mDragDirection);
    return false;
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = mFrameWav->mapFrom(this, event->pos());
    if (!insideFrame(p) || !(event->buttons() & Qt::LeftButton) || mLayers.empty() ||
        !mFrameWav->isEnabled()) {
        updateWaveCursor();
        return;
    }
    m_selectionExists = true;
    switch (mEdgeZone) {
    case 1:
        mDragAnchor = p;
        m_selectionStart = sampleAtPoint(painterIndexAt(p), p);
        autoScrollAtEdge(p, m_selectionStart);
        break;
    case 0:
        mDragAnchor = QPoint(frameXOfColumn(columnOf(m_selectionStart)), p.y());
        m_selectionEnd = sampleAtPoint(painterIndexAt(p), p);
        autoScrollAtEdge(p, m_selectionEnd);
        break;
    case 2:
        // Paging to the selection repaints through the scroll bar.
        if (moveDragOfWholeSelection(p))
            return;
        break;
    default:
        m_selectionEnd = sampleAtPoint(painterIndexAt(p), p);
        if (mDragAnchor.x() != -1)
            m_selectionStart = sampleAtPoint(painterIndexAt(mDragAnchor), mDragAnchor);
        break;
    }
    applySelectionToPainters();
    updateWaveCursor();
    update();
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event)
    if (mDragAnchor != kNoPoint) {
        assignAreaToSection();
        mDragAnchor = kNoPoint;
        m_beatShiftState = 0;
        updateShiftBeatButtonText();
    }
    mPressPoint = kNoPoint;
    mDragDirection = 2;
}

// ---------------------------------------------------------------- keys

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // As they stand after the event: on X11 pressing Shift reports no Shift.
    mKeyModifiers = modifiersAfterKeyEvent(*event);
    updateWaveCursor();
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = withoutKeypad(mKeyModifiers);
    if (isArrowKey(key) && modifiers == Qt::NoModifier) {
        const int step = key == Qt::Key_Left    ? -1
                         : key == Qt::Key_Right ? 1
                         : key == Qt::Key_Up    ? -mScrollBar->pageStep()
                                                : mScrollBar->pageStep();
        mScrollBar->setValue(mScrollBar->value() + step);
    } else if (isArrowKey(key) && modifiers == Qt::ShiftModifier && !mLayers.empty()) {
        if (mDragAnchor == kNoPoint) {
            QMouseEvent press(QEvent::MouseButtonPress, mapFromGlobal(QCursor::pos()), Qt::LeftButton,
                              Qt::LeftButton, Qt::ShiftModifier);
            mousePressEvent(&press);
            mKeyDrag = true;
        }
        const int step = key == Qt::Key_Left ? -1 : key == Qt::Key_Right ? 1 : key == Qt::Key_Up ? -10 : 10;
        QCursor::setPos(QCursor::pos() + QPoint(step, 0));
        QMouseEvent move(QEvent::MouseMove, mapFromGlobal(QCursor::pos()), Qt::NoButton, Qt::LeftButton,
                         Qt::ShiftModifier);
        mouseMoveEvent(&move);
    } else if (key == Qt::Key_A && modifiers == Qt::ControlModifier) {
        selectAllSections(true);
        // Handled: a press that a control handed up travels no further, or
        // it would reach this handler a second time.
        event->accept();
    } else if (key == Qt::Key_A && modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) {
        selectAllSections(false);
        event->accept();
    }
}

void MainWindow::keyReleaseEvent(QKeyEvent* event)
{
    mKeyModifiers = modifiersAfterKeyEvent(*event);
    updateWaveCursor();
    // With no modifier left the pointer shape is already back.
    if (withoutKeypad(mKeyModifiers) != Qt::NoModifier)
        return;
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        // Playback toggles without taking the focus from the field in use.
        QWidget* focused = focusWidget();
        releasedBtnPlayLoop();
        if (focused) {
            focused->setFocus(Qt::OtherFocusReason);
            if (auto* edit = qobject_cast<QLineEdit*>(focused))
                edit->selectAll();
            else if (auto* spin = qobject_cast<QSpinBox*>(focused))
                spin->selectAll();
        }
    } else if (event->key() == Qt::Key_Shift && mKeyDrag) {
        if (mDragAnchor != kNoPoint) {
            QMouseEvent release(QEvent::MouseButtonRelease, mapFromGlobal(QCursor::pos()), Qt::LeftButton,
                                Qt::NoButton, Qt::NoModifier);
            mouseReleaseEvent(&release);
        }
        mKeyDrag = false;
    }
}
