#include "VmfFit.h"

#include "SynthRandom.h"
#include "VonMisesFisher.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace chordmodels {

namespace {

constexpr int kDims = 12;

double dot(const Direction& a, const Direction& b)
{
    double s = 0.0;
    for (int i = 0; i < kDims; ++i)
        s += a[i] * b[i];
    return s;
}

bool normalise(Direction& d)
{
    const double n = std::sqrt(dot(d, d));
    if (!(n > 1e-12))
        return false;
    for (double& v : d)
        v /= n;
    return true;
}

// Banerjee's approximation of the maximum-likelihood kappa from the mean
// resultant length.
double kappaFromResultant(double r)
{
    r = std::min(r, 0.999999);
    return r * (kDims - r * r) / (1.0 - r * r);
}

// k-means++ seeding on the cosine distance.
std::vector<Direction> seedMeans(const std::vector<Direction>& x, int k, chordsynth::Random& rng)
{
    std::vector<Direction> means;
    means.push_back(x[static_cast<size_t>(rng.below(static_cast<int>(x.size())))]);
    std::vector<double> d(x.size());
    while (static_cast<int>(means.size()) < k) {
        double total = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            double best = std::numeric_limits<double>::max();
            for (const Direction& m : means)
                best = std::min(best, 1.0 - dot(x[i], m));
            d[i] = std::max(best, 0.0);
            total += d[i];
        }
        size_t pick = static_cast<size_t>(rng.below(static_cast<int>(x.size())));
        if (total > 0.0) {
            double target = rng.uniform() * total;
            for (size_t i = 0; i < x.size(); ++i) {
                target -= d[i];
                if (target <= 0.0) {
                    pick = i;
                    break;
                }
            }
        }
        Direction m = x[pick];
        // Jitter keeps repeated picks (too few distinct samples) apart.
        for (double& v : m)
            v += 0.01 * rng.gaussian();
        normalise(m);
        means.push_back(m);
    }
    return means;
}

}  // namespace

std::vector<VmfComponent> fitVmfMixture(const std::vector<Direction>& samples, const VmfFitSettings& settings)
{
    std::vector<Direction> x;
    for (Direction d : samples) {
        if (normalise(d))
            x.push_back(d);
    }
    if (x.empty() || settings.components < 1)
        throw std::invalid_argument("fitVmfMixture: no usable sample");

    const int k = settings.components;
    chordsynth::Random rng(settings.seed);
    std::vector<VmfComponent> comps(static_cast<size_t>(k));
    const std::vector<Direction> means = seedMeans(x, k, rng);
    for (int j = 0; j < k; ++j) {
        comps[j].mean = means[j];
        comps[j].weight = 1.0 / k;
        comps[j].kappa = 30.0;
    }

    const size_t n = x.size();
    std::vector<double> resp(n * k);
    for (int it = 0; it < settings.iterations; ++it) {
        std::vector<double> logNorm(k);
        for (int j = 0; j < k; ++j)
            logNorm[j] = tavi::vonMisesFisherLogNormalizer(comps[j].kappa) + std::log(comps[j].weight);
        // E step
        for (size_t i = 0; i < n; ++i) {
            double top = -std::numeric_limits<double>::infinity();
            for (int j = 0; j < k; ++j) {
                const double s = logNorm[j] + comps[j].kappa * dot(comps[j].mean, x[i]);
                resp[i * k + j] = s;
                top = std::max(top, s);
            }
            double sum = 0.0;
            for (int j = 0; j < k; ++j) {
                resp[i * k + j] = std::exp(resp[i * k + j] - top);
                sum += resp[i * k + j];
            }
            for (int j = 0; j < k; ++j)
                resp[i * k + j] /= sum;
        }
        // M step; a component that has lost its samples keeps its mean with
        // a small weight and a broad spread.
        for (int j = 0; j < k; ++j) {
            double mass = 0.0;
            Direction s {};
            for (size_t i = 0; i < n; ++i) {
                const double r = resp[i * k + j];
                mass += r;
                for (int d = 0; d < kDims; ++d)
                    s[d] += r * x[i][d];
            }
            const double length = std::sqrt(dot(s, s));
            if (mass < 1.0 || !(length > 0.0)) {
                comps[j].weight = std::max(mass, 0.5) / n;
                comps[j].kappa = settings.minKappa;
                continue;
            }
            comps[j].weight = mass / n;
            for (int d = 0; d < kDims; ++d)
                comps[j].mean[d] = s[d] / length;
            comps[j].kappa =
                std::clamp(kappaFromResultant(length / mass), settings.minKappa, settings.maxKappa);
        }
        double total = 0.0;
        for (const VmfComponent& c : comps)
            total += c.weight;
        for (VmfComponent& c : comps)
            c.weight /= total;
    }
    return comps;
}

}  // namespace chordmodels
