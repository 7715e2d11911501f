#pragma once
// A continuation of a signal past its last sample by linear prediction.
//
// The time-scale engine's analysis windows near the end of the input reach
// past its last sample. Cut off there, a sustained sound analyses as a
// smeared spectrum whose resynthesis dips, overshoots and rings over the
// last frames; continued by prediction, the same windows see the sound
// they would have seen had it gone on.
//
// The prediction is an all-pole (autoregressive) model fitted by Burg's
// method, which keeps every reflection coefficient within (-1, 1): the
// predictor is stable, so a continuation sustains or decays but never
// grows without bound. Sinusoids continue with their frequencies, levels
// and phases; noise fades within a few predictor lengths.
#include <cstdint>
#include <vector>

namespace stretch {

// The prediction-error filter a[0..order] (a[0] = 1) of x[0..n) by Burg's
// method, so that x[i] is predicted as -sum over k = 1..order of
// a[k] x[i - k]. The order is lowered to n - 1 when n is that short. A
// signal without energy (or n < 2) gives a = {1, 0, ...}. Allocation
// failures throw the integer -1.
std::vector<double> BurgCoefficients(const float* x, int32_t n, int32_t order);

// How many of the last `span` samples of x[0..n) (span at most n / 2) the
// predictor (Burg, `order`) of the min(fitLength, n - span) samples before
// them predicts, run on from there, before the RMS of its error grows past
// `tolerance` times the RMS of the samples so far: span for a sound that
// goes on as it was (silence included), little for one that changes or is
// noise, 0 with too few samples (n < 4) or order < 1.
int32_t PredictableLength(const float* x, int32_t n, int32_t fitLength, int32_t order, int32_t span,
                          double tolerance);

// Writes `count` samples that continue x[0..n) to `out`: the predictor of
// its last min(n, fitLength) samples (Burg, `order`) run on from the end,
// each sample clamped to the 16-bit range [-32768, 32767], and trusted only
// as far as the sound was predictable just before (PredictableLength over
// the last `count` samples, within 10 %): whole for half that length, then
// fading (raised cosine) to silence at it. A sound that changes, or noise,
// thus continues briefly and fades; a steady one goes on. Without samples
// (n < 1) or with order < 1 the continuation is silence. Allocation
// failures throw the integer -1.
void ContinueSignal(const float* x, int32_t n, int32_t fitLength, int32_t order, float* out, int32_t count);

}  // namespace stretch
