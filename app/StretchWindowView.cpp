// The view side of the time-stretch window: one zoom and scroll position for
// all layers, the selection and the play position kept in view, beat
// snapping, and the mouse and keys that select, scroll and zoom.
#include "KeyModifiers.h"
#include "StretchWindow.h"
#include "WaveViewRules.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kLayerCount = kWaveViewLayerCount;
constexpr int kEdgeMargin = 30;  // pixels from a frame edge where dragging scrolls

using Rules = WaveViewRules;

// The window's length in frames as the rules take it.
uint32_t framesOf(int length)
{
    return uint32_t(std::max(0, length));
}

int saturate(int64_t v)
{
    return int(std::max<int64_t>(INT_MIN, std::min<int64_t>(INT_MAX, v)));
}

}  // namespace

// ---------------------------------------------------------------- view

void TimeStretchWindow::updateSelection(int zoom, double offset, bool keepSelectionVisible,
                                        int previousCondition)
{
    mDragAnchor.setX(-1);
    mHorZoom = int(Rules::clampZoom(zoom, framesOf(mHorMaxZoom)));
    mHorZoomedWidth = Rules::clampPosition(offset, uint32_t(mHorZoom));

    const bool saved = mUpdating;
    mUpdating = true;
    mScrollBar->setMinimum(0);
    mScrollBar->setMaximum(Rules::scrollMaximum(uint32_t(mHorZoom)));
    mScrollBar->setPageStep(Rules::kStepsPerWidth);
    mScrollBar->setValue(Rules::scrollValue(mHorZoomedWidth));
    mUpdating = saved;

    for (wavPainter* layer : mLayers) {
        layer->zoom = uint32_t(mHorZoom);
        layer->offset = mHorZoomedWidth;
    }

    if (keepSelectionVisible && mHorMaxZoom > 0) {
        int c = selectionVisibility();
        qDebug().noquote() << QString("Select Condition [%1] -> [%2]").arg(previousCondition).arg(c);
        bool moveStart = previousCondition == 3 && c == 0;
        if (previousCondition == 1 && (c == 3 || c == 0)) {
            qDebug().noquote() << "should move end to right";
            setScrollValue(Rules::scrollValueEndingAt(mSelEnd, framesOf(mHorMaxZoom), uint32_t(mHorZoom)));
            c = selectionVisibility();
            moveStart = c == 2 || c == 0;
        }
        if (moveStart) {
            qDebug().noquote() << "should move start to left";
            setScrollValue(Rules::scrollValueShowing(mSelStart, framesOf(mHorMaxZoom), uint32_t(mHorZoom)));
        }
    }
    update();
}

// Sets the scroll bar within its range; the view always follows, also when
// the value does not change (an offset between two units snaps to one).
void TimeStretchWindow::setScrollValue(int64_t value)
{
    const int v =
        int(std::max<int64_t>(mScrollBar->minimum(), std::min<int64_t>(mScrollBar->maximum(), value)));
    if (v != mScrollBar->value())
        mScrollBar->setValue(v);
    else if (!mUpdating)
        valueChangedScrollBar(v);
}

void TimeStretchWindow::valueChangedScrollBar(int val)
{
    if (mUpdating)
        return;
    updateSelection(mHorZoom, Rules::positionOfScrollValue(val), false, 0);
}

int TimeStretchWindow::selectionVisibility() const
{
    if (mLayers.empty())
        return 0;
    const int left = mLayers[0]->x() - mFrameWav->x();
    const int right = left + mFrameWav->width();
    // The view's edge columns count as outside it here.
    return Rules::selectionVisibility(mLayers[0]->sampleToX(mSelStart), mLayers[0]->sampleToX(mSelEnd), left,
                                      right, Rules::Edges::OutOfView);
}

void TimeStretchWindow::releasedBtnHorZoomIn()
{
    if (mHorMaxZoom <= 0)
        return;
    const int c = selectionVisibility();
    const Rules::View view = Rules::zoomedIn({uint32_t(mHorZoom), mHorZoomedWidth}, framesOf(mHorMaxZoom));
    updateSelection(int(view.zoom), view.position, true, c);
}

void TimeStretchWindow::releasedBtnHorZoomOut()
{
    if (mHorMaxZoom <= 0)
        return;
    const Rules::View view = Rules::zoomedOut({uint32_t(mHorZoom), mHorZoomedWidth});
    updateSelection(int(view.zoom), view.position, false, 0);
}

