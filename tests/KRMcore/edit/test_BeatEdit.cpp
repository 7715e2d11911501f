// Beat-list edits: the final onset as the last beat and the change of the
// beat division.
#include "EditFixture.h"

#include <gtest/gtest.h>

using namespace edit_test;

TEST(LastOnsetAsBeat, AppendsOnlyAContinuingOnset)
{
    struct Case {
        std::vector<float> beats, onsets;
        bool appended;
    } cases[] = {
        {{1, 2, 3, 4, 5}, {6.0f}, true},  // exactly one more interval
        {{1, 2, 3, 4, 5}, {5.75f}, true},
        {{1, 2, 3, 4, 5}, {6.35f}, false},  // beyond the threshold
        {{1, 2, 3, 4, 5}, {5.65f}, false},
        {{1, 1, 1, 1, 1}, {2.0f}, false},  // no interval to continue
        {{1, 2}, {2.5f}, true},            // few beats: any later onset
        {{1, 2}, {2.0f}, false},
        {{1, 2}, {1.5f}, false},  // never before the last beat
        {{}, {1.0f}, false},
        {{1, 2, 3, 4, 5}, {}, false},
    };
    for (const Case& c : cases) {
        WaveInfoRecord w;
        w.beats = c.beats;
        w.onsets = c.onsets;
        EXPECT_EQ(appendLastOnsetAsBeat(w, 0.3), 0u);
        std::vector<float> expected = c.beats;
        if (c.appended)
            expected.push_back(c.onsets.back());
        EXPECT_EQ(w.beats, expected) << (c.onsets.empty() ? -1.0f : c.onsets.back());
    }
}

TEST(LastOnsetAsBeat, SectionEndsMoveOntoTheNewLastBeat)
{
    TestCore core;
    core.addWave(makeWave(evenAdrs(10, 5000, 5000), 1, {5000, 55000}));
    SectionRecord s = section(0, 5000, 45000);
    s.endOffset = 8000;  // played end 53000: nearer the coming last beat at 55000
    ASSERT_EQ(core.updateSecInfo(3, s), 0u);
    SectionRecord early = section(0, 5000, 45000);
    ASSERT_EQ(core.updateSecInfo(4, early), 0u);
    core.clearUndoStack();

    ASSERT_EQ(core.addLastAdrsAsBeat(0), 0u);
    EXPECT_EQ(core.wave(0).beats.size(), 11u);
    EXPECT_EQ(core.sec(3).endAdrs, 55000u);
    EXPECT_EQ(core.sec(3).endOffset, -2000);  // the played end stays at 53000
    EXPECT_EQ(core.sec(3).startAdrs, 5000u);
    EXPECT_EQ(core.sec(4).endAdrs, 45000u);
    EXPECT_EQ(core.undoCount(), 1);  // the moved section is one validated edit

    EXPECT_EQ(core.addLastAdrsAsBeat(1), 0x80000001u);
    core.addWave(makeWave({1000}, 1, {9000}));
    EXPECT_EQ(core.addLastAdrsAsBeat(1), 0u);
    EXPECT_EQ(core.wave(1).beats.size(), 2u);
}

namespace {

std::vector<float> ramp(float first, float gap, int n)
{
    std::vector<float> out;
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<float>(first + gap * i));
    return out;
}

class BeatDivisionTest : public ::testing::Test {
protected:
    void addWave(const std::vector<float>& beats, uint16_t step, std::vector<float> onsets = {4.0f})
    {
        auto* w = new WaveInfoRecord;
        w->path = L"wave.wav";
        w->beats = beats;
        w->onsets = onsets;
        w->beatStep = step;
        core.addWave(w);
    }
    QuietMessages quiet;
    TestCore core;
};

// Beats 1.0 .. 3.0 half a second apart, subdivided by 2 up to the last onset
// at 4.0 s: a lead-in point, the midpoints and one point after the end.
std::vector<float> halved()
{
    std::vector<float> out = {samplesToSeconds(26460)};
    for (float t : ramp(1.0f, 0.25f, 9))
        out.push_back(t);
    out.push_back(samplesToSeconds(149940));
    return out;
}

