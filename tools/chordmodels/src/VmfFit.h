#pragma once
// Fitting a mixture of 12-dimensional von Mises-Fisher distributions to a
// set of directions by expectation maximisation.
#include <array>
#include <cstdint>
#include <vector>

namespace chordmodels {

using Direction = std::array<double, 12>;

struct VmfComponent {
    double weight = 0.0;
    double kappa = 0.0;
    Direction mean {};  // unit length
};

struct VmfFitSettings {
    int components = 10;
    int iterations = 60;
    double minKappa = 8.0;
    double maxKappa = 50.0;
    uint64_t seed = 1;
};

// Samples need not be unit length; all-zero samples are skipped. The
// result has exactly settings.components entries whose weights sum to 1,
// deterministic for a seed. Throws std::invalid_argument without a usable
// sample.
std::vector<VmfComponent> fitVmfMixture(const std::vector<Direction>& samples,
                                        const VmfFitSettings& settings);

}  // namespace chordmodels
