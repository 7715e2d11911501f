#include "CEnvelope.h"

#include "StretchAlloc.h"

#include <algorithm>
#include <cmath>

namespace {

// The smallest multiple of the growth step that holds index i.
int32_t capacityFor(int32_t i)
{
    return CEnvelope::kGrowthStep * (i / CEnvelope::kGrowthStep + 1);
}

// Storage of `capacity` entries; 0 frees it. Throws -1 when it cannot be had
// (the storage is then as it was).
template <typename T> void resizeStorage(std::vector<T>& storage, int32_t& current, int32_t capacity)
{
    if (capacity == 0) {
        storage.clear();
        storage.shrink_to_fit();
    } else {
        stretch::resizeOrThrow(storage, static_cast<size_t>(capacity));
    }
    current = capacity;
}

}  // namespace

int CEnvelope::Define(int8_t kind, uint8_t valueType, uint8_t interpolation, float minimum, float maximum,
                      float defaultValue, int32_t count, uint32_t evenSpacing, uint32_t noRampToMinimum)
{
    m_arrayCount = 0;
    m_pointCount = 0;
    m_kind = kind == Array ? Array : Breakpoints;
    m_valueType = valueType;
    m_interpolation = interpolation;
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    m_default = (defaultValue >= m_minimum && defaultValue <= m_maximum) ? defaultValue : m_maximum;
    count = std::max(0, count);
    m_evenSpacing = 0;
    if (IsArray()) {
        m_arrayCount = std::max(1, count);
        Reset();
    } else {
        const int32_t n = std::max(2, count);
        if (n > m_pointCapacity) {
            ResizePointStorage(0);  // freed first: a failed allocation leaves it empty
            ResizePointStorage(kGrowthStep * ((n + kGrowthStep - 1) / kGrowthStep));
        }
        for (int32_t i = 0; i < n; ++i)
            m_points[static_cast<size_t>(i)] = {static_cast<double>(i) / (n - 1), m_default};
        m_pointCount = n;
    }
    m_noRampToMinimum = noRampToMinimum;
    m_evenSpacing = evenSpacing;
    m_untouched = 1;
    return 0;
}

double CEnvelope::TranslateTime(uint8_t timeMode, double duration, double time)
{
    if (time == kWholeEnvelope)
        return time;
    if (timeMode == 1)
        return 0.0;
    if (timeMode == 2 && duration > 0.0)
        return time / duration;
    return time;
}

int CEnvelope::CopyTo(CEnvelope& target) const
{
    if (&target == this)
        return 0;
    target.Clear(1);
    if (m_kind == Undefined) {
        target.m_kind = Undefined;
        return 0;
    }
    if (IsArray()) {
        target.Define(m_kind, m_valueType, m_interpolation, m_minimum, m_maximum, m_default, m_arrayCount, 0,
                      0);
        if (target.m_arrayCapacity < m_arrayCount)
            target.ResizeArrayStorage(m_arrayCount);
        std::copy(m_values.begin(), m_values.begin() + m_arrayCount, target.m_values.begin());
        target.m_arrayCount = m_arrayCount;
    } else {
        target.Define(m_kind, m_valueType, m_interpolation, m_minimum, m_maximum, m_default, m_pointCount,
                      m_evenSpacing, m_noRampToMinimum);
        std::copy(m_points.begin(), m_points.begin() + m_pointCount, target.m_points.begin());
        target.m_pointCount = m_pointCount;
    }
    target.m_untouched = m_untouched;
    return 0;
}

int CEnvelope::Clear(int32_t keepStorage)
{
    m_arrayCount = 0;
    m_pointCount = 0;
    if (!keepStorage) {
        ResizeArrayStorage(0);
        ResizePointStorage(0);
    }
    return 0;
}

int CEnvelope::Reset()
{
    if (IsArray()) {
        if (m_arrayCapacity < m_arrayCount) {
            const int32_t count = m_arrayCount;
            m_arrayCount = 0;  // stays empty if the allocation throws
            ResizeArrayStorage(0);
            ResizeArrayStorage(count);
            m_arrayCount = count;
        }
        std::fill(m_values.begin(), m_values.begin() + m_arrayCount, m_default);
        return 0;
    }
    if (m_pointCapacity < 2) {
        ResizePointStorage(0);
        ResizePointStorage(kGrowthStep);
    }
    m_pointCount = 2;
    m_points[0].time = 0.0;
    m_points[1].time = 1.0;
    if (m_valueType == Real || m_valueType == Integer) {
        const float v = m_valueType == Real ? m_default : std::trunc(m_default + 0.5f);
        m_points[0].value = v;
        m_points[1].value = v;
    }
    return 0;
}