void TimeStretchWindow::scrollToSelection()
{
    if (mLayers.size() < 6 || mHorMaxZoom <= 0)
        return;
    const auto* sel = static_cast<const wavPainterSelecter*>(mLayers[5]);
    const int xs = sel->sampleToX(sel->selectionStart);
    const int xe = sel->sampleToX(sel->selectionEnd);
    const QRect r = mFrameWav->geometry();
    if (Rules::scrollsToSelectionStart(uint8_t(selectionVisibility()), xs, xe, r.x(), r.width())) {
        const int64_t value = Rules::scrollValueShowing(mSelStart, framesOf(mHorMaxZoom), uint32_t(mHorZoom));
        const bool saved = mUpdating;
        mUpdating = true;
        mScrollBar->setValue(int(std::clamp<int64_t>(value, mScrollBar->minimum(), mScrollBar->maximum())));
        mUpdating = saved;
        mHorZoomedWidth = Rules::positionOfScrollValue(mScrollBar->value());
    }
    updateSelection(mHorZoom, mHorZoomedWidth, false, 0);
}

void TimeStretchWindow::followPlayPosition(int x)
{
    if (mLayers.size() < 6)
        return;
    const auto* sel = static_cast<const wavPainterSelecter*>(mLayers[5]);
    const auto endX = [sel] { return sel->sampleToX(sel->selectionEnd); };
    const int xs = sel->sampleToX(sel->selectionStart);
    const int xe = endX();
    const int rw = mFrameWav->width();
    const int limit = rw - mFrameWav->geometry().x() - 3;
    if (x == 0) {
        scrollToSelection();
        return;
    }
    if (x < limit && xs <= rw)
        return;
    const int64_t d = int64_t(xe) - rw;
    if (d < rw && x != limit) {
        // Measure how far one scroll unit moves the selection end, then jump
        // by as many units as bring it into view, and creep on from there.
        const int64_t v = int64_t(mScrollBar->value()) + 1;
        setScrollValue(v);
        const int64_t s = std::llabs(std::llabs(int64_t(xe)) - std::llabs(int64_t(endX())));
        if (s > 0) {
            setScrollValue(v + 1 + (std::llabs(d) + s - 1) / s);
            while (mScrollBar->value() < mScrollBar->maximum() && endX() > limit)
                setScrollValue(int64_t(mScrollBar->value()) + 1);
        }
    } else if (xe > rw) {
        setScrollValue(int64_t(mScrollBar->value()) + mScrollBar->pageStep());
    }
}

// ---------------------------------------------------------------- snapping and hit tests

int TimeStretchWindow::snapToMarks(int frame) const
{
    if (!mBeatFrames)
        return frame;
    return int(Rules::snapToMarks(frame, *mBeatFrames, framesOf(mHorMaxZoom)));
}

int TimeStretchWindow::painterIndexAt(int x, int y) const
{
    const QPoint frame = mFrameWav->pos();
    for (size_t i = 0; i < mLayers.size() && i < size_t(kLayerCount); ++i) {
        const QRect g = mLayers[i]->geometry().translated(frame);
        if (g.left() < x && x < g.left() + g.width() && g.top() < y && y < g.top() + g.height())
            return int(i);
    }
    return -1;
}

int TimeStretchWindow::sampleAtPoint(int layerIndex, const QPoint& point) const
{
    const auto frameAt = [&](const wavPainter* layer) {
        return layer->xToSample(point.x() - layer->x() - mFrameWav->x(), true);
    };
    if (layerIndex >= 0 && layerIndex < kLayerCount && size_t(layerIndex) < mLayers.size() && !mManual)
        return snapToMarks(frameAt(mLayers[size_t(layerIndex)]));
    if (!mLayers.empty())
        return frameAt(mLayers[0]);
    return -1;
}

// The column of `frame` in wave-frame coordinates (sampleAtPoint's inverse).
int TimeStretchWindow::xOfSample(int64_t frame) const
{
    if (mLayers.empty())
        return 0;
    return saturate(int64_t(mLayers[0]->sampleToX(frame)) + mLayers[0]->x() + mFrameWav->x());
}

QPoint TimeStretchWindow::toWaveFrame(const QPoint& windowPos) const
{
    return mFrameWavBase->mapFrom(this, windowPos);
}

