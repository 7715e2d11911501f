#include "Tempo/LogFrequencyFilterBank.h"

#include "RkMir/WeightedSum.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// Natural logarithm taken in double of a single-precision argument.
float lnf(float x)
{
    return static_cast<float>(std::log(static_cast<double>(x)));
}

// trunc(v) limited to 0 .. hi, so that no out-of-range value is converted.
int truncClamped(double v, int hi)
{
    if (!(v > 0.0))
        return 0;
    if (v >= static_cast<double>(hi))
        return hi;
    return static_cast<int>(v);
}

}  // namespace

LogFrequencyFilterBank::LogFrequencyFilterBank(int nBands, int nBins, int fftSize, float fs, float fmin,
                                               float fmax)
    : m_fmin(fmin), m_fmax(fmax), m_nBands(nBands), m_nBins(nBins), m_fftSize(fftSize), m_fs(fs)
{
    if (nBands < 1)
        throw std::invalid_argument("nBands must be positive");
    if (nBins < 1)
        throw std::invalid_argument("nBins must be positive");
    if (fftSize < 1)
        throw std::invalid_argument("fftSize must be positive");
    if (!(fs > 0.0f))
        throw std::invalid_argument("fs must be positive");
    if (!(fmin > 0.0f))
        throw std::invalid_argument("fmin must be positive");
    if (!(fmax > fmin))
        throw std::invalid_argument("fmax must be greater than fmin");

    m_bands.assign(static_cast<size_t>(nBands), Band {0, 0, 0});
    m_weights.assign(static_cast<size_t>(nBands) * static_cast<size_t>(nBins), 0.0f);
    buildBands();
}

LogFrequencyFilterBank::~LogFrequencyFilterBank() = default;

void LogFrequencyFilterBank::buildBands()
{
    const size_t nBins = static_cast<size_t>(m_nBins);
    std::vector<float> W(static_cast<size_t>(m_nBands) * nBins, 0.0f);
    auto w = [&](int band, int bin) -> float& { return W[static_cast<size_t>(band) * nBins + bin]; };

    const float df = m_fs / static_cast<float>(m_fftSize);
    const float scale = static_cast<float>(m_nBands) / lnf(m_fmax / m_fmin);

    const int kLow = std::max(truncClamped(m_fmin / df, m_nBins), 1);
    const int kHigh = truncClamped(static_cast<double>(m_fmax / df) + 0.5, m_nBins);

    for (int k = kLow; k < kHigh; ++k) {
        // Position of the bin on the band axis; band m sits at pos = m.
        const float pos = lnf(static_cast<float>(k) * df / m_fmin) * scale - 0.5f;
        const int b = pos > 0.0f ? static_cast<int>(pos) : -1;
        const float frac = pos - static_cast<float>(b);
        if (b >= 0 && b < m_nBands)
            w(b, k) = frac;
        if (b + 1 >= 0 && b + 1 < m_nBands)
            w(b + 1, k) = 1.0f - frac;
    }

    // Keep per band the run of positive weights from its first non-zero one.
    for (int m = 0; m < m_nBands; ++m) {
        int first = m_nBins - 1;
        for (int j = 0; j <= m_nBins - 2; ++j) {
            if (w(m, j) != 0.0f) {
                first = j;
                break;
            }
        }
        Band& band = m_bands[m];
        band.weightOffset = m == 0 ? 0 : m_bands[m - 1].weightOffset + m_bands[m - 1].count;
        band.firstBin = first;
        band.count = 0;
        for (int j = first; j < m_nBins && w(m, j) > 0.0f; ++j)
            m_weights[static_cast<size_t>(band.weightOffset) + band.count++] = w(m, j);
    }
}

void LogFrequencyFilterBank::apply(float* out, const float* spectrum) const
{
    for (int b = 0; b < m_nBands; ++b) {
        const Band& band = m_bands[b];
        out[b] =
            RkMir::weightedSum(m_weights.data() + band.weightOffset, spectrum + band.firstBin, band.count);
    }
}
