#include "RkMir/Numeric/Hsmm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <new>
#include <random>

namespace Numeric {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Terms further than this below their reference add nothing measurable.
constexpr double kNegligible = -30.0;
// A frame in which continuing a segment beats every entry by this much
// adds nothing to the expected counts.
constexpr double kContinuationMargin = 3.0;

// log(exp(u) + exp(v)).
double logAdd(double u, double v)
{
    const double hi = std::max(u, v);
    const double lo = std::min(u, v);
    if (hi == -kInf)
        return -kInf;
    return hi + std::log1p(std::exp(lo - hi));
}

// log(sum(exp(v[0..n-1]))) with the largest term as reference.
double logSumRange(const double* v, int n)
{
    double m = -kInf;
    for (int k = 0; k < n; ++k)
        m = std::max(m, v[k]);
    if (m == -kInf)
        return -kInf;
    double s = 0.0;
    for (int k = 0; k < n; ++k)
        s += std::exp(v[k] - m);
    return m + std::log(s);
}

// Reference m plus the log-sum of the terms within the negligible range.
double logSumNear(const std::vector<double>& w, double m)
{
    double s = 0.0;
    for (double x : w)
        if (x - m > kNegligible)
            s += std::exp(x - m);
    return m + std::log(s);
}

void reportShape(int line, Eigen::Index rows, Eigen::Index cols)
{
    std::printf("%s:%d - Incompatible dimension %ld %ld\n", "Hsmm", line, static_cast<long>(rows),
                static_cast<long>(cols));
    std::fflush(stdout);
}

// The process-wide generator: seeded on first use, or restarted on demand.
struct RandomStream {
    std::once_flag once;
    std::mt19937 engine;
};

RandomStream& randomStream()
{
    static RandomStream stream;
    return stream;
}

template <typename M> void standardize(M& m)
{
    const Eigen::Index rows = m.rows();
    if (rows == 0)
        return;
    for (Eigen::Index c = 0; c < m.cols(); ++c) {
        auto col = m.col(c);
        const double mean = col.sum() / static_cast<double>(rows);
        col.array() -= mean;
        const double sd = std::sqrt(col.squaredNorm() / static_cast<double>(rows));
        // A constant column (spread lost in rounding included) carries no
        // information; dividing would turn it into noise or NaN.
        const double scale = col.cwiseAbs().maxCoeff() + std::abs(mean);
        if (sd <= 1e-12 * scale)
            col.setZero();
        else
            col /= sd;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Numeric routines

double logSumExp(const Vector& v)
{
    if (v.size() == 0)
        return -kInf;
    const double m = v.maxCoeff();
    if (!std::isfinite(m))
        return -kInf;
    return m + std::log((v.array() - m).exp().sum());
}

double digamma(double x)
{
    // The recurrence would never reach 6 from these.
    if (!(x > -1e6))
        return kNaN;
    double s = 0.0;
    while (x < 6.0) {
        if (x != 0.0)
            s += 1.0 / x;
        x += 1.0;
    }
    const double y = 1.0 / x;
    const double z = y * y;
    return std::log(x) - s - y / 2.0 -
           0.0833333333333 * z *
               (1.0 - 0.1 * z *
                          (1.0 + 0.0396825396825 * z *
                                     (1.0 + 0.105 * z *
                                                (1.0 - 0.0721500721501 * z *
                                                           (1.0 - 0.292346153846 * z *
                                                                      (1.0 + 0.285050212691 * z))))));
}

double logGamma(double x)
{
    if (!(x > -1e6))
        return kNaN;
    double l = 0.0;
    while (x < 50.0) {
        l += std::log(x);
        x += 1.0;
    }
    const double tmp = (x + 4.5) - (x - 0.5) * std::log(x + 4.5);
    const double ser = 1.00000000019001 + 76.1800917294715 / x - 86.5053203294168 / (x + 1.0) +
                       24.0140982408309 / (x + 2.0) - 1.23173957245016 / (x + 3.0) +
                       0.00120865097386618 / (x + 4.0) - 5.395239384953e-6 / (x + 5.0);
    return std::log(2.506628274631 * ser) - tmp - l;
}

float logGaussian(float x, float mean, float sigma)
{
    const float z = (x - mean) / sigma;
    return -0.5f * z * z - std::log(sigma) - 0.5f * std::log(6.28f);
}

int randomInt32767(uint32_t seed)
{
    RandomStream& s = randomStream();
    std::call_once(s.once, [&] { s.engine.seed(seed); });
    const uint32_t u = static_cast<uint32_t>(s.engine());
    const float scaled = static_cast<float>(u) * 32767.0f * std::ldexp(1.0f, -32);
    return static_cast<int>(scaled);
}

void reseedRandom(uint32_t seed)
{
    RandomStream& s = randomStream();
    std::call_once(s.once, [] {});
    s.engine.seed(seed);
}

double medianOf(double* values, int n)
{
    if (!values || n <= 0)
        return kNaN;
    std::nth_element(values, values + n / 2, values + n);
    return values[n / 2];
}

void standardizeColumns(Matrix& m)
{
    standardize(m);
}
void standardizeColumns(Eigen::MatrixXd& m)
{
    standardize(m);
}

int positiveModulo(int a, int b)
{
    if (b == 0)
        return 0;
    const int r = a % b;
    return r < 0 ? r + b : r;
}

// ---------------------------------------------------------------------------
// Hsmm

Hsmm::Hsmm(int states, int durations)
    : m_K(checkedSize(std::max(states, 0), std::max({states, durations, 0}))),
      m_D(std::max(durations, 0)),
      m_A(Matrix::Zero(m_K, m_K)),
      m_P(Matrix::Zero(m_K, m_D)),
      m_transCounts(Matrix::Zero(m_K, m_K)),
      m_durCounts(Matrix::Zero(m_K, m_D))
{ }

int Hsmm::checkedSize(int64_t rows, int64_t cols)
{
    // K x K and K x D (the larger of the two products here) are formed in
    // 32 bits when the tables are addressed.
    if (rows * cols > std::numeric_limits<int32_t>::max())
        throw std::bad_alloc();
    return static_cast<int>(rows);
}

void Hsmm::setTransitions(const Matrix& logA)
{
    if (logA.rows() != m_K || logA.cols() != m_K) {
        reportShape(51, logA.rows(), logA.cols());
        return;
    }
    m_A = logA;
}

void Hsmm::setDurations(const Matrix& logP)
{
    if (logP.rows() != m_K || logP.cols() != m_D) {
        reportShape(59, logP.rows(), logP.cols());
        return;
    }
    m_P = logP;
}

double Hsmm::forwardBackward(const Matrix& X)
{
    const int KD = m_K * m_D;
    m_transCounts.setZero(m_K, m_K);
    m_durCounts.setZero(m_K, m_D);
    if (X.cols() != m_K || m_K == 0 || m_D == 0) {
        // Nothing sensible to compute; leave empty tables behind.
        m_forward.resize(0, KD);
        m_backward.resize(0, KD);
        m_normalisers.resize(0);
        return kLogZero;
    }
    const int T = static_cast<int>(X.rows());
    m_forward.setZero(T, KD);
    m_backward.setZero(T, KD);
    m_normalisers.setZero(T);
    if (T == 0)
        return 0.0;
    const double logLik = forwardPass(X);
    backwardPass(X);
    countExpectedEntries(X);
    return logLik;
}

// Rows 1 to T-1 of the forward table, each normalised by its log-sum; row 0
// stays 0 (every state and countdown with weight 1). Returns the sum of the
// normalisers, the sequence log-likelihood.
double Hsmm::forwardPass(const Matrix& X)
{
    const int K = m_K, D = m_D, KD = K * D;
    const int T = static_cast<int>(X.rows());
    std::vector<double> terms(static_cast<size_t>(K));
    std::vector<double> E(static_cast<size_t>(K));
    double logLik = 0.0;
    for (int t = 1; t < T; ++t) {
        // E_i: entering state i from the end of any segment at t - 1.
        for (int i = 0; i < K; ++i) {
            double m = -kInf;
            for (int j = 0; j < K; ++j) {
                terms[j] = m_forward(t - 1, j * D) + m_A(j, i);
                m = std::max(m, terms[j]);
            }
            E[i] = (m <= kLogZero) ? kLogZero : logSumRange(terms.data(), K);
        }
        for (int i = 0; i < K; ++i) {
            const double x = X(t, i);
            for (int d = 0; d + 1 < D; ++d)
                m_forward(t, i * D + d) = x + logAdd(m_P(i, d) + E[i], m_forward(t - 1, i * D + d + 1));
            m_forward(t, i * D + D - 1) = x + m_P(i, D - 1) + E[i];
        }
        const double c = logSumRange(m_forward.row(t).data(), KD);
        m_forward.row(t).array() -= c;
        m_normalisers(t) = c;
        logLik += c;
    }
    return logLik;
}

// Rows T-2 down to 0 of the backward table; row T-1 stays 0 and the rows
// are not normalised.
void Hsmm::backwardPass(const Matrix& X)
{
    const int K = m_K, D = m_D;
    const int T = static_cast<int>(X.rows());
    std::vector<double> terms(static_cast<size_t>(std::max(K, D)));
    std::vector<double> G(static_cast<size_t>(K));
    for (int t = T - 2; t >= 0; --t) {
        // G_i: a segment of state i starting at t + 1.
        for (int i = 0; i < K; ++i) {
            for (int d = 0; d < D; ++d)
                terms[d] = m_backward(t + 1, i * D + d) + m_P(i, d) + X(t + 1, i);
            G[i] = logSumRange(terms.data(), D);
        }
        for (int j = 0; j < K; ++j) {
            double m = -kInf;
            for (int i = 0; i < K; ++i) {
                terms[i] = m_A(j, i) + G[i];
                m = std::max(m, terms[i]);
            }
            m_backward(t, j * D) = (m <= kLogZero) ? kLogZero : logSumRange(terms.data(), K);
            for (int d = 1; d < D; ++d)
                m_backward(t, j * D + d) = m_backward(t + 1, j * D + d - 1) + X(t + 1, j);
        }
    }
}

// The expected counts of segment entries (from j, to i, countdown d) over
// frames 1 to T-1, summed into the expected transition and duration counts.
// A frame in which continuing beats every entry by the margin adds nothing.
void Hsmm::countExpectedEntries(const Matrix& X)
{
    const int K = m_K, D = m_D, KD = K * D;
    const int T = static_cast<int>(X.rows());
    std::vector<double> entryTable(static_cast<size_t>(K) * K * D, 0.0);
    std::vector<double> cont;
    std::vector<double> entry(static_cast<size_t>(K) * K * D);
    cont.reserve(static_cast<size_t>(KD));
    for (int t = 1; t < T; ++t) {
        cont.clear();
        double mc = -kInf;
        for (int i = 0; i < K; ++i)
            for (int d = 0; d + 1 < D; ++d) {
                const double w = m_forward(t - 1, i * D + d + 1) + m_backward(t, i * D + d) + X(t, i);
                cont.push_back(w);
                mc = std::max(mc, w);
            }
        double me = -kInf;
        for (int j = 0; j < K; ++j)
            for (int i = 0; i < K; ++i)
                for (int d = 0; d < D; ++d) {
                    const double w =
                        m_forward(t - 1, j * D) + m_A(j, i) + m_P(i, d) + X(t, i) + m_backward(t, i * D + d);
                    entry[(static_cast<size_t>(j) * K + i) * D + d] = w;
                    me = std::max(me, w);
                }
        if (!(mc < me + kContinuationMargin))
            continue;
        const double zc = cont.empty() ? -kInf : logSumNear(cont, mc);
        const double Z = logAdd(zc, logSumNear(entry, me));
        for (size_t k = 0; k < entry.size(); ++k)
            if (entry[k] - Z > kNegligible)
                entryTable[k] += std::exp(entry[k] - Z);
    }
    for (int j = 0; j < K; ++j)
        for (int i = 0; i < K; ++i)
            for (int d = 0; d < D; ++d) {
                const double v = entryTable[(static_cast<size_t>(j) * K + i) * D + d];
                m_transCounts(j, i) += v;
                m_durCounts(i, d) += v;
            }
}

void Hsmm::expectedCounts(Matrix& transitions, Matrix& durations) const
{
    transitions = m_transCounts;
    durations = m_durCounts;
}

void Hsmm::statePosteriors(Matrix& out) const
{
    const int T = static_cast<int>(m_forward.rows());
    const int KD = m_K * m_D;
    out.setZero(T, m_K);
    std::vector<double> s(static_cast<size_t>(KD));
    for (int t = 0; t < T; ++t) {
        for (int k = 0; k < KD; ++k)
            s[k] = m_forward(t, k) + m_backward(t, k);
        const double Z = logSumRange(s.data(), KD);
        for (int i = 0; i < m_K; ++i)
            for (int d = 0; d < m_D; ++d)
                out(t, i) += std::exp(s[i * m_D + d] - Z);
    }
}

void Hsmm::decode(std::vector<int32_t>& countdowns, std::vector<int32_t>& states, const Matrix& X) const
{
    countdowns.clear();
    states.clear();
    const int K = m_K;
    const int D = m_D;
    const int KD = K * D;
    const int T = static_cast<int>(X.rows());
    if (T == 0 || KD == 0 || X.cols() != K)
        return;

    Matrix V = Matrix::Zero(T, KD);
    std::vector<int32_t> prevState(static_cast<size_t>(T) * KD, 0);
    std::vector<int32_t> prevCountdown(static_cast<size_t>(T) * KD, 0);
    for (int t = 1; t < T; ++t) {
        for (int i = 0; i < K; ++i)
            for (int d = 0; d < D; ++d) {
                double best;
                int32_t fromState = i;
                int32_t fromCountdown;
                if (d + 1 < D) {
                    best = V(t - 1, i * D + d + 1);
                    fromCountdown = d + 1;
                } else {
                    // No continuation: an entry from the same state stands in
                    // so the back-pointer stays inside the lattice.
                    best = kLogZero;
                    fromCountdown = 0;
                }
                for (int j = 0; j < K; ++j) {
                    const double cand = V(t - 1, j * D) + m_P(i, d) + m_A(j, i);
                    if (cand > best) {
                        best = cand;
                        fromState = j;
                        fromCountdown = 0;
                    }
                }
                V(t, i * D + d) = X(t, i) + best;
                const size_t at = static_cast<size_t>(t) * KD + i * D + d;
                prevState[at] = fromState;
                prevCountdown[at] = fromCountdown;
            }
        V.row(t).array() -= V.row(t).maxCoeff();
    }

    int bestEntry = 0;
    for (int k = 1; k < KD; ++k)
        if (V(T - 1, k) > V(T - 1, bestEntry))
            bestEntry = k;
    countdowns.assign(static_cast<size_t>(T), 0);
    states.assign(static_cast<size_t>(T), 0);
    int state = bestEntry / D;
    int countdown = bestEntry % D;
    for (int t = T - 1; t >= 0; --t) {
        states[t] = state;
        countdowns[t] = countdown;
        if (t == 0)
            break;
        const size_t at = static_cast<size_t>(t) * KD + state * D + countdown;
        state = prevState[at];
        countdown = prevCountdown[at];
    }
}

// ---------------------------------------------------------------------------
// DirichletFactor

DirichletFactor::DirichletFactor(const Vector& prior) : m_prior(prior)
{
    perturb();
    refresh();
}

DirichletFactor::DirichletFactor(int n, double value)
    : DirichletFactor(Vector::Constant(std::max(n, 0), value))
{ }

void DirichletFactor::perturb()
{
    m_posterior = m_prior;
    for (Eigen::Index k = 0; k < m_posterior.size(); ++k)
        m_posterior(k) += (randomInt32767(0) % 100) / 100.0;
}

void DirichletFactor::update(const Vector& counts)
{
    if (counts.size() != m_prior.size())
        return;
    m_posterior = m_prior + counts;
    refresh();
}

void DirichletFactor::refresh()
{
    const Eigen::Index n = m_posterior.size();
    const double S = m_posterior.sum();
    const double S0 = m_prior.sum();
    const double psiS = digamma(S);
    m_expectedLog.resize(n);
    double logP = logGamma(S0);
    double logQ = logGamma(S);
    for (Eigen::Index k = 0; k < n; ++k) {
        const double e = digamma(m_posterior(k)) - psiS;
        m_expectedLog(k) = e;
        logP += -logGamma(m_prior(k)) + (m_prior(k) - 1.0) * e;
        logQ += -logGamma(m_posterior(k)) + (m_posterior(k) - 1.0) * e;
    }
    m_bound = static_cast<float>(logP - logQ);
}

// ---------------------------------------------------------------------------
// GaussianComponent

GaussianComponent::GaussianComponent(int dims, double beta0, double a0, double b0)
    : m_m0(Vector::Zero(std::max(dims, 0))),
      m_b0(Vector::Constant(std::max(dims, 0), b0)),
      m_mean(Vector::Zero(std::max(dims, 0))),
      m_b(m_b0),
      m_beta(beta0),
      m_beta0(beta0),
      m_a(a0),
      m_a0(a0),
      m_P(std::max(dims, 0))
{
    for (int p = 0; p < m_P; ++p) {
        const int r = randomInt32767(0);
        m_mean(p) = 2.0f * static_cast<float>(r) / 32767.0f - 1.0f;
    }
}

Vector GaussianComponent::expectedLogLikelihood(const Matrix& x) const
{
    const Eigen::Index T = x.rows();
    Vector out = Vector::Zero(T);
    if (x.cols() != m_P)
        return out;
    const double psiA = digamma(m_a);
    double constant = 0.0;
    for (int p = 0; p < m_P; ++p)
        constant += std::log(3.14159) + std::log(m_b(p)) + 1.0 / m_beta - psiA;
    for (Eigen::Index t = 0; t < T; ++t) {
        double q = 0.0;
        for (int p = 0; p < m_P; ++p) {
            const double diff = x(t, p) - m_mean(p);
            q += (m_a / m_b(p)) * diff * diff;
        }
        out(t) = -0.5 * (constant + q);
    }
    return out;
}

void GaussianComponent::update(double weight, const Vector& mean, const Vector& variance)
{
    if (!(weight > 0.0) || mean.size() != m_P || variance.size() != m_P)
        return;
    const double N = weight;
    m_mean = (N * mean + m_beta0 * m_m0) / (m_beta0 + N);
    m_beta = m_beta0 + N;
    m_a = m_a0 + N / 2.0;
    const double shrink = m_beta0 * N / (m_beta0 + N);
    for (int p = 0; p < m_P; ++p) {
        const double diff = mean(p) - m_m0(p);
        m_b(p) = m_b0(p) + 0.5 * (N * variance(p) + shrink * diff * diff);
    }
}

double GaussianComponent::boundTerm() const
{
    // Per dimension: KL of the Gamma posterior of the precision from its
    // prior, plus the expected KL of the conditional normals of the mean.
    const double shapeTerms = (m_a - m_a0) * digamma(m_a) - logGamma(m_a) + logGamma(m_a0) +
                              0.5 * (std::log(m_beta / m_beta0) + m_beta0 / m_beta - 1.0);
    double kl = 0.0;
    for (int p = 0; p < m_P; ++p) {
        const double diff = m_mean(p) - m_m0(p);
        kl += shapeTerms + m_a0 * (std::log(m_b(p)) - std::log(m_b0(p))) + m_a * (m_b0(p) - m_b(p)) / m_b(p) +
              0.5 * m_beta0 * (m_a / m_b(p)) * diff * diff;
    }
    return -kl;
}

}  // namespace Numeric
