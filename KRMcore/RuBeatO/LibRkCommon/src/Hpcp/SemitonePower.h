#pragma once

#include "Hpcp/HpcpParams.h"

#include <memory>

namespace Hpcp {

// A semitone engine: turns one frame of mono audio into one value per
// semitone of a range of notes. Entry s of the output belongs to note
// lowestNote() + s.
class ISemitonePower {
public:
    ISemitonePower() = default;
    virtual ~ISemitonePower();

    ISemitonePower(const ISemitonePower&) = delete;
    ISemitonePower& operator=(const ISemitonePower&) = delete;

    virtual void process(const float* signal, int length) = 0;
    // Sets the range binsPerOctave * octaves semitones from lowestNote and
    // allocates the output for it.
    virtual void configure(const HpcpParams& params);

    int lowestNote() const { return m_lowest; }
    int highestNote() const { return m_highest; }
    int count() const { return m_count; }
    const float* output() const { return m_output.get(); }

protected:
    // Takes the range lowest .. highest when lowest < highest (otherwise the
    // previous range stays) and allocates a zeroed output for the range.
    void allocateRange(int lowest, int highest);
    // lowest = params.lowestNote, highest = lowest + binsPerOctave * octaves - 1;
    // throws std::invalid_argument when that range does not fit an int.
    static void rangeOf(const HpcpParams& params, int& lowest, int& highest);

    int m_lowest = 0;
    int m_highest = 127;
    int m_count = 127;
    std::unique_ptr<float[]> m_output;
};

// Something that turns a magnitude spectrum into its own result.
class ISpectralMethod {
public:
    virtual ~ISpectralMethod();
    virtual void compute(const float* spectrum, int length) = 0;
};

}  // namespace Hpcp
