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
    const std::vector<int32_t>& countdowns() const { return m_countdowns; }
    const std::vector<int32_t>& states() const { return m_states; }
    // Bound after each iteration of the latest run.
    const std::vector<double>& boundHistory() const { return m_history; }

    const std::vector<DirichletFactor>& transitionFactors() const { return m_transitions; }
    const std::vector<DirichletFactor>& durationFactors() const { return m_durations; }
    const std::vector<std::vector<GaussianComponent>>& components() const { return m_components; }
    const std::vector<DirichletFactor>& mixtureFactors() const { return m_weights; }
    std::shared_ptr<const Hsmm> model() const { return m_model; }

private:
    void initialise(int dims);

    std::vector<DirichletFactor> m_transitions;
    std::vector<DirichletFactor> m_durations;
    std::vector<std::vector<GaussianComponent>> m_components;
    std::vector<DirichletFactor> m_weights;
    std::shared_ptr<Hsmm> m_model;
    int m_K;
    int m_D;
    int m_M;
    bool m_eightDurationPrior = true;
    bool m_updateTransitions = true;
    bool m_updateDurations = true;
    double m_beta0 = 1.0;
    double m_a0 = 0.01;
    double m_b0 = 0.01;
    double m_hyperA = 0.1;
    double m_hyperB = 0.1;
    double m_hyperC = 1.0;
    int m_iterationLimit = 20;
    std::vector<int32_t> m_countdowns;
    std::vector<int32_t> m_states;
    std::vector<double> m_history;
};

}  // namespace Numeric
