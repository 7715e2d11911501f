#include "ChordSteps.h"

#include <gtest/gtest.h>

#include <random>

using namespace tavi;

namespace {

struct Chord {
    int root, type, bass;
};

ChordReport entry(int beat, Chord c)
{
    return ChordReport {beat, c.root, c.type, c.bass, 0};
}

// Score of a bass path straight from its definition.
double pathScore(const std::vector<BassBeat>& beats, const std::vector<int>& path, int beatsPerBar)
{
    const double stayWeights[4] = {0.5, 0.99, 0.7, 0.99};
    double s = 0.0;
    for (size_t j = 0; j < beats.size(); ++j) {
        const int p = path[j];
        s += beats[j].chroma[p] + 0.2 * beats[j].chroma[(p + 11) % 12];
        if (j == 0)
            continue;
        const double w = stayWeights[beats[j].barPosition % beatsPerBar];
        const bool change =
            beats[j].root != beats[j - 1].root || beats[j].chordClass != beats[j - 1].chordClass;
        s += path[j - 1] == p ? (change ? 0.1 : w) : 1.0 - w;
    }
    return s;
}

std::vector<int> bruteForceBass(const std::vector<BassBeat>& beats, int beatsPerBar)
{
    const size_t n = beats.size();
    std::vector<int> path(n, 0), best;
    double bestScore = -1e300;
    for (;;) {
        const double s = pathScore(beats, path, beatsPerBar);
        if (s > bestScore) {
            bestScore = s;
            best = path;
        }
        size_t i = 0;
        while (i < n && ++path[i] == 12)
            path[i++] = 0;
        if (i == n)
            return best;
    }
}

}  // namespace

TEST(ChordSteps, MiddleOfThreeBeatsIsSettledAndReported)
{
    struct Case {
        const char* what;
        Chord first, middle, newest;
        float strength;  // of the newest beat
        bool reported;
        Chord report;
    };
    const Case cases[] = {
        {"bass a semitone above the root", {0, 0, 0}, {2, 0, 3}, {5, 0, 5}, 2.0f, true, {2, 0, 2}},
        {"bass a semitone below the root", {0, 0, 0}, {2, 0, 1}, {5, 0, 5}, 2.0f, true, {2, 0, 2}},
        {"bass at +8 becomes the fifth", {0, 0, 0}, {2, 0, 10}, {5, 0, 5}, 2.0f, true, {2, 0, 9}},
        {"bass at +6 becomes the fifth", {0, 0, 0}, {2, 0, 8}, {5, 0, 5}, 2.0f, true, {2, 0, 9}},
        {"equal outer basses pass to the middle", {0, 0, 0}, {5, 0, 5}, {7, 0, 0}, 2.0f, true, {5, 0, 0}},
        {"held bass of the first moves to the newest",
         {0, 0, 0},
         {7, 0, 0},
         {7, 0, 7},
         2.0f,
         true,
         {7, 0, 7}},
        {"early bass of the newest moves to the first",
         {7, 19, 7},
         {7, 0, 0},
         {0, 0, 0},
         2.0f,
         true,
         {7, 0, 7}},
        {"no change", {0, 0, 0}, {0, 0, 0}, {5, 0, 5}, 2.0f, false, {}},
        {"type change alone", {0, 8, 0}, {0, 10, 0}, {0, 10, 0}, 2.0f, true, {0, 10, 0}},
        {"quiet beat after a report", {0, 0, 0}, {5, 0, 5}, {5, 0, 5}, 1.5f, false, {}},
        {"just above quiet", {0, 0, 0}, {5, 0, 5}, {5, 0, 5}, 1.51f, true, {5, 0, 5}},
    };
    for (const Case& k : cases) {
        ChordHistory h;
        ChordReport out;
        ASSERT_TRUE(h.push(entry(0, k.first), 0.0f, out)) << "the first beat is always reported";
        EXPECT_FALSE(h.push(entry(1, k.middle), 2.0f, out)) << k.what;
        const bool reported = h.push(entry(2, k.newest), k.strength, out);
        EXPECT_EQ(reported, k.reported) << k.what;
        if (reported && k.reported) {
            EXPECT_EQ(out.beat, 1) << k.what;
            EXPECT_EQ(out.root, k.report.root) << k.what;
            EXPECT_EQ(out.chordType, k.report.type) << k.what;
            EXPECT_EQ(out.bass, k.report.bass) << k.what;
        }
        EXPECT_EQ(h.entries().size(), 2u) << "two entries wait between beats";
    }
}

