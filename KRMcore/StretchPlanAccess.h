#pragma once
// What the time-stretch job asks of the stretch engine's plan, as a small
// interface: the job owns one plan for its whole life and drives it the
// same way whether it is the engine's plan or a test's stand-in.
//
// One stretch: `setFeed`, `ClearSamples`, `AppendFrame` per frame,
// `setTimeSignature`, `render`, then `outputFrames` and `GetOutputSample`
// per frame and channel; `GetRatios` reports the latest render's ratios.
#include <cstddef>
#include <cstdint>
#include <vector>

class IStretchPlan {
public:
    virtual ~IStretchPlan() = default;
    // The header of one feed: 16-bit stereo PCM at 44100 Hz, the frame
    // count, source and target tempo (beats per minute), reserved words 0.
    virtual void setFeed(uint32_t frames, double tempo) = 0;
    virtual void ClearSamples() = 0;
    // One stereo frame: left then right signed 16-bit little-endian sample.
    virtual void AppendFrame(const uint8_t* frame) = 0;
    virtual void setTimeSignature(int32_t numerator, int32_t denominator) = 0;
    // Cuts the fed audio into segments between the sync positions (frames;
    // the fed audio starts at the first position), renders them and
    // releases the segments. Exceptions of the engine pass to the caller.
    virtual void render(const std::vector<int32_t>& positions, int32_t bars) = 0;
    // Frames of the rendered output; 0 when nothing was rendered.
    virtual size_t outputFrames() const = 0;
    // Output sample truncated to an integer; 0 outside the output.
    virtual int32_t GetOutputSample(int8_t channel, int32_t index) const = 0;
    // Out-of-range flag and ratios of the latest usable position list;
    // returns the number of ratios.
    virtual uint32_t GetRatios(uint8_t& outOfRange, std::vector<double>& ratios) = 0;
};
