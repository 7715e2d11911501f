#include "StretchPlan.h"

#include "OutputLimiter.h"
#include "StretchAlloc.h"
#include "StretchBuffer.h"
#include "StretchMath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

namespace {

constexpr double kTicksPerWholeNote = 3840.0;
constexpr float kTopSample = 32767.94921875f;
constexpr float kBottomSample = -32768.0f;

// Frames of the run's samples into a new C-heap buffer; null on failure.
float* copySamples(const float* samples, uint32_t frames)
{
    auto* copy = static_cast<float*>(std::malloc(sizeof(float) * std::max<size_t>(frames, 1)));
    stretch::adviseHugePages(copy, sizeof(float) * frames);
    if (copy && frames > 0)
        std::memcpy(copy, samples, sizeof(float) * frames);
    return copy;
}

void clampSamples(float* samples, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        float& v = samples[i];
        if (std::isnan(v))
            v = 0.0f;
        else if (v > kTopSample)
            v = kTopSample;
        else if (v < kBottomSample)
            v = kBottomSample;
    }
}

// The upper limit of the output for a sample size.
double highLimit(uint32_t bits)
{
    double high = 32767.0;
    if (bits >= 8 && bits <= 32) {
        const double full = std::ldexp(1.0, static_cast<int>(bits) - 1);
        high = (full - 1.0) * 32768.0 / full;
    }
    return std::min(static_cast<double>(kTopSample), high);
}

}  // namespace

void StretchPlan::ClearSamples()
{
    m_inputLeft.clear();
    m_inputRight.clear();
    m_outputLeft.Clear();
    m_outputRight.Clear();
    // The feed sets the frame count first: room for it is made at once.
    try {
        m_inputLeft.reserve(m_inputFrames);
        m_inputRight.reserve(m_inputFrames);
        stretch::adviseHugePages(m_inputLeft.data(), sizeof(float) * m_inputLeft.capacity());
        stretch::adviseHugePages(m_inputRight.data(), sizeof(float) * m_inputRight.capacity());
    } catch (const std::exception&) {
        // The appends grow the vectors as they go.
    }
}

void StretchPlan::AppendFrame(const uint8_t* frame)
{
    if (!frame)
        return;
    const auto left = static_cast<int16_t>(static_cast<uint16_t>(frame[0] | (frame[1] << 8)));
    const auto right = static_cast<int16_t>(static_cast<uint16_t>(frame[2] | (frame[3] << 8)));
    m_inputLeft.push_back(static_cast<float>(left));
    m_inputRight.push_back(static_cast<float>(right));
}

void StretchPlan::GetInputView(StretchInputView* view) const
{
    if (!view)
        return;
    const bool both = !m_inputLeft.empty() && !m_inputRight.empty();
    view->left = both ? const_cast<float*>(m_inputLeft.data()) : nullptr;
    view->right = both ? const_cast<float*>(m_inputRight.data()) : nullptr;
    view->frames = static_cast<uint32_t>(m_inputLeft.size());
    view->sampleRate = m_format.samplesPerSecond;
    view->bitsPerSample = m_format.bitsPerSample;
}

int32_t StretchPlan::SamplesPerBar() const
{
    if (m_numerator < 1 || m_denominator < 1 || !(m_targetTempo >= 1.0) ||
        m_targetTempo > std::numeric_limits<uint32_t>::max())
        return 0;
    const uint32_t ticksPerBar = static_cast<uint32_t>(std::trunc(kTicksPerWholeNote / m_denominator)) *
                                 static_cast<uint32_t>(m_numerator);
    const auto wholeTempo = static_cast<uint32_t>(std::trunc(m_targetTempo));
    double seconds = ticksPerBar / (wholeTempo * 16.0);
    // Cut to seven decimals, so that 2.6666666 s give 117600 samples, not 117601.
    seconds = static_cast<double>(static_cast<int64_t>(seconds * 10000000.0)) / 10000000.0;
    const double samples = stretch::ceilNearWhole(seconds * m_format.samplesPerSecond);
    if (!(samples >= 0.0) || samples > std::numeric_limits<int32_t>::max())
        return 0;
    return static_cast<int32_t>(samples);
}