TEST(ChordSteps, SeventhsComingAndGoingKeepTheType)
{
    struct Case {
        int previousRoot, previousType, root, type, expected;
    };
    const Case cases[] = {
        {0, 2, 0, 0, 2},   {0, 0, 0, 2, 0},  {0, 19, 0, 0, 19}, {0, 0, 0, 19, 0},
        {3, 10, 3, 8, 10}, {3, 8, 3, 10, 8}, {0, 2, 5, 0, 0},  // the root moved
        {0, 2, 0, 19, 19},                                     // not one of the pairs
        {-1, -1, 0, 0, 0},                                     // nothing before
    };
    for (const Case& k : cases)
        EXPECT_EQ(keptChordType(k.previousRoot, k.previousType, k.root, k.type), k.expected)
            << k.previousRoot << " " << k.previousType << " -> " << k.root << " " << k.type;
}

TEST(ChordSteps, ChangesAreReportedOneBeatLateAndTheLastNever)
{
    const Chord a {0, 0, 0}, b {7, 0, 7};
    struct Case {
        std::vector<Chord> beats;
        std::vector<int> reportedBeats;
    };
    const Case cases[] = {
        {{a, a, b, a, a, a}, {0, 2, 3}},  // a one-beat chord between equal chords
        {{a, a, a, b}, {0}},              // a change on the last beat
        {{a, a, b}, {0}},                 // ... or on the one before
        {{a}, {0}},
    };
    for (const Case& k : cases) {
        ChordHistory h;
        std::vector<int> got;
        for (size_t i = 0; i < k.beats.size(); ++i) {
            ChordReport out;
            if (h.push(entry(static_cast<int>(i), k.beats[i]), 2.0f, out))
                got.push_back(out.beat);
        }
        EXPECT_EQ(got, k.reportedBeats) << k.beats.size() << " beats";
    }
}

TEST(ChordSteps, BassPathIsTheBestByBruteForce)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 12; ++trial) {
        const int beatsPerBar = trial % 2 ? 3 : 4;
        std::vector<BassBeat> beats(4);
        for (size_t j = 0; j < beats.size(); ++j) {
            for (double& v : beats[j].chroma)
                v = u(rng) * u(rng);
            beats[j].root = static_cast<int>(u(rng) * 2);  // roots change now and then
            beats[j].chordClass = trial % 3 == 0 ? 1 : 0;
            beats[j].barPosition = static_cast<int>(j + trial) % beatsPerBar;
        }
        EXPECT_EQ(trackBass(beats, beatsPerBar), bruteForceBass(beats, beatsPerBar)) << "trial " << trial;
    }
}

TEST(ChordSteps, BassTiesGoToTheLowerPitchClassAndBarsAreAtMostFourBeats)
{
    std::vector<BassBeat> beats(3);
    EXPECT_EQ(trackBass(beats, 4), (std::vector<int> {0, 0, 0})) << "all silent";
    beats[1].chroma[5] = 1.0;
    beats[1].chroma[3] = 1.0;
    // Pitch classes 3 and 5 score the same on the middle beat.
    EXPECT_EQ(trackBass(beats, 4)[1], 3);
    EXPECT_TRUE(trackBass({}, 2).empty());
    EXPECT_THROW(trackBass(beats, 5), std::invalid_argument);
}
