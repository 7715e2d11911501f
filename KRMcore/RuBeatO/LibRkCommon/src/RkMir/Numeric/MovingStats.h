#pragma once
// Running statistics over the last N values of a stream, one value in and
// one value out per push. The beat tracker normalises its onset strength
// with them.
#include "Tempo/RingIndex.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace Numeric {

namespace detail {
// The window length, or std::invalid_argument when it is below 1.
inline int checkedWindow(int window)
{
    if (window < 1)
        throw std::invalid_argument("window must be positive");
    return window;
}
}  // namespace detail

// One value in, one statistic out.
class IMovingStats {
public:
    // Takes the next value of the stream and returns the statistic after it.
    virtual float push(float x) = 0;
    // Forgets the stream (what is kept is up to the implementation).
    virtual void reset() = 0;
    virtual ~IMovingStats() = default;
};

// Moving z-score: how many standard deviations the newest value lies above
// the mean of the last N values (the newest included). The sum and the sum
// of squared deviations (M2) are updated incrementally as a value enters
// and the oldest leaves; `floor` is added to the variance so that a nearly
// constant stream does not blow up. Before N values have arrived the
// missing ones count as 0.
template <typename T> class MovingAverageSD : public IMovingStats {
public:
    // window >= 1, else std::invalid_argument.
    explicit MovingAverageSD(int window, T floor = T(0))
        : m_window(detail::checkedWindow(window)),
          m_sum(0),
          m_m2(0),
          m_floor(floor),
          m_values(static_cast<size_t>(m_window), T(0)),
          m_ring(m_window)
    { }

    // Returns 0 while the stream has no spread (M2 <= 0), which also keeps
    // rounding from making M2 negative.
    float push(float x) override
    {
        const T v = static_cast<T>(x);
        T& slot = m_values[static_cast<size_t>(m_ring.position())];
        const T old = slot;
        slot = v;
        m_ring.increment();

        const T n = static_cast<T>(m_window);
        const T sum = m_sum + v - old;
        m_m2 += (m_sum * m_sum - sum * sum) / n + (v * v - old * old);
        m_sum = sum;
        if (m_m2 <= T(0)) {
            m_m2 = T(0);
            return 0.0f;
        }
        return static_cast<float>((v - sum / n) / std::sqrt(m_m2 / n + m_floor));
    }

    // Back to the state after construction: the window empties along with
    // the sum and M2, so the statistics after a reset describe only what
    // is pushed after it.
    void reset() override
    {
        m_sum = T(0);
        m_m2 = T(0);
        std::fill(m_values.begin(), m_values.end(), T(0));
    }

    int window() const { return m_window; }
    T sum() const { return m_sum; }
    T m2() const { return m_m2; }
    T floor() const { return m_floor; }

private:
    int m_window;
    T m_sum;
    T m_m2;
    T m_floor;
    std::vector<T> m_values;
    RingIndex m_ring;
};

// A peak follower: each push returns the larger of the new value and the
// previous peak decayed by 1 %. The ring keeps the last N values for
// inspection only; the result does not depend on it. The peak starts at
// minus infinity, so the first push returns its value.
template <typename T> class MovingMaximum : public IMovingStats {
public:
    // window >= 1, else std::invalid_argument.
    explicit MovingMaximum(int window)
        : m_window(detail::checkedWindow(window)),
          m_values(static_cast<size_t>(m_window), -std::numeric_limits<T>::infinity()),
          m_ring(m_window),
          m_peak(-std::numeric_limits<T>::infinity())
    { }

    float push(float x) override
    {
        const T v = static_cast<T>(x);
        m_values[static_cast<size_t>(m_ring.position())] = v;
        m_ring.increment();
        m_peak = std::max(v, static_cast<T>(0.99) * m_peak);
        return static_cast<float>(m_peak);
    }

    // Empties the ring; the peak carries on decaying from where it was.
    void reset() override
    {
        std::fill(m_values.begin(), m_values.end(), -std::numeric_limits<T>::infinity());
    }

    int window() const { return m_window; }
    T peak() const { return m_peak; }
    const std::vector<T>& values() const { return m_values; }

private:
    int m_window;
    std::vector<T> m_values;
    RingIndex m_ring;
    T m_peak;
};

}  // namespace Numeric
