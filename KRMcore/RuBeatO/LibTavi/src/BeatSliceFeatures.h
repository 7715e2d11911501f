#pragma once
// Beat-synchronous features from a sequence of semitone power frames: the
// frames a beat covers, the reduction of those frames to one semitone
// vector, and the per-beat feature made from it.
#include <utility>
#include <vector>

namespace tavi {

// Feature codes: 0 bass chroma (12), 1 treble chroma (12), 2 both (24),
// 3 semitones over (norm + 0.1), 4 both chroma and their two sums before
// normalisation (26: bass sum, then treble sum), 7 octave powers
// (semitones / 12 + 1). The chroma are normalised to zero mean and unit
// length.
enum BeatFeatureType {
    kBassChroma = 0,
    kTrebleChroma = 1,
    kJointChroma = 2,
    kNormalisedSemitones = 3,
    kJointChromaAndSums = 4,
    kOctavePowers = 7,
};

// Reducers of a slice, per semitone: 0 median (the element at m / 2 after a
// partial sort), 1 sum, 2 mean, 3 mean weighted by exp(-i / 10) from the
// slice's first frame, 4 root of the sum of squares.
enum SliceReducer { kMedian = 0, kSum = 1, kMean = 2, kDecayingMean = 3, kRootSumOfSquares = 4 };

using FrameSlice = std::pair<int, int>;  // first frame, end frame (exclusive)

// Frame of a beat at `position` blocks with one frame every `decimation`
// blocks: round(position / decimation), at most frameCount - 1 (and not
// below 0).
int beatFrameIndex(int position, int frameCount, int decimation);

// One slice per beat position (blocks, ascending): from the beat's frame to
// the next beat's frame, the last one to the end of the frames.
std::vector<FrameSlice> beatSlices(const std::vector<int>& positions, int frameCount, int decimation);

// Reduces frames[first .. end - 1] element-wise to `semitones` values; an
// empty slice gives zeros. Throws std::invalid_argument for an unknown
// reducer.
void reduceSlice(const std::vector<std::vector<double>>& frames, FrameSlice slice, int reducer, int semitones,
                 std::vector<double>& out);

// The per-beat feature of a reduced semitone vector (lowest semitone a C).
// Throws std::invalid_argument "Cannot use feature other than JointHPCP or
// SemitonePow" for any other code.
void beatFeature(const std::vector<double>& semitones, int featureType, std::vector<double>& out);

}  // namespace tavi
