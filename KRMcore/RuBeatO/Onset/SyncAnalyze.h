#pragma once
// Quiet cut points: for each interval between consecutive markers of a
// section's mono audio, the sample at which the sound is least active, so
// that cuts fall into quiet, steady places.
//
// Activity is a short-time spectral curve (2048-point Bartlett-Hann frames
// every 64 samples), flattened at both ends of the section so that the
// ends are never chosen, and interpolated to one value per sample.
#include <cstdint>

// The derived sizes for one sample rate.
struct SyncAnalyzeSettings {
    int32_t margin;      // samples kept clear of each marker (0.015 s)
    int32_t halfWindow;  // W: frames on each side of a frame's activity
    int32_t edge;        // E: frames at each end that are never a minimum
};
SyncAnalyzeSettings syncAnalyzeSettings(int sampleRate);

// For interval k (0 .. markerCount - 2), the index of the least active
// sample in [markers[k] + margin, markers[k + 1] - margin), the first one
// on ties.
//
// Arguments after `markerCount`, as ints: the sample rate in Hz and the
// activity mode (1: spread of each frame's spectrum, as the export uses;
// any other value: per-bin variance over mean across neighbouring frames).
// Mode 1 runs on the single-precision transform, the others on the double
// one; rounding can move a cut only between two minima equal to about one
// part in a million.
//
// Ownership: `*indices` must be null or an array that an earlier call
// returned. It is released and replaced by a new array of `*count` =
// markerCount - 1 entries, which the caller owns and releases with
// `syncAnalyzeRelease`. Fewer than two samples or two markers, a rate
// below 1 or a null pointer among the inputs give `*count` 0 and a null
// array. Throws std::bad_alloc when memory runs out; `*indices` and
// `*count` are then left as they were.
//
// Markers are sample positions, ascending. A marker past the samples counts
// as the sample count; each window is clamped to the samples, and a window
// whose end is not after its start gives its (clamped) start. Callers
// should keep consecutive markers at least 2 * margin + 2 samples apart
// (1324 at 44100 Hz) so that every window holds a choice.
void syncAnalyze(uint32_t** indices, uint32_t* count, const int16_t* samples, uint32_t sampleCount,
                 const uint32_t* markers, uint32_t markerCount, ...);

// Releases an array returned by `syncAnalyze` and sets the pointer to null.
// Null is allowed for both.
void syncAnalyzeRelease(uint32_t** indices);
