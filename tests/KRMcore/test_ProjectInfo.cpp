#include "ProjectInfo.h"
#include "ProjectRecords.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

WaveInfoRecord* makeWave(const std::wstring& path, float firstBeat)
{
    return records::Wave(path)
        .beats({firstBeat, firstBeat + 0.5f})
        .onsets({firstBeat + 0.1f})
        .barLength(2.0f)
        .beatStep(2)
        .marks({{1.0f, 3}}, {{1.5f, 4}})
        .tempo(97)
        .make();
}

bool sameWave(const WaveInfoRecord& a, const WaveInfoRecord& b)
{
    return a.path == b.path && a.beats == b.beats && a.onsets == b.onsets && a.barLength == b.barLength &&
           a.beatStep == b.beatStep && a.detectedMarks == b.detectedMarks && a.fittedMarks == b.fittedMarks &&
           a.tempo == b.tempo;
}

}  // namespace

TEST(ProjectInfo, NewProjectIsEmptyWithDefaults)
{
    ProjectInfo p;
    EXPECT_EQ(p.waveCount(), 0u);

    SectionRecord* sec = nullptr;
    WaveInfoRecord* wave = reinterpret_cast<WaveInfoRecord*>(1);
    // An unassigned section still hands out its own address.
    EXPECT_EQ(p.getSecAndWave(0, &sec, &wave), 0x80000012u);
    ASSERT_NE(sec, nullptr);
    EXPECT_EQ(wave, nullptr);
    EXPECT_EQ(sec->waveIndex, 255);
    EXPECT_EQ(sec->used, 0);
    EXPECT_TRUE(sec->barPoints.empty());

    uint8_t used = 7;
    EXPECT_EQ(p.isWaveUsed(0, &used), 0u);
    EXPECT_EQ(used, 0);

    CommonInfo* c = nullptr;
    ASSERT_EQ(p.getCommonInfo(&c), 0u);
    EXPECT_EQ(c->volume, 80);
    EXPECT_EQ(c->pan, 64);
    EXPECT_EQ(c->reverb, 0);
    EXPECT_EQ(c->tempo, 120u);
    EXPECT_EQ(c->beatsPerBar, 4);
    EXPECT_EQ(c->beatUnit, 4);
    EXPECT_EQ(c->normalizeBlend, 50);
    EXPECT_EQ(c->normalizeOn, 0);
}

TEST(ProjectInfo, SetTimeSignatureKeepsValidNumeratorOnly)
{
    struct Case {
        uint8_t b, u;
        uint32_t code;
        uint8_t wantB, wantU;
    };
    const Case cases[] = {
        {13, 4, 0x80000001u, 4, 4}, {0, 4, 0x80000001u, 4, 4},
        {3, 5, 0x80000002u, 3, 4},  // numerator kept, unit refused
        {12, 8, 0u, 12, 8},         {1, 2, 0u, 1, 2},
    };
    for (const Case& c : cases) {
        ProjectInfo p;
        EXPECT_EQ(p.setTimeSignature(c.b, c.u), c.code) << int(c.b) << "/" << int(c.u);
        uint8_t b = 0, u = 0;
        p.getTimeSig(&b, &u);
        EXPECT_EQ(b, c.wantB) << int(c.b) << "/" << int(c.u);
        EXPECT_EQ(u, c.wantU) << int(c.b) << "/" << int(c.u);
    }
}

TEST(SectionRecord, PointCountKeepsArraysInStepWithBars)
{
    SectionRecord s;
    s.setPointCount(5);
    ASSERT_EQ(s.barPoints.size(), 4u);
    ASSERT_EQ(s.barPointOffsets.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        s.barPoints[k] = 100u * (k + 1);
        s.barPointOffsets[k] = -k;
    }
    s.setPointCount(7);  // grow: old values stay, new ones are 0
    EXPECT_EQ(s.barPoints, (std::vector<uint32_t> {100, 200, 300, 400, 0, 0}));
    EXPECT_EQ(s.barPointOffsets, (std::vector<int32_t> {0, -1, -2, -3, 0, 0}));
    s.setPointCount(3);  // shrink: the leading values stay
    EXPECT_EQ(s.barPoints, (std::vector<uint32_t> {100, 200}));
    for (uint16_t n : {1, 0}) {
        s.setPointCount(n);
        EXPECT_EQ(s.barCount, n);
        EXPECT_TRUE(s.barPoints.empty());
        EXPECT_TRUE(s.barPointOffsets.empty());
    }

    SectionRecord one;
    one.setPointCount(1);
    one.startAdrs = 44100;
    SectionRecord copy(one);
    EXPECT_EQ(copy.barCount, 1);
    EXPECT_TRUE(copy.barPoints.empty());
    EXPECT_TRUE(copy.equals(one));

    s.clear();
    EXPECT_EQ(s.barCount, 0);
    EXPECT_EQ(s.waveIndex, 255);
    EXPECT_TRUE(s.barPoints.empty());
}