// The same beats subdivided by 3: two lead-in points, the thirds and two
// points after the end.
std::vector<float> thirded()
{
    const std::vector<float> b = ramp(1.0f, 0.5f, 5);
    std::vector<float> out = {samplesToSeconds(20580), samplesToSeconds(32340)};
    for (size_t i = 0; i + 1 < b.size(); ++i) {
        out.push_back(b[i]);
        out.push_back((2.0f * b[i] + b[i + 1]) / 3.0f);
        out.push_back((b[i] + 2.0f * b[i + 1]) / 3.0f);
    }
    out.push_back(b.back());
    out.push_back(samplesToSeconds(144060));
    out.push_back(samplesToSeconds(155820));
    return out;
}

}  // namespace

TEST_F(BeatDivisionTest, EachModeGivesItsList)
{
    const std::vector<float> beats = ramp(1.0f, 0.5f, 5);
    struct Case {
        uint8_t mode;
        std::vector<float> input;
        uint16_t step, newStep;
        std::vector<float> expected;
    } cases[] = {
        {0, beats, 1, 2, beats},  // twice as long: the step only
        {2, beats, 1, 3, beats},
        {1, beats, 1, 1, halved()},                        // half as long: subdivided
        {1, beats, 2, 1, beats},                           // ... or the step halved
        {1, ramp(1.0f, 1.0f / 6.0f, 13), 3, 1, halved()},  // thinned by 3, then subdivided
        {3, beats, 1, 1, thirded()},
        {3, beats, 3, 1, beats},
        {3, ramp(1.0f, 0.25f, 9), 2, 1, thirded()},  // thinned by 2, then subdivided
        {7, beats, 1, 1, beats},                     // no such mode: nothing
        {1, {1.0f}, 1, 1, {1.0f, 3.0f, 4.0f}},       // a single beat stays; the last onset follows
    };
    for (const Case& c : cases) {
        core.clearWavList();
        addWave(c.input, c.step);
        uint16_t step = 0;
        QString message;
        ASSERT_EQ(core.setTempo(c.mode, 0, 3, 0, step, message), 0u) << int(c.mode) << " " << c.step;
        EXPECT_TRUE(message.isEmpty());
        EXPECT_EQ(core.wave(0).beatStep, c.newStep) << int(c.mode) << " " << c.step;
        if (c.mode <= 3) {
            EXPECT_EQ(step, c.newStep);
        }
        const std::vector<float>& got = core.wave(0).beats;
        ASSERT_EQ(got.size(), c.expected.size()) << int(c.mode) << " " << c.step;
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_FLOAT_EQ(got[i], c.expected[i]) << int(c.mode) << " " << c.step << " #" << i;
        EXPECT_EQ(core.undoCount(), 1);
        EXPECT_EQ(core.undoText(0), "set all");
        core.clearUndoStack();
    }
}

TEST_F(BeatDivisionTest, NewBeatsSnapOntoOnsets)
{
    // A midpoint at 1.25 s with an onset 10 ms later moves onto the onset.
    addWave(ramp(1.0f, 0.5f, 5), 1, {1.26f, 4.0f});
    uint16_t step = 0;
    QString message;
    ASSERT_EQ(core.setTempo(1, 0, 3, 0, step, message), 0u);
    EXPECT_EQ(core.wave(0).beats[2], 1.26f);
}

