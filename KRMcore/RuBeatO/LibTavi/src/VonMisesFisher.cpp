#include "VonMisesFisher.h"

#include "VectorText.h"

#include <boost/math/special_functions/bessel.hpp>
#include <boost/math/constants/constants.hpp>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace tavi {

namespace {

constexpr double kNoScore = -1e80;

double defaultLogNormalizer()
{
    static const double value = static_cast<float>(vonMisesFisherLogNormalizer(10.0));
    return value;
}

double norm(const double* v)
{
    double s = 0.0;
    for (int i = 0; i < kChromaSize; ++i)
        s += v[i] * v[i];
    return std::sqrt(s);
}

}  // namespace

double vonMisesFisherLogNormalizer(double kappa)
{
    const double p = kChromaSize;
    const double twoPi = boost::math::constants::two_pi<double>();
    return (p / 2.0 - 1.0) * std::log(kappa) - (p / 2.0) * std::log(twoPi) -
           std::log(boost::math::cyl_bessel_i(p / 2.0 - 1.0, kappa));
}

VonMisesFisherComponent::VonMisesFisherComponent() : m_kappa(10.0), m_logNormalizer(defaultLogNormalizer())
{
    m_mean.fill(0.0);
}

void VonMisesFisherComponent::read(std::istream& in)
{
    double kappa = 0.0;
    double logNormalizer = 0.0;
    if (!(in >> kappa >> logNormalizer))
        return;
    if (!std::isfinite(kappa) || !std::isfinite(logNormalizer)) {
        in.setstate(std::ios_base::failbit);
        return;
    }
    m_kappa = kappa;
    m_logNormalizer = logNormalizer;

    std::vector<double> mean;
    readVectorText(in, mean, kChromaSize);
    if (in.fail())
        return;
    if (mean.size() != static_cast<size_t>(kChromaSize)) {
        in.setstate(std::ios_base::failbit);
        return;
    }
    for (double v : mean) {
        if (!std::isfinite(v)) {
            in.setstate(std::ios_base::failbit);
            return;
        }
    }
    std::copy(mean.begin(), mean.end(), m_mean.begin());
    m_maxIndex = 0;
    for (int i = 1; i < kChromaSize; ++i) {
        if (m_mean[i] > m_mean[m_maxIndex])
            m_maxIndex = i;
    }
}

double VonMisesFisherComponent::score(const double* x) const
{
    const double p = norm(m_mean.data()) * norm(x);
    if (!(p > 0.0))
        return 0.0;
    double dot = 0.0;
    for (int i = 0; i < kChromaSize; ++i)
        dot += m_mean[i] * x[i];
    return m_kappa * dot / p + m_logNormalizer;
}

VonMisesFisherMixture::VonMisesFisherMixture() : m_weights(1, 1.0), m_components(1)
{ }

void VonMisesFisherMixture::read(std::istream& in)
{
    std::vector<double> weights;
    readVectorText(in, weights, kMaxComponents);
    if (in.fail())
        return;
    bool valid = !weights.empty();
    for (double w : weights)
        valid = valid && std::isfinite(w) && w >= 0.0;
    if (!valid) {
        in.setstate(std::ios_base::failbit);
        return;
    }
    m_weights = weights;
    m_components.assign(weights.size(), VonMisesFisherComponent());
    for (auto& c : m_components) {
        c.read(in);
        if (in.fail())
            return;
    }
}

double VonMisesFisherMixture::logDensity(const double* x)
{
    const size_t n = m_components.size();
    double best = kNoScore;
    double top = -std::numeric_limits<double>::infinity();
    m_lastMaxIndex = 0;
    // Scores are kept for the second pass; mixtures are small.
    double local[32];
    std::vector<double> heap;
    double* s = local;
    if (n > 32) {
        heap.resize(n);
        s = heap.data();
    }
    for (size_t k = 0; k < n; ++k) {
        s[k] = std::log(m_weights[k]) + m_components[k].score(x);
        if (s[k] > best) {
            best = s[k];
            m_lastMaxIndex = m_components[k].maxIndex();
        }
        if (s[k] > top)
            top = s[k];
    }
    if (!std::isfinite(top))
        return -std::numeric_limits<double>::infinity();
    double sum = 0.0;
    for (size_t k = 0; k < n; ++k)
        sum += std::exp(s[k] - top);
    return top + std::log(sum);
}

double VonMisesFisherMixture::logDensity(const std::vector<double>& x)
{
    if (x.size() < static_cast<size_t>(kChromaSize))
        throw std::invalid_argument("VonMisesFisherMixture::logDensity: needs 12 values");
    return logDensity(x.data());
}

}  // namespace tavi
