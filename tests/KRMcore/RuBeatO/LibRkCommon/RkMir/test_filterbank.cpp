#include "RkMir/FilterBank.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using RkMir::FilterBank;

namespace {

TEST(FilterBank, WindowIsStoredOverItsPositiveSpan)
{
    struct Case {
        std::vector<float> w;
        int firstBin, count;
        std::vector<float> stored;
    };
    const Case cases[] = {
        {{0, 0.5f, 0, 0.7f, 0}, 1, 3, {0.5f, 0, 0.7f}},
        {{0, 0, 0, 0, 0}, 5, 0, {}},
        {{-1, 0.25f, -0.5f, 0, 0}, 1, 1, {0.25f}},
        {{1, 2, 3, 4, 5}, 0, 5, {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        FilterBank bank;
        bank.setWindow(0, c.w);
        ASSERT_EQ(bank.bands().size(), 1u);
        EXPECT_EQ(bank.bands()[0].firstBin, c.firstBin);
        EXPECT_EQ(bank.bands()[0].count, c.count);
        EXPECT_EQ(bank.bands()[0].weightOffset, 0);
        EXPECT_EQ(bank.weights(), c.stored);
        EXPECT_EQ(bank.windowLength(), 5);
    }
}

TEST(FilterBank, ApplyGrowsReinstallsAndEmptyBands)
{
    const float spectrum[6] = {1, 2, 3, 4, 5, 6};
    FilterBank bank;
    EXPECT_TRUE(bank.apply(spectrum).output().empty());

    // Installing index 5 first leaves bands 0..4 empty.
    bank.setWindow(5, {0, 0.5f, 0, 0.25f, 0, 0});
    ASSERT_EQ(bank.bands().size(), 6u);
    ASSERT_EQ(bank.output().size(), 6u);
    for (int b = 0; b < 5; ++b) {
        EXPECT_EQ(bank.bands()[b].firstBin, 0);
        EXPECT_EQ(bank.bands()[b].count, 0);
        EXPECT_EQ(bank.bands()[b].weightOffset, 0);
    }
    bank.setWindow(1, {0, 0, 0, 0, 0, 0});  // empty band at the end of the store
    bank.setWindow(2, {0, 0, 0, 0, 0, 2});  // last bin only
    bank.apply(spectrum);
    EXPECT_EQ(bank.output(), (std::vector<double> {0, 0, 12, 0, 0, 0.5 * 2 + 0.25 * 4}));

    // Reinstalling appends a new copy and the band uses it.
    const size_t before = bank.weights().size();
    bank.setWindow(5, {1, 1, 0, 0, 0, 0});
    EXPECT_EQ(bank.weights().size(), before + 2);
    EXPECT_EQ(bank.bands()[5].weightOffset, static_cast<int>(before));
    EXPECT_EQ(bank.apply(spectrum).output()[5], 3.0);
}

TEST(FilterBank, ErrorsNameTheProblem)
{
    FilterBank bank;
    try {
        bank.setWindow(-1, {1, 2});
        FAIL() << "no exception";
    } catch (const std::domain_error& e) {
        EXPECT_EQ(std::string(e.what()), "FilterBank::setWindow - index must be positive");
    }
    bank.setWindow(0, {1, 2, 3});
    try {
        bank.setWindow(1, {1, 2});
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()),
                  "FilterBank::setWindow - data size must be consistent across filter indices!");
    }
    EXPECT_EQ(bank.bands().size(), 1u);
}

}  // namespace
