#include "timeStretch.h"

#include "StretchPlan.h"
#include "base/ResultCode.h"

#include <limits>
#include <memory>

namespace {

constexpr size_t kFrameBytes = 4;

// The plan works in signed frame positions; a position it could not hold
// makes the whole list unusable, which the plan answers with no segments.
std::vector<int32_t> signedPositions(const std::vector<uint32_t>& positions)
{
    std::vector<int32_t> out;
    out.reserve(positions.size());
    for (uint32_t p : positions) {
        if (p > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
            return {};
        out.push_back(static_cast<int32_t>(p));
    }
    return out;
}

// The stretch engine's plan behind the job's interface.
class EnginePlan : public IStretchPlan {
public:
    void setFeed(uint32_t frames, double tempo) override
    {
        m_plan.m_format = PcmFormat();
        m_plan.m_reserved0 = 0;
        m_plan.m_inputFrames = frames;
        m_plan.m_framesForRatios = frames;
        m_plan.m_framesCopy = frames;
        m_plan.m_sourceTempo = tempo;
        m_plan.m_targetTempo = tempo;
        for (uint32_t& word : m_plan.m_reserved)
            word = 0;
    }
    void ClearSamples() override { m_plan.ClearSamples(); }
    void AppendFrame(const uint8_t* frame) override { m_plan.AppendFrame(frame); }
    void setTimeSignature(int32_t numerator, int32_t denominator) override
    {
        m_plan.m_numerator = numerator;
        m_plan.m_denominator = denominator;
    }
    void render(const std::vector<int32_t>& positions, int32_t bars) override
    {
        StretchInputView view;
        m_plan.GetInputView(&view);
        // The segments are the caller's, also when the engine throws.
        std::vector<StretchSegment*> segments;
        struct Release {
            std::vector<StretchSegment*>& list;
            ~Release()
            {
                for (StretchSegment* s : list)
                    delete s;
            }
        } release {segments};
        m_plan.ComputeSegments(&segments, &positions, bars);
        m_plan.Render(view, &segments);
    }
    size_t outputFrames() const override { return static_cast<size_t>(m_plan.OutputFrames()); }
    int32_t GetOutputSample(int8_t channel, int32_t index) const override
    {
        return m_plan.GetOutputSample(channel, index);
    }
    uint32_t GetRatios(uint8_t& outOfRange, std::vector<double>& ratios) override
    {
        return static_cast<uint32_t>(m_plan.GetRatios(&outOfRange, &ratios));
    }

private:
    StretchPlan m_plan;
};

}  // namespace

timeStretch::timeStretch(std::unique_ptr<IStretchPlan> plan) : m_plan(std::move(plan))
{ }

uint32_t timeStretch::setInfo(const TimeStretchInfo& info)
{
    m_tempo = info.tempo;
    m_numerator = info.numerator;
    m_denominator = info.denominator;
    m_barCount = info.barCount;
    return krm::kOk;
}

uint32_t timeStretch::refuse()
{
    m_error.setError("time-stretch manager is not available in this build");
    return krm::fail(1);
}

uint32_t timeStretch::feed(const std::vector<uint8_t>& frames)
{
    const size_t n = frames.size() / kFrameBytes;
    m_plan->setFeed(static_cast<uint32_t>(n), static_cast<double>(m_tempo));
    m_plan->ClearSamples();
    try {
        for (size_t i = 0; i < n; ++i)
            m_plan->AppendFrame(frames.data() + i * kFrameBytes);
    } catch (...) {
        m_error.setError(QString());
        return krm::fail(1);
    }
    return krm::kOk;
}

uint32_t timeStretch::stretchBetween(const std::vector<uint8_t>& frames, std::vector<uint8_t>& out,
                                     const std::vector<uint32_t>& positions)
{
    if (!m_plan)
        return refuse();
    if (const uint32_t r = krm::nestOnFail(feed(frames), 1))
        return r;
    m_plan->setTimeSignature(m_numerator, m_denominator);
    try {
        m_plan->render(signedPositions(positions), static_cast<int32_t>(m_barCount));
    } catch (...) {
        m_error.setError(QString());
        return krm::fail(2);
    }
    const size_t n = m_plan->outputFrames();
    if (n == 0)
        return krm::fail(3);
    try {
        out.clear();
        out.reserve(n * kFrameBytes);
        for (size_t i = 0; i < n; ++i) {
            for (int8_t channel = 0; channel < 2; ++channel) {
                const int32_t v = m_plan->GetOutputSample(channel, static_cast<int32_t>(i));
                out.push_back(static_cast<uint8_t>(v & 0xFF));
                out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
            }
        }
    } catch (...) {
        out.clear();
        return krm::fail(4);
    }
    return krm::kOk;
}

uint32_t timeStretch::stretch(const std::vector<uint8_t>& frames, std::vector<uint8_t>& out)
{
    const uint32_t n = static_cast<uint32_t>(frames.size() / kFrameBytes);
    return stretchBetween(frames, out, {0, n});
}

uint32_t timeStretch::stretchRange(const std::vector<uint8_t>& frames, std::vector<uint8_t>& out,
                                   const std::vector<uint32_t>& syncPositions)
{
    return stretchBetween(frames, out, syncPositions);
}

uint32_t timeStretch::getEngineOutput(uint8_t& outOfRange, std::vector<double>& ratios)
{
    if (!m_plan)
        return refuse();
    return m_plan->GetRatios(outOfRange, ratios);
}

IF_timeStretch* createTimeStretch()
{
    return new timeStretch(std::make_unique<EnginePlan>());
}
