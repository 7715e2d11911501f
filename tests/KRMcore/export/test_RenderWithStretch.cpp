// Rendering through the engine's own time-stretch manager: a section at
// the project tempo is copied, a slower one is stretched to its bars, and
// a ratio out of the engine's range is reported with the section, and the
// exported style carries the stretched audio.
#include "ExportFixture.h"

#include "../../timestretch/StretchTail.h"
#include "../DebugCapture.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <algorithm>
#include <map>
#include <utility>

using namespace export_test;

namespace {

constexpr double kRate = 44100.0;

struct Rendered {
    std::vector<float> left, right;
    QStringList debug;  // what the rendering wrote to the debug output
};

// Four bars of `sound` recorded with beats of `beat` frames (both channels,
// the right one at 0.8), set as Main A and rendered as the window renders a
// section: bar by bar at the project tempo of 240 (44100 frames a bar),
// through the engine's own stretcher, with the fade off. The rendered file,
// once per sound and beat.
const Rendered& fourBars(const stretchtail::Sound& sound, uint32_t beat)
{
    static std::map<std::pair<std::string, uint32_t>, Rendered> made;
    const auto key = std::make_pair(std::string(sound.name), beat);
    auto found = made.find(key);
    if (found != made.end())
        return found->second;
    Rendered& r = made[key];
    RecordedProject p(beat, 20, false);
    p.core->commonInfo().tempo = 240;
    std::vector<float> x = stretchtail::make(sound, 20 * int64_t(beat), kRate);
    for (float& v : x)
        v /= 32767.0f;
    p.record(toFrames(x, 0.8f));
    EXPECT_EQ(p.setSection(3, 0, 16), 0u);
    EXPECT_EQ(p.core->sec(3).tempoFromBeats, 1);
    EXPECT_EQ(p.core->sec(3).fadeOn, 0);
    bool skipped = true;
    {
        DebugCapture debug;
        EXPECT_EQ(p.render(3, skipped), 0u) << p.core->errorText().toStdString();
        r.debug = debug.lines;
    }
    EXPECT_FALSE(skipped);
    const std::vector<uint8_t> data = wavData(p.core->sectionWavePath(3));
    for (size_t i = 0; i < data.size() / 4; ++i) {
        r.left.push_back(sampleAt(data, i, 0));
        r.right.push_back(sampleAt(data, i, 1));
    }
    return r;
}

struct BarCase {
    const char* name;
    uint32_t beat;  // frames of a recorded beat
};
// Bars of 49000 and 40092 frames become bars of 44100: ratios 0.9 and 1.1.
const BarCase kBarCases[] = {{"bars at 0.9", 12250}, {"bars at 1.1", 10023}};

}  // namespace

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

// A section of a sustained sound, rendered bar by bar, ends at its full
// level to the last sample: an arranger keyboard loops it, so a dip, an
// overshoot or silence in its last milliseconds would tick at every loop.
TEST(RenderWithStretch, SustainedSectionsEndAtFullLevel)
{
    for (const BarCase& c : kBarCases) {
        SCOPED_TRACE(c.name);
        for (const stretchtail::Sound& sound : stretchtail::sounds()) {
            SCOPED_TRACE(sound.name);
            const Rendered& r = fourBars(sound, c.beat);
            ASSERT_EQ(r.left.size(), 4u * 44100u);
            {
                SCOPED_TRACE("left");
                stretchtail::expectEndsAtFullLevel(r.left, sound, kRate);
            }
            {
                SCOPED_TRACE("right");
                stretchtail::expectEndsAtFullLevel(r.right, sound, kRate);
            }
            EXPECT_FALSE(r.debug.contains("Stretch data is too less rather than expect"));
        }
    }
}

// Played end to start, as the keyboard loops it, a section rendered with
// its fade off joins without a dip: every one-period window across the seam
// (10 ms either side) keeps within 1 dB of the steady level before the end
// and of the one after the start.
TEST(RenderWithStretch, LoopedSectionJoinsWithoutADip)
{
    for (const BarCase& c : kBarCases) {
        SCOPED_TRACE(c.name);
        for (const stretchtail::Sound& sound : stretchtail::sounds()) {
            SCOPED_TRACE(sound.name);
            const Rendered& r = fourBars(sound, c.beat);
            const auto n = static_cast<int64_t>(r.left.size());
            ASSERT_GT(n, 44100);
            std::vector<float> loop = r.left;
            loop.insert(loop.end(), r.left.begin(), r.left.end());
            const int64_t period = stretchtail::period(sound, kRate), reach = 441;
            const double before = stretchsound::rms(r.left, n - 22050, n - 4410);
            const double after = stretchsound::rms(r.left, 4410, 22050);
            EXPECT_LE(std::fabs(stretchsound::worstWindowLevelDb(loop, n - reach, n + reach, period, before)),
                      1.0);
            EXPECT_LE(std::fabs(stretchsound::worstWindowLevelDb(loop, n - reach, n + reach, period, after)),
                      1.0);
        }
    }
}
