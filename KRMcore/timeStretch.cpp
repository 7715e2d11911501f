#include "timeStretch.h"

#include "base/ResultCode.h"

#include <limits>

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
    // The stretch engine's plan is not part of this build yet: the job
    // refuses its stretches until it is bound here.
    return new timeStretch(nullptr);
}
