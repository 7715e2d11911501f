// Rendering of a section's audio: the play range read from the work file,
// the silence that completes bars, what the stretcher is given, the fade,
// and what the engine records.
#include "ExportFixture.h"

#include "ResultCode.h"

#include <gtest/gtest.h>

#include <QFile>
#include <random>

using namespace export_test;

TEST(SectionRender, TwoBarsAtTheProjectTempo)
{
    ClickProject p;
    ASSERT_EQ(p.setSection(3, 0, 8), 0u);  // Main A, frames 0 to 176400
    ASSERT_EQ(p.core->sec(3).barCount, 2);
    bool skipped = true;
    ASSERT_EQ(p.render(3, skipped), 0u);
    EXPECT_FALSE(skipped);
    const std::vector<uint8_t> file = wavData(p.core->sectionWavePath(3));
    EXPECT_EQ(file, p.workFrames(0, 176400));
    EXPECT_EQ(p.core->sec(3).renderedFrames, 176400u);
    EXPECT_TRUE(p.core->isSecWavReady(3));
    EXPECT_EQ(p.core->ratios(3), (std::vector<double> {1.0, 1.0}));
    EXPECT_EQ(p.core->undoCount(), 1);  // the edit; the rendered length is no step
    EXPECT_EQ(p.core->sectionWavePath(3), p.folder + "/KRM_temp_Main A.wav");
}

// The working audio from scratch, as the export and the stretch job ask for
// it: the wave is copied to the work file, then the section is rendered
// from that copy; each stage's failure comes back nested at its step.
TEST(SectionRender, WriteTempWaveCopiesTheWaveThenRendersTheSection)
{
    ClickProject p;
    // The wave's own file differs from the work file the project starts with.
    std::vector<uint8_t> song = p.work;
    for (size_t k = 0; k < song.size(); k += 2)
        song[k] ^= 0x55;
    const QString songPath = p.folder + "/song.wav";
    ASSERT_EQ(writeWavFile(songPath, song.data(), uint32_t(song.size())), 0u);
    ASSERT_EQ(p.core->setWavPath(0, songPath.toStdWString()), 0u);

    bool skipped = true;
    EXPECT_EQ(p.core->writeTempWave(4, skipped), 0x80000121u) << "a section without a wave";
    // The copy is made, then the rendering refuses a section without an area.
    SectionRecord empty;
    empty.used = 1;
    empty.waveIndex = 0;
    p.core->putSection(3, empty);
    EXPECT_EQ(p.core->writeTempWave(3, skipped), 0x80000043u);
    EXPECT_EQ(p.core->errorText(), "section area error! [Main A : 0 - 0]");
    EXPECT_EQ(wavData(p.folder + "/KRM_temp.wav"), song);

    ASSERT_EQ(p.setSection(3, 0, 8), 0u);
    ASSERT_EQ(p.core->writeTempWave(3, skipped), 0u);
    EXPECT_FALSE(skipped);
    EXPECT_TRUE(p.core->isSecWavReady(3));
    EXPECT_EQ(wavData(p.core->sectionWavePath(3)),
              std::vector<uint8_t>(song.begin(), song.begin() + 4 * 176400))
        << "rendered from the copy";

    ASSERT_EQ(p.core->setWavPath(0, (p.folder + "/gone.wav").toStdWString()), 0u);
    p.core->clearError();
    const uint32_t r = p.core->writeTempWave(3, skipped);
    EXPECT_EQ(r & 0xF, 2u) << std::hex << r << ": a wave that cannot be copied fails at step 2";
    EXPECT_TRUE(krm::failed(r));
    EXPECT_TRUE(p.core->errorText().contains("gone.wav"))
        << "the copy's cause: " << p.core->errorText().toStdString();
}

TEST(SectionRender, BarsRecordedSlowerAreStretchedToTheBarLength)
{
    // 2 bars at 100 per minute (211680 frames) become 2 bars at 120.
    ClickProject p(100.0);
    ASSERT_EQ(p.setSection(3, 0, 8), 0u);
    bool skipped = true;
    ASSERT_EQ(p.render(3, skipped), 0u);
    EXPECT_EQ(p.core->fake->lastPositions, (std::vector<uint32_t> {0, 105840, 211680}));
    EXPECT_EQ(p.core->fake->lastInfo.tempo, 120u);
    EXPECT_EQ(p.core->sec(3).renderedFrames, 176400u);
    EXPECT_EQ(wavData(p.core->sectionWavePath(3)).size(), 176400u * 4);
}