void StretchPlan::ComputeSegmentTempo(int32_t start, int32_t end, double* result, int32_t bars) const
{
    if (!result)
        return;
    const int32_t samplesPerBar = SamplesPerBar();
    if (end <= start || samplesPerBar <= 0) {
        *result = 0.0;
        return;
    }
    const double frames = static_cast<double>(static_cast<int64_t>(end) - start);
    *result = samplesPerBar / frames * static_cast<double>(static_cast<uint32_t>(bars)) * m_targetTempo;
}

void StretchPlan::ComputeSegments(std::vector<StretchSegment*>* segments,
                                  const std::vector<int32_t>* positions, int32_t bars)
{
    m_ratios.clear();
    m_outOfRange = 0;
    if (!segments || !positions || bars < 1)
        return;
    const std::vector<int32_t>& p = *positions;
    const size_t n = p.size();
    if (n < 2 || (static_cast<int64_t>(n) != static_cast<int64_t>(bars) + 1 && n != 2))
        return;
    for (size_t i = 1; i < n; ++i) {
        if (p[i] <= p[i - 1] || static_cast<int64_t>(p[i]) - p[0] > std::numeric_limits<int32_t>::max())
            return;
    }
    if (SamplesPerBar() <= 0)
        return;

    const int32_t barsPerSegment = static_cast<int64_t>(n) == static_cast<int64_t>(bars) + 1 ? 1 : bars;
    const bool withRatios = static_cast<double>(static_cast<int32_t>(m_framesForRatios)) != 0.0;
    for (size_t i = 1; i < n; ++i) {
        auto segment = std::make_unique<StretchSegment>();
        segment->start = p[i - 1] - p[0];
        segment->end = p[i] - p[0];
        segment->length = p[i] - p[i - 1];
        ComputeSegmentTempo(segment->start, segment->end, &segment->segmentTempo, barsPerSegment);
        segment->ratio = 1.0;
        if (withRatios) {
            segment->ratio = segment->segmentTempo / m_targetTempo;
            if (segment->ratio < 0.5 || segment->ratio > 2.0)
                m_outOfRange = 1;
        }
        segment->wordA = 1;
        segment->wordB = 0;
        segment->wordC = 0;
        const double output = stretch::ceilNearWhole(
            static_cast<double>(static_cast<uint32_t>(segment->length)) * segment->ratio);
        segment->outputLength =
            static_cast<int32_t>(std::min<double>(output, std::numeric_limits<int32_t>::max()));
        segment->targetTempo = m_targetTempo;
        m_ratios.push_back(segment->ratio);
        segments->push_back(segment.release());
    }
}

void StretchPlan::Render(StretchInputView view, std::vector<StretchSegment*>* segments)
{
    StretchFormat format;
    format.tag = 2;
    format.mode = 0;
    StretchOutput output;
    try {
        const int result = StretchSegments(&view, segments, &format, &output);
        if (result > 0) {
            m_outputLeft.Adopt(output.left, output.left ? output.frames : 0);
            m_outputRight.Adopt(output.right, output.right ? output.frames : 0);
            output.left = output.right = nullptr;
        }
    } catch (...) {
        FreeStretchOutput(&output);
        throw;
    }
    FreeStretchOutput(&output);
}

void StretchPlan::StoreOutput(const StretchOutput* output)
{
    m_outputLeft.Clear();
    m_outputRight.Clear();
    if (!output)
        return;
    m_outputLeft.Assign(output->left, output->frames);
    m_outputRight.Assign(output->right, output->frames);
}

int32_t StretchPlan::GetOutputSample(int8_t channel, int32_t index) const
{
    const PlanSamples* samples = channel == 0 ? &m_outputLeft : (channel == 1 ? &m_outputRight : nullptr);
    if (!samples || index < 0 || static_cast<size_t>(index) >= samples->size())
        return 0;
    const float v = (*samples)[static_cast<size_t>(index)];
    if (!(v > -2147483648.0f && v < 2147483648.0f))
        return 0;
    return static_cast<int32_t>(v);
}