QPoint TimeStretchWindow::fromWaveFrame(const QPoint& framePos) const
{
    return mFrameWavBase->mapTo(this, framePos);
}

bool TimeStretchWindow::insideWaveFrame(const QPoint& p) const
{
    const QRect f = mFrameWav->geometry();
    return p.x() >= f.x() && p.y() >= f.y() && p.x() <= f.width() && p.y() <= f.height();
}

QPoint TimeStretchWindow::pointerInWaveFrame() const
{
    return toWaveFrame(mapFromGlobal(QCursor::pos()));
}

void TimeStretchWindow::updateWaveCursor()
{
    const QPoint p = pointerInWaveFrame();
    if (!insideWaveFrame(p) || mKeyModifiers != Qt::ShiftModifier || mLayers.empty()) {
        mEdgeZone = 3;
        releaseCursor();
        return;
    }
    const int64_t xs = xOfSample(mSelStart);
    const int64_t xe = xOfSample(mSelEnd);
    int64_t w = 20;
    if (mBeatFrames && mBeatFrames->size() >= 2)
        w += mLayers[0]->sampleToX(int64_t((*mBeatFrames)[1]) - int64_t((*mBeatFrames)[0]), true);
    const int64_t half = xe - xs >= w ? w / 2 : 0;
    if (mEdgeZone == 3) {
        if (p.x() <= xs + half)
            mEdgeZone = 1;
        else if (p.x() < xe - half)
            mEdgeZone = 2;
        else
            mEdgeZone = 0;
    }
    holdCursor(mEdgeZone == 2 ? Qt::SizeHorCursor : Qt::SplitHCursor);
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
}

// ---------------------------------------------------------------- selection

void TimeStretchWindow::orderSelection()
{
    if (mSelStart > mSelEnd)
        std::swap(mSelStart, mSelEnd);
}

void TimeStretchWindow::applySelectionToPainters()
{
    orderSelection();
    if (mLayers.size() > 5) {
        auto* sel = static_cast<wavPainterSelecter*>(mLayers[5]);
        sel->selectionStart = uint32_t(std::max(0, mSelStart));
        sel->selectionEnd = uint32_t(std::max(0, mSelEnd));
        sel->selectionVisible = true;
    }
    update();
}

void TimeStretchWindow::onSelectAll()
{
    const bool wasPlaying = mPlaying;
    if (mPlaying)
        stopped();
    if (!mLayers.empty()) {
        mSelectionActive = true;
        mSelStart = 0;
        mSelEnd = int(std::min<uint32_t>(mLayers[0]->totalSamples, INT_MAX));
    }
    applySelectionToPainters();
    if (wasPlaying)
        releasedBtnPlayLoop();
}

void TimeStretchWindow::onClearAll()
{
    if (mLayers.empty())
        return;
    mSelectionActive = false;
    mSelStart = 0;
    mSelEnd = int(std::min<uint32_t>(mLayers[0]->totalSamples, INT_MAX));
    applySelectionToPainters();
}

// ---------------------------------------------------------------- mouse

void TimeStretchWindow::mousePressEvent(QMouseEvent* event)
{
    if (!isEnabled())
        return;
    const QPoint p = toWaveFrame(event->pos());
    qDebug().noquote() << QString("mouse[ %1 , %2 ] mFrame[ %3 , %4 ]")
                              .arg(p.x())
                              .arg(p.y())
                              .arg(mFrameWav->width())
                              .arg(mFrameWav->height());
    mDragAnchor.setX(-1);
    mDragSelStart = mDragSelEnd = -1;
    mDragDirection = 2;
    if (insideWaveFrame(p) && event->button() == Qt::LeftButton) {
        if (mEdgeZone != 0) {
            mDragSelStart = mSelStart;
            mDragSelEnd = mSelEnd;
            mDragAnchor = p;
        }
        updateWaveCursor();
    }
}

