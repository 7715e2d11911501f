// Section editing: the validated edit and its undo rule, pickup and bar
// points, play range, toggle search, section tempo, time signature and the
// removal of waves.
#include "EditFixture.h"

#include <gtest/gtest.h>

using namespace edit_test;

namespace {

// Wave 0: 60 half beats 5000 frames apart from frame 5000, so beat k of the
// even grid lies at 5000 + 10000k; the last onset is at frame 310000.
class SectionTest : public ::testing::Test {
protected:
    void SetUp() override { core.addWave(makeWave(evenAdrs(60, 5000, 5000), 1, {5000, 310000})); }
    static uint32_t beat(uint32_t k) { return 5000 + 10000 * k; }

    QuietMessages quiet;
    TestCore core;
};

}  // namespace

TEST_F(SectionTest, PickupDecidesBarsAndBarLines)
{
    // A span of 10 beats at 4/4.
    struct Case {
        uint8_t section, pickupOn, halfBeats;
        uint32_t code;
        uint16_t bars;
        uint8_t tempoFromBeats;
        std::vector<uint32_t> lineBeats;  // beats after the start
    } cases[] = {
        {3, 0, 0, 0, 2, 0, {4}},     // the rest is dropped
        {0, 1, 0, 0, 3, 1, {2, 6}},  // intro: the incomplete bar comes first
        {3, 1, 0, 0, 3, 1, {4, 8}},  // elsewhere it comes last
        {3, 1, 2, 0x8000000B, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SectionRecord s = section(0, beat(2), beat(12));
        s.pickupOn = c.pickupOn;
        s.pickupHalfBeats = c.halfBeats;
        core.clearError();
        EXPECT_EQ(core.setPickup(c.section, s), c.code) << int(c.section) << int(c.pickupOn);
        if (c.code != 0) {
            EXPECT_EQ(core.errorText(),
                      "confirm beat number and pickup setting!\r\nodd beat with pickup is not allowed!");
            continue;
        }
        EXPECT_EQ(s.barCount, c.bars);
        EXPECT_EQ(s.tempoFromBeats, c.tempoFromBeats);
        ASSERT_EQ(s.barPoints.size(), c.lineBeats.size());
        for (size_t k = 0; k < c.lineBeats.size(); ++k) {
            EXPECT_EQ(s.barPoints[k], beat(2 + c.lineBeats[k]));
            EXPECT_EQ(s.barPointOffsets[k], 0);
        }
    }
    // Whole bars: the tempo comes from the beats.
    SectionRecord whole = section(0, beat(2), beat(10));
    EXPECT_EQ(core.setPickup(3, whole), 0u);
    EXPECT_EQ(whole.barCount, 2);
    EXPECT_EQ(whole.tempoFromBeats, 1);
    EXPECT_EQ(whole.barPoints, std::vector<uint32_t> {beat(6)});
}

TEST_F(SectionTest, PickupBeforeTheAudioStart)
{
    const QString minus = "can't set pickup to minus address of audio file!";
    struct Case {
        uint32_t start;
        uint8_t pickupOn, halfBeats;
        int32_t offset;
        uint32_t code;
        bool errorText;
        uint8_t halfBeatsAfter;
        int32_t offsetAfter;
    } cases[] = {
        {beat(0), 1, 2, 0, 0x80000005, true, 2, 0},          // before the first entry
        {beat(1), 1, 2, -6000, 0x80000006, true, 2, -6000},  // the offset reaches before frame 0
        {beat(1), 1, 2, -5000, 0, false, 2, -5000},          // exactly frame 0
        {beat(0), 0, 2, 0, 0, false, 0, 0},                  // no pickup: reset
        {beat(0), 0, 0, -9000, 0, false, 0, 0},              // no pickup: offset reset
    };
    for (const Case& c : cases) {
        SectionRecord s = section(0, c.start, c.start + 80000);  // two whole bars
        s.pickupOn = c.pickupOn;
        s.pickupHalfBeats = c.halfBeats;
        s.pickupOffset = c.offset;
        core.clearError();
        EXPECT_EQ(core.setPickup(3, s), c.code) << c.start << " " << c.offset;
        EXPECT_EQ(core.errorText(), c.errorText ? minus : QString()) << c.start;
        EXPECT_EQ(s.pickupHalfBeats, c.halfBeatsAfter) << c.start;
        EXPECT_EQ(s.pickupOffset, c.offsetAfter) << c.start;
    }
}

TEST_F(SectionTest, PickupEdgeRecords)
{
    SectionRecord none = section(krm::kNoWave, beat(5), beat(1));
    const SectionRecord before = none;
    EXPECT_EQ(core.setPickup(3, none), 0u);  // no wave: nothing to check
    EXPECT_TRUE(none.equals(before));

    SectionRecord empty;
    empty.waveIndex = 0;
    EXPECT_EQ(core.setPickup(3, empty), 0u);
    SectionRecord sameBeat = section(0, beat(3), beat(3) + 100);
    EXPECT_EQ(core.setPickup(3, sameBeat), 0x8000000Au);
    SectionRecord reversed = section(0, beat(4), beat(3));
    EXPECT_EQ(core.setPickup(3, reversed), 0x80000003u);
    SectionRecord manual = section(0, beat(2), beat(12));
    manual.manualBars = 1;
    manual.tempoFromBeats = 1;
    manual.setPointCount(7);
    EXPECT_EQ(core.setPickup(3, manual), 0u);
    EXPECT_EQ(manual.barCount, 7);  // the user's bars stand
    EXPECT_EQ(manual.tempoFromBeats, 0);
    SectionRecord s = section(0, beat(2), beat(12));
    EXPECT_EQ(core.setPickup(15, s), 0x80000001u);
    SectionRecord missing = section(4, beat(2), beat(12));
    EXPECT_EQ(core.setPickup(3, missing), 0x80000012u);
}

TEST_F(SectionTest, ValidatedEditAndItsUndoStep)
{
    core.setReady(3);
    const SectionRecord s = section(0, beat(2), beat(12));
    ASSERT_EQ(core.setSecInfo(3, s), 0u);
    EXPECT_EQ(core.undoCount(), 1);
    EXPECT_EQ(core.undoText(0), "set section");
    EXPECT_EQ(core.readyFlag(3), 0);
    EXPECT_EQ(core.sec(3).barCount, 2);  // bars computed on the way in

    // The stored record again, or one differing only in its rendered length:
    // no step.
    SectionRecord stored = core.sec(3);
    core.setReady(3);
    EXPECT_EQ(core.setSecInfo(3, stored), 0u);
    stored.renderedFrames = 777;
    EXPECT_EQ(core.setSecInfo(3, stored), 0u);
    EXPECT_EQ(core.sec(3).renderedFrames, 777u);
    EXPECT_EQ(core.undoCount(), 1);
    EXPECT_EQ(core.readyFlag(3), 1);

    // A refused edit keeps the project and the history, with its text.
    SectionRecord odd = stored;
    odd.pickupOn = 1;
    odd.pickupHalfBeats = 2;
    EXPECT_EQ(core.setSecInfo(3, odd), 0x800000B7u);
    EXPECT_FALSE(core.errorText().isEmpty());
    EXPECT_EQ(core.undoCount(), 1);
    EXPECT_EQ(core.sec(3).pickupOn, 0);

    core.undo();
    EXPECT_EQ(core.sec(3).used, 0);
    EXPECT_EQ(core.setSecInfo(15, s), 0x80000012u);
}

TEST_F(SectionTest, PlayRangeAndFirstEntry)
{
    QuietMessages::warnings().clear();
    struct Case {
        uint32_t start, end;
        int32_t startOffset, endOffset;
        uint8_t pickupOn, halfBeats;
        int32_t pickupOffset;
        int32_t playStart, playEnd;
        uint32_t firstEntry;
        int warnings;
    } cases[] = {
        {beat(2), beat(12), 100, -50, 0, 0, 0, int32_t(beat(2)) + 100, int32_t(beat(12)) - 50, beat(2), 0},
        {beat(0), beat(30), -9000, 900000, 0, 0, 0, 0, 310000, beat(0),
         0},  // clamped to 0 and the last onset
        {beat(2), beat(12), 100, 0, 1, 3, 40, int32_t(beat(2)) - 15000 + 40, int32_t(beat(12)),
         beat(2) - 15000, 0},
        {beat(2), beat(12), 0, 0, 1, 2, 400000, 310000, int32_t(beat(12)), beat(1),
         1},                                                                        // pickup past the end
        {beat(2), beat(12), 0, 0, 1, 2, -20000, 0, int32_t(beat(12)), beat(1), 1},  // pickup before 0
    };
    for (const Case& c : cases) {
        SectionRecord s = section(0, c.start, c.end);
        s.startOffset = c.startOffset;
        s.endOffset = c.endOffset;
        s.pickupOn = c.pickupOn;
        s.pickupHalfBeats = c.halfBeats;
        s.pickupOffset = c.pickupOffset;
        ASSERT_EQ(core.updateSecInfo(5, s), 0u);  // unchecked: any pickup can be stored
        const int before = QuietMessages::warnings().size();
        int32_t start = 1, end = 1;
        EXPECT_EQ(core.checkPickup(5, start, end), 0u);
        EXPECT_EQ(start, c.playStart) << c.pickupOffset;
        EXPECT_EQ(end, c.playEnd) << c.pickupOffset;
        EXPECT_EQ(QuietMessages::warnings().size() - before, c.warnings) << c.pickupOffset;
        uint32_t first = 1;
        EXPECT_EQ(core.getSecStartAdrs(5, first), 0u);
        EXPECT_EQ(first, c.firstEntry) << c.pickupOffset;
    }
    EXPECT_TRUE(QuietMessages::warnings().last().contains("pickup address error [-5000]"));

    int32_t start = 1, end = 1;
    EXPECT_EQ(core.checkPickup(6, start, end), 0x80000121u);  // unassigned section
    EXPECT_EQ(start, 0);
    core.getProjectInfo()->setOnsets(0, {});
    EXPECT_EQ(core.checkPickup(5, start, end), 0x80000002u);
}

TEST_F(SectionTest, SectionTempo)
{
    // Beats 22050 frames apart: 8 beats over 176400 frames.
    core.addWave(makeWave(evenAdrs(40, 0, 11025), 1, {400000}));
    SectionRecord s = section(1, 22050, 22050 + 176400);
    s.tempoFromBeats = 1;
    ASSERT_EQ(core.updateSecInfo(4, s), 0u);
    uint32_t tempo = 0;
    EXPECT_EQ(core.calcSecTempo(4, tempo), 0u);
    EXPECT_EQ(tempo, 120u);
    EXPECT_EQ(core.wave(1).tempo, 120u);

    // From bars: 3 bars of 4 beats over the same length.
    s.tempoFromBeats = 0;
    s.setPointCount(3);
    ASSERT_EQ(core.updateSecInfo(4, s), 0u);
    EXPECT_EQ(core.calcSecTempo(4, tempo), 0u);
    EXPECT_EQ(tempo, 180u);

    // No bars: a tempo of 0 is refused and nothing is stored.
    s.setPointCount(0);
    ASSERT_EQ(core.updateSecInfo(4, s), 0u);
    tempo = 55;
    EXPECT_EQ(core.calcSecTempo(4, tempo), 0x80000007u);
    EXPECT_EQ(tempo, 55u);
    EXPECT_EQ(core.wave(1).tempo, 180u);

    SectionRecord flat = section(1, 5000, 5000);
    ASSERT_EQ(core.updateSecInfo(4, flat), 0u);
    EXPECT_EQ(core.calcSecTempo(4, tempo), 0x80000002u);

    // 10 beats at 4/4 without a pickup: 2 bars, so 8 beats over the whole
    // length of 10 (8 * 2646000 / 100000 = 211.68, truncated).
    ASSERT_EQ(core.setSecInfo(3, section(0, beat(2), beat(12))), 0u);
    EXPECT_EQ(core.calcSecTempo(3, tempo), 0u);
    EXPECT_EQ(tempo, 211u);
}

TEST_F(SectionTest, ToggleSearchListsSectionsOnMixedEntries)
{
    // Entries 2 and 12 (even), 3 and 13 (odd), 2 and 13 (mixed).
    const uint32_t e2 = 15000, e3 = 20000, e12 = 65000, e13 = 70000;
    ASSERT_EQ(core.updateSecInfo(3, section(0, e2, e12, 1)), 0u);
    ASSERT_EQ(core.updateSecInfo(4, section(0, e3, e13, 0)), 0u);
    ASSERT_EQ(core.updateSecInfo(7, section(0, e2, e13, 0)), 0u);
    ASSERT_EQ(core.updateSecInfo(11, section(0, e2 + 1, e12, 0)), 0u);  // not on an entry
    QString message;
    EXPECT_EQ(core.findToggleBeat(0, message), 0u);
    EXPECT_EQ(core.sec(3).toggle, 0);
    EXPECT_EQ(core.sec(4).toggle, 1);
    EXPECT_EQ(message, "can't find suitable toggle beat setting :\r\n[Fill In A]\r\n[Break]\r\nedit start "
                       "and end points again!");

    QString quiet;
    EXPECT_EQ(core.findToggleBeat(1, quiet), 0u);  // no sections on that wave
    EXPECT_TRUE(quiet.isEmpty());
    // The closing line follows any text the message already holds.
    QString earlier = "tempo changed\r\n";
    EXPECT_EQ(core.findToggleBeat(1, earlier), 0u);
    EXPECT_EQ(earlier, "tempo changed\r\nedit start and end points again!");
}

TEST_F(SectionTest, RemoveWaveRenumbersSectionsInOneStep)
{
    core.addWave(makeWave(evenAdrs(60, 5000, 5000), 1, {310000}));
    ASSERT_EQ(core.setSecInfo(0, section(0, beat(1), beat(9))), 0u);
    ASSERT_EQ(core.setSecInfo(3, section(1, beat(2), beat(10))), 0u);
    ASSERT_EQ(core.setSecInfo(5, section(1, beat(4), beat(8))), 0u);
    core.clearUndoStack();
    SectionRecord before[krm::kSectionCount];
    for (uint8_t i = 0; i < krm::kSectionCount; ++i)
        before[i] = core.sec(i);
    for (uint8_t i = 0; i < krm::kSectionCount; ++i)
        core.setReady(i);

    ASSERT_EQ(core.removeWav(0), 0u);
    EXPECT_EQ(core.undoCount(), 1);
    EXPECT_EQ(core.undoText(0), "set all");
    ASSERT_EQ(core.getProjectInfo()->waveCount(), 1u);
    EXPECT_EQ(core.sec(0).used, 0);
    EXPECT_EQ(core.sec(0).waveIndex, 0);  // cleared, pointing at the remaining wave
    EXPECT_EQ(core.sec(0).startAdrs, 0u);
    for (uint8_t i : {3, 5}) {
        SectionRecord expected = before[i];
        expected.waveIndex = 0;
        EXPECT_TRUE(core.sec(i).equals(expected)) << int(i);
    }
    EXPECT_EQ(core.readyFlag(3), 0);
    bool assigned = false;
    EXPECT_EQ(core.hasAssignedSec(assigned), 0u);
    EXPECT_TRUE(assigned);

    core.undo();
    ASSERT_EQ(core.getProjectInfo()->waveCount(), 2u);
    for (uint8_t i = 0; i < krm::kSectionCount; ++i)
        EXPECT_TRUE(core.sec(i).equals(before[i])) << int(i);

    // The last wave: its sections keep no wave.
    core.redo();
    ASSERT_EQ(core.removeWav(0), 0u);
    EXPECT_EQ(core.sec(3).waveIndex, krm::kNoWave);
    EXPECT_EQ(core.hasAssignedSec(assigned), 0u);
    EXPECT_FALSE(assigned);
    EXPECT_EQ(core.removeWav(0), 0x80000012u);
    EXPECT_EQ(core.undoCount(), 2);
}

TEST_F(SectionTest, TimeSignatureChanges)
{
    ASSERT_EQ(core.setSecInfo(3, section(0, beat(2), beat(12))), 0u);
    core.clearUndoStack();
    EXPECT_EQ(core.setTimeSignature(13, 4), 0x80000012u);
    EXPECT_EQ(core.setTimeSignature(3, 5), 0x80000022u);
    EXPECT_EQ(core.undoCount(), 0);  // refused: not even beats per bar changed
    uint8_t bpb = 0, unit = 0;
    core.getTimeSig(&bpb, &unit);
    EXPECT_EQ(bpb, 4);
    EXPECT_EQ(core.setTimeSignature(5, 8), 0u);
    EXPECT_EQ(core.undoCount(), 1);
    core.getTimeSig(&bpb, &unit);
    EXPECT_EQ(bpb * 10 + unit, 58);

    // At analysis time every section is refitted to the new bars; a refused
    // meter changes nothing but the rendered-audio flags.
    core.setReady(3);
    EXPECT_EQ(core.setTimeSigAndFitSec(13, 4), 0x80000013u);
    EXPECT_EQ(core.undoCount(), 1);
    EXPECT_EQ(core.sec(3).used, 1);
    EXPECT_FALSE(core.isSecWavReady(3));
    for (uint8_t i = 0; i < krm::kSectionCount; ++i)
        core.setReady(i);
    EXPECT_EQ(core.setTimeSigAndFitSec(3, 4), 0u);
    EXPECT_EQ(core.undoCount(), 2);
    EXPECT_EQ(core.sec(3).barCount, 3);  // 10 beats: 3 bars of 3
    EXPECT_EQ(core.sec(3).barPoints, (std::vector<uint32_t> {beat(5), beat(8)}));
    EXPECT_EQ(core.sec(3).used, 0);
    EXPECT_NEAR(core.wave(0).barLength, 3 * 10000 / 44100.0, 1e-5);
    for (uint8_t i = 0; i < krm::kSectionCount; ++i)
        EXPECT_FALSE(core.isSecWavReady(i));
}

TEST_F(SectionTest, RefitAfterBeatChangeTakesTheTempoOfTheReference)
{
    // Section 3 spans 8 beats of 10000 frames: 264.6 beats per minute.
    SectionRecord s = section(0, beat(2), beat(10));
    ASSERT_EQ(core.setSecInfo(3, s), 0u);
    ASSERT_EQ(core.setSecInfo(12, section(0, beat(12), beat(16))), 0u);
    core.clearUndoStack();
    QString message;
    EXPECT_EQ(core.updateSecInfoOfWav(0, 3, message), 0u);
    CommonInfo* common = nullptr;
    core.getProjectInfo()->getCommonInfo(&common);
    EXPECT_EQ(common->tempo, 264u);
    EXPECT_TRUE(message.isEmpty());

    // Without the reference, the first used section after the intros.
    EXPECT_EQ(core.updateSecInfoOfWav(0, 14, message), 0u);
    core.getProjectInfo()->getCommonInfo(&common);
    EXPECT_EQ(common->tempo, 264u);
    // No used section at all: back to 120.
    core.clearSecInfo();
    EXPECT_EQ(core.updateSecInfoOfWav(0, 3, message), 0u);
    core.getProjectInfo()->getCommonInfo(&common);
    EXPECT_EQ(common->tempo, 120u);
    EXPECT_EQ(core.updateSecInfoOfWav(3, 3, message), 0x80000011u);

    // A section that no longer fits its pickup stops the refit with its text.
    SectionRecord odd = section(0, beat(2), beat(12));
    odd.pickupOn = 1;
    odd.pickupHalfBeats = 2;
    ASSERT_EQ(core.updateSecInfo(6, odd), 0u);
    EXPECT_EQ(core.updateSecInfoOfWav(0, 3, message), 0x800000B8u);
    EXPECT_EQ(message, "confirm beat number and pickup setting!\r\nodd beat with pickup is not allowed!");
}

TEST_F(SectionTest, RelinkAWave)
{
    EXPECT_EQ(core.setWavPath(0, L"/elsewhere/song.wav"), 0u);
    EXPECT_EQ(core.wave(0).path, L"/elsewhere/song.wav");
    EXPECT_EQ(core.setWavPath(1, L"x"), 0x80000001u);
    EXPECT_FALSE(core.canUndo());
}
