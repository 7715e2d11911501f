#include "OutputLimiter.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr int16_t kFitOrder = 5;

void clip(float* buffer, int32_t from, int32_t to, double high, double low)
{
    for (int32_t i = from; i < to; ++i) {
        if (buffer[i] > high)
            buffer[i] = static_cast<float>(high);
        else if (buffer[i] < low)
            buffer[i] = static_cast<float>(low);
    }
}

// Bounds [a, b) of the half-wave around `centre` (positive or negative),
// within [start, end).
void halfWaveBounds(const float* buffer, int32_t start, int32_t end, int32_t centre, bool positive,
                    int32_t& a, int32_t& b)
{
    const auto entersHere = [&](int32_t i) {
        return positive ? (buffer[i - 1] < 0.0f && buffer[i] >= 0.0f)
                        : (buffer[i - 1] > 0.0f && buffer[i] <= 0.0f);
    };
    a = -1;
    for (int32_t i = centre; i > start; --i) {
        if (entersHere(i)) {
            a = i;
            break;
        }
    }
    if (a < 0) {
        a = start;
        if (positive ? buffer[start] < 0.0f : buffer[start] > 0.0f)
            a = start + 1;
    }
    b = end;
    for (int32_t i = std::max(centre, start + 1); i < end; ++i) {
        const bool leaves = positive ? (buffer[i] < 0.0f && buffer[i - 1] >= 0.0f)
                                     : (buffer[i] > 0.0f && buffer[i - 1] <= 0.0f);
        if (leaves) {
            b = i;
            break;
        }
    }
}

// The first index at or below p with w below `level` (`fallback` if none).
int32_t downTo(const std::vector<double>& w, int32_t p, double level, int32_t fallback)
{
    for (int32_t k = p; k >= 0; --k) {
        if (w[static_cast<size_t>(k)] < level)
            return k;
    }
    return fallback;
}

int32_t upTo(const std::vector<double>& w, int32_t p, double level, int32_t fallback)
{
    for (int32_t k = p; k < static_cast<int32_t>(w.size()); ++k) {
        if (w[static_cast<size_t>(k)] < level)
            return k;
    }
    return fallback;
}

// A fifth-order curve through the region's edges and the limit at the
// centre; false when it leaves the band between the edges and the limit.
bool fitTop(std::vector<double>& w, int32_t rs, int32_t re, int32_t p, int32_t runLength, double limit)
{
    const int32_t n = re - rs;
    double xp = static_cast<double>(p - rs) / n;
    if (runLength % 2 == 0)
        xp += 0.5 / n;
    const double x[5] = {0.0, 1.0 / n, xp, (n - 1.0) / n, 1.0};
    const double y[5] = {w[static_cast<size_t>(rs)] / limit, w[static_cast<size_t>(rs + 1)] / limit, 1.0,
                         w[static_cast<size_t>(re - 1)] / limit, w[static_cast<size_t>(re)] / limit};
    PolyFit fit(kFitOrder);
    if (!fit.Usable())
        return false;
    fit.AddPoints(x, y, 5);
    fit.AddZeroSlope(xp);
    fit.Solve();
    const double floor = std::min(w[static_cast<size_t>(rs)], w[static_cast<size_t>(re)]) / limit - 0.001;
    std::vector<double> values;
    try {
        values.resize(static_cast<size_t>(n + 1));
    } catch (...) {
        return false;
    }
    for (int32_t k = rs; k <= re; ++k) {
        const double v = fit.Evaluate(static_cast<double>(k - rs) / n);
        if (!std::isfinite(v) || v < floor || v > 1.001)
            return false;
        values[static_cast<size_t>(k - rs)] = v;
    }
    for (int32_t k = rs; k <= re; ++k)
        w[static_cast<size_t>(k)] = std::min(values[static_cast<size_t>(k - rs)] * limit, limit);
    return true;
}