TEST(SectionRender, RatioOutOfRangeSkipsTheSection)
{
    ClickProject p;
    expectOneShortBarSkipped(p);

    // A second section out of range is listed after the first.
    SectionRecord rec = p.core->sec(3);
    bool skipped = false;
    rec.startAdrs = 44100;
    rec.endAdrs = 44100 + 240000;  // ratio 0.3675
    p.core->putSection(4, rec);
    EXPECT_EQ(p.render(4, skipped), 0u);
    EXPECT_EQ(p.core->errorText(),
              "Stretch ratio error! [Main A : 2.94]\r\nStretch ratio error! [Main B : 0.3675]\r\n");
}

TEST(SectionRender, RefusedSections)
{
    ClickProject p;
    struct Case {
        const char* name;
        void (*edit)(SectionRecord&);
        uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {"no bars", [](SectionRecord& r) { r.barCount = 0; }, 0x80000005,
         "section area is too short! [Main A]"},
        {"not used", [](SectionRecord& r) { r.used = 0; }, 0x80000003, ""},
        {"no wave", [](SectionRecord& r) { r.waveIndex = 7; }, 0x80000002, ""},
        {"start after end", [](SectionRecord& r) { r.startAdrs = 200000; }, 0x80000004,
         "section area error! [Main A : 200000 - 176400]"},
        {"past the last onset", [](SectionRecord& r) { r.endAdrs = 24 * kBeat120 + 1; }, 0x80000004,
         "section area error! [Main A : 0 - 529201]"},
    };
    for (const Case& c : cases) {
        SectionRecord rec = edit_test::section(0, 0, 176400);
        rec.barCount = 2;
        c.edit(rec);
        p.core->putSection(3, rec);
        p.core->clearError();
        bool skipped = false;
        EXPECT_EQ(p.render(3, skipped), c.code) << c.name;
        EXPECT_EQ(p.core->errorText(), c.text) << c.name;
        EXPECT_FALSE(QFile::exists(p.core->sectionWavePath(3))) << c.name;
    }
}

