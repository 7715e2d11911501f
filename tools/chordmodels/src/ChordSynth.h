#pragma once
// A small band synthesiser for chord material with known harmony: chord
// instruments of several timbres with varied voicings and inversions, a
// bass line, a lead line with passing notes, drums, background noise and
// room reverb. Used to fit the chord models and to test the chord pipeline
// on music whose chords and beats are known. Output is mono at 44100 Hz.
#include <cstdint>
#include <vector>

namespace chordsynth {

constexpr double kSampleRate = 44100.0;

enum class Timbre { Piano, Organ, Strings, Guitar, ElectricPiano, Brass };
constexpr int kTimbreCount = 6;

// One stretch of constant harmony. Pitch classes count from C.
struct ChordSpan {
    double start = 0.0;  // seconds
    double end = 0.0;
    int root = 0;
    std::vector<int> intervals;  // semitones above the root; empty: no chord
    int bass = -1;               // bass pitch class; -1: no bass note
};

// One chord of a progression, lasting whole beats.
struct ProgressionStep {
    int root = 0;
    std::vector<int> intervals;
    int bass = -1;  // -1: the root
    int beats = 4;
};

struct Arrangement {
    double tempo = 120.0;  // beats per minute
    int beatsPerBar = 4;
    Timbre comp = Timbre::Piano;  // the chord instrument
    bool pad = false;             // a sustained second chord layer
    Timbre padTimbre = Timbre::Strings;
    bool bass = true;
    double chordGain = 0.2;  // per chord note
    double bassGain = 0.32;
    bool brightBass = false;  // all harmonics to the eighth at 1/k
    bool drums = true;
    bool melody = true;
    double noiseDb = -40.0;    // background noise relative to the music's RMS
    double reverb = 0.15;      // wet share, 0 to 1
    double tuningCents = 0.0;  // whole-band offset from A = 440 Hz
    double lead = 0.5;         // seconds of silence before the first beat
    uint64_t seed = 1;
};

struct Song {
    std::vector<float> samples;
    std::vector<double> beatTimes;  // seconds, one per beat of the progression
    std::vector<ChordSpan> chords;
};

// Renders the chords over `length` seconds.
std::vector<float> render(const std::vector<ChordSpan>& chords, const std::vector<double>& beatTimes,
                          double length, const Arrangement& arrangement);

// Lays the progression on a beat grid from arrangement.lead on and renders
// it with a bar of tail.
Song renderProgression(const std::vector<ProgressionStep>& steps, const Arrangement& arrangement);

}  // namespace chordsynth