// A parabolic cap reaching the limit at the centre, blended into the
// samples near the region's edges.
void capTop(std::vector<double>& w, int32_t rs, int32_t re, int32_t p, int32_t runLength, double limit)
{
    const double t90 = limit * 0.9;
    const int32_t n = re - rs;
    const double cL = std::min(w[static_cast<size_t>(rs)], t90);
    const double cR = std::min(w[static_cast<size_t>(re)], t90);
    const int32_t dL = p - rs;
    const int32_t dR = re - p;
    const int32_t h = (runLength - 1) / 2;
    const bool flatLeft = dL > 8 && p - h - rs <= 3;
    const bool flatRight = dR > 8 && re - h - p <= 3;
    const double kL = flatLeft ? (limit - cL) * 0.015625 : (limit - cL) / std::pow(std::max(1, dL), 2);
    const double kR = flatRight ? (limit - cR) * 0.015625 : (limit - cR) / std::pow(std::max(1, dR), 2);
    const auto cap = [&](int32_t k) {
        double v;
        if (k <= p) {
            if (flatLeft)
                v = k < rs + 8 ? limit - kL * std::pow((rs + 8) - k, 2) : limit;
            else
                v = limit - kL * std::pow(p - k, 2);
        } else {
            if (flatRight)
                v = k <= re - 8 ? limit : limit - kR * std::pow(k - (re - 8), 2);
            else
                v = limit - kR * std::pow(k - p, 2);
        }
        return std::max(v, 0.0);
    };
    const int32_t middle = rs + static_cast<int32_t>(n * 0.5);
    const double spanL = std::min(n / 4.0, std::max(1, dL) / 2.0);
    const double spanR = std::min(n / 4.0, std::max(1, dR) / 2.0);
    const bool highLeft = w[static_cast<size_t>(rs)] > t90;
    const bool highRight = w[static_cast<size_t>(re)] > t90;
    for (int32_t k = rs; k <= middle; ++k) {
        const double t = highLeft ? 1.0 : std::min(1.0, (k - rs) / spanL);
        double& v = w[static_cast<size_t>(k)];
        v = std::min(limit, (1.0 - t) * v + t * cap(k));
    }
    for (int32_t k = re; k > middle; --k) {
        const double t = highRight ? 1.0 : std::min(1.0, (re - k) / spanR);
        double& v = w[static_cast<size_t>(k)];
        v = std::min(limit, (1.0 - t) * v + t * cap(k));
    }
}

}  // namespace

PolyFit::PolyFit(int16_t order)
    : m_order(std::max<int16_t>(order, 0)),
      m_rows(static_cast<int16_t>(m_order + 1)),
      m_columns(static_cast<int16_t>(m_order + 1))
{
    try {
        m_matrix.assign(static_cast<size_t>(m_rows * m_columns), 0.0);
        m_rightHandSide.assign(static_cast<size_t>(m_rows), 0.0);
        m_coefficients.assign(static_cast<size_t>(m_columns), 0.0);
        m_work.assign(static_cast<size_t>(3 * m_columns), 0);
        m_usable = true;
    } catch (...) {
        m_usable = false;
    }
}

void PolyFit::AddPoints(const double* x, const double* y, int16_t count)
{
    if (!m_usable || !x || !y)
        return;
    const int16_t rows = std::min(count, m_rows);
    for (int r = 0; r < rows; ++r) {
        double power = 1.0;
        for (int j = m_columns - 1; j >= 0; --j) {
            At(r, j) = power;
            power *= x[r];
        }
        m_rightHandSide[static_cast<size_t>(r)] = y[r];
    }
}

void PolyFit::AddZeroSlope(double x)
{
    if (!m_usable)
        return;
    const int r = m_rows - 1;
    for (int j = 0; j < m_columns; ++j) {
        const int k = m_order - j;  // the power this column multiplies
        At(r, j) = k >= 1 ? k * std::pow(x, k - 1) : 0.0;
    }
    m_rightHandSide[static_cast<size_t>(r)] = 0.0;
}

bool PolyFit::Solve()
{
    if (!m_usable)
        return false;
    const int n = m_columns;
    int* columnOf = m_work.data();
    int* rowOf = columnOf + n;
    int* pivoted = rowOf + n;
    std::fill(pivoted, pivoted + n, 0);
    bool complete = true;
    for (int i = 0; i < n && complete; ++i) {
        double largest = 0.0;
        int row = -1, column = -1;
        for (int j = 0; j < n && complete; ++j) {
            if (pivoted[j] == 1)
                continue;
            for (int k = 0; k < n; ++k) {
                if (pivoted[k] == 0) {
                    if (std::fabs(At(j, k)) >= largest) {
                        largest = std::fabs(At(j, k));
                        row = j;
                        column = k;
                    }
                } else if (pivoted[k] > 1) {
                    complete = false;
                    break;
                }
            }
        }
        if (!complete || column < 0)
            break;
        if (++pivoted[column] > 1) {
            complete = false;
            break;
        }
        if (row != column) {
            for (int k = 0; k < n; ++k)
                std::swap(At(row, k), At(column, k));
            std::swap(m_rightHandSide[static_cast<size_t>(row)],
                      m_rightHandSide[static_cast<size_t>(column)]);
        }
        rowOf[i] = row;
        columnOf[i] = column;
        if (At(column, column) == 0.0) {
            complete = false;
            break;
        }
        const double inverse = 1.0 / At(column, column);
        At(column, column) = 1.0;
        for (int k = 0; k < n; ++k)
            At(column, k) *= inverse;
        m_rightHandSide[static_cast<size_t>(column)] *= inverse;
        for (int l = 0; l < n; ++l) {
            if (l == column)
                continue;
            const double factor = At(l, column);
            At(l, column) = 0.0;
            for (int k = 0; k < n; ++k)
                At(l, k) -= At(column, k) * factor;
            m_rightHandSide[static_cast<size_t>(l)] -= m_rightHandSide[static_cast<size_t>(column)] * factor;
        }
    }
    std::copy(m_rightHandSide.begin(), m_rightHandSide.end(), m_coefficients.begin());
    return complete;
}

