#include "RkMir/FilterBank.h"

#include "RkMir/WeightedSum.h"

#include <stdexcept>

namespace RkMir {

FilterBank::FilterBank() : m_windowLength(-1)
{ }

void FilterBank::setWindow(int index, const std::vector<float>& w)
{
    if (index < 0)
        throw std::domain_error("FilterBank::setWindow - index must be positive");
    const int len = static_cast<int>(w.size());
    if (m_windowLength == -1)
        m_windowLength = len;
    else if (len != m_windowLength)
        throw std::invalid_argument(
            "FilterBank::setWindow - data size must be consistent across filter indices!");

    if (m_bands.size() <= static_cast<size_t>(index))
        m_bands.resize(static_cast<size_t>(index) + 1, Band {0, 0, 0});

    int lo = 0;
    while (lo < len && !(w[lo] > 0.0f))
        ++lo;
    int hi = lo;
    for (int k = lo; k < len; ++k)
        if (w[k] > 0.0f)
            hi = k + 1;

    m_bands[index] = Band {lo, hi - lo, static_cast<int>(m_weights.size())};
    m_weights.insert(m_weights.end(), w.begin() + lo, w.begin() + hi);

    if (m_output.size() != m_bands.size())
        m_output.assign(m_bands.size(), 0.0);
}

FilterBank& FilterBank::apply(const float* s)
{
    const int stored = static_cast<int>(m_weights.size());
    for (size_t b = 0; b < m_bands.size(); ++b) {
        const Band& band = m_bands[b];
        if (band.weightOffset < stored) {
            m_output[b] = weightedSum(m_weights.data() + band.weightOffset, s + band.firstBin, band.count);
        } else {
            m_output[b] = 0.0;
        }
    }
    return *this;
}

}  // namespace RkMir
