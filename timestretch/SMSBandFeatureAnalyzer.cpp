#include "SMSBandFeatureAnalyzer.h"

#include "SMSFrame.h"
#include "StretchAlloc.h"

#include <algorithm>
#include <cmath>

namespace {

double mel(double hz)
{
    return 1127.01048 * std::log(1.0 + hz / 700.0);
}

}  // namespace

SMSBandFeatureAnalyzer::SMSBandFeatureAnalyzer(SharedFft& fft, int32_t sampleRate, const float* ring,
                                               int32_t ringLength)
    : CSpectrum(fft),
      m_ring(ring),
      m_ringLength(ringLength),
      m_sampleRate(sampleRate),
      m_frameLength(std::min(SharedFft::kMaxSize, std::max(4, sampleRate * 1024 / 22050)))
{
    const double low = mel(40.0), step = (mel(5000.0) - low) / 25.0;
    for (int32_t k = 0; k < kEdges; ++k)
        m_edges[static_cast<size_t>(k)] =
            static_cast<float>(700.0 * (std::exp((low + k * step) / 1127.01048) - 1.0));

    const int32_t bins = m_frameLength / 2 + 1;
    stretch::resizeOrThrow(m_window, static_cast<size_t>(m_frameLength));
    stretch::resizeOrThrow(m_frame, static_cast<size_t>(m_frameLength));
    stretch::resizeOrThrow(m_spectrum, static_cast<size_t>(bins));
    MakeWindow(m_frameLength, 0, m_window.data());

    // Triangle weights of each band over the bins between its outer edges.
    stretch::resizeOrThrow(m_bands, SMSFrame::kBands);
    const double binHz = static_cast<double>(sampleRate) / m_frameLength;
    for (int32_t j = 0; j < SMSFrame::kBands; ++j) {
        const double a = m_edges[static_cast<size_t>(j)], b = m_edges[static_cast<size_t>(j) + 1],
                     c = m_edges[static_cast<size_t>(j) + 2];
        Band& band = m_bands[static_cast<size_t>(j)];
        band.firstBin = std::min(bins, static_cast<int32_t>(std::ceil(a / binHz)));
        const int32_t last = std::min(bins - 1, static_cast<int32_t>(std::floor(c / binHz)));
        for (int32_t k = band.firstBin; k <= last; ++k) {
            const double f = k * binHz;
            const double w = f <= b ? (f - a) / (b - a) : (c - f) / (c - b);
            band.weights.push_back(static_cast<float>(std::max(0.0, w)));
        }
    }
}

void SMSBandFeatureAnalyzer::Reset()
{
    m_twoBefore.fill(0.0f);
    m_before.fill(0.0f);
}

void SMSBandFeatureAnalyzer::ComputeBandValues(SMSFrame& frame, int32_t position)
{
    const int32_t f = m_frameLength;
    int32_t at = (position - f / 2) % m_ringLength;
    if (at < 0)
        at += m_ringLength;
    for (int32_t i = 0; i < f; ++i) {
        m_frame[static_cast<size_t>(i)] = m_ring[at];
        if (++at == m_ringLength)
            at = 0;
    }
    PowerSpectrum(m_frame.data(), m_window.data(), f, m_spectrum.data(), f);

    float* x = frame.FeatureData();
    double values[SMSFrame::kBands];
    double sum = 0.0, largest = 0.0, upper = 0.0, lower = 0.0;
    for (int32_t j = 0; j < SMSFrame::kBands; ++j) {
        const Band& band = m_bands[static_cast<size_t>(j)];
        double v = 0.0;
        for (size_t i = 0; i < band.weights.size(); ++i)
            v += static_cast<double>(band.weights[i]) * m_spectrum[static_cast<size_t>(band.firstBin) + i];
        values[j] = v;
        sum += v;
        largest = std::max(largest, v);
        if (j >= 26 && j <= 35)
            upper += v;
        if (j >= 1 && j <= 5)
            lower += v;
    }
    for (int32_t j = 0; j < SMSFrame::kBands; ++j)
        x[j] = values[j] > 0.0 ? static_cast<float>(10.0 * std::log10(values[j] / largest)) : -100.0f;
    x[SMSFrame::kTotalEnergy] = static_cast<float>(sum);
    x[SMSFrame::kUpperEnergy] = static_cast<float>(upper);
    x[SMSFrame::kLowerEnergy] = static_cast<float>(lower);
}

void SMSBandFeatureAnalyzer::ComputeSlopes(SMSFrame& frame, const SMSFrame* const later[kHistoryDepth])
{
    float* x = frame.FeatureData();
    const float* x1 = later[0]->FeatureData();
    const float* x2 = later[1]->FeatureData();
    const float* x7 = later[6]->FeatureData();
    const float* x8 = later[7]->FeatureData();
    for (int32_t e = 0; e < SMSFrame::kBands; ++e) {
        const double before = m_before[static_cast<size_t>(e)],
                     twoBefore = m_twoBefore[static_cast<size_t>(e)];
        const double rise = 7.0 * (x7[e] - before) + 8.0 * (x8[e] - twoBefore);
        const double level =
            0.5 * std::fabs(before) + std::fabs(twoBefore) + 0.5 * std::fabs(x1[e]) + std::fabs(x2[e]);
        x[SMSFrame::kSlopes + e] = static_cast<float>(3.0 * rise / std::max(level, kSlopeFloor));
    }
    m_twoBefore = m_before;
    std::copy(x, x + SMSFrame::kBands, m_before.begin());
}