double PolyFit::Evaluate(double x) const
{
    double v = 0.0;
    for (const double c : m_coefficients)
        v = v * x + c;
    return v;
}

void RepairClippedHalfWave(float* buffer, int32_t start, int32_t end, int32_t centre, int32_t runLength,
                           double high, double low)
{
    if (!buffer || end <= start || centre < start || centre >= end)
        return;
    if (runLength < 3) {
        clip(buffer, centre, std::min(end, centre + std::max(runLength, 0)), high, low);
        return;
    }
    const bool positive = buffer[centre] >= 0.0f;
    int32_t a = 0, b = 0;
    halfWaveBounds(buffer, start, end, centre, positive, a, b);
    const int32_t length = b - a;
    if (length < 6) {
        clip(buffer, a, b, high, low);
        return;
    }
    std::vector<double> w;
    try {
        w.resize(static_cast<size_t>(length));
    } catch (...) {
        return;
    }
    const double sign = positive ? 1.0 : -1.0;
    for (int32_t k = 0; k < length; ++k)
        w[static_cast<size_t>(k)] = sign * buffer[a + k];
    const double limit = positive ? high : std::fabs(low);
    const int32_t p = centre - a;
    const double t90 = limit * 90.0 / 100.0;

    int32_t rs = downTo(w, p, t90, 0);
    int32_t re = upTo(w, p, t90, length - 1);
    if (re - rs < 15) {
        // Too narrow: widen to the slope turns around the region.
        int32_t k = rs;
        while (k > 0 && w[static_cast<size_t>(k)] - w[static_cast<size_t>(k - 1)] > 0.0)
            --k;
        int32_t m = re;
        while (m < length - 1 && w[static_cast<size_t>(m + 1)] - w[static_cast<size_t>(m)] < 0.0)
            ++m;
        const double level =
            (2.0 * std::max(w[static_cast<size_t>(k)], w[static_cast<size_t>(m)]) + limit) / 3.0;
        if (level <= t90) {
            rs = downTo(w, p, level, rs);
            re = upTo(w, p, level, re);
        }
    }
    if (re - rs < 6) {
        clip(buffer, a, b, high, low);
        return;
    }
    const bool fitFirst = (w[static_cast<size_t>(rs)] + w[static_cast<size_t>(re)]) * 0.5 <= t90;
    if (!fitFirst || !fitTop(w, rs, re, p, runLength, limit))
        capTop(w, rs, re, p, runLength, limit);
    for (int32_t k = rs; k <= re; ++k)
        buffer[a + k] = static_cast<float>(sign * w[static_cast<size_t>(k)]);
}

int LimitPeaks(float* buffer, int32_t start, int32_t end, double high, double low)
{
    if (!buffer || end <= start)
        return 0;
    if (end - start <= 5) {
        int result = 0;
        for (int32_t i = start; i < end; ++i) {
            if (buffer[i] > high || buffer[i] < low)
                result = 1;
        }
        clip(buffer, start, end, high, low);
        return result;
    }
    int result = 0;
    int32_t i = start;
    while (i < end - 5) {
        const bool above = buffer[i] > high;
        const bool below = buffer[i] < low;
        if (!above && !below) {
            ++i;
            continue;
        }
        int32_t j = 0;
        const int32_t most = end - 5 - i;
        while (j < most && (above ? buffer[i + j] > high : buffer[i + j] < low))
            ++j;
        RepairClippedHalfWave(buffer, start, end, i + (j - 1) / 2, j, high, low);
        result = 1;
        i += j;
    }
    return result;
}
