#include "SignalContinuation.h"

#include "StretchAlloc.h"
#include "VectorMath.h"

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

std::vector<double> PredictorCoefficients(const float* x, int32_t n, int32_t order)
{
    const int32_t p = std::max(0, std::min(order, (n - 1) / 2));
    if (p < 1 || !x)
        return BurgCoefficients(x, n, order);
    // Normal equations of the forward and backward errors over x[p..n):
    // r(i, j) = sum over m of x[m - i] x[m - j] + x[m - p + i] x[m - p + j].
    const auto side = static_cast<size_t>(p) + 1;
    std::vector<double> r, m, xd;
    resizeOrThrow(r, side * side);
    resizeOrThrow(m, static_cast<size_t>(p) * static_cast<size_t>(p));
    resizeOrThrow(xd, static_cast<size_t>(n));
    std::copy(x, x + n, xd.begin());
    // Row i's sums grow side by side, sample by sample, each in the order
    // of its own sum over m (the same values to the bit as one sum after
    // the other), so that the pass over j runs on vectors.
    for (int32_t i = 0; i <= p; ++i) {
        double* row = r.data() + static_cast<size_t>(i) * side;
        std::fill(row + i, row + side, 0.0);
        for (int32_t k = p; k < n; ++k) {
            const double a = xd[static_cast<size_t>(k - i)], b = xd[static_cast<size_t>(k - p + i)];
            const double* back = xd.data() + (k - p);  // back[p - j] is x[k - j]
            for (int32_t j = i; j <= p; ++j)
                row[j] += a * back[p - j] + b * back[j];
        }
        for (int32_t j = i + 1; j <= p; ++j)
            r[static_cast<size_t>(j) * side + static_cast<size_t>(i)] = row[j];
    }
    double trace = 0.0;
    for (int32_t i = 1; i <= p; ++i)
        trace += r[static_cast<size_t>(i) * side + static_cast<size_t>(i)];
    if (!(trace > 0.0))
        return BurgCoefficients(x, n, order);
    // A pure tone fills only two dimensions of the system; a load far under
    // any rounding noise keeps it solvable without moving the tone.
    const auto at = [&](int32_t i, int32_t j) -> double& {
        return m[static_cast<size_t>(i) * static_cast<size_t>(p) + static_cast<size_t>(j)];
    };
    std::vector<double> a;
    resizeOrThrow(a, side);
    a[0] = 1.0;
    for (int32_t i = 0; i < p; ++i) {
        for (int32_t j = 0; j < p; ++j)
            at(i, j) = r[static_cast<size_t>(i + 1) * side + static_cast<size_t>(j + 1)];
        at(i, i) += 1e-10 * trace / p;
        a[static_cast<size_t>(i) + 1] = -r[static_cast<size_t>(i + 1) * side];
    }
    // Cholesky factor in place, then the two triangular solves.
    for (int32_t j = 0; j < p; ++j) {
        double d = at(j, j);
        for (int32_t k = 0; k < j; ++k)
            d -= at(j, k) * at(j, k);
        if (!(d > 0.0) || !std::isfinite(d))
            return BurgCoefficients(x, n, order);
        d = std::sqrt(d);
        at(j, j) = d;
        for (int32_t i = j + 1; i < p; ++i) {
            double v = at(i, j);
            for (int32_t k = 0; k < j; ++k)
                v -= at(i, k) * at(j, k);
            at(i, j) = v / d;
        }
    }
    double* b = a.data() + 1;
    for (int32_t i = 0; i < p; ++i) {
        double v = b[i];
        for (int32_t k = 0; k < i; ++k)
            v -= at(i, k) * b[k];
        b[i] = v / at(i, i);
    }
    for (int32_t i = p - 1; i >= 0; --i) {
        double v = b[i];
        for (int32_t k = i + 1; k < p; ++k)
            v -= at(k, i) * b[k];
        b[i] = v / at(i, i);
    }
    return a;
}

namespace {

constexpr double kPi = 3.14159265358979323846;
// How far a trial prediction may stray (RMS error over the RMS of the
// samples it is fitted to and tried on).
constexpr double kTolerance = 0.1;
// The RMS error, in 16-bit units, that rounding to whole samples alone may
// give a prediction: the rounding itself is 1 / sqrt(12), and the predictor
// fitted to rounded samples carries some of it on.
constexpr double kRoundingNoise = 1.0;

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
    if (!allFinite(known - fit, fit + span))
        return 0;
    const std::vector<double> a = PredictorCoefficients(known - fit, fit, order);
    if (a.size() < 2)
        return 0;
    std::vector<float> trial;
    resizeOrThrow(trial, static_cast<size_t>(span));
    predict(a, known - fit, fit, trial.data(), span);
    // The error is weighed against the level of the whole stretch looked
    // at, not of the samples so far: a span that starts at a zero crossing
    // would otherwise have almost nothing to weigh its first errors
    // against. Whole 16-bit samples carry rounding noise that no predictor
    // foresees; an error within a sample or so of it is no sign of change.
    double level = 0.0;
    for (int32_t i = -fit; i < span; ++i)
        level += static_cast<double>(known[i]) * known[i];
    const double allowed = tolerance * tolerance * level / (fit + span) + kRoundingNoise * kRoundingNoise;
    double error = 0.0;
    for (int32_t i = 0; i < span; ++i) {
        const double d = static_cast<double>(trial[static_cast<size_t>(i)]) - known[i];
        error += d * d;
        if (!(error <= allowed * (i + 1)))
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
    // Samples that are not numbers make a predictor that is not one; past
    // the end of such a sound there is nothing to go on.
    if (!allFinite(x + (n - fit), fit))
        return;
    const std::vector<double> a = PredictorCoefficients(x + (n - fit), fit, order);
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
