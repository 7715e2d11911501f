#include "SpectralPeaks.h"

#include "SMSFrame.h"
#include "StretchBuffer.h"
#include "StretchMath.h"
#include "TimeScaleParameterBlock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using stretch::kTwoPi;

constexpr double kTolerance = 1e-8;
constexpr double kFarAway = 100000.0;

// The vertex offset of the parabola through three bins, 0 where it is flat.
double parabolaOffset(double before, double at, double after)
{
    const double denominator = before - 2.0 * at + after;
    if (denominator == 0.0)
        return 0.0;
    const double d = 0.5 * (before - after) / denominator;
    return std::isfinite(d) ? d : 0.0;
}

bool isPeak(const float* m, int32_t n, int32_t i, int32_t halfWidth)
{
    if (i == 0)
        return m[0] > m[1] && m[0] > m[2];
    if (i == 1)
        return m[1] > m[0] && m[1] > m[2] && m[1] > m[3];
    // Most bins fail next to their neighbours already.
    if (m[i - 1] > m[i] || (i + 1 < n && m[i + 1] > m[i]))
        return false;
    const int32_t from = std::max(i - halfWidth, 1);
    const int32_t to = std::min(i + halfWidth, n - 2);
    bool below = false;
    for (int32_t j = from; j <= to; ++j) {
        if (j == i)
            continue;
        if (m[j] > m[i])
            return false;
        if (m[j] < m[i])
            below = true;
    }
    return below;
}

// The first bin from i (>= 1) on, before `last` (<= n - 1), that lies below
// neither neighbour; `last` when there is none. Such bins cannot be peaks,
// and most bins are such: eight at a time are tested without branches.
int32_t skipSlopes(const float* m, int32_t i, int32_t last)
{
    while (i + 8 <= last) {
        int32_t any = 0;
        for (int32_t k = i; k < i + 8; ++k)
            any |= static_cast<int32_t>(!(m[k - 1] > m[k]) & !(m[k + 1] > m[k]));
        if (any)
            break;
        i += 8;
    }
    while (i < last && (m[i - 1] > m[i] || m[i + 1] > m[i]))
        ++i;
    return i;
}

// Walks the peaks of all ranges in order, each range's peaks up to its edge.
struct PeakCursor {
    double* const* peaks;
    const int32_t* counts;
    const double* edges;
    int32_t rangeCount;
    int32_t r = 0;
    int32_t j = 0;

    bool InRange() const
    {
        return j < counts[r] && (r == rangeCount - 1 || peaks[r][j] < edges[r] - kTolerance);
    }
    bool Valid() const { return r < rangeCount; }
    double Frequency() const { return peaks[r][j]; }
    void Settle()
    {
        while (r < rangeCount && !InRange()) {
            ++r;
            j = 0;
        }
    }
    void Next()
    {
        ++j;
        Settle();
    }
};

PeakCursor firstPeak(double* const* peaks, const int32_t* counts, const double* edges, int32_t rangeCount)
{
    PeakCursor c {peaks, counts, edges, rangeCount};
    c.Settle();
    return c;
}

// Moves each range's edge up to the middle of the gap between the peaks of
// the range above around it, and trims that range's peaks below the gap.
// When the edge falls on a peak of the range above, that peak is the
// partial's home: the same partial seen by the range below (within a
// quarter of the largest pairing deviation) is left out there, so that no
// partial is synthesised twice, each band holding half of it.
void placeEdges(double* const* peaks, int32_t* counts, double* edges, int32_t rangeCount,
                const float* rangeMaxima, double duplicateDistance)
{
    for (int32_t r = 0; r + 1 < rangeCount; ++r) {
        double* above = peaks[r + 1];
        const int32_t n = counts[r + 1];
        int32_t j = 0;
        while (j < n && above[j] < edges[r])
            ++j;
        if (j == n) {
            edges[r] = rangeMaxima[r];
            counts[r + 1] = 0;
            continue;
        }
        double edge = above[j];
        bool onPeak = true;
        if (j > 0) {
            const double middle = 0.5 * (above[j - 1] + above[j]);
            if (middle >= edges[r]) {
                edge = middle;
                onPeak = false;
            }
        }
        edges[r] = std::min(edge, static_cast<double>(rangeMaxima[r]));
        if (j > 0) {
            std::copy(above + j, above + n, above);
            counts[r + 1] = n - j;
        }
        if (onPeak) {
            double* own = peaks[r];
            const double at = edges[r];
            const auto same = [&](double f) { return std::fabs(f - at) < duplicateDistance; };
            counts[r] = static_cast<int32_t>(std::remove_if(own, own + counts[r], same) - own);
        }
    }
}