float CEnvelope::Converted(float value) const
{
    if (value < m_minimum)
        value = m_minimum;
    if (value > m_maximum)
        value = m_maximum;
    if (m_valueType == Real)
        return value;
    if (m_valueType == Integer)
        return std::trunc(value);
    return 0.0f;
}

int CEnvelope::SetValueAt(double time, float value)
{
    if (m_kind == Undefined)
        return 0;
    const int r =
        IsArray() ? SetArrayValueAt(time, Converted(value)) : SetPointValueAt(time, Converted(value));
    m_untouched = 0;
    return r;
}

int CEnvelope::SetArrayValueAt(double time, float v)
{
    if (time == kWholeEnvelope) {
        std::fill(m_values.begin(), m_values.begin() + m_arrayCount, v);
        return 0;
    }
    int32_t i = 0;
    if (time > 0.0) {
        if (time + 0.5 >= 2147483647.0)
            return 0;
        i = static_cast<int32_t>(time + 0.5);
    }
    if (i >= m_arrayCount) {
        if (i >= m_arrayCapacity)
            ResizeArrayStorage(capacityFor(i));
        std::fill(m_values.begin() + m_arrayCount, m_values.begin() + i, 0.0f);
        m_arrayCount = i + 1;
    }
    m_values[static_cast<size_t>(i)] = v;
    return 0;
}

int CEnvelope::SetPointValueAt(double time, float v)
{
    if (time == kWholeEnvelope || m_pointCount < 2) {
        Reset();
        if (time == kWholeEnvelope) {
            m_points[0].value = v;
            m_points[1].value = v;
            return 0;
        }
    }
    if (!(time > 0.0)) {
        m_points[0].value = v;
        return 0;
    }
    if (time >= 1.0) {
        m_points[static_cast<size_t>(m_pointCount - 1)].value = v;
        return 0;
    }
    const int32_t k = FirstPointAfter(time);
    Breakpoint& before = m_points[static_cast<size_t>(k - 1)];
    if (before.time == time) {
        before.value = v;
        return 0;
    }
    if (m_pointCount == m_pointCapacity)
        ResizePointStorage(capacityFor(m_pointCount));
    std::move_backward(m_points.begin() + k, m_points.begin() + m_pointCount,
                       m_points.begin() + m_pointCount + 1);
    m_points[static_cast<size_t>(k)] = {time, v};
    ++m_pointCount;
    // An inserted time breaks the even grid the direct lookup relies on.
    m_evenSpacing = 0;
    return 0;
}

int32_t CEnvelope::FirstPointAfter(double t) const
{
    const auto begin = m_points.begin();
    const auto it = std::upper_bound(begin, begin + m_pointCount, t,
                                     [](double x, const Breakpoint& p) { return x < p.time; });
    return static_cast<int32_t>(it - begin);
}

float CEnvelope::ValueAt(double time) const
{
    if (IsArray()) {
        if (m_arrayCount == 0)
            return 0.0f;
        if (!(time > 0.0))
            return m_values[0];
        if (time < m_arrayCount - 1)
            return m_values[static_cast<size_t>(time + 0.5)];
        if (time >= m_arrayCount - 0.5)
            return m_default;
        return m_values[static_cast<size_t>(m_arrayCount - 1)];
    }
    if (m_pointCount == 0)
        return 0.0f;
    const Breakpoint& last = m_points[static_cast<size_t>(m_pointCount - 1)];
    if (!(time > 0.0))
        return m_points[0].value;
    if (time >= 1.0)
        return last.value;

    int32_t k = 0;
    double fraction = 0.0;
    const bool direct = m_evenSpacing && m_pointCount >= 2 && m_points[1].time > 0.0;
    if (direct) {
        const double steps = time / m_points[1].time;
        const auto i = static_cast<int32_t>(steps);
        if (i >= m_pointCount - 1)
            return last.value;
        k = i + 1;
        fraction = steps - i;
    } else {
        k = FirstPointAfter(time);
        if (k >= m_pointCount)
            return last.value;
    }
    const Breakpoint& a = m_points[static_cast<size_t>(k - 1)];
    const Breakpoint& b = m_points[static_cast<size_t>(k)];
    if (m_interpolation == Step || time == a.time)
        return a.value;
    if (m_noRampToMinimum) {
        if (m_minimum >= b.value)
            return a.value;
        if (m_minimum >= a.value)
            return b.value;
    }
    if (!direct)
        fraction = (time - a.time) / (b.time - a.time);
    return static_cast<float>(a.value + (static_cast<double>(b.value) - a.value) * fraction);
}

void CEnvelope::ResizeArrayStorage(int32_t capacity)
{
    resizeStorage(m_values, m_arrayCapacity, capacity);
}

void CEnvelope::ResizePointStorage(int32_t capacity)
{
    resizeStorage(m_points, m_pointCapacity, capacity);
}
