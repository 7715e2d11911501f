#include "SignalContinuation.h"

#include "StretchAlloc.h"

#include <algorithm>
#include <cmath>

namespace stretch {

std::vector<double> BurgCoefficients(const float* x, int32_t n, int32_t order)
{
    order = std::max(0, std::min(order, n - 1));
    std::vector<double> a;
    resizeOrThrow(a, static_cast<size_t>(order) + 1);
    a[0] = 1.0;
    if (order < 1 || !x)
        return a;
    // Forward and backward prediction errors, updated stage by stage.
    std::vector<double> f, b;
    resizeOrThrow(f, static_cast<size_t>(n));
    resizeOrThrow(b, static_cast<size_t>(n));
    std::copy(x, x + n, f.begin());
    std::copy(x, x + n, b.begin());
    const int32_t last = n - 1;
    for (int32_t k = 0; k < order; ++k) {
        // Stage k pairs f[m + k + 1] with b[m]. Its reflection coefficient
        // over the energies summed afresh (a running update of the sum
        // loses its precision as the errors fall towards rounding) lies in
        // [-1, 1] by the Cauchy-Schwarz inequality.
        double cross = 0.0, energy = 0.0;
        for (int32_t m = 0; m <= last - k - 1; ++m) {
            const double fm = f[static_cast<size_t>(m + k + 1)], bm = b[static_cast<size_t>(m)];
            cross += fm * bm;
            energy += fm * fm + bm * bm;
        }
        if (!(energy > 0.0))
            break;
        const double mu = -2.0 * cross / energy;
        for (int32_t m = 0; m <= (k + 1) / 2; ++m) {
            const auto lo = static_cast<size_t>(m), hi = static_cast<size_t>(k + 1 - m);
            const double t1 = a[lo] + mu * a[hi];
            const double t2 = a[hi] + mu * a[lo];
            a[lo] = t1;
            a[hi] = t2;
        }
        for (int32_t m = 0; m <= last - k - 1; ++m) {
            const auto ahead = static_cast<size_t>(m + k + 1), here = static_cast<size_t>(m);
            const double t1 = f[ahead] + mu * b[here];
            const double t2 = b[here] + mu * f[ahead];
            f[ahead] = t1;
            b[here] = t2;
        }
    }
    return a;
}

namespace {

constexpr double kPi = 3.14159265358979323846;
// How far a trial prediction may stray (RMS error over RMS so far).
constexpr double kTolerance = 0.1;

// Runs the predictor a on from x[0..n) for `count` samples into out.
void predict(const std::vector<double>& a, const float* x, int32_t n, float* out, int32_t count)
{
    const auto p = static_cast<int32_t>(a.size()) - 1;
    std::vector<double> h;
    resizeOrThrow(h, static_cast<size_t>(p) + static_cast<size_t>(count));
    std::copy(x + (n - p), x + n, h.begin());
    for (int32_t i = 0; i < count; ++i) {
        const double* past = h.data() + p + i;
        double v = 0.0;
        for (int32_t k = 1; k <= p; ++k)
            v -= a[static_cast<size_t>(k)] * past[-k];
        v = std::max(-32768.0, std::min(32767.0, v));
        h[static_cast<size_t>(p + i)] = v;
        out[i] = static_cast<float>(v);
    }
}

}  // namespace

int32_t PredictableLength(const float* x, int32_t n, int32_t fitLength, int32_t order, int32_t span,
                          double tolerance)
{
    if (!x || n < 4 || order < 1)
        return 0;
    span = std::min(span, n / 2);
    const int32_t fit = std::min(fitLength, n - span);
    if (span < 1 || fit < 2)
        return 0;
    const float* known = x + (n - span);
    const std::vector<double> a = BurgCoefficients(known - fit, fit, order);
    if (a.size() < 2)
        return 0;
    std::vector<float> trial;
    resizeOrThrow(trial, static_cast<size_t>(span));
    predict(a, known - fit, fit, trial.data(), span);
    double error = 0.0, energy = 0.0;
    for (int32_t i = 0; i < span; ++i) {
        const double d = static_cast<double>(trial[static_cast<size_t>(i)]) - known[i];
        error += d * d;
        energy += static_cast<double>(known[i]) * known[i];
        if (!(error <= tolerance * tolerance * energy))
            return i;
    }
    return span;
}

void ContinueSignal(const float* x, int32_t n, int32_t fitLength, int32_t order, float* out, int32_t count)
{
    if (!out || count < 1)
        return;
    std::fill(out, out + count, 0.0f);
    if (!x || n < 1 || order < 1)
        return;
    const int32_t fit = std::max(1, std::min(n, fitLength));
    const std::vector<double> a = BurgCoefficients(x + (n - fit), fit, order);
    if (a.size() < 2)
        return;
    predict(a, x + (n - fit), fit, out, count);
    // As far as the sound was predictable just before, whole for half that
    // length, then fading to silence at it.
    const int32_t horizon = PredictableLength(x, n, fitLength, order, count, kTolerance);
    const int32_t whole = horizon / 2;
    for (int32_t i = whole; i < count; ++i) {
        const double g = i >= horizon ? 0.0 : 0.5 + 0.5 * std::cos(kPi * (i - whole) / (horizon - whole));
        out[i] = static_cast<float>(out[i] * g);
    }
}

}  // namespace stretch
