#include "JointHpcpPowPdf.h"

#include <algorithm>
#include <stdexcept>

namespace tavi {

void JointHpcpPowPdf::read(std::istream& in)
{
    m_bass.read(in);
    if (in.fail())
        return;
    m_treble.read(in);
}

double JointHpcpPowPdf::logDensity(const std::vector<double>& x)
{
    if (x.size() < static_cast<size_t>(2 * kChromaSize))
        throw std::invalid_argument("JointHpcpPowPdf::logDensity: a beat feature needs 24 values");
    std::copy(x.begin(), x.begin() + kChromaSize, m_bassPart.begin());
    std::copy(x.begin() + kChromaSize, x.begin() + 2 * kChromaSize, m_treblePart.begin());
    return m_bass.logDensity(m_bassPart.data()) + m_treble.logDensity(m_treblePart.data());
}

}  // namespace tavi