int32_t StretchPlan::GetRatios(uint8_t* outOfRange, std::vector<double>* ratios) const
{
    if (outOfRange)
        *outOfRange = m_outOfRange;
    if (ratios)
        *ratios = m_ratios;
    return static_cast<int32_t>(m_ratios.size());
}

void BuildStretchInput(std::vector<StretchSegment*> segments, const StretchInputView* view,
                       StretchInputView* run, uint8_t* changed)
{
    if (!run)
        return;
    *run = StretchInputView();
    if (changed)
        *changed = 0;
    if (!view || segments.empty())
        return;
    int64_t frames = 0;
    for (const StretchSegment* s : segments) {
        frames += s->length;
        if (changed && s->outputLength != s->length)
            *changed = 1;
    }
    run->sampleRate = view->sampleRate;
    run->bitsPerSample = view->bitsPerSample;
    run->frames = static_cast<uint32_t>(std::max<int64_t>(0, std::min<int64_t>(frames, UINT32_MAX)));
    // The run lies inside the view or is not read at all.
    const int64_t first = segments.front()->start;
    if (first < 0 || frames < 0 || first + frames > view->frames)
        return;
    run->left = view->left ? view->left + first : nullptr;
    run->right = view->right ? view->right + first : nullptr;
}

int CopyChannelBuffers(const StretchInputView* run, StretchOutput* output)
{
    if (!run || !output || !run->left || run->frames == 0)
        return 0;
    float* left = copySamples(run->left, run->frames);
    if (!left)
        return -1;
    float* right = nullptr;
    if (run->right) {
        right = copySamples(run->right, run->frames);
        if (!right) {
            std::free(left);
            return -1;
        }
    }
    output->left = left;
    output->right = right;
    output->frames = run->frames;
    return static_cast<int>(std::min<uint32_t>(run->frames, INT32_MAX));
}

void FreeStretchOutput(StretchOutput* output)
{
    if (!output)
        return;
    std::free(output->left);
    std::free(output->right);
    output->left = nullptr;
    output->right = nullptr;
    output->frames = 0;
}

int StretchSegments(const StretchInputView* view, std::vector<StretchSegment*>* segments,
                    StretchFormat* format, StretchOutput* output)
{
    if (!view || !segments || !format || !output || segments->empty())
        return 0;
    const uint16_t tag = format->tag;
    StretchInputView run;
    uint8_t changed = 0;
    BuildStretchInput(*segments, view, &run, &changed);
    // A run reaching past the fed frames (a short read) is refused.
    const int64_t first = segments->front()->start;
    if (view->left && (first < 0 || first + static_cast<int64_t>(run.frames) > view->frames))
        return -2;
    if (!changed)
        return CopyChannelBuffers(&run, output);

    std::vector<StretchSegment> copies;
    std::vector<StretchSegment*> list;
    try {
        copies.reserve(segments->size());
        list.reserve(segments->size());
        for (const StretchSegment* s : *segments) {
            copies.push_back(*s);
            copies.back().start -= static_cast<int32_t>(first);
            copies.back().end -= static_cast<int32_t>(first);
            list.push_back(&copies.back());
        }
    } catch (...) {
        return -1;
    }
    format->mode = 0;
    std::fill(std::begin(format->reserved), std::end(format->reserved), 0u);

    int result = 0;
    try {
        if (tag == 2)
            result = StretchBuffer(&run, list, format, output);
    } catch (int) {
        return -1;
    }
    if (result <= 0)
        return result;
    const double high = highLimit(run.bitsPerSample);
    LimitPeaks(output->left, 0, result, high, kBottomSample);
    if (output->right)
        LimitPeaks(output->right, 0, result, high, kBottomSample);
    clampSamples(output->left, result);
    if (output->right)
        clampSamples(output->right, result);
    return result;
}
