#include "SMSAnalysisParams.h"

#include <algorithm>
#include <cmath>

namespace {

float clampTo(float v, float lo, float hi)
{
    return std::min(hi, std::max(lo, v));
}

}  // namespace

SMSAnalysisParams::SMSAnalysisParams()
{
    SetDefaults();
}

void SMSAnalysisParams::SetDefaults()
{
    for (int code = 0; code < kEnvelopeCount; ++code) {
        CEnvelope& e = m_envelopes[static_cast<size_t>(code)];
        e.Define(CEnvelope::Breakpoints, CEnvelope::Real, CEnvelope::Linear, -22050.0f, 22050.0f, 0.0f, 2, 0,
                 0);
    }
    CEnvelope& periods = m_envelopes[WindowPeriods];
    periods.Define(CEnvelope::Breakpoints, CEnvelope::Real, CEnvelope::Linear, 0.5f, 20.0f, 2.5f, 2, 0, 0);
    periods.SetValueAt(0.15, 3.0f);
    periods.SetValueAt(0.5, 7.0f);
    periods.SetValueAt(1.0, 7.0f);
    m_envelopes[ReferenceFrequency].Define(CEnvelope::Breakpoints, CEnvelope::Real, CEnvelope::Linear, 0.0f,
                                           22050.0f, 110.0f, 2, 0, 0);
    m_envelopes[SpectrumMethod].Define(CEnvelope::Breakpoints, CEnvelope::Real, CEnvelope::Linear, 0.0f, 5.0f,
                                       4.0f, 2, 0, 0);
    m_scalars.fill(0.0f);
    m_scalars[FramesPerSecond - kFirstScalar] = 172.265625f;
    m_scalars[StartFraction - kFirstScalar] = 0.0f;
    m_scalars[EndFraction - kFirstScalar] = 1.0f;
    m_scalars[WindowHops - kFirstScalar] = 2.0f;
    m_scalars[WindowType - kFirstScalar] = 11.0f;
    m_scalars[BandFeatures - kFirstScalar] = 1.0f;
    m_scalars[ExtraSlot - kFirstScalar] = 1.0f;
}

double SMSAnalysisParams::EnvelopeTime(int code, double time) const
{
    if (code == WindowPeriods || code == 29)
        return time;
    return CEnvelope::TranslateTime(m_timeMode, m_duration, time);
}

int SMSAnalysisParams::SetAnalysisParameter(int code, float value, double time)
{
    if (code < 0 || code > kLastScalar)
        return 1;
    if (code < kEnvelopeCount) {
        m_envelopes[static_cast<size_t>(code)].SetValueAt(EnvelopeTime(code, time), value);
        return 0;
    }
    if (std::isnan(value))
        return 0;
    float& slot = m_scalars[static_cast<size_t>(code - kFirstScalar)];
    switch (code) {
    case FramesPerSecond: {
        const float wanted = clampTo(value, 0.1f, 12000.0f);
        if (m_sampleRate > 0.0f) {
            const double hops = std::max(1.0, std::round(static_cast<double>(m_sampleRate) / wanted));
            slot = static_cast<float>(m_sampleRate / hops);
        } else {
            slot = wanted;
        }
        break;
    }
    case StartFraction:
    case EndFraction:
        slot = clampTo(value, 0.0f, 1.0f);
        break;
    case WindowHops:
        slot = clampTo(value, 1.0f, 64.0f);
        break;
    case WindowType:
        slot = std::trunc(clampTo(value, 0.0f, 12.0f));
        break;
    case BandFeatures:
        slot = std::trunc(clampTo(value, 0.0f, 1.0f));
        break;
    case ExtraSlot:
        slot = std::trunc(clampTo(value, 0.0f, 2.0f));
        break;
    default:
        slot = value;
        break;
    }
    return 0;
}

double SMSAnalysisParams::GetAnalysisParameter(int code, double time) const
{
    if (code < 0 || code > kLastScalar)
        return 1.0;
    if (code < kEnvelopeCount)
        return m_envelopes[static_cast<size_t>(code)].ValueAt(EnvelopeTime(code, time));
    return m_scalars[static_cast<size_t>(code - kFirstScalar)];
}
