// Random beat lists and random edits: committed sections stay inside their
// wave with ordered bar lines, and undo then redo restores the saved
// project byte for byte.
#include "EditFixture.h"
#include "TestUtil.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <random>

using namespace edit_test;

namespace {

struct Snapshotter {
    testutil::TempDir dir;
    int count = 0;

    // The project as the engine saves it, written by a scratch engine so
    // that the saved engine keeps its undo history.
    std::vector<uint8_t> bytes(CKRMcore& core)
    {
        CKRMcore scratch;
        EXPECT_EQ(scratch.setAllInfo(*core.getProjectInfo()), 0u);
        const QString path = dir.path(QString("p%1.svproj").arg(count++));
        EXPECT_EQ(scratch.saveProject(path.toStdWString()), 0u);
        return testutil::readFile(path);
    }
};

WaveInfoRecord* randomWave(std::mt19937& rng)
{
    const uint16_t step = std::uniform_int_distribution<int>(1, 3)(rng);
    const int n = std::uniform_int_distribution<int>(12, 70)(rng);
    std::uniform_int_distribution<uint32_t> gap(1500, 9000 / step + 1500);
    std::vector<uint32_t> adrs;
    uint32_t a = std::uniform_int_distribution<uint32_t>(0, 30000)(rng);
    for (int i = 0; i < n; ++i) {
        adrs.push_back(a);
        a += gap(rng);
    }
    std::vector<uint32_t> onsets;
    for (uint32_t b : adrs)
        if (rng() % 3 == 0)
            onsets.push_back(b + rng() % 800);
    onsets.push_back(a + rng() % 20000);  // the audio runs on after the last beat
    std::sort(onsets.begin(), onsets.end());
    return makeWave(adrs, step, onsets);
}

SectionRecord randomSection(std::mt19937& rng, TestCore& core)
{
    const uint8_t w = static_cast<uint8_t>(rng() % core.getProjectInfo()->waveCount());
    const WaveInfoRecord& wave = core.wave(w);
    SectionRecord s;
    s.used = 1;
    s.waveIndex = w;
    s.toggle = rng() % 2;
    const size_t n = wave.beats.size();
    if (n < 2)
        return s;
    const size_t i = rng() % (n - 1);
    const size_t j = i + 1 + rng() % (n - 1 - i);
    s.startAdrs = secondsToSamples(wave.beats[i]);
    s.endAdrs = secondsToSamples(wave.beats[j]);
    s.startOffset = static_cast<int32_t>(rng() % 2001) - 1000;
    s.endOffset = static_cast<int32_t>(rng() % 2001) - 1000;
    s.pickupOn = rng() % 2;
    s.pickupHalfBeats = rng() % 4;
    s.pickupOffset = static_cast<int32_t>(rng() % 4001) - 2000;
    s.fadeOn = rng() % 2;
    return s;
}

void checkSections(TestCore& core, const std::string& where)
{
    for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
        const SectionRecord& s = core.sec(i);
        if (!s.used)
            continue;
        ASSERT_LT(s.waveIndex, core.getProjectInfo()->waveCount()) << where << " section " << int(i);
        const WaveInfoRecord& wave = core.wave(s.waveIndex);
        const uint32_t end = secondsToSamples(wave.onsets.back());
        EXPECT_LE(s.startAdrs, s.endAdrs) << where << " section " << int(i);
        EXPECT_LE(s.endAdrs, end) << where << " section " << int(i);
        ASSERT_EQ(s.barPoints.size(), s.barCount > 1 ? s.barCount - 1u : 0u) << where;
        uint32_t previous = s.startAdrs;
        for (uint32_t p : s.barPoints) {
            EXPECT_GT(p, previous) << where << " section " << int(i);
            previous = p;
        }
        if (!s.barPoints.empty()) {
            EXPECT_LT(s.barPoints.back(), s.endAdrs) << where << " section " << int(i);
        }
    }
}

}  // namespace

TEST(EditProperty, SectionsStayValidAndUndoRedoRestoresTheSavedProject)
{
    QuietMessages quiet;
    Snapshotter snap;
    for (unsigned seed = 1; seed <= 25; ++seed) {
        std::mt19937 rng(seed);
        TestCore core;
        core.addWave(randomWave(rng));
        if (rng() % 2)
            core.addWave(randomWave(rng));
        for (int op = 0; op < 14; ++op) {
            const std::string where = "seed " + std::to_string(seed) + " op " + std::to_string(op);
            const int before = core.undoIndex();
            const std::vector<uint8_t> bytesBefore = snap.bytes(core);
            const uint8_t w = static_cast<uint8_t>(rng() % core.getProjectInfo()->waveCount());
            const int kind = rng() % 10;
            uint32_t r = 0;
            bool allOrNothing = true;  // runs on a scratch copy: fails without a trace
            if (kind <= 4) {
                r = core.setSecInfo(static_cast<uint8_t>(rng() % krm::kSectionCount),
                                    randomSection(rng, core));
            } else if (kind <= 6) {
                uint16_t step = 0;
                QString message;
                r = core.setTempo(rng() % 4, w, 3, rng() % 2, step, message);
            } else if (kind == 7) {
                const uint8_t sigs[][2] = {{3, 4}, {4, 4}, {6, 8}, {2, 2}};
                const auto& sig = sigs[rng() % 4];
                r = core.setTimeSignature(sig[0], sig[1]);
            } else if (kind == 8) {
                allOrNothing = false;  // the beat list itself changes without a step
                r = core.addLastAdrsAsBeat(w);
            } else if (core.getProjectInfo()->waveCount() > 1) {
                r = core.removeWav(w);
            }
            const int after = core.undoIndex();
            const std::vector<uint8_t> bytesAfter = snap.bytes(core);
            checkSections(core, where);
            if (r != 0 && allOrNothing) {
                EXPECT_EQ(after, before) << where;
                EXPECT_EQ(bytesAfter, bytesBefore) << where;
                continue;
            }
            for (int k = after; k > before; --k)
                core.undo();
            if (allOrNothing) {
                EXPECT_EQ(snap.bytes(core), bytesBefore) << where;
            }
            for (int k = before; k < after; ++k)
                core.redo();
            EXPECT_EQ(core.undoIndex(), after) << where;
            EXPECT_EQ(snap.bytes(core), bytesAfter) << where;
        }
    }
}
