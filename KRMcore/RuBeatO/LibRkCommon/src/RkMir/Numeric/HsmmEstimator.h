#pragma once
// Variational Bayes fit of a hidden semi-Markov model with Gaussian-mixture
// emissions to one observation sequence (frames by feature dimensions).
#include "RkMir/Numeric/Hsmm.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Numeric {

class HsmmEstimator {
public:
    // states K, durations D, mixture components per state M.
    HsmmEstimator(int states, int durations, int components);

    // Each setter keeps the value only when it is greater than 0.
    HsmmEstimator& setPriors(double beta0, double a0, double b0);
    // Transition concentration.
    HsmmEstimator& setHyperParameterA(double value);
    // Stored only; no step reads it.
    HsmmEstimator& setHyperParameterB(double value);
    // Total mixture-weight concentration.
    HsmmEstimator& setHyperParameterC(double value);

    // Initialises afresh (new random draws), iterates until the bound
    // changes by less than 0.01 or the iteration limit is reached, and
    // decodes. Returns the final bound.
    double run(const Matrix& observations);

    // Results of the latest run, one entry per frame.
    const std::vector<int32_t>& countdowns() const { return countdowns_; }
    const std::vector<int32_t>& states() const { return states_; }
    // Bound after each iteration of the latest run.
    const std::vector<double>& boundHistory() const { return history_; }

    const std::vector<DirichletFactor>& transitionFactors() const { return transitions_; }
    const std::vector<DirichletFactor>& durationFactors() const { return durations_; }
    const std::vector<std::vector<GaussianComponent>>& components() const { return components_; }
    const std::vector<DirichletFactor>& mixtureFactors() const { return weights_; }
    std::shared_ptr<const Hsmm> model() const { return model_; }

private:
    void initialise(int dims);

    std::vector<DirichletFactor> transitions_;
    std::vector<DirichletFactor> durations_;
    std::vector<std::vector<GaussianComponent>> components_;
    std::vector<DirichletFactor> weights_;
    std::shared_ptr<Hsmm> model_;
    int K_;
    int D_;
    int M_;
    bool eightDurationPrior_ = true;
    bool updateTransitions_ = true;
    bool updateDurations_ = true;
    double beta0_ = 1.0;
    double a0_ = 0.01;
    double b0_ = 0.01;
    double hyperA_ = 0.1;
    double hyperB_ = 0.1;
    double hyperC_ = 1.0;
    int iterationLimit_ = 20;
    std::vector<int32_t> countdowns_;
    std::vector<int32_t> states_;
    std::vector<double> history_;
};

}  // namespace Numeric