TEST(SectionRecord, EqualityIgnoresRenderedFramesButCopyCarriesIt)
{
    SectionRecord a;
    a.used = 1;
    a.waveIndex = 0;
    a.startAdrs = 10;
    a.endAdrs = 900;
    a.setPointCount(3);
    a.barPoints = {300, 600};
    a.barPointOffsets = {5, -5};
    a.renderedFrames = 1234;

    SectionRecord b = a;
    EXPECT_EQ(b.renderedFrames, 1234u);
    EXPECT_EQ(b.barPoints, a.barPoints);
    b.renderedFrames = 99;
    EXPECT_TRUE(a.equals(b));

    b = a;
    b.barPointOffsets[1] = 0;  // inner offsets are part of the record
    EXPECT_FALSE(a.equals(b));
    b = a;
    b.pickupOffset = 1;
    EXPECT_FALSE(a.equals(b));

    // The copy owns its arrays.
    b = a;
    b.barPoints[0] = 1;
    EXPECT_EQ(a.barPoints[0], 300u);
}

TEST(ProjectInfo, BadIndexesAreRefusedAndChangeNothing)
{
    ProjectInfo p;
    p.addWave(makeWave(L"a.wav", 0.0f));
    p.addWave(makeWave(L"b.wav", 1.0f));
    const WaveInfoRecord other;
    const std::vector<float> list {9.0f};

    struct Case {
        const char* name;
        std::function<uint32_t()> op;
    };
    const Case cases[] = {
        {"getWave",
         [&] {
             WaveInfoRecord* w = nullptr;
             return p.getWave(2, &w);
         }},
        {"setWave", [&] { return p.setWave(2, other); }},
        {"setWavePath", [&] { return p.setWavePath(2, L"x"); }},
        {"setBeats", [&] { return p.setBeats(2, list); }},
        {"setOnsets", [&] { return p.setOnsets(2, list); }},
        {"setBarLength", [&] { return p.setBarLength(2, 1.0f); }},
        {"setWaveTempo", [&] { return p.setWaveTempo(255, 80); }},
        {"detachWave", [&] { return p.detachWave(2); }},
        {"removeWave", [&] { return p.removeWave(2); }},
        {"getSection",
         [&] {
             SectionRecord* s = nullptr;
             return p.getSection(15, &s);
         }},
        {"setSectionInfo", [&] { return p.setSectionInfo(15, SectionRecord()); }},
        {"getSecAndWave",
         [&] {
             SectionRecord* s;
             WaveInfoRecord* w;
             return p.getSecAndWave(15, &s, &w);
         }},
        {"getSecAndWave without record out",
         [&] {
             SectionRecord* s;
             return p.getSecAndWave(0, &s, nullptr);
         }},
        {"getWaveOfSection",
         [&] {
             WaveInfoRecord* w;
             return p.getWaveOfSection(15, &w);
         }},
        {"addWave of no record", [&] { return p.addWave(nullptr); }},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.op(), 0x80000001u) << c.name;

    ASSERT_EQ(p.waveCount(), 2u);
    WaveInfoRecord* w = nullptr;
    ASSERT_EQ(p.getWave(1, &w), 0u);
    std::unique_ptr<WaveInfoRecord> expectB(makeWave(L"b.wav", 1.0f));
    EXPECT_TRUE(sameWave(*w, *expectB));
}

