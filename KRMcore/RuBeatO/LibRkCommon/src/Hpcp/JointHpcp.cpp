#include "Hpcp/JointHpcp.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Hpcp {

namespace {

constexpr double kBassCentre = 12.0;
constexpr double kTrebleCentre = 48.0;
constexpr double kWidth = 12.0;
constexpr int kPitchClasses = 12;

}  // namespace

void foldChroma(double* out, const double* in, int dims, int octaves, double centre, double width)
{
    for (int p = 0; p < dims; ++p)
        out[p] = 0.0;
    // sqrt(2 pi) as the program has always formed it, from a single-precision 6.28.
    const float sqrtTwoPi = static_cast<float>(std::sqrt(static_cast<double>(6.28f)));
    const double norm = width > 0.0 ? static_cast<double>(sqrtTwoPi) * width : 1.0;
    const int n = dims * octaves;
    for (int i = 0; i < n; ++i) {
        const double z = width > 0.0 ? (static_cast<double>(i) - centre) / width : 0.0;
        const double g = std::exp(-0.5 * z * z) / norm;
        const int pc = i % kPitchClasses;
        if (pc < dims)  // a chroma shorter than 12 has no room for the upper classes
            out[pc] += g * in[i];
    }
}

void computeJointHpcp(double* treble, double* bass, double* trebleSum, double* bassSum,
                      const double* semitones, int octaves, int dims, int length, bool normalise)
{
    // The fold reads dims * octaves values; those beyond `length` count as 0.
    const int n = std::max(dims, 0) * std::max(octaves, 0);
    std::vector<double> work(static_cast<size_t>(n), 0.0);
    std::copy(semitones, semitones + std::min(std::max(length, 0), n), work.begin());

    foldChroma(bass, work.data(), dims, octaves, kBassCentre, kWidth);
    foldChroma(treble, work.data(), dims, octaves, kTrebleCentre, kWidth);

    double sb = 0.0;
    double st = 0.0;
    for (int p = 0; p < dims; ++p) {
        sb += bass[p];
        st += treble[p];
    }
    *bassSum = sb;
    *trebleSum = st;

    if (normalise) {
        const int m = std::min(dims, kPitchClasses);
        removeMean(bass, m);
        removeMean(treble, m);
    }
}

void appendJointHpcp(double* out, double* trebleSum, double* bassSum, const double* semitones, int octaves,
                     int dims, int length, bool normalise)
{
    computeJointHpcp(out + dims, out, trebleSum, bassSum, semitones, octaves, dims, length, normalise);
}

void removeMean(double* x, int n)
{
    if (n <= 0)
        return;
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += x[i];
    const double mean = sum / n;
    for (int i = 0; i < n; ++i)
        x[i] -= mean;

    double sq = 0.0;
    for (int i = 0; i < n; ++i)
        sq += x[i] * x[i];
    const double norm = std::sqrt(static_cast<double>(1e-10f) + sq);
    for (int i = 0; i < n; ++i)
        x[i] /= norm;
}

}  // namespace Hpcp
