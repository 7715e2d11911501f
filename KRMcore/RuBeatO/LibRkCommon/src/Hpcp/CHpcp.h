#pragma once

#include "Hpcp/HpcpParams.h"

#include <memory>
#include <string>

namespace Hpcp {

class FFTSemitone;
class ISemitonePower;

// Semitone spectrum and chroma of one analysis run: configures its semitone
// engine once, then turns frame after frame into semitone powers that the
// caller reads through getBuffer/getDimension. Feature kinds (TYPE):
//   0 bass chroma, 1 treble chroma, 2 both, 3 semitone powers,
//   4 both chroma and the two sums, 5 bass sum, 6 treble sum,
//   7 octave count (dimension only).
class CHpcp {
public:
    // Throws std::invalid_argument for a sample rate, frame size or
    // oversample ratio the engine rejects, and std::runtime_error when the
    // engine cannot be created.
    CHpcp(int binsPerOctave, int octaves, float sampleRate, std::string lowestNoteName, float reservedValue,
          int frameSize, bool reservedFlag1, int reservedInt1, bool reservedFlag2, int oversampleRatio,
          int reservedInt2, bool reservedFlag3);
    virtual ~CHpcp();

    CHpcp(const CHpcp&) = delete;
    CHpcp& operator=(const CHpcp&) = delete;

    // Rebuilds the engine for new parameters. Returns 0, or 1 when the engine
    // or its arrays cannot be created (the object is then left released).
    int initialize(int binsPerOctave, int octaves, float sampleRate, const std::string& lowestNoteName,
                   float reservedValue, int frameSize, bool reservedFlag1, int reservedInt1,
                   bool reservedFlag2, int oversampleRatio, int reservedInt2, bool reservedFlag3,
                   float referenceFrequency = 440.0f);

    // One frame of frameSize samples into the semitone powers (TYPE 3).
    void processFrame(const float* signal, int length);

    // Frees the arrays and the engine; returns 0.
    int release();

    // Throw std::logic_error "Invalid TYPE" for an unknown kind, and
    // getBuffer also for TYPE 7.
    int getDimension(int type) const;
    float* getBuffer(int type) const;

    const HpcpParams& params() const { return m_params; }
    const ISemitonePower* engine() const;

private:
    int createSemitoneEngine();

    std::unique_ptr<float[]> m_semitones;  // copy of the engine's output
    std::unique_ptr<float[]> m_chroma;     // bass, treble, bass sum, treble sum
    std::unique_ptr<FFTSemitone> m_engine;
    HpcpParams m_params;
};

}  // namespace Hpcp
