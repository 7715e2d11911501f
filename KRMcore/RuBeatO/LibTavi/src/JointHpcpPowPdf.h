#pragma once
// Observation density of one chord class: independent von Mises-Fisher
// mixtures over the bass chroma (values 0..11 of a beat feature) and the
// treble chroma (values 12..23), both described on root pitch class 0.
#include "VonMisesFisher.h"

#include <array>
#include <istream>
#include <vector>

namespace tavi {

class JointHpcpPowPdf {
public:
    // Two one-component mixtures with a zero mean: every observation scores
    // the same until a text is read.
    JointHpcpPowPdf() = default;

    // Reads the bass mixture, then the treble mixture, from one text. A
    // malformed text leaves the stream failed and keeps what was read.
    void read(std::istream& in);

    // Bass mixture's log density of x[0..11] plus the treble mixture's of
    // x[12..23]; further values are ignored. Throws std::invalid_argument
    // for fewer than 24 values. Not for concurrent use: it records each
    // mixture's winning component.
    double logDensity(const std::vector<double>& x);

    const VonMisesFisherMixture& bass() const { return m_bass; }
    const VonMisesFisherMixture& treble() const { return m_treble; }

private:
    VonMisesFisherMixture m_bass;
    VonMisesFisherMixture m_treble;
    std::array<double, kChromaSize> m_bassPart {};
    std::array<double, kChromaSize> m_treblePart {};
};

}  // namespace tavi
