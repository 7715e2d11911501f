#pragma once
// Songs played by a small band of our own making, for judging the beat,
// meter, chord, section and onset analysis on something that sounds like
// music rather than a click track: drums with grooves that change from
// part to part and a fill before each new part, a bass note on most beats
// (root, fifth, octave and approach notes), comping keys, a pad in the
// quiet parts, a lead line in the choruses and a held last chord; then
// humanised timing, optional swing, tempo drift and a pickup before the
// first bar, a room reverb, a compressor on the mix and a noise floor.
//
// The truth comes with the rendered song (testsig::Song): every beat, the
// first beat of every bar, the onsets (note starts within 30 ms of each
// other count as one), the start of every part and the chord of every
// beat (root -1 on pickup beats, which have no chord of their own).
// Rendering is deterministic for a given spec.
#include "Signals.h"

#include <string>
#include <vector>

namespace testsig {

struct BandChord {
    int root = 0;  // pitch class 0..11
    bool minor = false;
    bool seventh = false;
};

struct BandPart {
    std::string name;
    int bars = 8;
    std::vector<BandChord> chords {{}};  // one per bar, cycled
    // 0 quiet (no drums but a soft hat, held pad), 1 verse, 2 chorus
    // (busier drums and bass, lead line).
    int energy = 1;
    bool fill = true;  // a drum fill in the part's last bar
};

struct BandSong {
    double bpm = 120.0;         // beats per minute; in 6/8 the dotted quarter
    int beatsPerBar = 4;        // beats of the bar; 6/8 is 2 compound beats
    bool compound = false;      // each beat holds three eighths instead of two
    double driftPercent = 0.0;  // linear tempo change over the song
    double swing = 0.0;         // delay of the off-beat eighth, fraction of a beat
    double humaniseMs = 6.0;    // spread of every note's timing
    int pickupBeats = 0;        // beats played before the first bar
    double reverb = 0.15;       // wet share of the room
    double noiseDb = -60.0;     // noise floor below full scale
    unsigned seed = 1;
    double leadInSeconds = 0.25;
    double holdSeconds = 3.0;  // the last chord rings this long
    std::vector<BandPart> parts;

    int meterNumerator() const { return compound ? 3 * beatsPerBar : beatsPerBar; }
    int meterDenominator() const { return compound ? 8 : 4; }
};

Song makeBandSong(const BandSong& spec);

}  // namespace testsig
