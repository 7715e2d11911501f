#pragma once
// Note-onset finder in integer arithmetic for the project core's onset job.
//
// A per-sample envelope of the 16-bit mono signal becomes a detection value
// per hop (about 2.9 ms, 128 samples at 44100 Hz); a peak picker marks its
// peaks on a 0..128 scale relative to the largest; an optional grid pass
// strengthens peaks near an expected metric grid; every frame whose peak
// value passes a threshold becomes an onset, no two closer than about 50 ms
// (of two closer ones the stronger stays).
//
// The signal is analysed behind a 2048-sample lead-in that holds one small
// click (it sets the scale for a quiet source), and is followed by zeros so
// that every frame is finished. Positions are reported in source samples.
//
// Lifecycle: zero a `State` (value-initialise it), `init` it once for the
// source, call `process` (the first call reads the source; a later call on
// the same state reuses the detection), then `finish`. `finish` is safe on
// a zeroed state and after a failed `init`. Nothing here is shared between
// states; one state is used by one thread at a time.
#include "ISeekable.h"

#include <cstdint>
#include <type_traits>
#include <vector>

namespace OnsetEngine {

constexpr int32_t kLeadIn = 2048;                 // samples before the source
constexpr int32_t kTailHops = 130;                // hops of zeros after it
constexpr int32_t kIntervalCapacity = 1024;       // listed strong peaks
constexpr uint16_t kRise = 0xFFFF;                // peak-map mark of a rising frame
constexpr int16_t kPeakThreshold = 26;            // peak value of a listed peak
constexpr int16_t kSubPeakThreshold = 5;          // grid sub-position search
constexpr int16_t kReinforced = 300;              // added by the grid pass
constexpr double kMinimumOnsetGapSeconds = 0.05;  // closest two onsets may lie

// The source as the caller describes it: seven 32-bit words. Only the
// sample count (frames) and the sample rate are read.
struct SourceInfo {
    int32_t reserved0;
    int32_t reserved1;
    int32_t sampleCount;
    int32_t sampleRate;
    int32_t bits;
    int32_t reserved2;
    int32_t sampleCount2;
};

// The analysed range and the metric frame of the grid pass: seven 32-bit
// words. `process` overwrites the first three with 0, the sample count and
// the sample count; the rest give the beats in the range
// (beatsPerBar * bars + beat + tick / 960).
struct Range {
    int32_t startSample;
    int32_t endSample;
    int32_t endSample2;
    int32_t bars;
    int32_t beat;
    int32_t tick;  // 960 per beat
    int32_t beatsPerBar;
};

// Six 16-bit settings. p0 picks the row of the grid tolerance table and p2
// the subdivision (both clamped to 0..6); p1 and p5 set the strong and weak
// selection thresholds (100 - p, or 128 for 0). p3 and p4 are not read.
// Laid out like three 32-bit words with p0, p2, p4 in the low halves on a
// little-endian machine.
struct Params {
    int16_t p0, p1, p2, p3, p4, p5;
};

// The engine's whole state. The caller owns it and zeroes it before `init`;
// the three arrays belong to the state until `finish`.
struct State {
    double sampleRate;
    int32_t hop;               // samples per frame
    int32_t frameCount;        // entries of each array
    int32_t paddedLength;      // sample count + lead-in; 0 when not initialised
    int16_t peakThreshold;     // 26
    int16_t subPeakThreshold;  // 5
    int16_t strongThreshold;
    int16_t weakThreshold;
    double beatsInRange;
    int32_t subdivision;
    int32_t toleranceDivisor;
    int32_t firstFrame;
    int32_t lastFrame;
    double framesPerBeat;
    uint8_t detectionDone;
    int32_t* detection;   // detection function, one value per frame
    uint16_t* peakMap;    // 0..128 at peaks, kRise on rises, else 0
    uint16_t* selection;  // grid-pass result; +300 marks a reinforced frame
};
static_assert(std::is_trivial_v<State> && std::is_standard_layout_v<State>);
static_assert(sizeof(SourceInfo) == 28 && sizeof(Range) == 28 && sizeof(Params) == 12);

// Sets up `state` for a source of `source.sampleCount` frames at
// `source.sampleRate` Hz and allocates its arrays. Throws
// std::invalid_argument for a rate below 344 Hz or a count below 0 or too
// large for the lead-in; when an allocation fails it releases what it got,
// writes "ERR_MEMORY_ALLOC" to standard error and throws std::bad_alloc.
// On any failure the state is left as it was (arrays released if an
// earlier `init` had set them).
void init(State& state, const SourceInfo& source);

// Finds the onsets and appends their sample positions (ascending, never
// below 0) to `onsets`. Reads the source from frame 0 on the first call
// after `init`; frames it cannot deliver count as silence. A one-channel
// source counts as both left and right; further channels are ignored.
// Throws std::logic_error when `state` is not initialised and
// std::invalid_argument when `source`'s sample count differs from the one
// given to `init` or the source has no channel.
void process(ISeekable<float>& source, State& state, const SourceInfo& info, std::vector<int32_t>& onsets,
             Range& range, const Params& params);

// Releases the arrays and sets the padded length to 0.
void finish(State& state);

// --- The stages, for callers and tests that need one of them ---

// The per-sample envelope stage: its constants for one sample rate and its
// running state. Value-initialise, then `setRate`.
struct SampleStage {
    int32_t k;        // low-frequency removal, 1/1024 units
    int32_t attack;   // envelope step toward a louder value, 1/8192 units
    int32_t release;  // envelope step toward a quieter value, 1/8192 units
    int32_t previous;
    int64_t low, lowSlow, envelope;  // envelope in eighths
    int32_t window[5];
    int32_t windowPos;
    int64_t windowSum;
    void setRate(double sampleRate);
};

// Feeds one 16-bit sample; returns the stage value (the envelope smoothed
// over five samples).
int32_t processSample(SampleStage& stage, int32_t x);

// Runs the detection over lead-in, source and tail, fills the detection
// function and the peak map, and sets `detectionDone`.
void analyse(ISeekable<float>& source, State& state);

// The strong peaks (value above 26), in frame order, at most 1024.
struct PeakList {
    int32_t count;
    int32_t frames[kIntervalCapacity];
};

struct PeakSummary {
    int32_t firstPeak;  // first listed frame, -1 for none
    int32_t lastIndex;  // count - 1
};

// Marks the peaks of `detection` (n frames) in `peakMap`: (v * 128) / max at
// each top frame, kRise on the frames that climb to it, 0 elsewhere; lists
// the peaks above 26. More than 1024 of them print "interval buffer
// overflow!" to standard output and the rest are not listed.
PeakSummary pickPeaks(const int32_t* detection, int32_t n, uint16_t* peakMap, PeakList& list);

// Sets the range frames from `range` (first frame moved past the rise it
// lands in) and the frames per beat.
void setRangeFrames(State& state, const Range& range);

// Works on a copy of the peak map: adds 300 to the peaks found near the
// beats and their subdivisions, then moves every positive value to the
// start of its rise in the selection map.
void reinforceGrid(State& state);

// Appends f * hop - 2048 (at least 0) for every frame f from first + 1 to
// last - 2 whose selection value passes the weak threshold, or, when
// reinforced, the strong one; of two such frames closer than the minimum
// onset gap only the one with the larger value (the earlier on a tie) is
// kept, so one note gives one onset.
void collectOnsets(const State& state, std::vector<int32_t>& onsets);

// The minimum onset gap in frames: about 50 ms (17 frames of 128 samples at
// 44100 Hz), at least 1.
int32_t minimumOnsetGap(double sampleRate, int32_t hop);

}  // namespace OnsetEngine
