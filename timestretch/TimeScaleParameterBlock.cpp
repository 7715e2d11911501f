#include "TimeScaleParameterBlock.h"

#include "StretchMath.h"

#include <algorithm>
#include <cmath>

namespace {

using Block = TimeScaleParameterBlock;

struct Definition {
    int code;
    int8_t kind;
    uint8_t valueType;
    uint8_t interpolation;
    float minimum;
    float maximum;
    float values[3];  // the default, or the three array values
};

constexpr int8_t kPoints = CEnvelope::Breakpoints;
constexpr int8_t kArray = CEnvelope::Array;
constexpr uint8_t kReal = CEnvelope::Real;
constexpr uint8_t kInt = CEnvelope::Integer;
constexpr uint8_t kLinear = CEnvelope::Linear;
constexpr uint8_t kStep = CEnvelope::Step;
constexpr float kPiF = static_cast<float>(stretch::kPi);

const Definition kDefinitions[] = {
    {Block::BandFlags, kPoints, kInt, kStep, 0.0f, 7.0f, {7.0f}},
    {Block::StretchFactor, kPoints, kReal, kStep, 0.0001f, 1000.0f, {1.0f}},
    {Block::PeakThreshold, kPoints, kReal, kLinear, -200.0f, 0.0f, {-100.0f}},
    {Block::PeakWidth, kPoints, kInt, kLinear, 0.0f, 1000.0f, {2.0f}},
    {Block::MaxDeviation, kPoints, kReal, kLinear, 0.0f, 10000.0f, {40.0f}},
    {Block::AttackMarksOn, kPoints, kInt, kStep, 0.0f, 1.0f, {1.0f}},
    {Block::AttackHandling, kPoints, kInt, kStep, 0.0f, 1.0f, {0.0f}},
    {Block::PhaseResetFrequency, kPoints, kReal, kStep, 0.0f, 22050.0f, {2500.0f}},
    {Block::ContinuityTest, kPoints, kInt, kStep, 0.0f, 1.0f, {1.0f}},
    {Block::ContinuityPhase, kPoints, kReal, kLinear, 0.0f, kPiF, {kPiF / 3.0f}},
    {Block::ContinuitySetting, kPoints, kReal, kLinear, 0.0f, 100.0f, {4.0f}},
    {Block::ContinuityLevel, kPoints, kReal, kLinear, -100.0f, 0.0f, {-5.0f}},
    {Block::ContinuityFrequency, kPoints, kReal, kLinear, 0.0f, 22050.0f, {20.0f}},
    {Block::BandUpperEdge, kArray, kReal, kLinear, 0.0f, 44100.0f, {600.0f, 1800.0f, 22050.0f}},
    {Block::BandWindowType, kArray, kReal, kLinear, 0.0f, 22050.0f, {4.0f, 4.0f, 6.0f}},
    {Block::BandWindowFactor, kArray, kReal, kLinear, 0.0f, 22050.0f, {8.0f, 6.0f, 3.0f}},
    {Block::StereoLink, kPoints, kInt, kStep, 0.0f, 1.0f, {1.0f}},
    {Block::StereoLinkWeight, kPoints, kReal, kLinear, 0.0f, 1.0f, {1.0f}},
};

double clampTo(double v, double lo, double hi)
{
    return std::min(hi, std::max(lo, v));
}

bool isEnvelopeCode(int code)
{
    return code >= 0 && code < Block::kEnvelopeCount;
}

}  // namespace

TimeScaleParameterBlock::TimeScaleParameterBlock()
{
    SetDefaults();
}

void TimeScaleParameterBlock::SetDefaults()
{
    m_sampleRate = 22050.0f;
    m_windowType = 11;
    m_windowFactor = 2.0f;
    m_hop = 128;
    m_crossFade = 50.0f;
    m_outputFlags = 1;
    m_rangeCount = 3;
    for (CEnvelope& e : m_envelopes)
        e.Clear(1);
    for (const Definition& d : kDefinitions) {
        CEnvelope& e = m_envelopes[static_cast<size_t>(d.code)];
        const int32_t count = d.kind == kArray ? 3 : 2;
        e.Define(d.kind, d.valueType, d.interpolation, d.minimum, d.maximum, d.values[0], count, 0, 0);
        if (d.kind == kArray) {
            for (int i = 0; i < 3; ++i)
                e.SetValueAt(i, d.values[i]);
        }
    }
}

void TimeScaleParameterBlock::CopyTo(TimeScaleParameterBlock& target) const
{
    if (&target == this)
        return;
    target.m_timeMode = m_timeMode;
    target.m_duration = m_duration;
    target.m_sampleRate = m_sampleRate;
    target.m_windowType = m_windowType;
    target.m_windowFactor = m_windowFactor;
    target.m_hop = m_hop;
    target.m_crossFade = m_crossFade;
    target.m_outputFlags = m_outputFlags;
    for (int code = 0; code < kEnvelopeCount; ++code)
        m_envelopes[static_cast<size_t>(code)].CopyTo(target.m_envelopes[static_cast<size_t>(code)]);
}

double TimeScaleParameterBlock::EnvelopeTime(int code, double time) const
{
    if (m_envelopes[static_cast<size_t>(code)].KindOf() == CEnvelope::Array)
        return time;
    return CEnvelope::TranslateTime(m_timeMode, m_duration, time);
}

