#include "Tempo/CombFilterBank.h"

#include <cmath>
#include <stdexcept>

CombFilterBank::CombFilterBank(int nPeriod, float half_time) : m_ring(nPeriod)
{
    initialize(nPeriod, half_time);
}

CombFilterBank::~CombFilterBank() = default;

void CombFilterBank::initialize(int nPeriod, float half_time)
{
    if (nPeriod < 1)
        throw std::domain_error("nPeriod must be positive.");
    if (!(half_time > 0.0f))
        throw std::domain_error("half_time must be positive.");

    const size_t n = static_cast<size_t>(nPeriod);
    std::vector<float> history(n * n, 0.0f);
    std::vector<std::pair<float, float>> coefficients(n);
    std::vector<float> offsets(n);

    coefficients[0] = {1.0f, 0.0f};
    offsets[0] = 0.0f;
    for (int k = 1; k < nPeriod; ++k) {
        // The feedback gain halves every half_time frames of delay.
        const float exponent = static_cast<float>(k) / half_time;
        const float a = static_cast<float>(std::pow(0.5, static_cast<double>(exponent)));
        const float b = 1.0f - a;
        coefficients[k] = {a, b};
        offsets[k] = (b * b) / (1.0f - a * a);
    }

    m_history.swap(history);
    m_coefficients.swap(coefficients);
    m_offsets.swap(offsets);
    m_nPeriod = nPeriod;
    m_ring = RingIndex(nPeriod);
}

void CombFilterBank::update(float x)
{
    m_ring.increment();
    const int p = m_ring.position();
    for (int k = 1; k < m_nPeriod; ++k) {
        const std::pair<float, float>& c = m_coefficients[k];
        at(p, k) = c.first * at(m_ring.offset(-k), k) + c.second * x;
    }
}

void CombFilterBank::normalizedEnergies(std::vector<float>& out) const
{
    const size_t n = static_cast<size_t>(m_nPeriod);
    if (out.size() != n)
        out.resize(n);
    for (float& v : out)
        v = 0.0f;
    if (m_nPeriod < 2)
        return;  // only the placeholder period, which reads 0

    const int p = m_ring.position();
    // Reference: the newest output of resonator 1, a leaky mean of the input.
    float e = at(p, 1) * at(p, 1);
    if (e <= 1e-30f)
        e = 1e-30f;

    // out[k] = energy of resonator k over its last k outputs. Walking the
    // rows from the newest back keeps each sum in the same order while the
    // inner loop runs along one contiguous row.
    for (int i = 0; i < m_nPeriod - 1; ++i) {
        const float* row = &m_history[static_cast<std::size_t>(m_ring.offset(-i)) * n];
        for (int k = i + 1; k < m_nPeriod; ++k)
            out[k] += row[k] * row[k];
    }
    for (int k = 1; k < m_nPeriod; ++k) {
        float v = out[k] / static_cast<float>(k);
        v = v / e;
        v = v - m_offsets[k];
        v = v / (1.0f - m_offsets[k]);
        out[k] = v;
    }
    out[0] = 0.0f;
}
