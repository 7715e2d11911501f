#include "BeatGrid.h"

#include "ProjectInfo.h"
#include "base/ResultCode.h"

#include <cmath>
#include <limits>

using krm::fail;
using krm::kOk;

uint32_t secondsToSamples(float t)
{
    const double v = std::ceil(static_cast<double>(t) * krm::kSampleRate);
    // Out-of-range conversions to an unsigned integer are undefined, so the
    // value is clamped to the frame range first.
    if (!(v > 0.0))
        return 0;
    if (v >= 4294967295.0)
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(v);
}

float samplesToSeconds(uint32_t a)
{
    return static_cast<float>(static_cast<double>(a) / krm::kSampleRate);
}

BeatGridLayout::BeatGridLayout(size_t entries, uint16_t beatStep, uint8_t toggle)
    : n(entries), step(beatStep ? beatStep : 1)
{
    first = toggle ? step : 0;
    stride = 2 * step;
}

uint64_t BeatGridLayout::beatCount() const
{
    if (n <= first)
        return 0;
    return (n - first + stride - 1) / stride;
}

float pointTolerance(uint32_t tempo)
{
    if (tempo < 40)
        return 0.05f;
    if (tempo > 60)
        return 0.015f;
    return static_cast<float>(60 - tempo) * 0.035f / 20.0f + 0.015f;
}

void compensatePoints(std::vector<float>& p, const std::vector<float>& r, uint32_t tempo)
{
    const float tol = pointTolerance(tempo);
    const size_t nr = r.size();
    const size_t np = p.size();
    size_t searchFrom = 0;  // the previous point's `next`; nr when it had none
    for (size_t i = 0; i < np; ++i) {
        size_t next = searchFrom;
        while (next < nr && !(r[next] > p[i]))
            ++next;
        const bool hasNext = next < nr;
        bool hasPrev;
        size_t prev = 0;
        if (hasNext) {
            hasPrev = next > 0;
            prev = next - 1;
        } else {
            // No entry above the point: the last entry at or below it.
            hasPrev = false;
            for (size_t k = nr; k-- > 0;) {
                if (r[k] <= p[i]) {
                    hasPrev = true;
                    prev = k;
                    break;
                }
            }
        }
        searchFrom = next;

        bool forward;
        if (hasPrev && hasNext) {
            const float sum = r[prev] + r[next];
            forward = static_cast<double>(p[i]) > static_cast<double>(sum) * 0.5;
        } else if (hasPrev) {
            forward = false;
        } else if (hasNext) {
            forward = true;
        } else {
            continue;
        }

        if (!forward) {
            if (r[prev] + tol > p[i] && (i == 0 || r[prev] > p[i - 1]))
                p[i] = r[prev];
        } else {
            if (p[i] > r[next] - tol && (i + 1 == np || p[i + 1] > r[next]))
                p[i] = r[next];
        }
    }
}

uint32_t appendLastOnsetAsBeat(WaveInfoRecord& wave, double threshold)
{
    if (wave.onsets.empty())
        return kOk;
    std::vector<float>& b = wave.beats;
    const size_t n = b.size();
    if (n == 0)
        return kOk;
    const float lastOnset = wave.onsets.back();
    if (n >= 5) {
        const float m = ((b[n - 3] - b[n - 4]) + 0.0f + (b[n - 2] - b[n - 3]) + (b[n - 1] - b[n - 2])) / 3.0f;
        if (!(m != 0.0f))
            return kOk;  // no rhythm to continue
        const float r = (lastOnset - b[n - 1] - m) / m;
        if (-threshold < static_cast<double>(r) && static_cast<double>(r) < threshold)
            b.push_back(lastOnset);
        return kOk;
    }
    // A beat list is ascending: an onset before the last beat would break
    // every grid walk, so only a later onset is taken.
    if (lastOnset > b.back())
        b.push_back(lastOnset);
    return kOk;
}

uint32_t beatToggleAtAddress(uint32_t address, const WaveInfoRecord& wave, uint8_t& toggle)
{
    if (address == 0) {
        toggle = 0;
        return kOk;
    }
    const uint64_t step = wave.beatStep ? wave.beatStep : 1;
    for (size_t j = 0; j < wave.beats.size(); ++j) {
        const uint32_t v = secondsToSamples(wave.beats[j]);
        if (v > address)
            return fail(3);
        if (v != address)
            continue;
        const uint64_t rem = j % (2 * step);
        if (rem == 0) {
            toggle = 0;
            return kOk;
        }
        if (rem == step) {
            toggle = 1;
            return kOk;
        }
        return fail(2);
    }
    return fail(4);
}
