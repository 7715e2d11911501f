#pragma once
// Beat features of a recording at known beat times, computed the way the
// chord pipeline computes them (semitone frames every fourth 180-sample
// block, reduced per beat slice), for fitting models and for tests that
// need features without a beat tracker.
#include <vector>

namespace chordmodels {

constexpr int kHop = 180;
constexpr int kFrameLength = 16384;

// One feature per beat (type and reducer as the pipeline numbers them), the
// slice of each beat running to the next beat and the last to the end.
std::vector<std::vector<double>> beatFeaturesAt(const std::vector<float>& audio,
                                                const std::vector<double>& beatTimes, int featureType = 4,
                                                int reducer = 0);

// Feature rotated so that `root` becomes pitch class 0 (both chroma halves;
// further values unchanged); needs 24 values or more.
std::vector<double> rotateToRoot(const std::vector<double>& feature, int root);

}  // namespace chordmodels