int TimeScaleParameterBlock::SetParameter(int code, double value, double time)
{
    if (isEnvelopeCode(code)) {
        m_envelopes[static_cast<size_t>(code)].SetValueAt(EnvelopeTime(code, time),
                                                          static_cast<float>(value));
        return 0;
    }
    switch (code) {
    case SampleRate:
    case WindowType:
    case WindowFactor:
    case Hop:
    case CrossFade:
    case OutputFlags:
    case RangeCount:
        break;
    default:
        return 1;
    }
    if (std::isnan(value))
        return 0;
    switch (code) {
    case SampleRate:
        m_sampleRate = static_cast<float>(clampTo(value, 10000.0, 44100.0));
        break;
    case WindowType:
        m_windowType = static_cast<uint8_t>(clampTo(value, 0.0, 12.0));
        break;
    case WindowFactor:
        m_windowFactor = static_cast<float>(clampTo(value, 1.0, 64.0));
        break;
    case Hop:
        m_hop = static_cast<int32_t>(
            stretch::largestPowerOfTwoAtMost(static_cast<int64_t>(clampTo(value, 4.0, 65536.0))));
        break;
    case CrossFade:
        m_crossFade = static_cast<float>(clampTo(value, 0.0, 50.0));
        break;
    case OutputFlags:
        m_outputFlags = static_cast<uint8_t>(clampTo(value, 0.0, 255.0));
        break;
    default:  // RangeCount
        m_rangeCount = static_cast<int32_t>(clampTo(value, 0.0, 32.0));
        break;
    }
    return 0;
}

double TimeScaleParameterBlock::GetParameter(int code, double time) const
{
    if (isEnvelopeCode(code))
        return m_envelopes[static_cast<size_t>(code)].ValueAt(EnvelopeTime(code, time));
    switch (code) {
    case SampleRate:
        return m_sampleRate;
    case WindowType:
        return m_windowType;
    case WindowFactor:
        return m_windowFactor;
    case Hop:
        return m_hop;
    case CrossFade:
        return m_crossFade;
    case OutputFlags:
        return m_outputFlags;
    case RangeCount:
        return m_rangeCount;
    default:
        return 1.0;
    }
}

int TimeScaleParameterBlock::ApplyPreset(uint32_t mode, int32_t segmentCount, const double* ratios,
                                         const double* startFractions, int32_t bandCount, double sampleRate,
                                         double inputSeconds)
{
    // Everything is checked before anything changes.
    if (mode > 5 || segmentCount < 1 || !ratios || (segmentCount > 1 && !startFractions))
        return 2;
    if (bandCount != 1 && bandCount != 2)
        return 2;
    for (int32_t i = 0; i < segmentCount; ++i) {
        if (ratios[i] < 0.5 || ratios[i] > 2.0)
            return 2;
        if (i > 0 && !(startFractions[i] > startFractions[i - 1]))
            return 2;
    }

    const double whole = CEnvelope::kWholeEnvelope;
    const double framesPerSecond = (mode == 2 || mode == 3) ? 86.1328125 : 172.265625;
    SetParameter(Hop, sampleRate / framesPerSecond + 1e-8, whole);

    CEnvelope& factor = m_envelopes[StretchFactor];
    factor.Reset();
    if (segmentCount == 1) {
        factor.SetValueAt(whole, static_cast<float>(ratios[0]));
    } else {
        for (int32_t i = 0; i < segmentCount; ++i)
            factor.SetValueAt(startFractions[i], static_cast<float>(ratios[i]));
    }
    SetParameter(RangeCount, bandCount, whole);

    switch (mode) {
    case 2:
        SetParameter(BandWindowFactor, 8.0, 0);
        SetParameter(BandWindowFactor, 4.0, 1);
        break;
    case 3:
        SetParameter(BandWindowFactor, 4.0, 0);
        break;
    case 5:
        SetParameter(BandWindowFactor, 8.0, 0);
        break;
    default:  // 0, 1, 4
        SetParameter(BandWindowFactor, 16.0, 0);
        SetParameter(BandWindowFactor, 8.0, 1);
        break;
    }
    if (bandCount == 1) {
        SetParameter(BandUpperEdge, sampleRate / 2.0, 0);
    } else {
        SetParameter(BandUpperEdge, 1500.0, 0);
        SetParameter(BandUpperEdge, sampleRate / 2.0, 1);
    }
    for (int32_t band = 0; band < bandCount; ++band)
        SetParameter(BandWindowType, 4.0, band);
    SetParameter(PhaseResetFrequency, 2500.0, whole);
    SetParameter(StereoLink, 1.0, whole);
    SetParameter(StereoLinkWeight, 1.0, whole);
    SetParameter(ContinuityTest, 1.0, whole);
    SetParameter(MaxDeviation, 40.0, whole);
    SetParameter(PeakWidth, mode <= 1 ? 4.0 : 2.0, whole);
    SetParameter(AttackMarksOn, 1.0, whole);
    SetParameter(SampleRate, sampleRate, whole);
    SetParameter(BandFlags, 2.0, whole);

    m_timeMode = Seconds;
    m_duration = inputSeconds;
    return 0;
}
