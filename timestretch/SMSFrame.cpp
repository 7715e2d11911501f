#include "SMSFrame.h"

#include "StretchAlloc.h"

#include <algorithm>

namespace {

void makeRoom(std::vector<float>& v, int32_t n, bool zero)
{
    if (static_cast<int32_t>(v.size()) < n)
        stretch::resizeOrThrow(v, static_cast<size_t>(n));
    if (zero)
        std::fill(v.begin(), v.begin() + n, 0.0f);
}

void freeArray(std::vector<float>& v)
{
    v.clear();
    v.shrink_to_fit();
}

}  // namespace

void SMSFrame::Allocate(uint32_t mask, int32_t count, bool zero)
{
    count = std::max(0, count);
    if (mask & Magnitudes)
        makeRoom(m_magnitudes, count, zero);
    if (mask & Phases)
        makeRoom(m_phases, count, zero);
    if (mask & Features)
        makeRoom(m_features, kFeatureCount, zero);
    if (mask & kSpectrum)
        m_count = count;
    m_flags |= mask & kAllParts;
}

void SMSFrame::CopyTo(SMSFrame& target, uint32_t mask, bool withTime) const
{
    if (&target == this)
        return;
    const uint32_t parts = mask & m_flags & kAllParts;
    target.Allocate(parts, m_count, false);
    if (parts & Magnitudes)
        std::copy(m_magnitudes.begin(), m_magnitudes.begin() + m_count, target.m_magnitudes.begin());
    if (parts & Phases)
        std::copy(m_phases.begin(), m_phases.begin() + m_count, target.m_phases.begin());
    if (parts & Features)
        std::copy(m_features.begin(), m_features.begin() + kFeatureCount, target.m_features.begin());
    if (withTime)
        target.m_time = m_time;
}

void SMSFrame::Release(uint32_t mask, bool keepMemory)
{
    m_flags &= ~mask;
    if (keepMemory)
        return;
    if (!(m_flags & kSpectrum))
        m_count = 0;
    if (mask & Magnitudes)
        freeArray(m_magnitudes);
    if (mask & Phases)
        freeArray(m_phases);
    if (mask & Features)
        freeArray(m_features);
}
