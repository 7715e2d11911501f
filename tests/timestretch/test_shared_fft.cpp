#include "SharedFft.h"

#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using stretchtest::kPi;

std::vector<float> noise(int n, unsigned seed)
{
    return stretchtest::noise(n, seed, 1000.0f);
}

TEST(SharedFft, ForwardMatchesTheNaiveDftInThePackedLayout)
{
    struct Case {
        const char* name;
        int n;
        std::vector<float> x;
    };
    std::vector<Case> cases;
    cases.push_back({"ones", 8, std::vector<float>(8, 1.0f)});
    std::vector<float> c(8), s(8);
    for (int j = 0; j < 8; ++j) {
        c[j] = static_cast<float>(std::cos(2.0 * kPi * j / 8));
        s[j] = static_cast<float>(std::sin(2.0 * kPi * j / 8));
    }
    cases.push_back({"cosine", 8, c});
    cases.push_back({"sine", 8, s});
    for (int n : {2, 4, 16, 512, 4096})
        cases.push_back({"noise", n, noise(n, static_cast<unsigned>(n))});

    SharedFft fft;
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.name) + " " + std::to_string(k.n));
        std::vector<float> data = k.x;
        fft.Transform(k.n, 1, data.data());
        const std::vector<double> ref =
            stretchtest::naivePackedDft(std::vector<double>(k.x.begin(), k.x.end()));
        const double tol = k.n <= 8 ? 1e-5 : 1e-6 * 1000.0 * k.n;
        for (int i = 0; i < k.n; ++i)
            ASSERT_NEAR(data[i], ref[i], tol) << i;
    }
    // The three named spectra exactly as stated: DC 8, R[1] = 4, I[1] = +4.
    std::vector<float> ones(8, 1.0f);
    fft.Transform(8, 1, ones.data());
    EXPECT_EQ(ones[0], 8.0f);
    fft.Transform(8, 1, c.data());
    EXPECT_NEAR(c[2], 4.0f, 1e-6f);
    fft.Transform(8, 1, s.data());
    EXPECT_NEAR(s[3], 4.0f, 1e-6f);
}

TEST(SharedFft, InverseUndoesForwardUpToHalfTheSize)
{
    SharedFft fft;
    const std::vector<float> x = noise(1024, 5);
    std::vector<float> y = x;
    fft.Transform(1024, 1, y.data());
    fft.Transform(1024, -1, y.data());
    for (int j = 0; j < 1024; ++j)
        ASSERT_NEAR(y[j], 512.0f * x[j], 512.0f * 1e-3f) << j;
}

// Tables built for a larger size serve smaller ones with the same results as
// fresh tables, and two objects never disturb each other.
TEST(SharedFft, TablesOfALargerSizeGiveBitIdenticalResults)
{
    const std::vector<float> x = noise(2048, 9);
    std::vector<float> fresh(x.begin(), x.begin() + 1024);
    SharedFft freshFft;
    freshFft.Transform(1024, 1, fresh.data());

    SharedFft fft;
    SharedFft other;
    std::vector<float> a(x.begin(), x.begin() + 1024);
    fft.Transform(1024, 1, a.data());
    std::vector<float> big = x;
    fft.Transform(2048, 1, big.data());
    std::vector<float> small = noise(128, 2);
    other.Transform(128, -1, small.data());
    std::vector<float> again(x.begin(), x.begin() + 1024);
    fft.Transform(1024, 1, again.data());
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(a[i], fresh[i]) << i;
        ASSERT_EQ(again[i], fresh[i]) << i;
    }
}

TEST(SharedFft, RefusedSizesLeaveTheDataUntouched)
{
    SharedFft fft;
    for (int n : {16384, 12, 1, 0, -8}) {
        SCOPED_TRACE(n);
        std::vector<float> data = noise(16384, 3);
        const std::vector<float> before = data;
        testing::internal::CaptureStderr();
        fft.Transform(n, 1, data.data());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(std::to_string(n)), std::string::npos) << err;
        EXPECT_EQ(data, before);
    }
}

}  // namespace
