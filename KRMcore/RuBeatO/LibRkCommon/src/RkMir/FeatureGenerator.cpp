#include "RkMir/FeatureGenerator.h"

#include <stdexcept>

namespace RkMir {

FeatureGenerator::FeatureGenerator(int hopsize, int framelen)
    : m_hopsize(hopsize),
      m_framelen(framelen),
      m_sampleRate(44100.0f),
      m_gridStep(16),
      m_ndim(5),
      m_observer(nullptr),
      m_running(1)
{
    if (hopsize <= 0)
        throw std::domain_error("hopsize must be positive");
    if (framelen <= 0)
        throw std::domain_error("framelen must be positive");
}

FeatureGenerator& FeatureGenerator::setProgress(IProgress* observer)
{
    m_observer = observer;
    return *this;
}

void FeatureGenerator::setNdim(int n)
{
    if (n < 1)
        throw std::domain_error("ndim must be positive");
    m_ndim = n;
}

}  // namespace RkMir
