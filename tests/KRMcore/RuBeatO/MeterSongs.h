#pragma once
// Drum hits and short songs in 4/4, 3/4 and 6/8 for the analysis tests,
// with their truth: a bar is a row of equal steps (eighth notes), and each
// step says which instruments play. The meters differ only in how the
// steps group: 3/4 accents every second eighth (bass on one, chord hits on
// two and three), 6/8 every third (bass and chords on one and four).
// Header-only; samples are floats at 44100 Hz, stereo with the drums a
// little to the sides.
#include "Signals.h"

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace metersongs {

constexpr double kRate = 44100.0;

inline int64_t toSample(double seconds)
{
    return static_cast<int64_t>(std::ceil(seconds * kRate));
}

inline void growTo(std::vector<float>& x, int64_t n)
{
    if (static_cast<int64_t>(x.size()) < n)
        x.resize(static_cast<size_t>(n), 0.0f);
}

// A bass-drum hit at `at`: a sine falling from about 140 Hz to 50 Hz that
// dies away within a quarter second.
inline void addKick(std::vector<float>& x, int64_t at, float amp = 0.7f)
{
    const int64_t n = toSample(0.25);
    growTo(x, at + n);
    double phase = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += 2.0 * M_PI * (50.0 + 90.0 * std::exp(-t / 0.03)) / kRate;
        x[static_cast<size_t>(at + i)] += static_cast<float>(amp * std::exp(-t / 0.09) * std::sin(phase));
    }
}

// A burst of noise with an exponential decay (a snare without `bright`, a
// hi-hat with it: the noise then differentiated, so mostly highs).
inline void addNoiseHit(std::vector<float>& x, int64_t at, double decay, float amp, bool bright,
                        std::mt19937& rng)
{
    const int64_t n = toSample(6.0 * decay);
    growTo(x, at + n);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    float previous = 0.0f;
    for (int64_t i = 0; i < n; ++i) {
        const float w = u(rng);
        const float v = bright ? 0.5f * (w - previous) : w;
        previous = w;
        x[static_cast<size_t>(at + i)] +=
            static_cast<float>(amp * std::exp(-static_cast<double>(i) / kRate / decay)) * v;
    }
}

// One step of a bar.
struct Step {
    bool kick = false;
    bool snare = false;
    float hat = 0.0f;  // hi-hat level, 0 for none
    int bass = -1;     // semitones above the chord root, -1 for none
    bool chord = false;
};

struct Meter {
    std::string name;
    int beatsPerBar;  // as the time signature reads
    int beatUnit;
    std::vector<Step> steps;  // one bar of eighth notes
    int stepsPerBeat;         // eighths per counted beat (2 simple, 3 compound)
};

inline Meter fourFour()
{
    Meter m {"4/4", 4, 4, std::vector<Step>(8), 2};
    for (int s = 0; s < 8; ++s)
        m.steps[static_cast<size_t>(s)].hat = s % 2 == 0 ? 0.16f : 0.08f;
    m.steps[0].kick = m.steps[4].kick = true;
    m.steps[2].snare = m.steps[6].snare = true;
    m.steps[0].bass = 0;
    m.steps[4].bass = 7;
    m.steps[0].chord = m.steps[3].chord = m.steps[6].chord = true;
    return m;
}

inline Meter threeFour()
{
    // Oom-pah-pah: the bass on one, chord hits on two and three, the hi-hat
    // on the quarters only.
    Meter m {"3/4", 3, 4, std::vector<Step>(6), 2};
    m.steps[0].hat = m.steps[2].hat = m.steps[4].hat = 0.12f;
    m.steps[0].kick = true;
    m.steps[2].snare = m.steps[4].snare = true;
    m.steps[0].bass = 0;
    m.steps[2].chord = m.steps[4].chord = true;
    return m;
}

