#pragma once
// Explicit-duration hidden semi-Markov model in the log domain, the two
// kinds of variational factor its estimator keeps per state, and the small
// numeric routines they (and the analysis library) share.
#include <Eigen/Dense>
#include <cstdint>
#include <vector>

namespace Numeric {

// Dense row-major double matrices, as the model's tables are laid out.
using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using Vector = Eigen::VectorXd;

// The log value of an impossible event.
constexpr double kLogZero = -1e100;

// ---------------------------------------------------------------------------
// Numeric routines

// log(sum(exp(v))), -infinity when the largest element is not finite.
double logSumExp(const Vector& v);
// Psi function by upward recurrence to 6 and an asymptotic series.
double digamma(double x);
// log Gamma(x) by upward recurrence to 50 and a Lanczos series.
double logGamma(double x);
// Log density of a normal distribution, in single precision.
float logGaussian(float x, float mean, float sigma);
// Next value 0..32767 of the process-wide MT19937. The seed is used only by
// the very first draw; reseedRandom restarts the stream explicitly.
int randomInt32767(uint32_t seed);
void reseedRandom(uint32_t seed);
// The element that lands at index n / 2 after a partial sort; the array is
// reordered. NaN for n <= 0.
double medianOf(double* values, int n);
// Each column to zero mean and unit (population) variance. A column with no
// spread becomes all zeros instead of dividing by zero.
void standardizeColumns(Matrix& m);
void standardizeColumns(Eigen::MatrixXd& m);
// a mod b in 0..b-1 for b > 0 (0 when b is 0).
int positiveModulo(int a, int b);

// ---------------------------------------------------------------------------
// Hidden semi-Markov model. K states, D durations; a segment at countdown d
// runs for d + 1 more frames. Column i * D + d of the forward and backward
// tables is state i with countdown d.
class Hsmm {
public:
    // Sizes whose products K x K or K x D leave the 32-bit signed range
    // throw std::bad_alloc, as a failed allocation of the tables would.
    Hsmm(int states, int durations);

    int stateCount() const { return m_K; }
    int durationCount() const { return m_D; }

    // Log transitions, K x K (row = from, column = to). A matrix of another
    // shape is reported on standard output and ignored.
    void setTransitions(const Matrix& logA);
    // Log duration probabilities, K x D. Same shape rule.
    void setDurations(const Matrix& logP);
    const Matrix& transitions() const { return m_A; }
    const Matrix& durations() const { return m_P; }

    // Forward-backward over T x K per-frame, per-state log-likelihoods.
    // Frame 0 starts in every (state, countdown) with weight 1 and carries
    // no emission. Returns the sequence log-likelihood.
    double forwardBackward(const Matrix& logLik);
    // Expected transition (K x K) and duration (K x D) counts of the latest
    // forwardBackward.
    void expectedCounts(Matrix& transitions, Matrix& durations) const;
    // T x K state posteriors of the latest forwardBackward.
    void statePosteriors(Matrix& out) const;
    // Most probable path: per frame the countdown (0 on the last frame of a
    // segment) and the state.
    void decode(std::vector<int32_t>& countdowns, std::vector<int32_t>& states, const Matrix& logLik) const;

private:
    // rows, or std::bad_alloc when rows x cols leaves the 32-bit range.
    static int checkedSize(int64_t rows, int64_t cols);
    // The three passes of forwardBackward, in this order, over tables
    // already sized for the T frames of X.
    double forwardPass(const Matrix& X);
    void backwardPass(const Matrix& X);
    void countExpectedEntries(const Matrix& X);

    int m_K;
    int m_D;
    Matrix m_forward;
    Matrix m_backward;
    Vector m_normalisers;
    Matrix m_A;
    Matrix m_P;
    Matrix m_transCounts;
    Matrix m_durCounts;
};

// ---------------------------------------------------------------------------
// Dirichlet posterior over a probability vector.
class DirichletFactor {
public:
    // Prior alpha0; the posterior starts as alpha0 plus a random r/100
    // (r in 0..99) per element.
    explicit DirichletFactor(const Vector& prior);
    DirichletFactor(int n, double value);

    // Posterior = prior + counts.
    void update(const Vector& counts);
    // psi(alpha_k) - psi(sum alpha) per element.
    Vector expectedLog() const { return m_expectedLog; }
    // E[log p(pi | alpha0)] - E[log q(pi | alpha)].
    float boundTerm() const { return m_bound; }

    const Vector& prior() const { return m_prior; }
    const Vector& posterior() const { return m_posterior; }

private:
    void perturb();
    void refresh();

    Vector m_prior;
    Vector m_posterior;
    Vector m_expectedLog;
    float m_bound = 0.0f;
};

// ---------------------------------------------------------------------------
// Diagonal Gaussian with a Normal-Gamma posterior over P dimensions: per
// dimension the precision is Gamma(a, b_p) (shape, rate) and the mean,
// given the precision lambda, normal with precision beta * lambda.
class GaussianComponent {
public:
    GaussianComponent(int dims, double beta0, double a0, double b0);

    // Expected log-likelihood of every row of a T x P matrix.
    Vector expectedLogLikelihood(const Matrix& x) const;
    // Posterior from the weight N > 0, the weighted mean and the weighted
    // variance of the frames assigned to the component.
    void update(double weight, const Vector& mean, const Vector& variance);
    // -KL(posterior || prior), summed over the dimensions.
    double boundTerm() const;

    const Vector& mean() const { return m_mean; }
    const Vector& rate() const { return m_b; }
    double scale() const { return m_beta; }
    double shape() const { return m_a; }
    double priorScale() const { return m_beta0; }
    double priorShape() const { return m_a0; }
    const Vector& priorRate() const { return m_b0; }

private:
    Vector m_m0;
    Vector m_b0;
    Vector m_mean;
    Vector m_b;
    double m_beta;
    double m_beta0;
    double m_a;
    double m_a0;
    int m_P;
};

}  // namespace Numeric