// Places each edge between two pairs (by the pairs' frequencies `f`).
void replaceEdges(const double* f, int32_t count, double* edges, int32_t rangeCount, const float* rangeMaxima)
{
    for (int32_t r = 0; r + 1 < rangeCount; ++r) {
        const double maximum = rangeMaxima[r];
        int32_t p = 0;
        while (p < count && f[p] < edges[r] - kTolerance)
            ++p;
        if (p <= 0)
            continue;
        const double candidates[3] = {
            p < count ? 0.5 * (f[p - 1] + f[p]) : maximum,
            p + 1 < count ? 0.5 * (f[p] + f[p + 1]) : maximum,
            p >= 2 ? 0.5 * (f[p - 2] + f[p - 1]) : 0.0,
        };
        // With one pair below the edge there is no midpoint below it: an
        // edge at 0 Hz would hand that pair to the range above, whose
        // spectrum does not sound it.
        const int32_t usable = p >= 2 ? 3 : 2;
        double best = candidates[0];
        for (int32_t k = 0; k < usable; ++k) {
            if (std::fabs(candidates[k] - edges[r]) < std::fabs(best - edges[r]))
                best = candidates[k];
        }
        edges[r] = std::min(best, maximum);
    }
}

}  // namespace

int FindSpectralPeaks(const float* magnitudes, int32_t n, float lastBinFrequency, double threshold,
                      int32_t halfWidth, int32_t& count, double* peaks)
{
    if (!magnitudes || !peaks || n < 4)
        return 0;
    const float* m = magnitudes;
    const double binWidth = static_cast<double>(lastBinFrequency) / (n - 1);
    int32_t i = 0;
    while (i <= n - 4 && count < kMaxPeaks) {
        if (i >= 2) {
            i = skipSlopes(m, i, n - 3);
            if (i > n - 4)
                break;
        }
        if (!(m[i] > threshold) || !isPeak(m, n, i, halfWidth)) {
            ++i;
            continue;
        }
        if (i == 0) {
            peaks[count++] = 0.0;
            ++i;
            continue;
        }
        const double d = parabolaOffset(m[i - 1], m[i], m[i + 1]);
        peaks[count++] = (i + d) * binWidth;
        if (!(m[i + 1] < m[i]))
            i += 1;
        else if (halfWidth < 2)
            i += 2;
        else if (m[i + 2] < m[i] && i + 1 < n - 1)
            i += 3;
        else
            i += 2;
    }
    return 0;
}

int TSBandContinuePeaks(double* const* earlierPeaks, int32_t* earlierCounts, double* const* laterPeaks,
                        int32_t* laterCounts, double* earlierEdges, double* laterEdges, double maxDeviation,
                        int32_t rangeCount, PeakPairTable& pairs, const float* rangeMaxima)
{
    pairs.count = 0;
    if (rangeCount < 1 || rangeCount > kMaxRanges) {
        LogError(stderr, "Error in TSBandContinuePeaks()\n");
        return 0;
    }
    const double duplicateDistance = 0.25 * maxDeviation;
    placeEdges(earlierPeaks, earlierCounts, earlierEdges, rangeCount, rangeMaxima, duplicateDistance);
    placeEdges(laterPeaks, laterCounts, laterEdges, rangeCount, rangeMaxima, duplicateDistance);

    // Each later peak takes the nearest earlier peak, searched onward from
    // the previous partner while the distance keeps falling.
    PeakCursor partner = firstPeak(earlierPeaks, earlierCounts, earlierEdges, rangeCount);
    for (PeakCursor later = firstPeak(laterPeaks, laterCounts, laterEdges, rangeCount); later.Valid();
         later.Next()) {
        const double f = later.Frequency();
        double nearest = kFarAway;
        PeakCursor found = partner;
        bool any = false;
        for (PeakCursor c = partner; c.Valid(); c.Next()) {
            const double distance = std::fabs(f - c.Frequency());
            if (!(distance < nearest))
                break;
            nearest = distance;
            found = c;
            any = true;
        }
        if (!any)
            continue;
        partner = found;
        if (nearest < maxDeviation && pairs.count < static_cast<uint32_t>(kMaxPeaks)) {
            pairs.later[pairs.count] = f;
            pairs.earlier[pairs.count] = found.Frequency();
            ++pairs.count;
        }
    }

    // Of two neighbouring pairs sharing an earlier peak the closer one stays.
    uint32_t kept = 0;
    for (uint32_t i = 0; i < pairs.count; ++i) {
        if (kept > 0 && pairs.earlier[kept - 1] == pairs.earlier[i]) {
            const double previous = std::fabs(pairs.later[kept - 1] - pairs.earlier[kept - 1]);
            const double current = std::fabs(pairs.later[i] - pairs.earlier[i]);
            if (current < previous) {
                pairs.later[kept - 1] = pairs.later[i];
                pairs.earlier[kept - 1] = pairs.earlier[i];
            }
            continue;
        }
        pairs.later[kept] = pairs.later[i];
        pairs.earlier[kept] = pairs.earlier[i];
        ++kept;
    }
    pairs.count = kept;

    const auto count = static_cast<int32_t>(pairs.count);
    replaceEdges(pairs.later, count, laterEdges, rangeCount, rangeMaxima);
    replaceEdges(pairs.earlier, count, earlierEdges, rangeCount, rangeMaxima);
    return 0;
}

