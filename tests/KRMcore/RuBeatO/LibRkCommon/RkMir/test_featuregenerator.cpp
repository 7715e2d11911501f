#include "RkMir/FeatureGenerator.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using RkMir::FeatureGenerator;

namespace {

TEST(FeatureGenerator, ConstructionChecksHopThenFrame)
{
    struct Case {
        int hop, frame;
        const char* message;
    };
    const Case cases[] = {
        {0, 0, "hopsize must be positive"},
        {-5, 8192, "hopsize must be positive"},
        {1024, 0, "framelen must be positive"},
        {1024, -1, "framelen must be positive"},
    };
    for (const Case& c : cases) {
        try {
            FeatureGenerator g(c.hop, c.frame);
            ADD_FAILURE() << "no exception for " << c.hop << ", " << c.frame;
        } catch (const std::domain_error& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }

    const FeatureGenerator g(1024, 8192);
    EXPECT_EQ(g.hopsize(), 1024);
    EXPECT_EQ(g.framelen(), 8192);
    EXPECT_EQ(g.sampleRate(), 44100.0f);
    EXPECT_EQ(g.gridStep(), 16);
    EXPECT_EQ(g.ndim(), 5);
    EXPECT_EQ(g.observer(), nullptr);
    EXPECT_TRUE(g.isRunning());
}

}  // namespace
