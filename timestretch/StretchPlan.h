#pragma once
// The stretch plan: how the project core's time-stretch job drives the
// engine.
//
// One stretch, in the job's order:
//   1. `ClearSamples`, then `AppendFrame` per 4-byte frame of the section's
//      audio (16-bit little-endian left then right); the job also sets the
//      frame counts, both tempos, the reserved words and the format block
//      (the public fields below);
//   2. the job writes `m_numerator` and `m_denominator`;
//   3. `GetInputView`;
//   4. `ComputeSegments` with an empty segment list, the sync positions (in
//      frames of the fed audio, the first one standing for its frame 0) and
//      the bar count; the caller owns the segment records it gets;
//   5. `Render` with the view and the segments;
//   6. the job releases the segments and reads `GetOutputSample` for
//      channel 0 and 1 of every output frame (`OutputFrames()` of them);
//   7. later, `GetRatios` reports the out-of-range flag and the ratios.
//
// Each segment is stretched so that its bars last exactly their length at
// the target tempo: ratio = samples per bar x bars / input frames, output
// length = ceil(input frames x ratio). When no segment changes length the
// render copies the input (no limiter); otherwise the spectral engine runs
// and its output is limited (LimitPeaks) and clamped to 16-bit range.
// A ratio outside [0.5, 2.0] sets the flag; the engine then refuses the
// plan and the output stays empty.
//
// Samples are floats in 16-bit units (a sample value v is the float v).
// One thread at a time.
#include "StretchRecords.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

// The sample format of the plan's input, laid out as a PCM wave format.
struct PcmFormat {
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t samplesPerSecond = 44100;
    uint32_t averageBytesPerSecond = 176400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
};

// The output samples of one channel in a C-heap buffer: a render hands the
// engine's buffer over as it is, so a whole song's output is neither copied
// nor touched again; a copy (StoreOutput, or a copied plan) makes its own.
class PlanSamples {
public:
    PlanSamples() = default;
    ~PlanSamples() { std::free(m_data); }
    PlanSamples(const PlanSamples& other) { Assign(other.m_data, other.m_size); }
    PlanSamples& operator=(const PlanSamples& other)
    {
        if (this != &other)
            Assign(other.m_data, other.m_size);
        return *this;
    }

    // Takes `samples` (from malloc; freed with free) holding n floats.
    void Adopt(float* samples, size_t n)
    {
        std::free(m_data);
        m_data = samples;
        m_size = samples ? n : 0;
    }
    // Copies n floats; throws std::bad_alloc when the memory cannot be had
    // (the samples held before are then gone).
    void Assign(const float* samples, size_t n)
    {
        Clear();
        if (!samples || n == 0)
            return;
        auto* copy = static_cast<float*>(std::malloc(n * sizeof(float)));
        if (!copy)
            throw std::bad_alloc();
        std::memcpy(copy, samples, n * sizeof(float));
        Adopt(copy, n);
    }
    void Clear() { Adopt(nullptr, 0); }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    float operator[](size_t i) const { return m_data[i]; }

private:
    float* m_data = nullptr;
    size_t m_size = 0;
};

class StretchPlan {
public:
    StretchPlan() = default;

    // Empties the four sample vectors (their storage stays) and makes room
    // for m_inputFrames input frames.
    void ClearSamples();
    // Appends one 4-byte frame: left then right, each a signed 16-bit
    // little-endian value. Null does nothing.
    void AppendFrame(const uint8_t* frame);
    // Points the view at the input (both null unless both channels hold a
    // sample); frames = the left input's count; rate and bits from the
    // format block.
    void GetInputView(StretchInputView* view) const;

    // Cuts the input into segments between consecutive sync positions and
    // appends one new record per segment to `segments` (the caller owns
    // them) and its ratio to the plan's ratios. Positions are frames; the
    // first stands for frame 0 of the input view. With n positions, each
    // interval counts one bar when n = bars + 1, and with two positions the
    // one interval counts `bars` bars. The ratios and the flag are cleared
    // first, on every call. Nothing more is computed (no segments) for
    // null arguments, fewer than two positions, a count fitting neither
    // reading, positions not strictly rising, bars below 1, a numerator or
    // denominator below 1 or a target tempo below 1.
    void ComputeSegments(std::vector<StretchSegment*>* segments, const std::vector<int32_t>* positions,
                         int32_t bars);
    // The tempo at which `bars` bars last end - start frames: the samples
    // of one bar at the target tempo (seconds cut to seven decimals, then
    // rounded up to whole samples) over the frames, times bars and the
    // target tempo. Writes 0.0 for end <= start or an unusable time
    // signature or tempo.
    void ComputeSegmentTempo(int32_t start, int32_t end, double* result, int32_t bars) const;

    // Renders the segments (StretchSegments) and keeps the output (the
    // engine's buffers are taken over, not copied); a failed render leaves
    // the output as it was.
    void Render(StretchInputView view, std::vector<StretchSegment*>* segments);
    // Replaces the output by a copy of the record's samples (both channels).
    void StoreOutput(const StretchOutput* output);

    // Output sample of channel 0 (left) or 1 (right), truncated toward
    // zero; 0 for any other channel or an index outside the output.
    int32_t GetOutputSample(int8_t channel, int32_t index) const;
    // Frames held by the output.
    int32_t OutputFrames() const { return static_cast<int32_t>(m_outputLeft.size()); }
    // Copies the out-of-range flag and the ratios (one per segment of the
    // last ComputeSegments); returns the number of ratios.
    int32_t GetRatios(uint8_t* outOfRange, std::vector<double>* ratios) const;

    // Samples per bar at the target tempo and the format's rate, 0 for an
    // unusable time signature or tempo.
    int32_t SamplesPerBar() const;

    // Fields the job sets before each stretch.
    uint32_t m_reserved0 = 0;
    uint32_t m_inputFrames = 0;
    uint32_t m_framesForRatios = 0;  // ratios are computed only when non-zero
    double m_sourceTempo = 120.0;
    uint32_t m_reserved[3] = {0, 0, 0};
    uint32_t m_framesCopy = 0;
    double m_targetTempo = 120.0;  // beats per minute of the segment maths
    int32_t m_numerator = 4;
    int32_t m_denominator = 4;
    PcmFormat m_format;
    std::vector<float> m_inputLeft;
    std::vector<float> m_inputRight;
    PlanSamples m_outputLeft;
    PlanSamples m_outputRight;
    uint8_t m_outOfRange = 0;
    std::vector<double> m_ratios;
};

// Renders a run of segments: the output frame count, 0 when nothing was
// rendered (no segments, no input), -1 when an allocation or the engine
// failed, -2 when the engine refused the plan or the run reaches past the
// view's frames. A copy when no segment changes length; otherwise the
// spectral engine (format tag 2), then the limiter and a clamp of every
// sample to [-32768.0, 32767.94921875] (not-a-number becomes 0).
int StretchSegments(const StretchInputView* view, std::vector<StretchSegment*>* segments,
                    StretchFormat* format, StretchOutput* output);

// The view of the whole run of segments (from the first segment's start,
// back to back) and whether any segment changes length.
void BuildStretchInput(std::vector<StretchSegment*> segments, const StretchInputView* view,
                       StretchInputView* run, uint8_t* changed);

// Copies the run into new output buffers: the frame count, 0 without a
// left channel, -1 when memory cannot be had.
int CopyChannelBuffers(const StretchInputView* run, StretchOutput* output);

// Frees both buffers of the record and empties it.
void FreeStretchOutput(StretchOutput* output);
