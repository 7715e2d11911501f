#include "Tempo/LogFrequencyFilterBank.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// fmin 1 Hz, fmax 16 Hz, 11 bands, 0.25 Hz per bin: bin k sits at band
// position 2.75*log2(k/4) - 0.5, so bin 4 is at -0.5, bin 8 at 2.25 and
// bin 16 exactly on band 5. Bins 4 .. 63 carry weight.
LogFrequencyFilterBank quarterHzBank()
{
    return LogFrequencyFilterBank(11, 80, 64, 16.0f, 1.0f, 16.0f);
}

// The bands' response to a unit value in one bin.
std::vector<float> response(const LogFrequencyFilterBank& bank, int bin)
{
    std::vector<float> spectrum(static_cast<size_t>(bank.nBins()), 0.0f);
    spectrum[static_cast<size_t>(bin)] = 1.0f;
    std::vector<float> out(static_cast<size_t>(bank.nBands()), -1.0f);
    bank.apply(out.data(), spectrum.data());
    return out;
}

}  // namespace

TEST(LogFrequencyFilterBank, SplitsEachBinBetweenNeighbouringBands)
{
    const LogFrequencyFilterBank bank = quarterHzBank();
    struct Case {
        int bin;
        std::map<int, float> bands;
    };
    const Case cases[] = {
        {0, {}},  // below kLow
        {3, {}},
        {4, {{0, 0.5f}}},                        // position -0.5: the rest falls below band 0
        {8, {{2, 0.25f}, {3, 0.75f}}},           // position 2.25
        {15, {{4, 0.743932f}, {5, 0.256068f}}},  // position 4.743932
        {16, {{6, 1.0f}}},                       // exactly on band 5: weight 0 there
        {17, {{6, 0.759482f}}},                  // band 5's run ended at bin 16
        {63, {{10, 0.437520f}}},                 // position 10.437520: band 11 does not exist
        {64, {}},                                // from kHigh on
        {79, {}},
    };
    for (const Case& c : cases) {
        const std::vector<float> out = response(bank, c.bin);
        for (int b = 0; b < bank.nBands(); ++b) {
            const auto it = c.bands.find(b);
            EXPECT_NEAR(out[b], it == c.bands.end() ? 0.0f : it->second, 2e-5)
                << "bin " << c.bin << " band " << b;
        }
    }
}

TEST(LogFrequencyFilterBank, BandsAreStoredOneAfterAnother)
{
    const LogFrequencyFilterBank bank = quarterHzBank();
    const auto& bands = bank.bands();
    ASSERT_EQ(bands.size(), 11u);
    EXPECT_EQ(bands[0].weightOffset, 0);
    EXPECT_EQ(bands[0].firstBin, 4);
    EXPECT_EQ(bands[5].firstBin, 13);
    EXPECT_EQ(bands[5].count, 3);  // bins 13 .. 15; bin 16 sits on the band
    int next = 0;
    for (const auto& band : bands) {
        EXPECT_EQ(band.weightOffset, next);
        next += band.count;
        for (int j = 0; j < band.count; ++j)
            EXPECT_GT(bank.weights()[band.weightOffset + j], 0.0f);
    }
    for (size_t i = next; i < bank.weights().size(); ++i)
        ASSERT_EQ(bank.weights()[i], 0.0f);

    // Building again from the same parameters gives the same bank.
    LogFrequencyFilterBank again = quarterHzBank();
    again.buildBands();
    EXPECT_EQ(again.weights(), bank.weights());
    for (size_t b = 0; b < bands.size(); ++b) {
        EXPECT_EQ(again.bands()[b].weightOffset, bands[b].weightOffset);
        EXPECT_EQ(again.bands()[b].count, bands[b].count);
        EXPECT_EQ(again.bands()[b].firstBin, bands[b].firstBin);
    }

    // A whole spectrum adds each band's weighted bins.
    std::vector<float> spectrum(80);
    for (int k = 0; k < 80; ++k)
        spectrum[k] = static_cast<float>(k);
    std::vector<float> out(11);
    bank.apply(out.data(), spectrum.data());
    for (int b = 0; b < 11; ++b) {
        float expected = 0.0f;
        for (int k = 0; k < 80; ++k)
            expected += response(bank, k)[b] * spectrum[k];
        EXPECT_NEAR(out[b], expected, 1e-3f * (1.0f + expected)) << "band " << b;
    }
}

TEST(LogFrequencyFilterBank, RejectsParametersItCannotBuildFrom)
{
    struct Case {
        int nBands, nBins, fftSize;
        float fs, fmin, fmax;
        const char* message;
    };
    const Case cases[] = {
        {0, 80, 64, 16.0f, 1.0f, 16.0f, "nBands must be positive"},
        {11, 0, 64, 16.0f, 1.0f, 16.0f, "nBins must be positive"},
        {11, 80, 0, 16.0f, 1.0f, 16.0f, "fftSize must be positive"},
        {11, 80, 64, 0.0f, 1.0f, 16.0f, "fs must be positive"},
        {11, 80, 64, 16.0f, 0.0f, 16.0f, "fmin must be positive"},
        {11, 80, 64, 16.0f, 16.0f, 16.0f, "fmax must be greater than fmin"},
        {11, 80, 64, 16.0f, 8.0f, 2.0f, "fmax must be greater than fmin"},
    };
    for (const Case& c : cases) {
        try {
            LogFrequencyFilterBank bank(c.nBands, c.nBins, c.fftSize, c.fs, c.fmin, c.fmax);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}
