#pragma once
// The rules that both waveform views (the main window's and the time-stretch
// window's) share for zoom, scrolling and the selection, without widgets:
// the callers pass the pixel columns that their painter layers give.
//
// A view shows audio of `length` sample frames; the whole length spans
// `zoom` view widths, and the scroll position is in view widths, 0 .. zoom -
// 1. The scroll bar counts fiftieths of a width (kStepsPerWidth): range 0 ..
// 50 x zoom - 50, page step 50.
#include <cstdint>
#include <vector>

class WaveViewRules {
public:
    static constexpr int kStepsPerWidth = 50;
    // The largest zoom a view may use: 50 x zoom still fits an int.
    static constexpr uint32_t kZoomCeiling = 42949672;

    struct View {
        uint32_t zoom;
        double position;
    };

    // The largest zoom for `length` frames: one frame per width at most,
    // never above kZoomCeiling, and at least 1 (also for no audio).
    static uint32_t maxZoom(uint32_t length);
    // `zoom` within 1 .. maxZoom(length).
    static uint32_t clampZoom(int64_t zoom, uint32_t length);
    // `position` within 0 .. zoom - 1 (NaN gives 0).
    static double clampPosition(double position, uint32_t zoom);

    // Zoom in: twice the zoom, at most maxZoom(length), keeping the
    // position's share of the length (the position is not clamped here).
    static View zoomedIn(View view, uint32_t length);
    // Zoom out: half the zoom (integer division, at least 1); the position
    // keeps its share, lowered to the last page, and is 0 at zoom 1.
    static View zoomedOut(View view);

    // The scroll bar for a view: its maximum and its value (the position in
    // steps, rounded to the nearest step).
    static int scrollMaximum(uint32_t zoom);
    static int scrollValue(double position);
    // The position of a scroll bar value.
    static double positionOfScrollValue(int value);
    // The scroll value that puts `sample` at the view's left edge (its
    // position in steps, truncated), before the bar's own limits.
    static int64_t scrollValueShowing(int64_t sample, uint32_t length, uint32_t zoom);
    // The scroll value that puts `sample` at the view's right edge, the same
    // way.
    static int64_t scrollValueEndingAt(int64_t sample, uint32_t length, uint32_t zoom);

    // Where the view's edge columns count: in view (the main window) or
    // outside it (the time-stretch window).
    enum class Edges { InView, OutOfView };
    // How the selection with columns xs (start) and xe (end) lies in the
    // view from column `left` to `right`: 1 both ends in view, 2 the start
    // cut off on the left and the end in view, 3 the start in view and the
    // end cut off on the right, 4 the selection spans the view, 0 anything
    // else.
    static uint8_t selectionVisibility(int xs, int xe, int left, int right, Edges edges);
    // Whether bringing the selection into view moves the view to its start:
    // its start is cut off (visibility 2 or 4), it lies wholly left of the
    // view or ends exactly on the right edge `right` (0), or it starts right
    // of the view.
    static bool scrollsToSelectionStart(uint8_t visibility, int xs, int xe, int left, int right);

    // The mark nearest to `sample`; below the first mark, sample 0 when it
    // is nearer; beyond the last, the last frame of the audio (length - 1)
    // when it is nearer; between two marks a tie goes to the later one. An
    // empty list leaves the sample as it is.
    static int64_t snapToMarks(int64_t sample, const std::vector<uint32_t>& marks, uint32_t length);
};