namespace {

std::vector<uint8_t> silence(uint32_t frames)
{
    return std::vector<uint8_t>(size_t(frames) * 4, 0);
}

std::vector<uint8_t> join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(SectionRender, SilenceCompletesTheBars)
{
    const uint32_t b = kBeat120;
    const uint32_t last = 24 * b;  // the last onset
    struct Case {
        const char* name;
        uint8_t section;
        uint32_t from, to;  // beats
        uint8_t pickupOn, halfBeats;
        uint32_t lead, tail;  // frames of silence
        uint32_t playFrom, playTo;
        std::vector<uint32_t> positions;
        uint32_t bars;
    };
    const Case cases[] = {
        {"plain main", 3, 4, 12, 0, 0, 0, 0, 4 * b, 12 * b, {4 * b, 8 * b, 12 * b}, 2},
        {"end at the last onset", 3, 16, 24, 0, 0, 0, 0, 16 * b, last, {16 * b, 20 * b, last - 1}, 2},
        {"intro, pickup without half beats, 10 beats",
         0,
         4,
         14,
         1,
         0,
         2 * b,
         0,
         4 * b,
         14 * b,
         {0, 4 * b, 8 * b, 12 * b},
         3},
        {"intro with a pickup of one beat",
         0,
         4,
         12,
         1,
         2,
         3 * b,
         0,
         3 * b,
         12 * b,
         {0, 4 * b, 8 * b, 12 * b},
         3},
        // A pickup that fills a whole bar, or more, still plays as the bar
        // in front: no silence, the pickup bar as long as the pickup.
        {"intro with a pickup of one bar", 0, 4, 12, 1, 8, 0, 0, 0, 12 * b, {0, 4 * b, 8 * b, 12 * b}, 3},
        {"intro with a pickup longer than a bar",
         0,
         5,
         13,
         1,
         10,
         0,
         0,
         0,
         13 * b,
         {0, 5 * b, 9 * b, 13 * b},
         3},
        {"ending with pickup, 10 beats",
         12,
         4,
         14,
         1,
         0,
         0,
         2 * b,
         4 * b,
         14 * b,
         {4 * b, 8 * b, 12 * b, 16 * b},
         3},
        {"main with pickup, 10 beats",
         3,
         4,
         14,
         1,
         0,
         0,
         0,
         4 * b,
         14 * b,
         {4 * b, 8 * b, 12 * b, 14 * b},
         3},
    };
    for (const Case& c : cases) {
        ClickProject p;
        ASSERT_EQ(p.setSection(c.section, c.from, c.to, c.pickupOn, c.halfBeats), 0u) << c.name;
        ASSERT_EQ(p.core->sec(c.section).tempoFromBeats, 1) << c.name;
        bool skipped = false;
        ASSERT_EQ(p.render(c.section, skipped), 0u) << c.name;
        const FakeStretch& f = *p.core->fake;
        EXPECT_EQ(f.lastPositions, c.positions) << c.name;
        EXPECT_EQ(f.lastInfo.barCount, c.bars) << c.name;
        const std::vector<uint8_t> want =
            join(join(silence(c.lead), p.workFrames(c.playFrom, c.playTo)), silence(c.tail));
        EXPECT_EQ(f.lastInput.size(), want.size()) << c.name;
        EXPECT_TRUE(f.lastInput == want) << c.name;
        const uint32_t frames = p.core->sec(c.section).renderedFrames;
        EXPECT_EQ(frames, wavData(p.core->sectionWavePath(c.section)).size() / 4) << c.name;
        EXPECT_NEAR(double(frames), double(c.bars * 4 * b), 1.0) << c.name;
    }
}

TEST(SectionRender, WholeStretchOfBarsEnteredByHand)
{
    // Bar counts entered by hand stretch the play range as one piece; an
    // end on the last onset stays inside the audio.
    ClickProject p;
    SectionRecord rec = edit_test::section(0, 16 * kBeat120, 24 * kBeat120);
    rec.barCount = 2;
    rec.manualBars = 1;
    p.core->putSection(3, rec);
    bool skipped = false;
    ASSERT_EQ(p.render(3, skipped), 0u);
    EXPECT_EQ(p.core->fake->lastInfo.barCount, 2u);
    EXPECT_TRUE(p.core->fake->lastInput == p.workFrames(16 * kBeat120, 24 * kBeat120));
    EXPECT_EQ(p.core->sec(3).renderedFrames, 176400u);
}

TEST(SectionRender, WorkFileFaults)
{
    struct Case {
        const char* name;
        int64_t workFrames;  // -1: no work file, -2: a file that is no WAV file
        bool byHand;
        uint32_t renderCode;  // of the beat or bar rendering
    };
    const uint32_t end = 8 * kBeat120;
    const Case cases[] = {
        {"no work file, beats", -1, false, krm::nest(0x80000004, 7)},
        {"no work file, bars", -1, true, krm::nest(0x80000004, 0xA)},
        {"work file not a WAV file", -2, false, krm::nest(0x80000004, 7)},
        {"three frames short", end - 3, false, krm::nest(0x80000005, 7)},
        {"three frames short, bars", end - 3, true, krm::nest(0x80000005, 0xA)},
        {"two frames short", end - 2, false, 0},
    };
    for (const Case& c : cases) {
        ClickProject p;
        ASSERT_EQ(p.setSection(3, 0, 8), 0u);
        QFile::remove(p.folder + "/KRM_temp.wav");
        if (c.workFrames >= 0)
            writeWavFile(p.folder + "/KRM_temp.wav", p.work.data(), uint32_t(c.workFrames * 4));
        if (c.workFrames == -2) {
            ASSERT_TRUE(testutil::writeFile(p.folder + "/KRM_temp.wav", std::vector<uint8_t>(4096, 'x')));
        }
        if (c.byHand) {
            SectionRecord rec = p.core->sec(3);
            rec.tempoFromBeats = 0;
            p.core->putSection(3, rec);
        }
        bool skipped = false;
        EXPECT_EQ(p.render(3, skipped), c.renderCode ? krm::nest(c.renderCode, 7) : 0u) << c.name;
        EXPECT_EQ(QFile::exists(p.core->sectionWavePath(3)), c.renderCode == 0) << c.name;
        if (c.renderCode != 0) {
            EXPECT_EQ(
                p.core->errorText(),
                QString("Export sty process returns some error! [Main A : %1]").arg(c.renderCode, 0, 16))
                << c.name;
        } else {
            // The missing frames are silence.
            EXPECT_TRUE(p.core->fake->lastInput == join(p.workFrames(0, end - 2), silence(2))) << c.name;
        }
    }
}

TEST(SectionRender, NoBarLengthAtTempoZero)
{
    ClickProject p;
    ASSERT_EQ(p.setSection(3, 0, 8), 0u);
    p.core->commonInfo().tempo = 0;
    bool skipped = false;
    EXPECT_EQ(p.render(3, skipped), krm::nest(0x8000000C, 7));
    EXPECT_EQ(p.core->fake->calls, 0);
    EXPECT_FALSE(QFile::exists(p.core->sectionWavePath(3)));
}

TEST(SectionRender, StretcherFailureIsReported)
{
    ClickProject p;
    ASSERT_EQ(p.setSection(3, 0, 8), 0u);
    p.core->fake->failWith = 0x80000002;
    bool skipped = false;
    EXPECT_EQ(p.render(3, skipped), krm::nest(krm::nest(krm::nest(0x80000002, 2), 9), 7));
    EXPECT_FALSE(skipped);
    EXPECT_FALSE(p.core->isSecWavReady(3));
    EXPECT_EQ(p.core->sec(3).renderedFrames, 0u);
    EXPECT_TRUE(p.core->errorText().startsWith("Export sty process returns some error! [Main A : "));
}

TEST(SectionRender, FadeUsesTheEnginesFadeLength)
{
    ClickProject p;
    ASSERT_EQ(p.setSection(3, 0, 8), 0u);
    SectionRecord rec = p.core->sec(3);
    rec.fadeOn = 1;
    ASSERT_EQ(p.core->setSecInfo(3, rec), 0u);
    p.core->setFadeLength(300);
    bool skipped = false;
    ASSERT_EQ(p.render(3, skipped), 0u);
    std::vector<uint8_t> want = p.workFrames(0, 176400);
    applyFade(want, 300, 3);
    const std::vector<uint8_t> file = wavData(p.core->sectionWavePath(3));
    EXPECT_TRUE(file == want);
    EXPECT_NE(file[4 * 150], p.work[4 * 150]);  // inside the 300 frames, past 20
}

TEST(SectionRender, FadeScalesTheEnds)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> d(-32768, 32767);
    struct Case {
        uint32_t frames, n;
        uint8_t mask;
    };
    const Case cases[] = {{100, 20, 3}, {100, 20, 1}, {100, 20, 2}, {30, 20, 3},
                          {19, 20, 3},  {20, 20, 3},  {50, 0, 3}};
    for (const Case& c : cases) {
        std::vector<int16_t> s(2 * size_t(c.frames));
        for (auto& v : s)
            v = int16_t(d(rng));
        std::vector<uint8_t> buffer;
        for (int16_t v : s) {
            buffer.push_back(uint8_t(uint16_t(v)));
            buffer.push_back(uint8_t(uint16_t(v) >> 8));
        }
        ASSERT_EQ(applyFade(buffer, c.n, c.mask), 0u);
        for (uint32_t f = 0; f < c.frames; ++f) {
            for (int ch = 0; ch < 2; ++ch) {
                double want = s[2 * f + ch];
                if (c.n > 0 && c.frames >= c.n) {
                    if ((c.mask & 1) && f < c.n)
                        want = std::trunc(want * (double(f) / c.n) * (double(f) / c.n));
                    if ((c.mask & 2) && c.frames - 1 - f < c.n) {
                        const double g = double(c.frames - 1 - f) / c.n;
                        want = std::trunc(want * g * g);
                    }
                }
                EXPECT_EQ(sampleAt(buffer, f, ch), int16_t(want))
                    << c.frames << "/" << c.n << "/" << int(c.mask) << " frame " << f;
            }
        }
        if (c.frames >= c.n && c.n > 0 && c.mask == 3) {
            EXPECT_EQ(sampleAt(buffer, 0, 0), 0);
            EXPECT_EQ(sampleAt(buffer, c.frames - 1, 1), 0);
        }
    }
}
