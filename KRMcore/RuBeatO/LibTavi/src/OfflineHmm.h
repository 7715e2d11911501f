#pragma once
// Chord decoder over whole recordings: finds, over every mode, key and bar
// phase, the best path of chord states (12 * class + root) through the
// beats, scoring each beat with its class's density on the beat feature
// rotated to each root.
//
// Lifecycle: build with the class count and beats per bar, give each class
// a density (setObservationPdf) and the transition counts (addTransition),
// then per pass: clear, addObservation per beat, optionally
// setFixedHypothesis, decode, and read pathState / chosenHypothesis.
#include "ITaviHmm.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace tavi {

// The beat feature seen from root r: chroma value i of each half becomes
// value (r + i) mod 12, so the chord on root r reads as a chord on root 0.
// Values from 24 on are copied. out gets the size of feature (at least 24).
void rotateBeatFeature(const std::vector<double>& feature, int root, std::vector<double>& out);

class OfflineHmm : public ITaviHmm {
public:
    static constexpr int kModes = 2;
    static constexpr int kKeys = 12;
    static constexpr int kRoots = 12;
    // Back-pointers are one byte per state, so at most 256 states.
    static constexpr int kMaxClasses = 21;

    // classes 1 to kMaxClasses, beatsPerBar at least 1; anything else
    // throws std::invalid_argument.
    OfflineHmm(int classes, int beatsPerBar);

    int setObservationPdf(int classIndex, boost::shared_ptr<JointHpcpPowPdf> pdf) override;
    // Self transitions are weighted by the beat position: with 3 beats per
    // bar by 1, 1000, 10; otherwise by 1, 1000, 10, 1000 (position mod 4).
    // The stored weight is ln(count), not normalised per source.
    int addTransition(int mode, int beatPosition, int from, int to, double count) override;
    int clear() override;

    // Appends one beat's feature: 24 or more values (bass chroma, treble
    // chroma, then the two sums, which are carried but not scored). Throws
    // std::invalid_argument for fewer than 24 values.
    void addObservation(const std::vector<double>& feature);

    // Fixes the mode (0..1), the phase (0..beats per bar - 1) and the key
    // (0..11) of the search; a negative value searches the whole range.
    // Throws std::invalid_argument for a value past its range.
    void setFixedHypothesis(int mode, int phase, int key);

    // Decodes the observations and returns the best path's score. No
    // observation gives an empty path and 0. Throws std::logic_error when a
    // class has no density.
    double decode();

    // Flat state of beat t: position + 12 C (barPosition + B (mode + 2 key)),
    // with the beat's bar position (phase - 1 + t) mod B.
    int pathState(int beat) const { return m_path.at(static_cast<size_t>(beat)); }
    int pathLength() const { return static_cast<int>(m_path.size()); }
    // Largest-mean index (relative to the root) of the winning bass
    // component of beat t's decoded state.
    int pathWinningIndex(int beat) const { return m_pathWinning.at(static_cast<size_t>(beat)); }
    void chosenHypothesis(int& mode, int& phase, int& key) const;

    int classCount() const { return m_classes; }
    int beatsPerBar() const { return m_beatsPerBar; }
    int observationCount() const { return static_cast<int>(m_observations.size()); }
    // Entries (source state, log weight) into `to` for (mode, beat position).
    const std::vector<std::pair<int, double>>& transitionsInto(int mode, int beatPosition, int to) const;

private:
    struct Scratch;

    int stateCount() const { return kRoots * m_classes; }
    void scoreObservations(std::vector<double>& obs);
    double decodeHypothesis(const std::vector<double>& obs, int mode, int phase, int key, Scratch& s) const;

    int m_classes;
    int m_beatsPerBar;
    std::vector<boost::shared_ptr<JointHpcpPowPdf>> m_pdfs;
    std::vector<std::vector<double>> m_observations;
    using Entries = std::vector<std::pair<int, double>>;  // (source state, log weight)
    using Table = std::vector<Entries>;                   // by target state
    std::vector<std::vector<Table>> m_transitions;        // [mode][beat position]
    int m_fixedMode = -1;
    int m_fixedPhase = -1;
    int m_fixedKey = -1;
    int m_mode = 0;
    int m_phase = 0;
    int m_key = 0;
    std::vector<int32_t> m_winning;  // states x beats, beat-major
    std::vector<int> m_path;
    std::vector<int> m_pathWinning;
};

}  // namespace tavi