void TimeStretchWindow::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = toWaveFrame(event->pos());
    if (!insideWaveFrame(p)) {
        updateWaveCursor();
        return;
    }
    if ((event->buttons() & Qt::LeftButton) && !mLayers.empty()) {
        mSelectionActive = true;
        m_lastPoint = p;
        switch (mEdgeZone) {
        case 3:
            mSelEnd = sampleAtPoint(painterIndexAt(p.x(), p.y()), p);
            if (mDragAnchor.x() != -1)
                mSelStart = sampleAtPoint(painterIndexAt(mDragAnchor.x(), mDragAnchor.y()), mDragAnchor);
            break;
        case 1:
            mDragAnchor = p;
            mSelStart = sampleAtPoint(painterIndexAt(p.x(), p.y()), p);
            autoScrollAtEdge(mSelStart);
            break;
        case 0:
            mDragAnchor = QPoint(xOfSample(mSelStart), p.y());
            mSelEnd = sampleAtPoint(painterIndexAt(p.x(), p.y()), p);
            autoScrollAtEdge(mSelEnd);
            break;
        case 2:
            moveWholeSelection(p);
            break;
        default:
            break;
        }
        applySelectionToPainters();
    }
    updateWaveCursor();
    update();
}

void TimeStretchWindow::moveWholeSelection(const QPoint& p)
{
    if (mDragSelStart < 0 || mDragSelEnd < 0 || mDragAnchor.x() == -1)
        return;
    const int64_t length = int64_t(mDragSelEnd) - mDragSelStart;
    const int64_t xs0 = xOfSample(mDragSelStart);
    const int64_t xe0 = xOfSample(mDragSelEnd);
    const QRect f = mFrameWav->geometry();
    const bool wide = xs0 < f.x() && xe0 > f.width();
    const int scrollMax = mScrollBar->maximum();
    const int64_t step = scrollMax > 0 ? (int64_t(xOfSample(mHorMaxZoom)) - xOfSample(0)) / scrollMax : 0;
    const int64_t d = int64_t(p.x()) - mDragAnchor.x();
    const QPoint at0(saturate(xs0 + d), p.y());
    const QPoint at1(saturate(xe0 + d), p.y());
    mSelStart = sampleAtPoint(painterIndexAt(at0.x(), at0.y()), at0);
    mSelEnd = sampleAtPoint(painterIndexAt(at1.x(), at1.y()), at1);
    const int last = std::max(0, mHorMaxZoom - 1);
    if (mSelStart <= 0) {
        mSelStart = 0;
        mSelEnd = saturate(length);
    } else if (mSelEnd >= last) {
        mSelStart = saturate(last - length);
        mSelEnd = last;
    }
    if ((d < 0 && mDragDirection == 0) || (d > 0 && mDragDirection == 1))
        mDragAnchor = p;
    mDragDirection = d <= 0 ? 1 : 0;
    if (step == 0)
        return;
    const bool left = mDragDirection == 1 && xs0 + d <= f.x() + kEdgeMargin && mSelStart != 0;
    const bool right = mDragDirection == 0 && xe0 + d >= f.width() - kEdgeMargin && mSelEnd != last;
    if (!left && !right)
        return;
    if (wide)
        pageToDraggedSelection(right);
    else
        autoScrollWhileMoving();
}

void TimeStretchWindow::pageToDraggedSelection(bool movingRight)
{
    const QRect f = mFrameWav->geometry();
    if (movingRight) {
        while (mScrollBar->value() < mScrollBar->maximum() && xOfSample(mSelEnd) > f.width())
            setScrollValue(int64_t(mScrollBar->value()) + mScrollBar->pageStep());
        mDragAnchor.setX(f.width() - kEdgeMargin);
    } else {
        while (mScrollBar->value() > mScrollBar->minimum() && xOfSample(mSelStart) < f.x())
            setScrollValue(int64_t(mScrollBar->value()) - mScrollBar->pageStep());
        mDragAnchor.setX(f.x() + kEdgeMargin);
    }
}

void TimeStretchWindow::autoScrollWhileMoving()
{
    const int before = xOfSample(mSelEnd);
    const int anchorX = mDragAnchor.x();
    const int64_t v = int64_t(mScrollBar->value()) + (mDragDirection == 1 ? -2 : 2);
    setScrollValue(std::max<int64_t>(mScrollBar->minimum(), v));
    const QRect f = mFrameWav->geometry();
    const int moved = int(std::min<int64_t>(std::llabs(int64_t(xOfSample(mSelEnd)) - before), f.width()));
    if (moved == 0)
        return;
    // The content moved against the drag; the pointer follows it so the
    // selection stays under it.
    const int shift = mDragDirection == 1 ? moved : -moved;
    const QPoint p = pointerInWaveFrame();
    const int x = std::max(f.x(), std::min(f.x() + f.width(), p.x() + shift));
    QCursor::setPos(mapToGlobal(fromWaveFrame(QPoint(x, p.y()))));
    mDragAnchor.setX(anchorX + (x - p.x()));
}

