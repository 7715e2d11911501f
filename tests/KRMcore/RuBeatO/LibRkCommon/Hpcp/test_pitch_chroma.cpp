#include "Hpcp/JointHpcp.h"
#include "Hpcp/PitchNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace Hpcp;

TEST(PitchNames, NoteNumberFromName)
{
    const struct {
        const char* name;
        int note;
    } cases[] = {
        {"C0", 24},
        {"A3", 69},
        {"C-2", 0},
        {"B8", 131},
        {"C3", 60},
        {"Db0", 25},
        {"Bb-1", 22},
        {"Gb4", 78},
        {"E-2", 4},
        // exact spelling only: case, sharps, blanks and names outside the table
        {"c0", -1},
        {"C#0", -1},
        {"C0 ", -1},
        {" C0", -1},
        {"", -1},
        {"C9", -1},
        {"C-3", -1},
        {"Cb0", -1},
        {"A", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(noteNumberFromName(c.name), c.note) << '"' << c.name << '"';
}

TEST(PitchNames, NoteToFrequency)
{
    const struct {
        float note, reference, hz;
    } cases[] = {
        {69, 440, 440.0f},     {81, 440, 880.0f}, {57, 440, 220.0f},        {24, 440, 32.703194f},
        {95, 440, 1975.5334f}, {69, 442, 442.0f}, {69.5f, 440, 452.89298f},
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(noteToFrequency(c.note, c.reference), c.hz) << c.note;
}

namespace {

constexpr double kNorm = 2.5059929 * 12.0;  // sqrt(2 pi) * width, as folded

struct Joint {
    std::vector<double> v = std::vector<double>(24, -7.0);
    double trebleSum = -1.0, bassSum = -1.0;
    const double* bass() const { return v.data(); }
    const double* treble() const { return v.data() + 12; }
};

Joint joint(const std::vector<double>& semitones, bool normalise)
{
    Joint j;
    appendJointHpcp(j.v.data(), &j.trebleSum, &j.bassSum, semitones.data(), 6, 12,
                    static_cast<int>(semitones.size()), normalise);
    return j;
}

}  // namespace

TEST(JointHpcp, SingleSemitoneFoldsWithBassAndTrebleWeights)
{
    std::vector<double> s(72, 0.0);
    s[12] = 1.0;
    const Joint raw = joint(s, false);
    EXPECT_NEAR(raw.bass()[0], 1.0 / kNorm, 1e-9);
    EXPECT_NEAR(raw.treble()[0], std::exp(-4.5) / kNorm, 1e-9);
    for (int p = 1; p < 12; ++p) {
        EXPECT_EQ(raw.bass()[p], 0.0);
        EXPECT_EQ(raw.treble()[p], 0.0);
    }
    EXPECT_NEAR(raw.bassSum, 1.0 / kNorm, 1e-9);
    EXPECT_NEAR(raw.trebleSum, std::exp(-4.5) / kNorm, 1e-9);

    // Normalised: zero mean and a length just below 1; the sums stay raw.
    const Joint norm = joint(s, true);
    for (const double* c : {norm.bass(), norm.treble()}) {
        double sum = 0.0, sq = 0.0;
        for (int p = 0; p < 12; ++p) {
            sum += c[p];
            sq += c[p] * c[p];
        }
        EXPECT_NEAR(sum, 0.0, 1e-12);
        EXPECT_LT(sq, 1.0);
        EXPECT_GT(sq, 0.999);  // the epsilon weighs in for the faint treble
        EXPECT_GT(c[0], 0.0);
        EXPECT_LT(c[1], 0.0);
    }
    EXPECT_EQ(norm.bassSum, raw.bassSum);
    EXPECT_EQ(norm.trebleSum, raw.trebleSum);
}

TEST(JointHpcp, OctavesFoldIntoOnePitchClassWithTheirOwnWeights)
{
    // D at index 2 + 12 (note 38) and 2 + 48 (note 74).
    std::vector<double> s(72, 0.0);
    s[14] = 2.0;
    s[50] = 3.0;
    const Joint j = joint(s, false);
    const auto g = [](double i, double centre) {
        const double z = (i - centre) / 12.0;
        return std::exp(-0.5 * z * z) / kNorm;
    };
    EXPECT_NEAR(j.bass()[2], 2.0 * g(14, 12) + 3.0 * g(50, 12), 1e-9);
    EXPECT_NEAR(j.treble()[2], 2.0 * g(14, 48) + 3.0 * g(50, 48), 1e-9);
    EXPECT_GT(j.treble()[2], j.bass()[2]);
}

TEST(JointHpcp, ZeroAndConstantVectorsStayZeroAfterNormalising)
{
    const Joint zero = joint(std::vector<double>(72, 0.0), true);
    for (double x : zero.v)
        EXPECT_EQ(x, 0.0);
    EXPECT_EQ(zero.bassSum, 0.0);
    EXPECT_EQ(zero.trebleSum, 0.0);

    std::vector<double> constant(12, 0.37);
    removeMean(constant.data(), 12);
    for (double x : constant)
        EXPECT_NEAR(x, 0.0, 1e-9);
}

TEST(JointHpcp, FoldReadsOnlyWhatItIsGiven)
{
    // A short semitone vector counts as zeros beyond its length, and a
    // width of 0 folds with weight 1.
    std::vector<double> padded(72, 0.0);
    std::fill(padded.begin(), padded.begin() + 20, 1.0);
    EXPECT_EQ(joint(std::vector<double>(20, 1.0), false).v, joint(padded, false).v);

    std::vector<double> out(12, 5.0);
    std::vector<double> in(24);
    for (int i = 0; i < 24; ++i)
        in[i] = i;
    foldChroma(out.data(), in.data(), 12, 2, 0.0, 0.0);
    for (int p = 0; p < 12; ++p)
        EXPECT_DOUBLE_EQ(out[p], p + (p + 12.0));
}