inline Meter sixEight()
{
    // Two groups of three eighths: bass and chord on one and four, the
    // hi-hat on every eighth, louder on the group starts.
    Meter m {"6/8", 6, 8, std::vector<Step>(6), 3};
    for (int s = 0; s < 6; ++s)
        m.steps[static_cast<size_t>(s)].hat = s % 3 == 0 ? 0.16f : 0.06f;
    m.steps[0].kick = true;
    m.steps[3].snare = true;
    m.steps[0].bass = 0;
    m.steps[3].bass = 7;
    m.steps[0].chord = m.steps[3].chord = true;
    return m;
}

struct Song {
    std::vector<float> left, right;
    std::vector<int64_t> beats;      // every counted beat
    std::vector<int64_t> downbeats;  // every bar's first beat
    std::vector<int64_t> onsets;     // every step that sounds
};

// `bars` bars of `meter` with `stepSeconds` per eighth note, over a chord
// progression of one chord a bar (I IV V I vi IV V I in C).
inline Song render(const Meter& meter, double stepSeconds, int bars, unsigned seed = 3)
{
    static const int kRoots[8] = {0, 5, 7, 0, 9, 5, 7, 0};
    static const bool kMinor[8] = {false, false, false, false, true, false, false, false};
    Song song;
    std::mt19937 rng(seed);
    std::vector<float> centre, left, right;
    const int steps = static_cast<int>(meter.steps.size());
    for (int bar = 0; bar < bars; ++bar) {
        const int root = kRoots[bar % 8];
        const bool minor = kMinor[bar % 8];
        // A soft pad holds the chord through the bar.
        const double barStart = bar * steps * stepSeconds;
        testsig::mixInto(centre, testsig::triadWithBass(60 + root, minor, steps * stepSeconds, 0.05f), 1.0f,
                         toSample(barStart));
        song.downbeats.push_back(toSample(barStart));
        for (int s = 0; s < steps; ++s) {
            const Step& st = meter.steps[static_cast<size_t>(s)];
            const int64_t at = toSample(barStart + s * stepSeconds);
            if (s % meter.stepsPerBeat == 0)
                song.beats.push_back(at);
            bool sounds = st.hat > 0.0f;
            if (st.kick)
                addKick(centre, at);
            if (st.snare) {
                std::vector<float> hit;
                addNoiseHit(hit, 0, 0.04, 0.3f, false, rng);
                testsig::mixInto(left, hit, 0.8f, at);
                testsig::mixInto(right, hit, 0.5f, at);
            }
            if (st.hat > 0.0f) {
                std::vector<float> hit;
                addNoiseHit(hit, 0, 0.012, st.hat, true, rng);
                testsig::mixInto(right, hit, 1.0f, at);
                testsig::mixInto(left, hit, 0.3f, at);
            }
            if (st.bass >= 0) {
                const double hz = 440.0 * std::pow(2.0, (36 + root + st.bass - 69) / 12.0);
                testsig::mixInto(centre, testsig::harmonicTone(hz, 1.5 * stepSeconds, 6, 0.3f), 1.0f, at);
                sounds = true;
            }
            if (st.chord) {
                for (int n : {0, minor ? 3 : 4, 7}) {
                    const double hz = 440.0 * std::pow(2.0, (60 + root + n - 69) / 12.0);
                    testsig::mixInto(left, testsig::harmonicTone(hz, 0.6 * stepSeconds, 8, 0.07f), 1.0f, at);
                }
                sounds = true;
            }
            if (sounds || st.kick || st.snare)
                song.onsets.push_back(at);
        }
    }
    const int64_t length = toSample(bars * steps * stepSeconds + 1.0);
    for (std::vector<float>* x : {&centre, &left, &right})
        growTo(*x, length);
    song.left = left;
    song.right = right;
    testsig::mixInto(song.left, centre);
    testsig::mixInto(song.right, centre);
    song.left.resize(static_cast<size_t>(length));
    song.right.resize(static_cast<size_t>(length));
    const float p = std::max(testsig::peak(song.left), testsig::peak(song.right));
    if (p > 0.95f) {
        for (float& v : song.left)
            v *= 0.95f / p;
        for (float& v : song.right)
            v *= 0.95f / p;
    }
    return song;
}

}  // namespace metersongs
