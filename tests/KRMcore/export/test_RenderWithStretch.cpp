// Rendering through the engine's own time-stretch manager: a section at
// the project tempo is copied, a slower one is stretched to its bars, and
// a ratio out of the engine's range is reported with the section, and the
// exported style carries the stretched audio.
#include "ExportFixture.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <algorithm>

using namespace export_test;

TEST(RenderWithStretch, SectionAtTheProjectTempoIsCopied)
{
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
    ClickProject p(120.0, 24, false);
    expectOneShortBarSkipped(p);
}

// Two bars at 100 beats
// per minute come out as two bars at the project's 120.
TEST(RenderWithStretch, ExportCarriesTheStretchedSection)
{
    ClickProject p(100.0, 24, false);
    p.core->setResourcePath(1, 255, QFileInfo(QString(KRM_EMPTY_STYLE_SOURCE)).absolutePath());
    ASSERT_EQ(p.setSection(0, 0, 8), 0u);
    bool skipped = true;
    ASSERT_EQ(p.render(0, skipped), 0u) << p.core->errorText().toStdString();
    const std::vector<uint8_t> rendered = wavData(p.core->sectionWavePath(0));
    EXPECT_NEAR(double(rendered.size()) / 4.0, 176400.0, 1.0);

    const QString target = p.folder + "/stretched.aus";
    uint32_t size = 0;
    uint16_t attack = 0, beat = 0, sync = 0;
    ASSERT_EQ(p.core->exportSty(target.toStdWString(), size, attack, beat, sync), 0u)
        << p.core->errorText().toStdString();
    const std::vector<uint8_t> bytes = testutil::readFile(target);
    const std::vector<Chunk> top = chunksOf(bytes, 0, bytes.size());
    ASSERT_FALSE(top.empty());
    ASSERT_EQ(top.back().tag, "AFil");
    const std::vector<Chunk> files =
        chunksOf(bytes, top.back().offset, top.back().offset + top.back().length);
    ASSERT_EQ(files.size(), 1u);
    const std::vector<Chunk> parts = chunksOf(bytes, files[0].offset, files[0].offset + files[0].length);
    const Chunk* wav = nullptr;
    for (const Chunk& c : parts)
        wav = c.tag == "AWav" ? &c : wav;
    ASSERT_NE(wav, nullptr);
    const Chunk* data = nullptr;
    const std::vector<Chunk> records = chunksOf(bytes, wav->offset + 4, wav->offset + wav->length);
    for (const Chunk& c : records)
        data = c.tag == "Adat" ? &c : data;
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->length, rendered.size());
    EXPECT_TRUE(std::equal(rendered.begin(), rendered.end(), bytes.begin() + long(data->offset)));
}
