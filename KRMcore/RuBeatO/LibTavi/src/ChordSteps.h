#pragma once
// The per-beat decisions of the chord recogniser after the chord model has
// decoded its states: which bass note sounds (a Viterbi search over the
// twelve pitch classes) and which chords are reported (a three-beat
// history that settles bass notes and reports each change one beat late).
#include <array>
#include <vector>

namespace tavi {

// One beat of the decoded path as the bass search sees it.
struct BassBeat {
    std::array<double, 12> chroma;  // the beat's bass chroma
    int root = 0;                   // decoded chord root
    int chordClass = 0;             // decoded chord class
    int barPosition = 0;            // 0 .. beats per bar - 1
};

// The bass pitch class of every beat. A pitch class p scores
// chroma[p] + 0.2 chroma[(p + 11) mod 12]; staying on the same bass adds the stay
// weight of the bar position (0.5, 0.99, 0.7, 0.99), or 0.1 when the
// decoded root or class changes at that beat, and changing adds one minus
// the stay weight. beatsPerBar is 1 to 4. Ties go to the lower pitch class.
std::vector<int> trackBass(const std::vector<BassBeat>& beats, int beatsPerBar);

// A reported chord, or one entry of the history.
struct ChordReport {
    int beat = 0;
    int root = 0;
    int chordType = 0;  // chord type id
    int bass = 0;
    int reserved = 0;
};

// The chord type to report for a beat whose decoded type is `chordType`:
// the previous beat's type when the root stays and the two types are
// major and major seventh, major and dominant seventh, or minor and minor
// seventh (ids 0 and 2, 0 and 19, 8 and 10), so a seventh that comes and
// goes within a chord does not count as a change.
int keptChordType(int previousRoot, int previousType, int root, int chordType);

// The chord history of the beats so far. Each beat appends its chord; with
// three entries the middle one is settled against its neighbours and
// reported when it differs from the first, then the first is dropped. The
// very first beat is reported as soon as it arrives.
class ChordHistory {
public:
    // A beat with strength 1.5 or less (element 25 of its feature: the
    // treble energy) reports nothing once a chord has been reported.
    static constexpr float kQuietStrength = 1.5f;

    // Appends the beat's chord; returns true and fills `report` when a
    // chord is to be reported.
    bool push(const ChordReport& beat, float strength, ChordReport& report);

    bool anyReported() const { return m_reported; }
    const std::vector<ChordReport>& entries() const { return m_entries; }

private:
    static void settleMiddle(const ChordReport& first, ChordReport& middle, const ChordReport& newest);

    std::vector<ChordReport> m_entries;
    bool m_reported = false;
};

}  // namespace tavi
