#pragma once
// Spectral peaks of the band stretcher and their continuation from one
// analysed frame to the next.
//
// The stretcher treats a spectrum as a set of sinusoidal peaks. For every
// output frame it picks the peaks of the two analysed frames around the
// source time (`FindSpectralPeaks`), pairs the peaks of the earlier frame
// with those of the later one (`TSBandContinuePeaks`), checks whether a pair
// is one steady partial (`IsPeakContinuous`) and reads phases between bins
// (`InterpolatePhase`).
//
// The engine's bands are frequency ranges here (at most 8): each range has
// its own analysed spectrum, its own peak list, and an edge, the frequency
// where its domain ends; the last range reaches to the top. Frequencies are
// in Hz, magnitudes in dB (SMSFrame), phases in radians. Nothing here
// allocates; the lists and the pair table have fixed room.
#include <cstdint>

class SMSFrame;
class TimeScaleParameterBlock;

// The largest number of peaks in one list and of pairs in one table.
constexpr int32_t kMaxPeaks = 1500;
// The largest number of ranges the pairing supports.
constexpr int32_t kMaxRanges = 8;

// The pairs of one channel for one output frame, sorted by the later
// frequency, with the band stretcher's per-pair working data.
struct PeakPairTable {
    uint32_t count = 0;
    double later[kMaxPeaks];    // frequency in the later frame
    double earlier[kMaxPeaks];  // frequency of its partner in the earlier frame
    // Band stretcher data per pair: ranges of the two peaks, the bin of the
    // later peak in its range, the bins' phase advance, the frequencies the
    // pair governs and whether it takes the measured phase (phase reset).
    int32_t laterRange[kMaxPeaks];
    int32_t earlierRange[kMaxPeaks];
    int32_t bin[kMaxPeaks];
    double advance[kMaxPeaks];
    double regionLow[kMaxPeaks];
    double regionHigh[kMaxPeaks];
    uint8_t reset[kMaxPeaks];
};

// Appends the peaks of `magnitudes` (n bins from 0 Hz to `lastBinFrequency`)
// to `peaks`, rising, and raises `count`. A bin is a peak when it lies above
// `threshold` and no bin within `halfWidth` bins exceeds it while one is
// below it (bins 0 and 1 by their own rules); its frequency is refined by a
// parabola through the three bins (offset 0 where the parabola is flat).
// Bins 0 .. n - 4 are examined; nothing happens with fewer than 4 bins or
// without magnitudes; the search stops once `count` reaches kMaxPeaks.
// Returns 0.
int FindSpectralPeaks(const float* magnitudes, int32_t n, float lastBinFrequency, double threshold,
                      int32_t halfWidth, int32_t& count, double* peaks);

// Pairs the later frame's peaks with the earlier frame's.
//   earlierPeaks[r], earlierCounts[r], laterPeaks[r], laterCounts[r]: the
//     peak lists of each range (rising); the lists of ranges 1 .. are
//     trimmed from below where the range below takes over;
//   earlierEdges, laterEdges: the edge of each range, in: the nominal edge,
//     out: moved between peaks so that no partial is split, and never
//     below a range's lowest pair;
//   maxDeviation: pairs further apart (Hz) are not made;
//   rangeMaxima: the frequency of each range's last bin, the edges' cap.
// More than kMaxRanges ranges (or fewer than 1) are refused: an error line
// on the standard error stream and no pairs. At most kMaxPeaks pairs are
// recorded. Returns 0.
int TSBandContinuePeaks(double* const* earlierPeaks, int32_t* earlierCounts, double* const* laterPeaks,
                        int32_t* laterCounts, double* earlierEdges, double* laterEdges, double maxDeviation,
                        int32_t rangeCount, PeakPairTable& pairs, const float* rangeMaxima);

// 1 when the peak at f1 in `earlier` and the peak at f2 in `later` (two
// spectra of the same range, `lastBinFrequency` at their last bin,
// `elapsed` seconds apart) are one steady partial, else 0: the level change
// lies between codes 129 and 128 (dB), the frequencies lie closer than code
// 130 (Hz), and the phase of `later` lies within code 127 (radians) of the
// phase carried forward at the mean frequency. The codes are read from
// `block` at the later frame's time (the defaults -5, 4, 20 and pi / 3
// without a block). Bin indices are clamped to the spectra.
int IsPeakContinuous(double f1, const SMSFrame& earlier, double f2, const SMSFrame& later,
                     double lastBinFrequency, double elapsed, const TimeScaleParameterBlock* block = nullptr);

// The tolerances of IsPeakContinuous, read once for a frame's many pairs.
struct ContinuityTolerances {
    double phase = 3.14159265358979323846 / 3.0;  // code 127, radians
    double rise = 4.0;                            // code 128, dB
    double fall = -5.0;                           // code 129, dB
    double apart = 20.0;                          // code 130, Hz
    // The codes of `block` at `time` (the defaults without a block).
    static ContinuityTolerances At(const TimeScaleParameterBlock* block, double time);
};
int IsPeakContinuous(double f1, const SMSFrame& earlier, double f2, const SMSFrame& later,
                     double lastBinFrequency, double elapsed, const ContinuityTolerances& tolerances);

// The phase at `frequency` in `phases` (n bins from 0 Hz to
// `lastBinFrequency`), interpolated between the two bins around it along
// the shorter way, in [0, 2 pi). `offset`, when given, receives the phase of
// the nearer bin minus the result, in [0, 2 pi). The bin index is clamped to
// the array; n < 1 gives 0.
double InterpolatePhase(const float* phases, int32_t n, double frequency, double lastBinFrequency,
                        double* offset = nullptr);
