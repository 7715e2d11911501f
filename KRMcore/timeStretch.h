#pragma once
// The time-stretch job: stretches a block of 16-bit stereo frames, recorded
// at one tempo over a number of bars, so that it plays at the stored tempo,
// through the stretch engine's plan.
#include "IF_timeStretch.h"
#include "StretchPlanAccess.h"
#include "base/ErrorState.h"

#include <memory>

class timeStretch : public IF_timeStretch {
public:
    // The job owns `plan` (`createTimeStretch` gives it the stretch
    // engine's); without one every stretch is refused with an error.
    explicit timeStretch(std::unique_ptr<IStretchPlan> plan);

    uint32_t setInfo(const TimeStretchInfo& info) override;
    // 0, or 0x80000011 when the frames cannot be fed, 0x80000002 when the
    // engine fails, 0x80000003 when it renders nothing (the output is then
    // left as it was), 0x80000004 when the output cannot be stored.
    uint32_t stretch(const std::vector<uint8_t>& frames, std::vector<uint8_t>& out) override;
    // As `stretch`, between the given positions; `frames` starts at the
    // first of them.
    uint32_t stretchRange(const std::vector<uint8_t>& frames, std::vector<uint8_t>& out,
                          const std::vector<uint32_t>& syncPositions) override;
    uint32_t getEngineOutput(uint8_t& outOfRange, std::vector<double>& ratios) override;
    QString errorText() override { return m_error.errorText(); }
    void clearError() override { m_error.clearError(); }
    bool hasError() override { return m_error.hasError(); }

private:
    uint32_t feed(const std::vector<uint8_t>& frames);
    uint32_t stretchBetween(const std::vector<uint8_t>& frames, std::vector<uint8_t>& out,
                            const std::vector<uint32_t>& positions);
    uint32_t refuse();

    std::unique_ptr<IStretchPlan> m_plan;
    uint32_t m_tempo = 120;
    uint8_t m_numerator = 4;
    uint8_t m_denominator = 4;
    uint32_t m_barCount = 0;
    krm::ErrorState m_error;
};
