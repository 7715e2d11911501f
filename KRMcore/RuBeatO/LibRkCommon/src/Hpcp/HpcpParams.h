#pragma once

namespace Hpcp {

// Parameters of the semitone spectrum, kept by CHpcp and read by the
// engine's configure(). The reserved values are carried along for the
// callers that pass them; no computation reads them.
struct HpcpParams {
    int binsPerOctave = 12;
    int octaves = 6;
    float sampleRate = 44100.0f;  // Hz
    int lowestNote = 24;          // note number; -1 for an unknown name
    float reservedValue = 0.0f;
    int frameSize = 0;  // samples per frame at sampleRate
    bool reservedFlag1 = false;
    bool reservedFlag2 = false;
    int reservedInt1 = 0;
    int oversampleRatio = 1;
    bool reservedFlags[4] = {false, true, true, false};
    float referenceFrequency = 440.0f;  // Hz of note 69
    int reservedInt2 = 0;
};

}  // namespace Hpcp
