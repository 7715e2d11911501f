#include "RkMir/Numeric/HsmmEstimator.h"

#include <algorithm>
#include <cmath>

namespace Numeric {

namespace {
constexpr double kConverged = 0.01;

// Every prior and hyper-parameter setter ignores values that are not above 0.
void keepIfPositive(double& field, double value)
{
    if (value > 0.0)
        field = value;
}
}  // namespace

HsmmEstimator::HsmmEstimator(int states, int durations, int components)
    : m_K(std::max(states, 0)), m_D(std::max(durations, 0)), m_M(std::max(components, 0))
{ }

HsmmEstimator& HsmmEstimator::setPriors(double beta0, double a0, double b0)
{
    keepIfPositive(m_beta0, beta0);
    keepIfPositive(m_a0, a0);
    keepIfPositive(m_b0, b0);
    return *this;
}

HsmmEstimator& HsmmEstimator::setHyperParameterA(double value)
{
    keepIfPositive(m_hyperA, value);
    return *this;
}

HsmmEstimator& HsmmEstimator::setHyperParameterB(double value)
{
    keepIfPositive(m_hyperB, value);
    return *this;
}

HsmmEstimator& HsmmEstimator::setHyperParameterC(double value)
{
    keepIfPositive(m_hyperC, value);
    return *this;
}

void HsmmEstimator::initialise(int dims)
{
    m_model = std::make_shared<Hsmm>(m_K, m_D);
    m_transitions.clear();
    m_durations.clear();
    m_weights.clear();

    Vector durationPrior;
    if (m_eightDurationPrior && m_D == 8) {
        durationPrior = Vector::Constant(m_D, 0.8);
    } else if (m_D >= 4) {
        durationPrior = Vector::Constant(m_D, 0.1);
        durationPrior(2) = 0.9;
        durationPrior(3) = 1.0;
    } else {
        durationPrior = Vector::Constant(m_D, 1e-10);
    }
    // Every state starts from the same draw of the duration factor.
    const DirichletFactor duration(durationPrior);
    m_durations.assign(static_cast<size_t>(m_K), duration);

    const DirichletFactor uniform(m_K, static_cast<double>(1.0f / static_cast<float>(m_K)));
    m_transitions.assign(static_cast<size_t>(m_K), uniform);
    for (int k = 0; k < m_K; ++k) {
        Vector prior = Vector::Constant(m_K, m_hyperA);
        prior(k) *= 1.1;
        m_transitions[k] = DirichletFactor(prior);
    }

    const DirichletFactor weights(m_M, static_cast<double>(static_cast<float>(m_hyperC / m_M)));
    m_weights.assign(static_cast<size_t>(m_K), weights);

    m_components.assign(static_cast<size_t>(m_K), {});
    for (int k = 0; k < m_K; ++k) {
        const GaussianComponent c(dims, m_beta0, m_a0, m_b0);
        m_components[k].assign(static_cast<size_t>(m_M), c);
    }
}

double HsmmEstimator::run(const Matrix& obs)
{
    const int T = static_cast<int>(obs.rows());
    const int P = static_cast<int>(obs.cols());
    initialise(P);
    m_history.clear();
    m_countdowns.clear();
    m_states.clear();

    Matrix X = Matrix::Zero(T, m_K);
    std::vector<Matrix> L(static_cast<size_t>(m_K), Matrix::Zero(T, m_M));
    Matrix logA(m_K, m_K);
    Matrix logP(m_K, m_D);
    Matrix transCounts;
    Matrix durCounts;
    Matrix gamma;

    double bound = 0.0;
    double previous = -1e50;
    for (int iteration = 0; iteration < m_iterationLimit; ++iteration) {
        // Emission step: per-frame state log-likelihoods under the mixtures.
        for (int k = 0; k < m_K; ++k) {
            const Vector logWeights = m_weights[k].expectedLog();
            for (int m = 0; m < m_M; ++m)
                L[k].col(m) = m_components[k][m].expectedLogLikelihood(obs).array() + logWeights(m);
            for (int t = 0; t < T; ++t)
                X(t, k) = logSumExp(L[k].row(t).transpose());
        }

        // Model step.
        for (int k = 0; k < m_K; ++k) {
            logA.row(k) = m_transitions[k].expectedLog().transpose();
            logP.row(k) = m_durations[k].expectedLog().transpose();
        }
        m_model->setTransitions(logA);
        m_model->setDurations(logP);
        double bound1 = m_model->forwardBackward(X);
        if (m_updateTransitions || m_updateDurations)
            m_model->expectedCounts(transCounts, durCounts);
        if (m_updateTransitions)
            for (int k = 0; k < m_K; ++k) {
                m_transitions[k].update(transCounts.row(k).transpose());
                bound1 += m_transitions[k].boundTerm();
            }
        if (m_updateDurations)
            for (int k = 0; k < m_K; ++k) {
                m_durations[k].update(durCounts.row(k).transpose());
                bound1 += m_durations[k].boundTerm();
            }

        // Emission update.
        double bound2 = 0.0;
        m_model->statePosteriors(gamma);
        for (int k = 0; k < m_K; ++k) {
            const Vector g = gamma.col(k);
            const Vector W = L[k].transpose() * g;
            const double norm = logSumExp(W);
            const double occupancy = g.sum();
            Vector counts(m_M);
            for (int m = 0; m < m_M; ++m) {
                const double share = std::exp(W(m) - norm);
                const Vector w = share * g;
                const double N = w.sum();
                if (N > 0.0) {
                    const Vector mean = (obs.transpose() * w) / N;
                    Vector variance = Vector::Zero(P);
                    for (int t = 0; t < T; ++t)
                        variance += w(t) * (obs.row(t).transpose() - mean).cwiseAbs2();
                    variance /= N;
                    m_components[k][m].update(N, mean, variance);
                }
                bound2 += m_components[k][m].boundTerm();
                counts(m) = share * occupancy;
            }
            m_weights[k].update(counts);
            bound2 += m_weights[k].boundTerm();
        }

        bound = bound1 + bound2;
        m_history.push_back(bound);
        if (std::abs(bound - previous) < kConverged)
            break;
        previous = bound;
    }

    m_model->decode(m_countdowns, m_states, X);
    return bound;
}

}  // namespace Numeric
