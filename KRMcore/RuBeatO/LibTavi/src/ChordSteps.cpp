#include "ChordSteps.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace tavi {

namespace {

constexpr int kPitchClasses = 12;
constexpr double kLowerNeighbourShare = 0.2;
constexpr double kStayByBarPosition[4] = {0.5, 0.99, 0.7, 0.99};
constexpr double kStayAcrossChange = 0.1;
constexpr double kNoScore = -1e30;

int pitchClass(int p)
{
    return ((p % kPitchClasses) + kPitchClasses) % kPitchClasses;
}

bool samePair(int a, int b, int x, int y)
{
    return (a == x && b == y) || (a == y && b == x);
}

}  // namespace

std::vector<int> trackBass(const std::vector<BassBeat>& beats, int beatsPerBar)
{
    if (beatsPerBar < 1 || beatsPerBar > 4)
        throw std::invalid_argument("trackBass: " + std::to_string(beatsPerBar) +
                                    " beats per bar (the stay weights cover 1 to 4)");
    const size_t n = beats.size();
    std::vector<int> path(n, 0);
    if (n == 0)
        return path;

    auto observe = [](const BassBeat& b, int p) {
        return b.chroma[static_cast<size_t>(p)] +
               kLowerNeighbourShare * b.chroma[static_cast<size_t>(pitchClass(p + 11))];
    };
    std::array<double, kPitchClasses> score {};
    std::array<double, kPitchClasses> next {};
    std::vector<std::array<int, kPitchClasses>> from(n);
    for (int p = 0; p < kPitchClasses; ++p)
        score[static_cast<size_t>(p)] = observe(beats[0], p);

    for (size_t j = 1; j < n; ++j) {
        const BassBeat& b = beats[j];
        const double w = kStayByBarPosition[pitchClass(b.barPosition) % beatsPerBar];
        const bool changed = b.root != beats[j - 1].root || b.chordClass != beats[j - 1].chordClass;
        const double stay = changed ? kStayAcrossChange : w;
        const double move = 1.0 - w;
        for (int p = 0; p < kPitchClasses; ++p) {
            double best = kNoScore;
            int source = 0;
            for (int q = 0; q < kPitchClasses; ++q) {
                const double candidate = score[static_cast<size_t>(q)] + (q == p ? stay : move);
                if (candidate > best) {
                    best = candidate;
                    source = q;
                }
            }
            next[static_cast<size_t>(p)] = best + observe(b, p);
            from[j][static_cast<size_t>(p)] = source;
        }
        const double top = *std::max_element(next.begin(), next.end());
        for (int p = 0; p < kPitchClasses; ++p)
            score[static_cast<size_t>(p)] = next[static_cast<size_t>(p)] - top;
    }

    int last = static_cast<int>(std::max_element(score.begin(), score.end()) - score.begin());
    path[n - 1] = last;
    for (size_t j = n - 1; j > 0; --j) {
        last = from[j][static_cast<size_t>(last)];
        path[j - 1] = last;
    }
    return path;
}

int keptChordType(int previousRoot, int previousType, int root, int chordType)
{
    if (root != previousRoot)
        return chordType;
    if (samePair(previousType, chordType, 2, 0) || samePair(previousType, chordType, 19, 0) ||
        samePair(previousType, chordType, 10, 8))
        return previousType;
    return chordType;
}

// The middle bass follows its neighbours where the middle chord is really
// one of them with a passing bass, is pulled off a semitone or tritone
// clash with its root, and takes the bass that surrounds it.
void ChordHistory::settleMiddle(const ChordReport& first, ChordReport& middle, const ChordReport& newest)
{
    if (middle.bass == first.bass && middle.root != first.root && middle.root == newest.root &&
        middle.bass != newest.bass)
        middle.bass = newest.bass;
    if (middle.bass == newest.bass && middle.root != newest.root && middle.root == first.root &&
        middle.bass != first.bass)
        middle.bass = first.bass;
    if (middle.bass == pitchClass(middle.root + 1) || middle.bass == pitchClass(middle.root + 11))
        middle.bass = middle.root;
    if (middle.bass == pitchClass(middle.root + 8) || middle.bass == pitchClass(middle.root + 6))
        middle.bass = pitchClass(middle.root + 7);
    if (first.bass == newest.bass)
        middle.bass = first.bass;
}

bool ChordHistory::push(const ChordReport& beat, float strength, ChordReport& report)
{
    const bool allowed = !m_reported || strength > kQuietStrength;
    m_entries.push_back(beat);
    bool reporting = false;
    if (m_entries.size() == 1) {
        reporting = allowed;
        report = m_entries[0];
    } else if (m_entries.size() == 3) {
        const ChordReport& first = m_entries[0];
        ChordReport& middle = m_entries[1];
        settleMiddle(first, middle, m_entries[2]);
        reporting = allowed && (middle.root != first.root || middle.chordType != first.chordType ||
                                middle.bass != first.bass);
        report = middle;
        m_entries.erase(m_entries.begin());
    }
    if (reporting)
        m_reported = true;
    return reporting;
}

}  // namespace tavi
