// Rendering through the engine's own time-stretch manager: a section at
// the project tempo is copied, a slower one is stretched to its bars, and
// a ratio out of the engine's range is reported with the section.
#include "ExportFixture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <memory>

using namespace export_test;

namespace {

// Whether this build's engine has a stretcher (not the placeholder that
// refuses all work).
bool engineStretches()
{
    std::unique_ptr<IF_timeStretch> ts(createTimeStretch());
    std::vector<uint8_t> in(4 * 1000, 1), out;
    ts->setInfo(TimeStretchInfo {120, 4, 4, 1});
    ts->stretch(in, out);
    return !ts->errorText().contains("not available");
}

#define REQUIRE_STRETCHER()                                                                                  \
    if (!engineStretches())                                                                                  \
    GTEST_SKIP() << "this build's engine has no time-stretch manager yet"

}  // namespace

TEST(RenderWithStretch, SectionAtTheProjectTempoIsCopied)
{
    REQUIRE_STRETCHER();
    ClickProject p(120.0, 24, false);
    ASSERT_EQ(p.setSection(3, 0, 8), 0u);
    bool skipped = true;
    ASSERT_EQ(p.render(3, skipped), 0u) << p.core->errorText().toStdString();
    EXPECT_FALSE(skipped);
    EXPECT_TRUE(wavData(p.core->sectionWavePath(3)) == p.workFrames(0, 176400));
    EXPECT_EQ(p.core->sec(3).renderedFrames, 176400u);
    EXPECT_TRUE(p.core->isSecWavReady(3));
}

TEST(RenderWithStretch, SlowerBarsBecomeBarsAtTheProjectTempo)
{
    REQUIRE_STRETCHER();
    ClickProject p(100.0, 24, false);
    ASSERT_EQ(p.setSection(3, 0, 8), 0u);  // 2 bars, 211680 frames
    bool skipped = true;
    ASSERT_EQ(p.render(3, skipped), 0u) << p.core->errorText().toStdString();
    EXPECT_FALSE(skipped);
    const uint32_t frames = p.core->sec(3).renderedFrames;
    EXPECT_NEAR(double(frames), 176400.0, 1.0);
    EXPECT_EQ(wavData(p.core->sectionWavePath(3)).size(), size_t(frames) * 4);
    EXPECT_TRUE(p.core->isSecWavReady(3));
    ASSERT_EQ(p.core->ratios(3).size(), 2u);
    EXPECT_NEAR(p.core->ratios(3)[0], 100.0 / 120.0, 1e-3);
}

TEST(RenderWithStretch, RatioOutOfRangeIsListed)
{
    REQUIRE_STRETCHER();
    ClickProject p(120.0, 24, false);
    expectOneShortBarSkipped(p);
}
