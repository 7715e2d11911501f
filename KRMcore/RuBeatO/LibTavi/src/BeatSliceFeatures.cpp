#include "BeatSliceFeatures.h"

#include "Hpcp/JointHpcp.h"
#include "RkMir/Numeric/Hsmm.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace tavi {

namespace {

constexpr int kPitchClasses = 12;

}  // namespace

int beatFrameIndex(int position, int frameCount, int decimation)
{
    const int index = static_cast<int>(static_cast<double>(position) / decimation + 0.5);
    return std::max(0, std::min(index, frameCount - 1));
}

std::vector<FrameSlice> beatSlices(const std::vector<int>& positions, int frameCount, int decimation)
{
    std::vector<FrameSlice> slices(positions.size());
    for (size_t k = 0; k < positions.size(); ++k) {
        const int first = frameCount > 0 ? beatFrameIndex(positions[k], frameCount, decimation) : 0;
        const int end = k + 1 < positions.size() && frameCount > 0
                            ? beatFrameIndex(positions[k + 1], frameCount, decimation)
                            : frameCount;
        slices[k] = {first, std::max(first, end)};
    }
    return slices;
}

void reduceSlice(const std::vector<std::vector<double>>& frames, FrameSlice slice, int reducer, int semitones,
                 std::vector<double>& out)
{
    if (reducer < kMedian || reducer > kRootSumOfSquares)
        throw std::invalid_argument("reduceSlice: unknown reducer " + std::to_string(reducer));
    out.assign(static_cast<size_t>(std::max(semitones, 0)), 0.0);
    const int first = std::max(slice.first, 0);
    const int end = std::min(slice.second, static_cast<int>(frames.size()));
    const int m = end - first;
    if (m <= 0)
        return;

    std::vector<double> column(static_cast<size_t>(m));
    for (int s = 0; s < semitones; ++s) {
        for (int i = 0; i < m; ++i) {
            const std::vector<double>& f = frames[static_cast<size_t>(first + i)];
            column[i] = s < static_cast<int>(f.size()) ? f[s] : 0.0;
        }
        double v = 0.0;
        switch (reducer) {
        case kMedian:
            v = Numeric::medianOf(column.data(), m);
            break;
        case kSum:
        case kMean:
            for (double x : column)
                v += x;
            if (reducer == kMean)
                v /= m;
            break;
        case kDecayingMean: {
            double weights = 0.0;
            for (int i = 0; i < m; ++i) {
                const double w = std::exp(-i / 10.0);
                v += w * column[i];
                weights += w;
            }
            if (weights > 0.0)
                v /= weights;
            break;
        }
        default:
            for (double x : column)
                v += x * x;
            v = std::sqrt(v);
            break;
        }
        out[s] = v;
    }
}

void beatFeature(const std::vector<double>& semitones, int featureType, std::vector<double>& out)
{
    const int n = static_cast<int>(semitones.size());
    const int octaves = n / kPitchClasses;
    switch (featureType) {
    case kBassChroma:
    case kTrebleChroma:
    case kJointChroma:
    case kJointChromaAndSums: {
        std::vector<double> joint(2 * kPitchClasses + 2, 0.0);
        double trebleSum = 0.0;
        double bassSum = 0.0;
        Hpcp::appendJointHpcp(joint.data(), &trebleSum, &bassSum, semitones.data(), octaves, kPitchClasses, n,
                              true);
        joint[2 * kPitchClasses] = bassSum;
        joint[2 * kPitchClasses + 1] = trebleSum;
        const auto begin = joint.begin() + (featureType == kTrebleChroma ? kPitchClasses : 0);
        const int length = featureType == kJointChromaAndSums ? 2 * kPitchClasses + 2
                           : featureType == kJointChroma      ? 2 * kPitchClasses
                                                              : kPitchClasses;
        out.assign(begin, begin + length);
        return;
    }
    case kNormalisedSemitones: {
        double sq = 0.0;
        for (double x : semitones)
            sq += x * x;
        const double scale = 1.0 / (std::sqrt(sq) + 0.1);
        out.resize(semitones.size());
        for (int k = 0; k < n; ++k)
            out[k] = semitones[k] * scale;
        return;
    }
    case kOctavePowers:
        // Each semitone shares its value between its own octave's entry and
        // the next one, by its distance from the octave's top.
        out.assign(static_cast<size_t>(octaves + 1), 0.0);
        for (int k = 0; k < n; ++k) {
            const int o = k / kPitchClasses;
            if (o + 1 > octaves)
                break;  // a partial top octave has no entry above it
            out[o + 1] += ((o + 1) * kPitchClasses - k) / static_cast<double>(kPitchClasses) * semitones[k];
            out[o] += (k % kPitchClasses) / static_cast<double>(kPitchClasses) * semitones[k];
        }
        return;
    default:
        throw std::invalid_argument("Cannot use feature other than JointHPCP or SemitonePow");
    }
}

}  // namespace tavi
