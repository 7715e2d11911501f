#pragma once
// Von Mises-Fisher densities on the unit sphere of 12-value chroma vectors,
// alone and as weighted mixtures. Scores compare directions only: neither
// the observation nor a mean needs unit length.
#include <array>
#include <istream>
#include <vector>

namespace tavi {

constexpr int kChromaSize = 12;

// ln C(kappa) of the 12-dimensional von Mises-Fisher distribution:
// 5 ln(kappa) - 6 ln(2 pi) - ln I_5(kappa). Throws std::overflow_error when
// the Bessel function overflows (kappa beyond about 700).
double vonMisesFisherLogNormalizer(double kappa);

class VonMisesFisherComponent {
public:
    // Zero mean, kappa 10 and the log normaliser of kappa 10 rounded to
    // single precision (about -6.17002).
    VonMisesFisherComponent();

    // Reads "kappa logNormalizer" and then the 12-value mean in the vector
    // text form. The log normaliser is taken as written. A malformed text,
    // a mean of another length or a value that is not finite sets the
    // stream's fail bit; what was read before the failure stays.
    void read(std::istream& in);

    // kappa * cos(angle(mean, x)) + log normaliser, or 0 when x or the mean
    // is all zero. x holds 12 values.
    double score(const double* x) const;

    double kappa() const { return m_kappa; }
    double logNormalizer() const { return m_logNormalizer; }
    const std::array<double, kChromaSize>& mean() const { return m_mean; }
    // Index of the largest mean entry, the first of equal maxima.
    int maxIndex() const { return m_maxIndex; }

private:
    double m_kappa;
    double m_logNormalizer;
    std::array<double, kChromaSize> m_mean;
    int m_maxIndex = 0;
};

class VonMisesFisherMixture {
public:
    // Longest weight vector a text may give.
    static constexpr int kMaxComponents = 256;

    // One default component.
    VonMisesFisherMixture();

    // Reads the weight vector (1 to kMaxComponents non-negative values),
    // resizes the components to match and reads each of them. A failure
    // sets the stream's fail bit; what was read before it stays.
    void read(std::istream& in);

    // log sum_k w_k exp(score_k(x)) for 12 values of x, computed as a
    // log-sum-exp; minus infinity when every component is. Records the
    // largest-mean index of the component with the strictly best weighted
    // score (the earlier one on ties, 0 when none beats -1e80).
    double logDensity(const double* x);
    double logDensity(const std::vector<double>& x);  // needs 12 values

    const std::vector<double>& weights() const { return m_weights; }
    const std::vector<VonMisesFisherComponent>& components() const { return m_components; }
    // The index recorded by the latest logDensity call.
    int lastMaxIndex() const { return m_lastMaxIndex; }

private:
    std::vector<double> m_weights;
    std::vector<VonMisesFisherComponent> m_components;
    int m_lastMaxIndex = 0;
};

}  // namespace tavi