TEST_F(BeatDivisionTest, AFailingChangeLeavesTheProject)
{
    const QString tempoError = "Tempo error!";
    struct Case {
        uint8_t mode;
        std::vector<float> beats;
        uint16_t step;
        float lastOnset;
        uint32_t code;
        QString message;
    } cases[] = {
        {0, {0.0f, 5.0f, 10.0f}, 1, 31.0f, 0x80000002, tempoError},  // too slow once doubled
        {2, {0.0f, 3.5f, 7.0f}, 1, 31.0f, 0x80000007, tempoError},
        {0, {}, 1, 31.0f, 0x80000022, tempoError},  // no beats: no tempo
        {2, {}, 1, 31.0f, 0x80000027, tempoError},
        {1, ramp(0.06f, 0.06f, 10), 1, 0.6f, 0x80000035, "Error! too fast tempo!"},
        {3, {0.0f, 5.0f, 10.0f, 15.0f, 20.0f}, 2, 31.0f, 0x80000028, "Error! too slow tempo!"},
        {1, {0.0f, 5.0f, 10.0f, 15.0f, 20.0f, 25.0f, 30.0f}, 3, 31.0f, 0x80000023, "Error! too slow tempo!"},
    };
    for (const Case& c : cases) {
        core.clearWavList();
        addWave(c.beats, c.step, {c.lastOnset});
        const WaveInfoRecord before = core.wave(0);
        uint16_t step = 99;
        QString message;
        EXPECT_EQ(core.setTempo(c.mode, 0, 3, 1, step, message), c.code) << int(c.mode);
        EXPECT_EQ(message, c.message) << int(c.mode);
        EXPECT_EQ(step, 99);
        EXPECT_EQ(core.wave(0).beats, before.beats);
        EXPECT_EQ(core.wave(0).beatStep, before.beatStep);
        EXPECT_FALSE(core.canUndo());
    }
    uint16_t step = 0;
    QString message;
    EXPECT_EQ(core.setTempo(0, 5, 3, 1, step, message), 0x80000011u);
}

TEST_F(BeatDivisionTest, RefitFollowsTheNewGridInOneStep)
{
    // Half beats 0.25 s apart (120 beats per minute); section 3 covers 8
    // beats from entry 2 to entry 18.
    addWave(ramp(0.25f, 0.25f, 40), 1, {0.25f, 10.0f});
    SectionRecord s = section(0, secondsToSamples(0.75f), secondsToSamples(4.75f));
    ASSERT_EQ(core.setSecInfo(3, s), 0u);
    ASSERT_EQ(core.sec(3).barCount, 2);
    core.clearUndoStack();
    for (uint8_t i = 0; i < krm::kSectionCount; ++i)
        core.setReady(i);

    uint16_t step = 0;
    QString message;
    ASSERT_EQ(core.setTempo(0, 0, 3, 1, step, message), 0u);
    EXPECT_EQ(step, 2);
    EXPECT_EQ(core.undoCount(), 1);
    // Entries 2 and 18 are now off-beats: the section moves to the odd grid
    // and its 4 beats over 4 seconds give 60 beats per minute.
    EXPECT_EQ(core.sec(3).toggle, 1);
    CommonInfo* common = nullptr;
    core.getProjectInfo()->getCommonInfo(&common);
    EXPECT_EQ(common->tempo, 60u);
    EXPECT_FALSE(core.isSecWavReady(3));

    core.undo();
    core.getProjectInfo()->getCommonInfo(&common);
    EXPECT_EQ(common->tempo, 120u);
    EXPECT_EQ(core.wave(0).beatStep, 1);
    EXPECT_EQ(core.sec(3).toggle, 0);

    // A section that cannot take the refit stops the change, with its text.
    SectionRecord odd = core.sec(3);
    odd.pickupOn = 1;
    odd.pickupHalfBeats = 2;
    odd.endAdrs = secondsToSamples(5.75f);  // 5 beats on the coarser grid
    ASSERT_EQ(core.updateSecInfo(3, odd), 0u);
    core.clearUndoStack();
    EXPECT_EQ(core.setTempo(0, 0, 3, 1, step, message), 0x80000B8Cu);
    EXPECT_EQ(message, "confirm beat number and pickup setting!\r\nodd beat with pickup is not allowed!");
    EXPECT_EQ(core.wave(0).beatStep, 1);
    EXPECT_FALSE(core.canUndo());
}