TEST(ProjectInfo, WaveListEditsAndSectionLookup)
{
    ProjectInfo p;
    p.addWave(makeWave(L"a.wav", 0.0f));
    p.addWave(makeWave(L"b.wav", 1.0f));

    SectionRecord sec;
    sec.used = 1;
    sec.waveIndex = 1;
    ASSERT_EQ(p.setSectionInfo(4, sec), 0u);
    SectionRecord unused;
    unused.waveIndex = 0;  // assigned but not used: does not count
    ASSERT_EQ(p.setSectionInfo(2, unused), 0u);

    uint8_t flag = 0;
    p.isWaveUsed(1, &flag);
    EXPECT_EQ(flag, 1);
    p.isWaveUsed(0, &flag);
    EXPECT_EQ(flag, 0);

    WaveInfoRecord* w = nullptr;
    ASSERT_EQ(p.getWaveOfSection(4, &w), 0u);
    EXPECT_EQ(w->path, L"b.wav");

    // Lists are replaced, not appended to.
    ASSERT_EQ(p.setBeats(0, {1.0f, 2.0f}), 0u);
    ASSERT_EQ(p.setBeats(0, {3.0f}), 0u);
    p.getWave(0, &w);
    EXPECT_EQ(w->beats, std::vector<float> {3.0f});
    ASSERT_EQ(p.setWavePath(0, w->path), 0u);  // its own path: unchanged
    EXPECT_EQ(w->path, L"a.wav");

    // Removing wave 0 moves B down; sections are not renumbered here.
    ASSERT_EQ(p.removeWave(0), 0u);
    ASSERT_EQ(p.waveCount(), 1u);
    p.getWave(0, &w);
    EXPECT_EQ(w->path, L"b.wav");
    SectionRecord* s = nullptr;
    p.getSection(4, &s);
    EXPECT_EQ(s->waveIndex, 1);
    EXPECT_EQ(p.getSecAndWave(4, &s, &w), 0x80000012u);
    EXPECT_EQ(w, nullptr);

    // A detached record belongs to the caller again.
    std::unique_ptr<WaveInfoRecord> detached;
    p.getWave(0, &w);
    ASSERT_EQ(p.detachWave(0), 0u);
    detached.reset(w);
    EXPECT_EQ(p.waveCount(), 0u);
    EXPECT_EQ(detached->path, L"b.wav");
}

TEST(ProjectInfo, AssignIsAnIndependentDeepCopy)
{
    ProjectInfo src;
    src.addWave(makeWave(L"a.wav", 0.0f));
    src.addWave(makeWave(L"b.wav", 1.0f));
    SectionRecord sec;
    sec.used = 1;
    sec.waveIndex = 1;
    sec.setPointCount(4);
    sec.barPoints = {1, 2, 3};
    src.setSectionInfo(7, sec);
    src.setTimeSignature(3, 8);

    ProjectInfo dst;
    for (int i = 0; i < 5; ++i)
        dst.addWave(makeWave(L"old.wav", float(i)));
    ASSERT_EQ(dst.assign(src), 0u);
    ASSERT_EQ(dst.waveCount(), 2u);
    for (uint8_t w = 0; w < 2; ++w) {
        WaveInfoRecord *a = nullptr, *b = nullptr;
        src.getWave(w, &a);
        dst.getWave(w, &b);
        EXPECT_NE(a, b);
        EXPECT_TRUE(sameWave(*a, *b));
    }
    SectionRecord* copied = nullptr;
    dst.getSection(7, &copied);
    EXPECT_TRUE(copied->equals(sec));
    uint8_t b = 0, u = 0;
    dst.getTimeSig(&b, &u);
    EXPECT_EQ(b, 3);
    EXPECT_EQ(u, 8);

    // Later edits of the source do not reach the copy.
    src.setBeats(0, {42.0f});
    SectionRecord* srcSec = nullptr;
    src.getSection(7, &srcSec);
    srcSec->barPoints[0] = 99;
    WaveInfoRecord* w0 = nullptr;
    dst.getWave(0, &w0);
    EXPECT_EQ(w0->beats.size(), 2u);
    EXPECT_EQ(copied->barPoints[0], 1u);

    // Assigning a project to itself keeps its waves.
    ASSERT_EQ(dst.assign(dst), 0u);
    ASSERT_EQ(dst.waveCount(), 2u);
    dst.getWave(1, &w0);
    EXPECT_EQ(w0->path, L"b.wav");
}
