#include "Tempo/CombFilterBank.h"
#include "Tempo/RingIndex.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<float> energies(const CombFilterBank& bank)
{
    std::vector<float> out;
    bank.normalizedEnergies(out);
    return out;
}

void feed(CombFilterBank& bank, float x, int frames)
{
    for (int i = 0; i < frames; ++i)
        bank.update(x);
}

}  // namespace

TEST(RingIndex, WrapsAndOffsetsIntoRange)
{
    RingIndex ring(5);
    EXPECT_EQ(ring.offset(-1), 4);
    EXPECT_EQ(ring.offset(7), 2);
    EXPECT_EQ(ring.offset(-12), 3);
    EXPECT_EQ(ring.offset(0), 0);

    EXPECT_EQ(ring.postIncrement(), 0);
    EXPECT_EQ(ring.position(), 1);
    EXPECT_EQ(ring.increment().position(), 2);
    ring.increment().increment().increment();
    EXPECT_EQ(ring.position(), 0);  // five advances in all
    EXPECT_EQ(ring.offset(-1), 4);
}

TEST(CombFilterBank, CoefficientsFollowTheHalfLife)
{
    CombFilterBank bank(4, 1.0f);
    EXPECT_FLOAT_EQ(bank.coefficient(0).first, 1.0f);
    EXPECT_FLOAT_EQ(bank.coefficient(0).second, 0.0f);
    EXPECT_FLOAT_EQ(bank.normOffset(0), 0.0f);
    EXPECT_FLOAT_EQ(bank.coefficient(1).first, 0.5f);
    EXPECT_FLOAT_EQ(bank.coefficient(1).second, 0.5f);
    EXPECT_FLOAT_EQ(bank.coefficient(2).first, 0.25f);
    EXPECT_FLOAT_EQ(bank.coefficient(3).first, 0.125f);
    EXPECT_FLOAT_EQ(bank.normOffset(1), 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(bank.normOffset(2), 0.6f);

    CombFilterBank slow(9, 4.0f);
    EXPECT_FLOAT_EQ(slow.coefficient(4).first, 0.5f);
    EXPECT_FLOAT_EQ(slow.coefficient(8).first, 0.25f);
}

TEST(CombFilterBank, FirstUpdateOnEmptyBank)
{
    // half_time 1: y[k] = b_k, e = b_1^2 and out[k] = (b_k^2/(k b_1^2) - c_k)/(1 - c_k).
    CombFilterBank bank(4, 1.0f);
    bank.update(1.0f);
    const std::vector<float> out = energies(bank);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_NEAR(out[1], 1.0f, 1e-6);
    EXPECT_NEAR(out[2], 1.3125f, 1e-5);
    EXPECT_NEAR(out[3], 1.09375f, 1e-5);
}

TEST(CombFilterBank, ConstantInputConvergesToOneAtEveryPeriod)
{
    CombFilterBank bank(12, 3.0f);
    feed(bank, 1.0f, 3000);
    const std::vector<float> out = energies(bank);
    ASSERT_EQ(out.size(), 12u);
    EXPECT_EQ(out[0], 0.0f);
    for (int k = 1; k < 12; ++k)
        EXPECT_NEAR(out[k], 1.0f, 1e-3) << "period " << k;
}

TEST(CombFilterBank, ImpulseTrainResonatesAtItsPeriodAndMultiples)
{
    CombFilterBank bank(16, 8.0f);
    for (int t = 0; t < 600; ++t)
        bank.update(t % 5 == 0 ? 1.0f : 0.0f);
    const std::vector<float> out = energies(bank);
    for (int k = 1; k < 16; ++k) {
        if (k == 5 || k == 10 || k == 15)
            continue;
        EXPECT_GT(out[5], out[k] + 1.0f) << "period " << k;
        EXPECT_GT(out[10], out[k] + 1.0f) << "period " << k;
    }
}

TEST(CombFilterBank, SinglePeriodBankHasOnlyThePlaceholder)
{
    CombFilterBank bank(1, 2.0f);
    feed(bank, 3.0f, 4);
    std::vector<float> out(7, 5.0f);
    bank.normalizedEnergies(out);
    EXPECT_EQ(out, std::vector<float> {0.0f});
}

TEST(CombFilterBank, RejectsBadArguments)
{
    struct Case {
        int nPeriod;
        float halfTime;
        const char* message;
    };
    const Case cases[] = {
        {0, 1.0f, "nPeriod must be positive."},     {-3, 1.0f, "nPeriod must be positive."},
        {0, 0.0f, "nPeriod must be positive."},     {10, 0.0f, "half_time must be positive."},
        {10, -2.0f, "half_time must be positive."},
    };
    for (const Case& c : cases) {
        try {
            CombFilterBank bank(c.nPeriod, c.halfTime);
            ADD_FAILURE() << "no exception for " << c.nPeriod << ", " << c.halfTime;
        } catch (const std::domain_error& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST(CombFilterBank, RejectedReinitialisationKeepsTheBank)
{
    CombFilterBank bank(8, 2.0f);
    feed(bank, 1.0f, 7);
    const std::vector<float> before = energies(bank);

    EXPECT_THROW(bank.initialize(0, 1.0f), std::domain_error);
    EXPECT_THROW(bank.initialize(8, 0.0f), std::domain_error);
    EXPECT_EQ(bank.nPeriod(), 8);
    EXPECT_EQ(energies(bank), before);

    feed(bank, 1.0f, 2000);
    const std::vector<float> after = energies(bank);
    for (int k = 1; k < 8; ++k)
        EXPECT_NEAR(after[k], 1.0f, 1e-3);
}

TEST(CombFilterBank, ReinitialisationActsLikeAFreshBank)
{
    // Shrinking used to keep the larger ring, whose rows lay beyond the new
    // history; growing kept the smaller one and fed back the wrong frames.
    for (const int n : {4, 10, 20}) {
        CombFilterBank bank(10, 2.0f);
        feed(bank, 0.5f, 13);
        bank.initialize(n, 8.0f);
        CombFilterBank fresh(n, 8.0f);
        EXPECT_EQ(bank.nPeriod(), n);
        EXPECT_EQ(bank.ring().size(), n);

        for (int t = 0; t < 200; ++t) {
            const float x = t % 3 == 0 ? 1.0f : 0.1f;
            bank.update(x);
            fresh.update(x);
            ASSERT_EQ(energies(bank), energies(fresh)) << "size " << n << " frame " << t;
        }
    }
}
