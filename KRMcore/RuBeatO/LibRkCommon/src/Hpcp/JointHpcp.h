#pragma once

namespace Hpcp {

// Chroma from semitone powers: the semitones are folded onto the 12 pitch
// classes (index 0 of the input is a C) with Gaussian weights over the
// semitone index, once centred on the bass register (index 12) and once on
// the treble register (index 48), both 12 semitones wide.

// out[i mod 12] += exp(-0.5 z^2) / (sqrt(2 pi) width) * in[i] with
// z = (i - centre) / width, for i < dims * octaves; out has dims values.
void foldChroma(double* out, const double* in, int dims, int octaves, double centre, double width);

// Bass and treble chroma of dims values each from the first `length`
// semitone values, and their sums taken before the optional normalisation
// (zero mean and unit length of 12 values each).
void computeJointHpcp(double* treble, double* bass, double* trebleSum, double* bassSum,
                      const double* semitones, int octaves, int dims, int length, bool normalise);

// computeJointHpcp into one vector: bass chroma at out[0 .. dims-1], treble
// chroma at out[dims .. 2 dims - 1].
void appendJointHpcp(double* out, double* trebleSum, double* bassSum, const double* semitones, int octaves,
                     int dims, int length, bool normalise);

// In place: zero mean, then unit length (with a small epsilon, so an
// all-zero or constant vector stays all zero).
void removeMean(double* x, int n);

}  // namespace Hpcp
