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
    : K_(std::max(states, 0)), D_(std::max(durations, 0)), M_(std::max(components, 0))
{ }

HsmmEstimator& HsmmEstimator::setPriors(double beta0, double a0, double b0)
{
    keepIfPositive(beta0_, beta0);
    keepIfPositive(a0_, a0);
    keepIfPositive(b0_, b0);
    return *this;
}

HsmmEstimator& HsmmEstimator::setHyperParameterA(double value)
{
    keepIfPositive(hyperA_, value);
    return *this;
}

HsmmEstimator& HsmmEstimator::setHyperParameterB(double value)
{
    keepIfPositive(hyperB_, value);
    return *this;
}

HsmmEstimator& HsmmEstimator::setHyperParameterC(double value)
{
    keepIfPositive(hyperC_, value);
    return *this;
}

void HsmmEstimator::initialise(int dims)
{
    model_ = std::make_shared<Hsmm>(K_, D_);
    transitions_.clear();
    durations_.clear();
    weights_.clear();

    Vector durationPrior;
    if (eightDurationPrior_ && D_ == 8) {
        durationPrior = Vector::Constant(D_, 0.8);
    } else if (D_ >= 4) {
        durationPrior = Vector::Constant(D_, 0.1);
        durationPrior(2) = 0.9;
        durationPrior(3) = 1.0;
    } else {
        durationPrior = Vector::Constant(D_, 1e-10);
    }
    // Every state starts from the same draw of the duration factor.
    const DirichletFactor duration(durationPrior);
    durations_.assign(static_cast<size_t>(K_), duration);

    const DirichletFactor uniform(K_, static_cast<double>(1.0f / static_cast<float>(K_)));
    transitions_.assign(static_cast<size_t>(K_), uniform);
    for (int k = 0; k < K_; ++k) {
        Vector prior = Vector::Constant(K_, hyperA_);
        prior(k) *= 1.1;
        transitions_[k] = DirichletFactor(prior);
    }

    const DirichletFactor weights(M_, static_cast<double>(static_cast<float>(hyperC_ / M_)));
    weights_.assign(static_cast<size_t>(K_), weights);

    components_.assign(static_cast<size_t>(K_), {});
    for (int k = 0; k < K_; ++k) {
        const GaussianComponent c(dims, beta0_, a0_, b0_);
        components_[k].assign(static_cast<size_t>(M_), c);
    }
}

double HsmmEstimator::run(const Matrix& obs)
{
    const int T = static_cast<int>(obs.rows());
    const int P = static_cast<int>(obs.cols());
    initialise(P);
    history_.clear();
    countdowns_.clear();
    states_.clear();

    Matrix X = Matrix::Zero(T, K_);
    std::vector<Matrix> L(static_cast<size_t>(K_), Matrix::Zero(T, M_));
    Matrix logA(K_, K_);
    Matrix logP(K_, D_);
    Matrix transCounts;
    Matrix durCounts;
    Matrix gamma;

    double bound = 0.0;
    double previous = -1e50;
    for (int iteration = 0; iteration < iterationLimit_; ++iteration) {
        // Emission step: per-frame state log-likelihoods under the mixtures.
        for (int k = 0; k < K_; ++k) {
            const Vector logWeights = weights_[k].expectedLog();
            for (int m = 0; m < M_; ++m)
                L[k].col(m) = components_[k][m].expectedLogLikelihood(obs).array() + logWeights(m);
            for (int t = 0; t < T; ++t)
                X(t, k) = logSumExp(L[k].row(t).transpose());
        }

        // Model step.
        for (int k = 0; k < K_; ++k) {
            logA.row(k) = transitions_[k].expectedLog().transpose();
            logP.row(k) = durations_[k].expectedLog().transpose();
        }
        model_->setTransitions(logA);
        model_->setDurations(logP);
        double bound1 = model_->forwardBackward(X);
        if (updateTransitions_ || updateDurations_)
            model_->expectedCounts(transCounts, durCounts);
        if (updateTransitions_)
            for (int k = 0; k < K_; ++k) {
                transitions_[k].update(transCounts.row(k).transpose());
                bound1 += transitions_[k].boundTerm();
            }
        if (updateDurations_)
            for (int k = 0; k < K_; ++k) {
                durations_[k].update(durCounts.row(k).transpose());
                bound1 += durations_[k].boundTerm();
            }

        // Emission update.
        double bound2 = 0.0;
        model_->statePosteriors(gamma);
        for (int k = 0; k < K_; ++k) {
            const Vector g = gamma.col(k);
            const Vector W = L[k].transpose() * g;
            const double norm = logSumExp(W);
            const double occupancy = g.sum();
            Vector counts(M_);
            for (int m = 0; m < M_; ++m) {
                const double share = std::exp(W(m) - norm);
                const Vector w = share * g;
                const double N = w.sum();
                if (N > 0.0) {
                    const Vector mean = (obs.transpose() * w) / N;
                    Vector variance = Vector::Zero(P);
                    for (int t = 0; t < T; ++t)
                        variance += w(t) * (obs.row(t).transpose() - mean).cwiseAbs2();
                    variance /= N;
                    components_[k][m].update(N, mean, variance);
                }
                bound2 += components_[k][m].boundTerm();
                counts(m) = share * occupancy;
            }
            weights_[k].update(counts);
            bound2 += weights_[k].boundTerm();
        }

        bound = bound1 + bound2;
        history_.push_back(bound);
        if (std::abs(bound - previous) < kConverged)
            break;
        previous = bound;
    }

    model_->decode(countdowns_, states_, X);
    return bound;
}

}  // namespace Numeric