ContinuityTolerances ContinuityTolerances::At(const TimeScaleParameterBlock* block, double time)
{
    using P = TimeScaleParameterBlock;
    ContinuityTolerances t;
    if (block) {
        t.phase = block->GetParameter(P::ContinuityPhase, time);
        t.rise = block->GetParameter(P::ContinuitySetting, time);
        t.fall = block->GetParameter(P::ContinuityLevel, time);
        t.apart = block->GetParameter(P::ContinuityFrequency, time);
    }
    return t;
}

int IsPeakContinuous(double f1, const SMSFrame& earlier, double f2, const SMSFrame& later,
                     double lastBinFrequency, double elapsed, const ContinuityTolerances& tolerances)
{
    if (!earlier.Has(SMSFrame::kSpectrum) || !later.Has(SMSFrame::kSpectrum) || earlier.Count() < 1 ||
        later.Count() < 1)
        return 0;
    const int32_t i1 = stretch::nearestBin(f1, lastBinFrequency, earlier.Count());
    const int32_t i2 = stretch::nearestBin(f2, lastBinFrequency, later.Count());
    const double change = static_cast<double>(later.MagnitudeData()[i2]) - earlier.MagnitudeData()[i1];
    if (!(change < tolerances.rise) || !(change > tolerances.fall) ||
        !(std::fabs(f2 - f1) < tolerances.apart))
        return 0;
    const double predicted = stretch::wrapPhase(earlier.PhaseData()[i1] + kTwoPi * 0.5 * (f1 + f2) * elapsed);
    const double measured = stretch::phaseNear(later.PhaseData()[i2], predicted);
    return std::fabs(measured - predicted) < tolerances.phase ? 1 : 0;
}

int IsPeakContinuous(double f1, const SMSFrame& earlier, double f2, const SMSFrame& later,
                     double lastBinFrequency, double elapsed, const TimeScaleParameterBlock* block)
{
    return IsPeakContinuous(f1, earlier, f2, later, lastBinFrequency, elapsed,
                            ContinuityTolerances::At(block, later.Time()));
}

double InterpolatePhase(const float* phases, int32_t n, double frequency, double lastBinFrequency,
                        double* offset)
{
    if (!phases || n < 1) {
        if (offset)
            *offset = 0.0;
        return 0.0;
    }
    double p = lastBinFrequency > 0.0 ? frequency / lastBinFrequency * (n - 1) : 0.0;
    if (!(p > 0.0))
        p = 0.0;
    p = std::min<double>(p, n - 1);
    const auto k = static_cast<int32_t>(p);
    const double x = p - k;
    const double a = phases[k];
    const double b = stretch::phaseNear(phases[std::min(k + 1, n - 1)], a);
    const double result = stretch::wrapPhase(a + x * (b - a));
    if (offset)
        *offset = stretch::wrapPhase((x >= 0.5 ? b : a) - result);
    return result;
}
