#pragma once
// A continuation of a signal past its last sample by linear prediction.
//
// The time-scale engine's analysis windows near the end of the input reach
// past its last sample. Cut off there, a sustained sound analyses as a
// smeared spectrum whose resynthesis dips, overshoots and rings over the
// last frames; continued by prediction, the same windows see the sound
// they would have seen had it gone on.
//
// The prediction is an all-pole (autoregressive) model fitted by forward
// and backward least squares, whose frequencies for steady tones are exact
// within the input's rounding. Each sample is clamped to the 16-bit range,
// and the continuation is trusted only as far as the model predicted the
// sound's own last samples, so it cannot grow without bound. Sinusoids
// continue with their frequencies, levels and phases; noise fades within a
// few predictor lengths.
#include <cstdint>
#include <vector>

namespace stretch {

// The prediction-error filter a[0..order] (a[0] = 1) of x[0..n) by Burg's
// method, so that x[i] is predicted as -sum over k = 1..order of
// a[k] x[i - k]. The order is lowered to n - 1 when n is that short. A
// signal without energy (or n < 2) gives a = {1, 0, ...}. Allocation
// failures throw the integer -1.
std::vector<double> BurgCoefficients(const float* x, int32_t n, int32_t order);

// The prediction-error filter a[0..order] (a[0] = 1) of x[0..n) that makes
// the forward and backward errors least in the least-squares sense, the
// order lowered to (n - 1) / 2 when n is that short. Unlike Burg's method,
// whose frequencies for a steady tone lean one way or the other with the
// tone's phase at the start of x (enough to drift a 220 Hz tone 0.4 Hz and
// off by a tenth of its level within 1000 samples), it finds a tone's
// frequency within the rounding of whole 16-bit samples. Stability is not
// assured: callers clamp what it predicts and trust it only as far as it
// predicted the sound. A system it cannot solve (silence included) falls
// back to Burg's method. Allocation failures throw the integer -1.
std::vector<double> PredictorCoefficients(const float* x, int32_t n, int32_t order);

// How many of the last `span` samples of x[0..n) (span at most n / 2) the
// predictor (PredictorCoefficients, `order`) of the min(fitLength, n - span) samples before
// them predicts, run on from there, before the RMS of its error so far
// grows past `tolerance` times the RMS of the fitted and tried samples
// together (plus about a sample of rounding noise, which whole 16-bit
// samples carry): span for a sound that goes on as it was (silence
// included), little for one that changes or is noise, 0 with too few
// samples (n < 4), order < 1, or a sample among them that is not finite.
int32_t PredictableLength(const float* x, int32_t n, int32_t fitLength, int32_t order, int32_t span,
                          double tolerance);

// Writes `count` samples that continue x[0..n) to `out`: the predictor of
// its last min(n, fitLength) samples (PredictorCoefficients, `order`) run on from the end,
// each sample clamped to the 16-bit range [-32768, 32767], and trusted only
// as far as the sound was predictable just before (PredictableLength over
// the last `count` samples, within 10 %): whole for half that length, then
// fading (raised cosine) to silence at it. A sound that changes, or noise,
// thus continues briefly and fades; a steady one goes on. Without samples
// (n < 1), with order < 1, or with a sample that is not finite among those
// it fits, the continuation is silence. Allocation
// failures throw the integer -1.
void ContinueSignal(const float* x, int32_t n, int32_t fitLength, int32_t order, float* out, int32_t count);

}  // namespace stretch
