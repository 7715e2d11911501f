#include "Hpcp/SemitonePower.h"

#include <climits>
#include <stdexcept>

namespace Hpcp {

ISemitonePower::~ISemitonePower() = default;

ISpectralMethod::~ISpectralMethod() = default;

void ISemitonePower::allocateRange(int lowest, int highest)
{
    m_output.reset();
    if (lowest < highest) {
        m_lowest = lowest;
        m_highest = highest;
        m_count = highest - lowest + 1;
    }
    m_output.reset(new float[static_cast<size_t>(m_count)]());
}

void ISemitonePower::rangeOf(const HpcpParams& params, int& lowest, int& highest)
{
    const long long count = static_cast<long long>(params.binsPerOctave) * params.octaves;
    const long long hi = params.lowestNote + count - 1;
    if (count > INT_MAX || hi > INT_MAX)
        throw std::invalid_argument("binsPerOctave * octaves is too large");
    lowest = params.lowestNote;
    // An empty or negative range keeps the previous one (allocateRange).
    highest = hi < lowest ? lowest : static_cast<int>(hi);
}

void ISemitonePower::configure(const HpcpParams& params)
{
    int lowest = 0;
    int highest = 0;
    rangeOf(params, lowest, highest);
    allocateRange(lowest, highest);
}

}  // namespace Hpcp