void TimeStretchWindow::autoScrollAtEdge(int edgeFrame)
{
    const QRect f = mFrameWav->geometry();
    const QPoint p = m_lastPoint;
    if (mScrollBar->value() < mScrollBar->maximum() && p.x() >= f.width() - kEdgeMargin)
        setScrollValue(int64_t(mScrollBar->value()) + 2);
    else if (mScrollBar->value() > mScrollBar->minimum() && p.x() <= f.x() + kEdgeMargin)
        setScrollValue(int64_t(mScrollBar->value()) - 2);
    else
        return;
    const int x = xOfSample(edgeFrame);
    QCursor::setPos(mapToGlobal(fromWaveFrame(QPoint(x, p.y()))));
    mDragAnchor.setX(x);
}

void TimeStretchWindow::mouseReleaseEvent(QMouseEvent*)
{
    if (mDragAnchor.x() != -1) {
        const bool wasPlaying = mPlaying;
        if (mPlaying)
            stopped();
        mDragAnchor = QPoint(-1, 0);
        mDragSelStart = mDragSelEnd = -1;
        if (wasPlaying)
            releasedBtnPlayLoop();
    }
    mDragDirection = 2;
}

// ---------------------------------------------------------------- keys

void TimeStretchWindow::sendMouse(QEvent::Type type, const QPoint& framePoint)
{
    const QPoint pos = fromWaveFrame(framePoint);
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  buttons, Qt::ShiftModifier);
    switch (type) {
    case QEvent::MouseButtonPress:
        mousePressEvent(&e);
        break;
    case QEvent::MouseMove:
        mouseMoveEvent(&e);
        break;
    default:
        mouseReleaseEvent(&e);
        break;
    }
}

void TimeStretchWindow::keyPressEvent(QKeyEvent* event)
{
    mKeyModifiers = modifiersAfterKeyEvent(*event);
    updateWaveCursor();
    const int key = event->key();
    const bool arrow =
        key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    const Qt::KeyboardModifiers m = mKeyModifiers;
    if ((m == Qt::NoModifier || m == Qt::KeypadModifier) && arrow) {
        const int64_t page = mScrollBar->pageStep();
        const int64_t delta = key == Qt::Key_Left    ? -1
                              : key == Qt::Key_Right ? 1
                              : key == Qt::Key_Up    ? -page
                                                     : page;
        setScrollValue(int64_t(mScrollBar->value()) + delta);
    } else if (m == Qt::ShiftModifier && arrow && !mLayers.empty()) {
        QPoint p = pointerInWaveFrame();
        if (mDragAnchor.x() == -1) {
            sendMouse(QEvent::MouseButtonPress, p);
            mKeyDrag = true;
        }
        const int distance = key == Qt::Key_Left || key == Qt::Key_Right ? 1 : 10;
        p.rx() += key == Qt::Key_Left || key == Qt::Key_Up ? -distance : distance;
        QCursor::setPos(mapToGlobal(fromWaveFrame(p)));
        sendMouse(QEvent::MouseMove, p);
    } else if (m == Qt::ControlModifier && key == Qt::Key_A) {
        onSelectAll();
    } else if (m == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_A) {
        onClearAll();
    }
}

void TimeStretchWindow::keyReleaseEvent(QKeyEvent* event)
{
    mKeyModifiers = modifiersAfterKeyEvent(*event);
    updateWaveCursor();
    if (mKeyModifiers != Qt::NoModifier)
        return;
    releaseCursor();
    const int key = event->key();
    if (key == Qt::Key_Space) {
        QWidget* focused = focusWidget();
        releasedBtnPlayLoop();
        if (focused) {
            focused->setFocus();
            if (auto* edit = qobject_cast<QLineEdit*>(focused))
                edit->selectAll();
            else if (auto* spin = qobject_cast<QAbstractSpinBox*>(focused))
                spin->selectAll();
        }
    } else if (key == Qt::Key_Shift && mKeyDrag) {
        if (mDragAnchor.x() != -1)
            sendMouse(QEvent::MouseButtonRelease, pointerInWaveFrame());
        mKeyDrag = false;
    }
}
