// Result codes: nesting adds one hexadecimal digit per level, and the log's
// description reads the steps back from the outermost call in.
#include "ResultCode.h"

#include <gtest/gtest.h>

TEST(ResultCode, NestAddsOneDigitPerLevelAndDropsTheTopOne)
{
    EXPECT_EQ(krm::nest(krm::fail(1), 1), 0x80000011u);
    EXPECT_EQ(krm::nest(krm::nest(krm::fail(1), 1), 2), 0x80000112u);
    EXPECT_EQ(krm::nestOnFail(krm::kOk, 3), krm::kOk);
    EXPECT_EQ(krm::nestOnFail(krm::fail(2), 3), 0x80000023u);
    // Seven levels fill the digits below the failure bit; an eighth shares
    // the top digit with it, and a ninth drops the innermost step.
    krm::Result r = krm::fail(1);
    for (uint32_t step = 2; step <= 7; ++step)
        r = krm::nest(r, step);
    EXPECT_EQ(r, 0x81234567u);
    EXPECT_EQ(krm::nest(r, 8), 0x92345678u);
    EXPECT_EQ(krm::nest(krm::nest(r, 8), 9), 0xa3456789u);
}

TEST(ResultCode, DescribeResultNamesTheStepsFromTheOutermostIn)
{
    struct Case {
        krm::Result code;
        const char* words;
    };
    const Case cases[] = {
        {0, "0 (success)"},
        {0x80000001u, "80000001 (failed at step 1, outermost first)"},
        {0x80000121u, "80000121 (failed at step 1 > 2 > 1, outermost first)"},
        {0x8164744bu, "8164744b (failed at step b > 4 > 4 > 7 > 4 > 6 > 1, outermost first)"},
        {0x92345678u, "92345678 (failed at step 8 > 7 > 6 > 5 > 4 > 3 > 2 > 1, outermost first)"},
        {0x80000000u, "80000000 (failed without a step)"},
        {0x1234u, "1234 (not a failure code)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        EXPECT_EQ(krm::describeResult(c.code), QString(c.words));
    }
}
