#include "BeatPeriodicityScorer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

namespace tavi {

namespace {

constexpr int kMaxProduct = 17;  // cells with r x c from here on keep their prior
constexpr double kRowFloor = 1e-10;
constexpr float kNoBest = -1e20f;

void checkElementCount(int64_t rows, int64_t columns)
{
    if (rows * columns > std::numeric_limits<int32_t>::max())
        throw std::bad_alloc();
}

}  // namespace

BeatPeriodicityScorer::BeatPeriodicityScorer(int size) : CFft(size, 0)
{ }

BeatPeriodicityScorer& BeatPeriodicityScorer::setKappa(float kappa)
{
    if (kappa > 0.0f)
        m_kappa = kappa;
    return *this;
}

BeatPeriodicityScorer& BeatPeriodicityScorer::setPrior(const Eigen::MatrixXd& prior)
{
    checkElementCount(prior.rows() + 1, prior.cols() + 1);
    m_prior = prior;
    m_templateRows = static_cast<int>(prior.rows()) + 1;
    m_templateColumns = static_cast<int>(prior.cols()) + 1;
    return *this;
}

// Row i (a period of i beats) weights FFT bin j (a period of N / j beats)
// by exp(-kappa (i - N / j)^2), normalised to sum to one; row and column 0
// stay zero. The bins run from 0 to N / 2 inclusive: bin N / 2 is a period
// of exactly two beats, the centre of row 2. Without it row 2 misses the
// centre of its peak, and a simple triple meter (accents every second beat)
// loses to its compound twin (every third beat) unless its half-bar accents
// are strong.
void BeatPeriodicityScorer::buildTemplates(Eigen::MatrixXd& templates) const
{
    const int n = size();
    const int bins = n / 2 + 1;
    const int periods = m_templateRows * m_templateColumns;
    checkElementCount(periods, bins);
    templates.setZero(periods, bins);
    for (int i = 1; i < periods; ++i) {
        for (int j = 1; j < bins; ++j) {
            const double d = i - static_cast<double>(n) / j;
            templates(i, j) = std::exp(-static_cast<double>(m_kappa) * d * d);
        }
        templates.row(i) /= templates.row(i).sum() + kRowFloor;
    }
}

void BeatPeriodicityScorer::score(const std::vector<std::vector<double>>& beats)
{
    const int64_t periods64 = static_cast<int64_t>(m_templateRows) * m_templateColumns;
    checkElementCount(m_templateRows, m_templateColumns);
    if (m_prior.rows() != m_templateRows - 1 || m_prior.cols() != m_templateColumns - 1)
        m_prior.setZero(m_templateRows, m_templateColumns);
    m_score = m_prior;
    const int periods = static_cast<int>(periods64);
    m_periodicity.assign(static_cast<size_t>(periods), 0.0f);
    if (beats.empty())
        return;

    const size_t dims = beats.front().size();
    for (size_t t = 0; t < beats.size(); ++t) {
        if (beats[t].size() != dims)
            throw std::invalid_argument("BeatPeriodicityScorer::score: beat " + std::to_string(t) + " has " +
                                        std::to_string(beats[t].size()) + " values, beat 0 has " +
                                        std::to_string(dims));
    }

    Eigen::MatrixXd templates;
    buildTemplates(templates);
    const int n = size();
    const int half = n / 2;
    const size_t used = std::min(beats.size(), static_cast<size_t>(n));
    std::vector<float> buffer(static_cast<size_t>(n));
    std::vector<float> spectrum(static_cast<size_t>(half));
    Eigen::VectorXd magnitudes(half + 1);
    for (size_t d = 0; d < dims; ++d) {
        std::fill(buffer.begin(), buffer.end(), 0.0f);
        for (size_t t = 0; t < used; ++t)
            buffer[t] = static_cast<float>(beats[t][d]);
        magnitude(spectrum.data(), buffer.data(), n, -1, false, 1);
        for (int j = 0; j < half; ++j)
            magnitudes(j) = spectrum[static_cast<size_t>(j)];
        // The magnitude spectrum stops below N / 2; the transform keeps the
        // (real) value at N / 2 in its second slot.
        magnitudes(half) = std::fabs(data()[1]);
        const Eigen::VectorXd contribution = templates * magnitudes;
        for (int i = 0; i < periods; ++i)
            m_periodicity[static_cast<size_t>(i)] += static_cast<float>(contribution(i));
    }

    for (int r = 0; r < m_score.rows(); ++r) {
        for (int c = 0; c < m_score.cols(); ++c) {
            if (r * c < kMaxProduct)
                m_score(r, c) +=
                    m_periodicity[static_cast<size_t>(r)] + m_periodicity[static_cast<size_t>(r * c)];
        }
    }
}

void BeatPeriodicityScorer::bestCell(int& r, int& c) const
{
    const int rows = static_cast<int>(m_score.rows());
    const int columns = static_cast<int>(m_score.cols());
    int rowFirst = 1, rowEnd = rows;
    if (r > 0) {
        rowFirst = std::min(r, rows - 1);
        rowEnd = rowFirst + 1;
    } else {
        r = 1;
    }
    int columnFirst = 1, columnEnd = columns;
    if (c > 0) {
        columnFirst = std::min(c, columns - 1);
        columnEnd = columnFirst + 1;
    } else {
        c = 4;
    }
    float best = kNoBest;
    for (int i = std::max(rowFirst, 0); i < rowEnd; ++i) {
        for (int j = std::max(columnFirst, 0); j < columnEnd; ++j) {
            if (m_score(i, j) > best) {
                best = static_cast<float>(m_score(i, j));
                r = i;
                c = j;
            }
        }
    }
}

}  // namespace tavi
