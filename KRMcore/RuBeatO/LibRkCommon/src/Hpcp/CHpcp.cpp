#include "Hpcp/CHpcp.h"

#include "Hpcp/FFTSemitone.h"
#include "Hpcp/PitchNames.h"

#include <algorithm>
#include <stdexcept>

namespace Hpcp {

CHpcp::CHpcp(int binsPerOctave, int octaves, float sampleRate, std::string lowestNoteName,
             float reservedValue, int frameSize, bool reservedFlag1, int reservedInt1, bool reservedFlag2,
             int oversampleRatio, int reservedInt2, bool reservedFlag3)
{
    if (initialize(binsPerOctave, octaves, sampleRate, lowestNoteName, reservedValue, frameSize,
                   reservedFlag1, reservedInt1, reservedFlag2, oversampleRatio, reservedInt2,
                   reservedFlag3) != 0)
        throw std::runtime_error("cannot create the semitone engine");
}

CHpcp::~CHpcp()
{
    release();
}

int CHpcp::initialize(int binsPerOctave, int octaves, float sampleRate, const std::string& lowestNoteName,
                      float reservedValue, int frameSize, bool reservedFlag1, int reservedInt1,
                      bool reservedFlag2, int oversampleRatio, int reservedInt2, bool reservedFlag3,
                      float referenceFrequency)
{
    release();
    HpcpParams p;
    p.binsPerOctave = binsPerOctave;
    p.octaves = octaves;
    p.sampleRate = sampleRate;
    p.lowestNote = noteNumberFromName(lowestNoteName);
    p.reservedValue = reservedValue;
    p.frameSize = frameSize;
    p.reservedFlag1 = reservedFlag1;
    p.reservedFlag2 = reservedFlag2;
    p.reservedInt1 = reservedInt1;
    p.oversampleRatio = oversampleRatio;
    p.reservedFlags[0] = false;
    p.reservedFlags[1] = true;
    p.reservedFlags[2] = true;
    p.reservedFlags[3] = reservedFlag3;
    p.referenceFrequency = referenceFrequency;
    p.reservedInt2 = reservedInt2;
    m_params = p;

    if (createSemitoneEngine() != 0)
        return 1;  // nothing to configure
    try {
        m_engine->configure(m_params);
    } catch (...) {
        release();
        throw;
    }
    // The semitone copy follows the configured range, however long it is.
    try {
        m_semitones.reset(new float[static_cast<size_t>(m_engine->count())]());
    } catch (...) {
        release();
        return 1;
    }
    return 0;
}

int CHpcp::createSemitoneEngine()
{
    try {
        m_engine.reset(new FFTSemitone());
        const long long chroma = 2LL * m_params.binsPerOctave + 2;
        if (chroma < 0)
            throw std::length_error("negative chroma length");
        m_chroma.reset(new float[static_cast<size_t>(chroma)]());
    } catch (...) {
        release();
        return 1;
    }
    return 0;
}

void CHpcp::processFrame(const float* signal, int length)
{
    if (!m_engine || !m_semitones)
        throw std::logic_error("CHpcp is not initialised");
    m_engine->process(signal, length);
    std::copy(m_engine->output(), m_engine->output() + m_engine->count(), m_semitones.get());
}

int CHpcp::release()
{
    m_semitones.reset();
    m_chroma.reset();
    m_engine.reset();
    return 0;
}

const ISemitonePower* CHpcp::engine() const
{
    return m_engine.get();
}

int CHpcp::getDimension(int type) const
{
    const int B = m_params.binsPerOctave;
    switch (type) {
    case 0:
    case 1:
        return B;
    case 2:
        return 2 * B;
    case 3:
        return m_engine ? m_engine->count() : 0;
    case 4:
        return 2 * B + 2;
    case 5:
    case 6:
        return 1;
    case 7:
        return m_params.octaves;
    default:
        throw std::logic_error("Invalid TYPE");
    }
}

float* CHpcp::getBuffer(int type) const
{
    const int B = m_params.binsPerOctave;
    float* chroma = m_chroma.get();
    switch (type) {
    case 0:
    case 2:
    case 4:
        return chroma;
    case 1:
        return chroma ? chroma + B : nullptr;
    case 3:
        return m_semitones.get();
    case 5:
        return chroma ? chroma + 2 * B : nullptr;
    case 6:
        return chroma ? chroma + 2 * B + 1 : nullptr;
    default:
        throw std::logic_error("Invalid TYPE");
    }
}

}  // namespace Hpcp
