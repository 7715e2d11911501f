#include "WaveViewRules.h"

#include <algorithm>
#include <cmath>

uint32_t WaveViewRules::maxZoom(uint32_t length)
{
    return std::max<uint32_t>(1, std::min(length, kZoomCeiling));
}

uint32_t WaveViewRules::clampZoom(int64_t zoom, uint32_t length)
{
    return uint32_t(std::clamp<int64_t>(zoom, 1, maxZoom(length)));
}

double WaveViewRules::clampPosition(double position, uint32_t zoom)
{
    return std::isnan(position) ? 0.0 : std::clamp(position, 0.0, double(std::max<uint32_t>(zoom, 1) - 1));
}

WaveViewRules::View WaveViewRules::zoomedIn(View view, uint32_t length)
{
    const double share = view.position / std::max<uint32_t>(1, view.zoom);
    const uint32_t zoom = uint32_t(std::min<int64_t>(2 * int64_t(view.zoom), maxZoom(length)));
    return {zoom, double(zoom) * share};
}

WaveViewRules::View WaveViewRules::zoomedOut(View view)
{
    const uint32_t old = std::max<uint32_t>(1, view.zoom);
    const uint32_t zoom = std::max<uint32_t>(1, old / 2);
    double position = 0.0;
    if (zoom > 1) {
        position = zoom * (view.position / old);
        if (position + 1.0 >= zoom)
            position = zoom - 1;
    }
    return {zoom, position};
}

int WaveViewRules::scrollMaximum(uint32_t zoom)
{
    return int(kStepsPerWidth * int64_t(zoom) - kStepsPerWidth);
}

int WaveViewRules::scrollValue(double position)
{
    return int(std::lround(position * kStepsPerWidth));
}

double WaveViewRules::positionOfScrollValue(int value)
{
    return value / double(kStepsPerWidth);
}

int64_t WaveViewRules::scrollValueShowing(int64_t sample, uint32_t length, uint32_t zoom)
{
    if (length == 0)
        return 0;
    return int64_t(double(sample) / length * zoom * kStepsPerWidth);
}

int64_t WaveViewRules::scrollValueEndingAt(int64_t sample, uint32_t length, uint32_t zoom)
{
    if (length == 0)
        return 0;
    return int64_t((double(sample) / length * zoom - 1.0) * kStepsPerWidth);
}

uint8_t WaveViewRules::selectionVisibility(int xs, int xe, int left, int right, Edges edges)
{
    const bool edgesIn = edges == Edges::InView;
    const auto inView = [&](int x) { return edgesIn ? left <= x && x <= right : left < x && x < right; };
    if (inView(xs) && inView(xe))
        return 1;
    if (xs < left && inView(xe))
        return 2;
    if (inView(xs) && xe > right)
        return 3;
    if (xs < left && xe > right)
        return 4;
    return 0;
}

bool WaveViewRules::scrollsToSelectionStart(uint8_t visibility, int xs, int xe, int left, int right)
{
    return visibility == 2 || visibility == 4 || (visibility == 0 && (xe <= left || xe == right)) ||
           xs > right;
}

int64_t WaveViewRules::snapToMarks(int64_t sample, const std::vector<uint32_t>& marks, uint32_t length)
{
    if (marks.empty())
        return sample;
    const int64_t first = marks.front();
    if (sample < first)
        return sample < first - sample ? 0 : first;
    for (size_t k = 1; k < marks.size(); ++k) {
        const int64_t above = marks[k];
        if (above > sample) {
            const int64_t below = marks[k - 1];
            return sample - below < above - sample ? below : above;
        }
    }
    const int64_t last = marks.back();
    const int64_t end = int64_t(length) - 1;
    return sample - last < end - sample ? last : std::max<int64_t>(end, 0);
}
