#pragma once

#include "Tempo/RingIndex.h"

#include <cstddef>
#include <utility>
#include <vector>

// Bank of feedback comb resonators, one per period 1 .. nPeriod-1 frames,
// with a decay set by a common half-life. Fed one onset value per frame, it
// reports per period a resonance energy normalised so that a steady input
// gives 1 at every period. Period 0 is a placeholder and always reads 0.
class CombFilterBank {
public:
    // Throws std::domain_error for nPeriod < 1 or half_time <= 0.
    CombFilterBank(int nPeriod, float half_time);
    ~CombFilterBank();

    CombFilterBank(const CombFilterBank&) = delete;
    CombFilterBank& operator=(const CombFilterBank&) = delete;

    // Rebuilds the bank for nPeriod resonators and a new half-life, with a
    // cleared history. The arguments are checked before anything changes, so
    // a rejected call leaves the bank as it was.
    void initialize(int nPeriod, float half_time);

    // Feeds one onset value.
    void update(float x);

    // Resizes `out` to nPeriod if needed and writes the normalised energies.
    void normalizedEnergies(std::vector<float>& out) const;

    int nPeriod() const { return m_nPeriod; }
    // (feedback gain a_k, input gain b_k) of resonator k.
    std::pair<float, float> coefficient(int k) const { return m_coefficients[k]; }
    // Energy of a white input at resonator k, removed by the normalisation.
    float normOffset(int k) const { return m_offsets[k]; }
    const RingIndex& ring() const { return m_ring; }

private:
    float& at(int row, int k) { return m_history[static_cast<std::size_t>(row) * m_nPeriod + k]; }
    float at(int row, int k) const { return m_history[static_cast<std::size_t>(row) * m_nPeriod + k]; }

    int m_nPeriod = 0;
    std::vector<float> m_history;                         // nPeriod rows of nPeriod outputs
    RingIndex m_ring;                                     // row of the newest frame
    std::vector<std::pair<float, float>> m_coefficients;  // (a_k, b_k)
    std::vector<float> m_offsets;                         // c_k
};
