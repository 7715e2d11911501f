#include "CPolyphaseMultiRateProcessing.h"

#include "PolyphaseTables.h"
#include "StretchAlloc.h"

#include <algorithm>
#include <cstring>

namespace {

using stretch::FirTable;

const FirTable* chooseTable(uint32_t direction, int32_t factor, double rate)
{
    const bool decimate = direction == CPolyphaseMultiRateProcessing::Decimation;
    if (direction != CPolyphaseMultiRateProcessing::Decimation &&
        direction != CPolyphaseMultiRateProcessing::Interpolation)
        return nullptr;
    switch (factor) {
    case 2:
        if (rate == 44100.0 || rate == 22050.0)
            return &stretch::kFirFactor2;
        return rate == 11025.0 ? &stretch::kFirFactor2Rate11025 : nullptr;
    case 4:
        if (rate == 44100.0)
            return &stretch::kFirFactor4Rate44100;
        if (rate == 22050.0)
            return &stretch::kFirFactor4Rate22050;
        return (rate == 11025.0 && decimate) ? &stretch::kFirFactor4Rate11025 : nullptr;
    case 8:
        return &stretch::kFirFactor8;
    default:
        return nullptr;
    }
}

}  // namespace

CPolyphaseMultiRateProcessing::CPolyphaseMultiRateProcessing(uint32_t direction, int32_t factor,
                                                             double sampleRate)
    : m_factor(factor), m_direction(direction)
{
    stretch::resizeOrThrow(m_delay, kMaxTaps + kDelayRoom);
    m_head = static_cast<int32_t>(m_delay.size()) - kMaxTaps;
    stretch::resizeOrThrow(m_coefficients, kMaxTaps);
    if (const FirTable* table = chooseTable(direction, factor, sampleRate)) {
        std::copy(table->coefficients, table->coefficients + table->taps, m_coefficients.begin());
        m_taps = table->taps;
        if (direction == Interpolation)
            m_phaseLength = m_taps / m_factor;
        m_hasTable = true;
    }
}

int32_t CPolyphaseMultiRateProcessing::TapsFor(uint32_t direction, int32_t factor, double sampleRate)
{
    const FirTable* table = chooseTable(direction, factor, sampleRate);
    return table ? table->taps : 0;
}

double* CPolyphaseMultiRateProcessing::Push(double sample, int32_t keep)
{
    // The delay line runs downward through a long buffer (d[k] =
    // m_delay[m_head + k], d[0] the newest), so a new sample costs no shift;
    // only when the buffer's start is reached are the kept samples moved up.
    if (m_head == 0) {
        const auto top = static_cast<int32_t>(m_delay.size()) - keep;
        std::memmove(m_delay.data() + top, m_delay.data(), sizeof(double) * static_cast<size_t>(keep));
        m_head = top;
    }
    --m_head;
    m_delay[static_cast<size_t>(m_head)] = sample;
    return m_delay.data() + m_head;
}

void CPolyphaseMultiRateProcessing::Decimate(int32_t n, const float* input, float* output, int32_t& produced)
{
    produced = 0;
    if (!m_hasTable || n < m_factor || !input || !output)
        return;
    const double* c = m_coefficients.data();
    for (int32_t start = 0; start + m_factor <= n; start += m_factor) {
        double* d = nullptr;
        for (int32_t k = 0; k < m_factor; ++k)
            d = Push(input[start + k], m_taps);
        double sum = 0.0;
        for (int32_t k = 0; k < m_taps; ++k)
            sum += c[k] * d[k];
        output[produced++] = static_cast<float>(sum);
    }
}

void CPolyphaseMultiRateProcessing::Interpolate(int32_t n, const float* input, float* output,
                                                int32_t& produced)
{
    produced = 0;
    if (!m_hasTable || m_phaseLength < 1 || n < 1 || !input || !output)
        return;
    const double* c = m_coefficients.data();
    for (int32_t i = 0; i < n; ++i) {
        const double* d = Push(input[i], m_phaseLength);
        for (int32_t p = 0; p < m_factor; ++p) {
            double sum = 0.0;
            for (int32_t k = 0; k < m_phaseLength; ++k)
                sum += d[k] * c[p + k * m_factor];
            output[produced++] = static_cast<float>(m_factor * sum);
        }
    }
}
