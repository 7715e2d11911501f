// The project file (".svproj") and the wave-info file (".awi"): byte
// layout, round trips, refusal of damaged files and safe saving.
#include "CKRMcore.h"
#include "FileBytes.h"
#include "ProjectInfo.h"
#include "../ProjectRecords.h"
#include "TestUtil.h"
#include "prjMngr.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>

using filebytes::be16;
using filebytes::be32;
using filebytes::Bytes;
using filebytes::setBe32;

namespace {

constexpr uint32_t nest(uint32_t inner, uint32_t step)
{
    return (inner << 4) | 0x80000000u | step;
}

WaveInfoRecord* makeWave(const std::wstring& path, std::vector<float> beats, std::vector<float> onsets,
                         std::vector<SegmentMark> detected = {}, std::vector<SegmentMark> fitted = {})
{
    return records::Wave(path)
        .beats(std::move(beats))
        .onsets(std::move(onsets))
        .barLength(2.0f)
        .marks(std::move(detected), std::move(fitted))
        .make();
}

void addWave(CKRMcore& e, WaveInfoRecord* w)
{
    const uint32_t rc = e.addWavList(w);
    if (rc != 0)
        delete w;
    ASSERT_EQ(rc, 0u);
}

void setSection(CKRMcore& e, uint8_t i, const std::function<void(SectionRecord&)>& edit)
{
    SectionRecord* cur = nullptr;
    ASSERT_EQ(e.getSecInfo(i, &cur), 0u);
    SectionRecord s = *cur;
    edit(s);
    ASSERT_EQ(e.updateSecInfo(i, s), 0u);
}

SectionRecord section(CKRMcore& e, uint8_t i)
{
    SectionRecord* s = nullptr;
    EXPECT_EQ(e.getSecInfo(i, &s), 0u);
    return s ? *s : SectionRecord();
}

CommonInfo common(CKRMcore& e)
{
    CommonInfo* c = nullptr;
    EXPECT_EQ(e.getProjectInfo()->getCommonInfo(&c), 0u);
    return c ? *c : CommonInfo();
}

WaveInfoRecord wave(CKRMcore& e, uint8_t w)
{
    WaveInfoRecord* r = nullptr;
    EXPECT_EQ(e.getWavInfo(w, &r), 0u);
    return r ? *r : WaveInfoRecord();
}

// The project as its file would hold it; saving through a manager of its own
// leaves the engine's undo history alone.
Bytes projectBytes(CKRMcore& e, const testutil::TempDir& dir)
{
    std::unique_ptr<IF_prjMngr> m(createPrjMngr(&e));
    const QString p = dir.path("snapshot.svproj");
    EXPECT_EQ(m->saveProject(p.toStdWString()), 0u);
    return testutil::readFile(p);
}

// Two waves, a section with three bars and a non-default common info.
void fillTwoWaveProject(CKRMcore& e)
{
    addWave(e, makeWave(L"/m/a.wav", {0.5f, 1.0f}, {0.25f}, {{0.0f, 2}}, {{0.5f, 3}}));
    addWave(e, makeWave(L"/m/b.wav", {0.5f, 1.0f}, {0.25f}, {{0.0f, 2}}, {{0.5f, 3}}));
    setSection(e, 3, [](SectionRecord& s) {
        s.used = 1;
        s.waveIndex = 1;
        s.setPointCount(3);
        s.barPoints = {1000, 2000};
        s.barPointOffsets = {-1, 1};
        s.toggle = 1;
    });
    CommonInfo c = common(e);
    c.tempo = 100;
    ASSERT_EQ(e.setCommonInfo(c), 0u);
}

}  // namespace

TEST(ProjectFile, OneWaveProjectHasTheExactLayoutAndSavesIdenticallyAfterLoading)
{
    testutil::TempDir dir;
    CKRMcore engine;
    WaveInfoRecord* w = makeWave(L"C:/a.wav", {0.5f, 1.0f}, {0.25f});
    w->tempo = 97;  // not stored
    addWave(engine, w);
    setSection(engine, 0, [](SectionRecord& s) { s.renderedFrames = 12345; });  // not stored
    ASSERT_EQ(engine.saveProject(dir.wpath("p.svproj")), 0u);

    const Bytes f = testutil::readFile(dir.path("p.svproj"));
    ASSERT_EQ(f.size(), 669u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "KRMPT012");
    const std::vector<uint32_t> header = {be32(f, 8),  be32(f, 12), be32(f, 16),
                                          be32(f, 20), be32(f, 24), be32(f, 28)};
    EXPECT_EQ(header, (std::vector<uint32_t> {32, 55, 87, 571, 658, 11}));

    // Block A: count, directory, then the 46-byte item.
    EXPECT_EQ(f[32], 1);
    EXPECT_EQ(be32(f, 33), 9u);
    EXPECT_EQ(be32(f, 37), 46u);
    EXPECT_EQ(be32(f, 41), 8u);
    EXPECT_EQ(std::string(f.begin() + 45, f.begin() + 53), "C:/a.wav");
    const std::vector<uint32_t> item = {be32(f, 53), be32(f, 57), be32(f, 61),
                                        be32(f, 65), be32(f, 69), be32(f, 73)};
    EXPECT_EQ(item, (std::vector<uint32_t> {2, 0x3F000000, 0x3F800000, 1, 0x3E800000, 0x40000000}));
    EXPECT_EQ(be16(f, 77), 1u);  // beatStep
    EXPECT_EQ(be32(f, 79), 0u);  // no detected marks
    EXPECT_EQ(be32(f, 83), 0u);  // no fitted marks

    // Block B: 15 directory entries of 30-byte bodies; a cleared body is
    // "unused, no wave" and zeros, with no room for renderedFrames.
    EXPECT_EQ(f[87], 15);
    for (uint32_t i = 0; i < 15; ++i) {
        EXPECT_EQ(be32(f, 88 + 8 * i), 121 + 30 * i) << i;
        EXPECT_EQ(be32(f, 92 + 8 * i), 30u) << i;
    }
    Bytes cleared(30, 0);
    cleared[1] = 255;
    EXPECT_EQ(Bytes(f.begin() + 208, f.begin() + 238), cleared);

    // Block C: the default common info.
    EXPECT_EQ(Bytes(f.begin() + 658, f.end()), (Bytes {80, 64, 0, 0, 0, 0, 120, 4, 4, 50, 0}));

    CKRMcore loaded;
    ASSERT_EQ(loaded.loadProject(dir.wpath("p.svproj")), 0u);
    ASSERT_EQ(loaded.saveProject(dir.wpath("again.svproj")), 0u);
    EXPECT_EQ(testutil::readFile(dir.path("again.svproj")), f);
    EXPECT_EQ(wave(loaded, 0).tempo, 120u);
    EXPECT_EQ(section(loaded, 0).renderedFrames, 0u);
}

TEST(ProjectFile, EveryStoredFieldSurvivesSaveAndLoad)
{
    testutil::TempDir dir;
    CKRMcore engine;
    addWave(engine, makeWave(L"/tmp/\u00fc/Stra\u00dfe take.wav", {0.1f, 0.6f, 1.1f}, {0.05f, 0.7f},
                             {{0.0f, 2}, {8.5f, 7}}, {{0.125f, 3}}));
    addWave(engine, makeWave(L"/x/b.wav", {}, {}));
    {
        WaveInfoRecord w0 = wave(engine, 0);
        w0.barLength = 2.5f;
        w0.beatStep = 3;
        ASSERT_EQ(engine.setWave(0, w0), 0u);
    }
    setSection(engine, 3, [](SectionRecord& s) {
        s.used = 1;
        s.waveIndex = 1;
        s.startAdrs = 44100;
        s.startOffset = -300;
        s.endAdrs = 441000;
        s.endOffset = 17;
        s.setPointCount(3);
        s.barPoints = {100000, 200000};
        s.barPointOffsets = {-5, 6};
        s.tempoFromBeats = 1;
        s.manualBars = 1;
        s.fadeOn = 1;
        s.pickupOn = 1;
        s.pickupHalfBeats = 3;
        s.pickupOffset = -99;
        s.toggle = 1;
    });
    setSection(engine, 14, [](SectionRecord& s) {
        s.used = 1;
        s.waveIndex = 0;
        s.setPointCount(2);
        s.barPoints = {0xFFFFFFF0u};
        s.barPointOffsets = {-2147483647 - 1};
    });
    const CommonInfo c {100, 10, 33, 133, 3, 8, 70, 1};
    ASSERT_EQ(engine.setCommonInfo(c), 0u);
    ASSERT_EQ(engine.saveProject(dir.wpath("p.svproj")), 0u);

    CKRMcore loaded;
    ASSERT_EQ(loaded.loadProject(dir.wpath("p.svproj")), 0u);
    ASSERT_EQ(loaded.getProjectInfo()->waveCount(), 2u);
    for (uint8_t w = 0; w < 2; ++w) {
        const WaveInfoRecord a = wave(engine, w), b = wave(loaded, w);
        EXPECT_EQ(a.path, b.path);
        EXPECT_EQ(a.beats, b.beats);
        EXPECT_EQ(a.onsets, b.onsets);
        EXPECT_EQ(a.barLength, b.barLength);
        EXPECT_EQ(a.beatStep, b.beatStep);
        EXPECT_EQ(a.detectedMarks, b.detectedMarks);
        EXPECT_EQ(a.fittedMarks, b.fittedMarks);
    }
    for (uint8_t i = 0; i < 15; ++i)
        EXPECT_TRUE(section(engine, i).equals(section(loaded, i))) << int(i);
    EXPECT_EQ(common(loaded), c);
    EXPECT_FALSE(loaded.canUndo());
}

TEST(ProjectFile, EmptyBlocksLeaveTheirPartOfTheProjectAlone)
{
    testutil::TempDir dir;
    CKRMcore empty;
    ASSERT_EQ(empty.saveProject(dir.wpath("empty.svproj")), 0u);
    const Bytes emptyFile = testutil::readFile(dir.path("empty.svproj"));
    EXPECT_EQ(be32(emptyFile, 12), 1u);  // block A is the count byte alone
    EXPECT_EQ(emptyFile[32], 0);

    CKRMcore source;
    fillTwoWaveProject(source);
    const Bytes full = projectBytes(source, dir);

    // The target differs from the source in every block.
    auto target = [] {
        auto e = std::make_unique<CKRMcore>();
        addWave(*e, makeWave(L"/t/only.wav", {1.0f}, {}));
        setSection(*e, 5, [](SectionRecord& s) {
            s.used = 1;
            s.waveIndex = 0;
        });
        CommonInfo c = common(*e);
        c.volume = 7;
        EXPECT_EQ(e->setCommonInfo(c), 0u);
        return e;
    };

    {
        auto e = target();
        std::unique_ptr<IF_prjMngr> m(createPrjMngr(e.get()));
        ASSERT_EQ(m->loadProject(dir.wpath("empty.svproj")), 0u);
        EXPECT_EQ(e->getProjectInfo()->waveCount(), 0u);
        EXPECT_EQ(section(*e, 5).used, 0);
    }
    struct Case {
        const char* name;
        Bytes filebytes::Parts::*block;
    };
    for (const Case& k :
         {Case {"no block A", &filebytes::Parts::a}, Case {"no block B", &filebytes::Parts::b},
          Case {"no block C", &filebytes::Parts::c}}) {
        SCOPED_TRACE(k.name);
        filebytes::Parts parts = filebytes::split(full);
        (parts.*k.block).clear();
        ASSERT_TRUE(testutil::writeFile(dir.path("cut.svproj"), filebytes::join(parts)));
        auto e = target();
        std::unique_ptr<IF_prjMngr> m(createPrjMngr(e.get()));
        ASSERT_EQ(m->loadProject(dir.wpath("cut.svproj")), 0u);
        const bool keepsWaves = k.block == &filebytes::Parts::a;
        const bool keepsSections = k.block == &filebytes::Parts::b;
        const bool keepsCommon = k.block == &filebytes::Parts::c;
        EXPECT_EQ(e->getProjectInfo()->waveCount(), keepsWaves ? 1u : 2u);
        EXPECT_EQ(section(*e, 5).used, keepsSections ? 1 : 0);
        EXPECT_EQ(section(*e, 3).used, keepsSections ? 0 : 1);
        EXPECT_EQ(common(*e).volume, keepsCommon ? 7 : 80);
        EXPECT_EQ(common(*e).tempo, keepsCommon ? 120u : 100u);
    }
}

// Each damaged file is refused with its code by the manager, and the
// engine's own load puts the previous project back with no undo history.
TEST(ProjectFile, DamagedFilesAreRefusedAndTheEngineKeepsItsProject)
{
    testutil::TempDir dir;
    CKRMcore source;
    fillTwoWaveProject(source);
    const Bytes good = projectBytes(source, dir);

    // Positions in the file of the two-wave project.
    const size_t blockA = 32, item0 = blockA + 17;  // directory of 2 entries
    const size_t beatCount0 = item0 + 12, beatStep0 = item0 + 36, markCount0 = item0 + 38;
    const size_t blockB = 32 + be32(good, 12), blockC = blockB + be32(good, 20);
    const size_t section3 = blockB + 121 + 3 * 30;
    ASSERT_EQ(be16(good, section3 + 18), 3u);
    ASSERT_EQ(be32(good, blockB + 5 + 8 * 3), 46u);

    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"wrong magic", [](Bytes& f) { f[3] ^= 1; }, 0x80000002},
        {"version T013", [](Bytes& f) { f[7] = '3'; }, 0x80000003},
        {"header size 36", [](Bytes& f) { setBe32(f, 8, 36); }, 0x80000005},
        {"file shorter than its blocks", [](Bytes& f) { f.pop_back(); }, 0x8000000c},
        {"block lengths that wrap in 32 bits",
         [](Bytes& f) {
             setBe32(f, 12, be32(f, 12) + 0x80000000u);
             setBe32(f, 20, be32(f, 20) + 0x80000000u);
         },
         0x8000000c},
        {"second item offset off by one", [](Bytes& f) { setBe32(f, blockA + 9, be32(f, blockA + 9) + 1); },
         0x80000057},
        {"beat count whose bytes wrap in 32 bits", [=](Bytes& f) { setBe32(f, beatCount0, 0x40000000u); },
         nest(nest(0x80000006, 8), 7)},
        {"mark count whose bytes wrap in 32 bits", [=](Bytes& f) { setBe32(f, markCount0, 0x2AAAAAABu); },
         nest(nest(0x8000000f, 8), 7)},
        {"beat step 0", [=](Bytes& f) { f[beatStep0] = f[beatStep0 + 1] = 0; }, nest(nest(0x8000000a, 8), 7)},
        {"section body of the wrong length", [=](Bytes& f) { setBe32(f, blockB + 5 + 8 * 3, 38); },
         0x800001b9},
        {"section body past block B", [=](Bytes& f) { setBe32(f, blockB + 5 + 8 * 14, 0xFFFFFFF0u); },
         nest(0x8000000d, 9)},
        {"toggle 2", [=](Bytes& f) { f[section3 + 45] = 2; }, nest(nest(0x80000002, 0xb), 9)},
        {"tempo 0", [=](Bytes& f) { setBe32(f, blockC + 3, 0); }, nest(0x80000005, 0xb)},
        {"beatsPerBar 0", [=](Bytes& f) { f[blockC + 7] = 0; }, nest(0x80000005, 0xb)},
        {"beatsPerBar 13", [=](Bytes& f) { f[blockC + 7] = 13; }, nest(0x80000005, 0xb)},
        {"beatUnit 3", [=](Bytes& f) { f[blockC + 8] = 3; }, nest(0x80000005, 0xb)},
        {"block C of 10 bytes",
         [=](Bytes& f) {
             f.pop_back();
             setBe32(f, 28, 10);
         },
         nest(0x80000002, 0xb)},
    };

    // The engine's previous project: one other wave, another tempo.
    CKRMcore engine;
    addWave(engine, makeWave(L"/old/x.wav", {0.3f}, {}));
    setSection(engine, 0, [](SectionRecord& s) {
        s.used = 1;
        s.waveIndex = 0;
    });
    CommonInfo c = common(engine);
    c.tempo = 97;
    ASSERT_EQ(engine.setCommonInfo(c), 0u);
    const Bytes before = projectBytes(engine, dir);

    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Bytes f = good;
        k.damage(f);
        const QString path = dir.path("bad.svproj");
        ASSERT_TRUE(testutil::writeFile(path, f));

        CKRMcore fresh;
        std::unique_ptr<IF_prjMngr> m(createPrjMngr(&fresh));
        EXPECT_EQ(m->loadProject(path.toStdWString()), k.code);
        EXPECT_FALSE(m->hasError());

        EXPECT_EQ(engine.loadProject(path.toStdWString()), nest(k.code, 6));
        EXPECT_EQ(projectBytes(engine, dir), before);
        // The refused file leaves the edits' history and unsaved mark.
        EXPECT_TRUE(engine.canUndo());
        EXPECT_TRUE(engine.isModified());
    }

    CKRMcore fresh;
    std::unique_ptr<IF_prjMngr> m(createPrjMngr(&fresh));
    EXPECT_EQ(m->loadProject(dir.wpath("missing.svproj")), 0x80000001u);
    EXPECT_EQ(m->loadWaveInfo(dir.wpath("missing.awi"), 0), 0x80000001u);
    ASSERT_TRUE(testutil::writeFile(dir.path("good.svproj"), good));
    EXPECT_EQ(m->loadWaveInfo(dir.wpath("good.svproj"), 0),
              0x80000002u);  // a project file is no wave-info file
}

TEST(WaveInfoFile, WaveTwoOfThreeIsStoredAloneAndLoadsBesideTheAwiFile)
{
    testutil::TempDir dir;
    CKRMcore engine;
    addWave(engine, makeWave(L"/data/one.wav", {0.1f}, {}));
    addWave(engine, makeWave(L"/data/two.wav", {0.2f}, {}));
    addWave(engine, makeWave(L"/data/sub/three.wav", {0.5f, 1.0f, 1.5f}, {0.4f}, {{0.0f, 1}}, {{0.0f, 4}}));
    setSection(engine, 0, [](SectionRecord& s) {
        s.used = 1;
        s.waveIndex = 2;
    });
    setSection(engine, 1, [](SectionRecord& s) {
        s.used = 1;
        s.waveIndex = 1;
    });
    CommonInfo c = common(engine);
    c.tempo = 140;
    ASSERT_EQ(engine.setCommonInfo(c), 0u);

    QDir(dir.path("")).mkpath("store");
    const QString awi = dir.path("store/three.awi");
    ASSERT_EQ(engine.saveAwi(awi.toStdWString(), 2), 0u);
    EXPECT_TRUE(engine.canUndo());  // unlike a project save, the history stays
    EXPECT_TRUE(engine.isModified());

    const Bytes f = testutil::readFile(awi);
    ASSERT_GE(f.size(), 32u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "AWI T012");
    EXPECT_EQ(f[32], 3);          // waves of the project
    EXPECT_EQ(be32(f, 33), 25u);  // 8 x 3 + 1, though the item is at byte 9
    EXPECT_EQ(be32(f, 37), be32(f, 12) - 9);
    EXPECT_EQ(be32(f, 41), 9u);  // the file name alone
    EXPECT_EQ(std::string(f.begin() + 45, f.begin() + 54), "three.wav");
    const size_t blockB = 32 + be32(f, 12);
    EXPECT_EQ(f[blockB + 121 + 1], 0);    // was wave 2
    EXPECT_EQ(f[blockB + 151 + 1], 0);    // was wave 1
    EXPECT_EQ(f[blockB + 181 + 1], 255);  // no wave

    CKRMcore target;
    addWave(target, makeWave(L"/elsewhere/old.wav", {}, {}));
    std::unique_ptr<IF_prjMngr> m(createPrjMngr(&target));
    ASSERT_EQ(m->loadWaveInfo(awi.toStdWString(), 0), 0u);
    const WaveInfoRecord w = wave(target, 0);
    EXPECT_EQ(QString::fromStdWString(w.path), dir.path("store/three.wav"));
    EXPECT_EQ(w.beats, wave(engine, 2).beats);
    EXPECT_EQ(w.fittedMarks, wave(engine, 2).fittedMarks);
    EXPECT_EQ(section(target, 0).waveIndex, 0);
    EXPECT_EQ(section(target, 1).waveIndex, 0);
    EXPECT_EQ(common(target).tempo, 140u);

    // The wave must exist in the engine that reads the file.
    EXPECT_EQ(m->loadWaveInfo(awi.toStdWString(), 1), nest(nest(0x80000001, 9), 7));
}

TEST(WaveInfoFile, StoredPathsAreRebasedOntoTheAwiFolder)
{
    testutil::TempDir dir;
    CKRMcore engine;
    addWave(engine, makeWave(L"E:\\old\\song.wav", {0.5f}, {}));
    const QString awi = dir.path("song.awi");
    ASSERT_EQ(engine.saveAwi(awi.toStdWString(), 0), 0u);
    const Bytes saved = testutil::readFile(awi);
    // Saved as the plain file name: a backslash is part of a name here.
    const uint32_t nameLength = be32(saved, 41);
    ASSERT_EQ(nameLength, 15u);
    EXPECT_EQ(std::string(saved.begin() + 45, saved.begin() + 60), "E:\\old\\song.wav");

    // Rewrite the stored path as other builds and versions left it.
    for (const std::string stored :
         {"E:\\old\\song.wav", "E:/old/song.wav", "/home/u/song.wav", "song.wav"}) {
        SCOPED_TRACE(stored);
        filebytes::Parts parts = filebytes::split(saved);
        Bytes item;
        filebytes::appendBe32(item, uint32_t(stored.size()));
        item.insert(item.end(), stored.begin(), stored.end());
        item.insert(item.end(), parts.a.begin() + 9 + 4 + nameLength, parts.a.end());
        parts.a.resize(5);
        filebytes::appendBe32(parts.a, uint32_t(item.size()));
        parts.a.insert(parts.a.end(), item.begin(), item.end());
        ASSERT_TRUE(testutil::writeFile(awi, filebytes::join(parts)));

        CKRMcore target;
        addWave(target, makeWave(L"/x.wav", {}, {}));
        std::unique_ptr<IF_prjMngr> m(createPrjMngr(&target));
        ASSERT_EQ(m->loadWaveInfo(awi.toStdWString(), 0), 0u);
        EXPECT_EQ(QString::fromStdWString(wave(target, 0).path), dir.path("song.wav"));
        EXPECT_EQ(wave(target, 0).beats, std::vector<float> {0.5f});
    }
}

TEST(WaveInfoFile, AFileNameWithABackslashIsFoundAgain)
{
    testutil::TempDir dir;
    const QString audio = dir.path("take\\1.wav");
    ASSERT_TRUE(testutil::writeFile(audio, {1}));
    CKRMcore engine;
    addWave(engine, makeWave(audio.toStdWString(), {0.5f}, {}));
    const QString awi = dir.path("take.awi");
    ASSERT_EQ(engine.saveAwi(awi.toStdWString(), 0), 0u);
    const Bytes saved = testutil::readFile(awi);
    ASSERT_EQ(be32(saved, 41), 10u);
    EXPECT_EQ(std::string(saved.begin() + 45, saved.begin() + 55), "take\\1.wav");

    CKRMcore target;
    addWave(target, makeWave(L"/x.wav", {}, {}));
    std::unique_ptr<IF_prjMngr> m(createPrjMngr(&target));
    ASSERT_EQ(m->loadWaveInfo(awi.toStdWString(), 0), 0u);
    EXPECT_EQ(QString::fromStdWString(wave(target, 0).path), audio);
}

TEST(WaveInfoFile, PathOfTheAwiFileFollowsTheAudioFile)
{
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"/music/take.one.wav", L"/music/take.one.awi"},
        {L"/music/song.aiff", L"/music/song.awi"},
        {L"take.one.wav", L"take.one.awi"},
        {L"/music.v2/noext", L"/music.v2/noext.awi"},
        {L"C:\\music\\take.one.wav", L"C:\\music\\take.one.awi"},
    };
    for (const auto& k : cases)
        EXPECT_EQ(awiPathOf(k.first), k.second);
}

TEST(SavingFiles, FailuresAreReportedAndKeepTheOldFile)
{
    testutil::TempDir dir;
    CKRMcore engine;
    addWave(engine, makeWave(L"/m/a.wav", {0.5f}, {}));
    std::unique_ptr<IF_prjMngr> m(createPrjMngr(&engine));

    EXPECT_EQ(m->saveProject(dir.wpath("no/such/folder/p.svproj")), 0x80000001u);
    EXPECT_TRUE(m->errorText().contains("p.svproj")) << m->errorText().toStdString();
    EXPECT_EQ(m->saveWaveInfo(dir.wpath("no/such/folder/a.awi"), 0), 0x80000002u);
    EXPECT_TRUE(m->errorText().contains("a.awi")) << m->errorText().toStdString();
    EXPECT_EQ(m->saveWaveInfo(dir.wpath("a.awi"), 1), nest(0x80000004, 1));
    EXPECT_FALSE(QFile::exists(dir.path("a.awi")));

    // A file-size limit below the new file's size makes the writes fail.
    const Bytes old = {'o', 'l', 'd'};
    ASSERT_TRUE(testutil::writeFile(dir.path("p.svproj"), old));
    ASSERT_TRUE(testutil::writeFile(dir.path("a.awi"), old));
    uint32_t projectRc = 0, awiRc = 0;
    testutil::withFileSizeLimit(100, [&] {
        projectRc = m->saveProject(dir.wpath("p.svproj"));
        awiRc = m->saveWaveInfo(dir.wpath("a.awi"), 0);
    });

    EXPECT_EQ(projectRc, 0x80000003u);
    EXPECT_EQ(awiRc, 0x80000003u);
    EXPECT_TRUE(m->errorText().contains("a.awi")) << m->errorText().toStdString();
    EXPECT_EQ(testutil::readFile(dir.path("p.svproj")), old);
    EXPECT_EQ(testutil::readFile(dir.path("a.awi")), old);
    EXPECT_EQ(QDir(dir.path("")).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no leftovers

    EXPECT_EQ(m->saveProject(dir.wpath("p.svproj")), 0u);
    EXPECT_EQ(m->saveWaveInfo(dir.wpath("a.awi"), 0), 0u);
    EXPECT_EQ(be32(testutil::readFile(dir.path("p.svproj")), 8), 32u);
}

// The engine's save of a project keeps working up to the longest name the
// file system takes, and a failed one leaves its text for the window.
TEST(SavingFiles, TheEngineSavesLongNamesAndExplainsAFailure)
{
    testutil::TempDir dir;
    for (int bytes : {234, 235, 250, 255}) {
        SCOPED_TRACE(bytes);
        CKRMcore engine;
        addWave(engine, makeWave(L"/m/a.wav", {0.5f}, {}));
        const QString name = QString(bytes - 7, QLatin1Char('p')) + ".svproj";
        ASSERT_EQ(engine.saveProject((dir.path("") + "/" + name).toStdWString()), 0u);
        ASSERT_EQ(engine.saveProject((dir.path("") + "/" + name).toStdWString()), 0u);
        CKRMcore loaded;
        EXPECT_EQ(loaded.loadProject((dir.path("") + "/" + name).toStdWString()), 0u);
        EXPECT_TRUE(QFile::remove(dir.path("") + "/" + name));
        EXPECT_TRUE(QDir(dir.path("")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
    CKRMcore engine;
    EXPECT_NE(engine.saveProject(dir.wpath("missing/p.svproj")), 0u);
    EXPECT_TRUE(engine.errorText().contains("p.svproj")) << engine.errorText().toStdString();
}

// A save killed before its rename leaves its finished copy under a name of
// the safe save's own; the next save of that file removes it, and only it.
TEST(SavingFiles, ASaveRemovesTheCopiesThatKilledSavesOfThatFileLeft)
{
    testutil::TempDir dir;
    CKRMcore engine;
    addWave(engine, makeWave(L"/m/a.wav", {0.5f}, {}));
    std::unique_ptr<IF_prjMngr> m(createPrjMngr(&engine));
    ASSERT_EQ(m->saveProject(dir.wpath("p.svproj")), 0u);
    ASSERT_EQ(m->saveWaveInfo(dir.wpath("a.awi"), 0), 0u);
    const Bytes project = testutil::readFile(dir.path("p.svproj"));
    const QStringList left {".p.svproj.k1LLed.stelvano-tmp", ".a.awi.k1LLed.stelvano-tmp",
                            ".q.svproj.k1LLed.stelvano-tmp"};
    for (const QString& name : left)
        ASSERT_TRUE(testutil::writeFile(dir.path(name), project));

    EXPECT_EQ(m->saveProject(dir.wpath("p.svproj")), 0u);
    EXPECT_EQ(m->saveWaveInfo(dir.wpath("a.awi"), 0), 0u);
    const QStringList expected {".q.svproj.k1LLed.stelvano-tmp", "a.awi", "p.svproj"};
    EXPECT_EQ(QDir(dir.path("")).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

namespace {

// Byte positions whose damage must make the file invalid: the header except
// the two offset fields that readers skip, and the given ranges.
std::set<size_t> structuralBytes(std::initializer_list<std::pair<size_t, size_t>> ranges)
{
    std::set<size_t> s;
    for (size_t i = 0; i < 32; ++i)
        if (!(i >= 16 && i < 20) && !(i >= 24 && i < 28))
            s.insert(i);
    for (const auto& r : ranges)
        for (size_t i = r.first; i < r.second; ++i)
            s.insert(i);
    return s;
}

// True when every byte in which the copy differs from the original is
// structural; a truncated copy always is.
bool mustFail(const Bytes& copy, const Bytes& original, const std::set<size_t>& structural)
{
    if (copy.size() != original.size())
        return true;
    bool any = false;
    for (size_t i = 0; i < copy.size(); ++i) {
        if (copy[i] != original[i]) {
            if (!structural.count(i))
                return false;
            any = true;
        }
    }
    return any;
}

}  // namespace

TEST(LoadingFiles, DamagedCopiesNeverCrashAndStructuralDamageIsRefused)
{
    testutil::TempDir dir;
    CKRMcore source;
    fillTwoWaveProject(source);
    ASSERT_EQ(source.saveProject(dir.wpath("p.svproj")), 0u);
    ASSERT_EQ(source.saveAwi(dir.wpath("b.awi"), 1), 0u);
    const Bytes project = testutil::readFile(dir.path("p.svproj"));
    const Bytes awi = testutil::readFile(dir.path("b.awi"));

    const size_t projectB = 32 + be32(project, 12), awiB = 32 + be32(awi, 12);
    // Project: block A's directory after its count byte and block B's count
    // and directory. Wave-info: the item length and block B's directory.
    const auto projectStructure = structuralBytes({{33, 33 + 16}, {projectB, projectB + 121}});
    const auto awiStructure = structuralBytes({{37, 41}, {awiB, awiB + 121}});

    struct Kind {
        const char* name;
        const Bytes* bytes;
        const std::set<size_t>* structure;
        bool waveInfo;
    };
    for (const Kind& k : {Kind {"project", &project, &projectStructure, false},
                          Kind {"wave-info", &awi, &awiStructure, true}}) {
        SCOPED_TRACE(k.name);
        int refused = 0, structural = 0;
        const auto copies = testutil::damagedCopies(*k.bytes, 7, 400);
        for (size_t n = 0; n < copies.size(); ++n) {
            const QString path = dir.path(k.waveInfo ? "fuzz.awi" : "fuzz.svproj");
            ASSERT_TRUE(testutil::writeFile(path, copies[n]));
            CKRMcore target;
            addWave(target, makeWave(L"/t/w.wav", {}, {}));
            uint32_t rc;
            if (k.waveInfo) {
                std::unique_ptr<IF_prjMngr> m(createPrjMngr(&target));
                rc = m->loadWaveInfo(path.toStdWString(), 0);
            } else {
                rc = target.loadProject(path.toStdWString());
            }
            refused += rc != 0;
            if (mustFail(copies[n], *k.bytes, *k.structure)) {
                ++structural;
                EXPECT_NE(rc, 0u) << "copy " << n;
            }
            // Whatever was loaded can be saved again.
            std::unique_ptr<IF_prjMngr> m(createPrjMngr(&target));
            EXPECT_EQ(m->saveProject(dir.wpath("resave.svproj")), 0u) << "copy " << n;
        }
        const auto truncated = std::count_if(copies.begin(), copies.end(),
                                             [&](const Bytes& c) { return c.size() != k.bytes->size(); });
        EXPECT_GT(structural, int(truncated));  // every truncation and some flips
        EXPECT_GE(refused, structural);
    }
}

// Loading keeps one read buffer for all its blocks and files: a smaller
// project after a larger one gets none of the larger one's bytes, and a
// damaged file after them leaves the last good project in place.
TEST(LoadingFiles, OneEngineLoadsLargerAndSmallerProjectsInTurn)
{
    testutil::TempDir dir;
    CKRMcore large;
    for (int w = 0; w < 40; ++w) {
        std::vector<float> beats(3000), onsets(1000);
        for (size_t k = 0; k < beats.size(); ++k)
            beats[k] = 0.25f * float(k) + 0.001f * float(w);
        for (size_t k = 0; k < onsets.size(); ++k)
            onsets[k] = 0.75f * float(k) + 0.002f * float(w);
        addWave(large, makeWave(L"/m/take " + std::to_wstring(w) + L".wav", beats, onsets, {{1.0f, 2}}));
    }
    setSection(large, 5, [](SectionRecord& s) {
        s.used = 1;
        s.waveIndex = 39;
        s.setPointCount(9);
    });
    CKRMcore small;
    fillTwoWaveProject(small);
    ASSERT_EQ(large.saveProject(dir.wpath("large.svproj")), 0u);
    ASSERT_EQ(small.saveProject(dir.wpath("small.svproj")), 0u);
    const Bytes largeBytes = testutil::readFile(dir.path("large.svproj"));
    const Bytes smallBytes = testutil::readFile(dir.path("small.svproj"));
    Bytes cut = smallBytes;
    cut.resize(cut.size() - 20);
    ASSERT_TRUE(testutil::writeFile(dir.path("cut.svproj"), cut));

    CKRMcore engine;
    struct Step {
        const char* file;
        bool loads;
        const Bytes* expected;
    };
    const Step steps[] = {{"large.svproj", true, &largeBytes},
                          {"small.svproj", true, &smallBytes},
                          {"large.svproj", true, &largeBytes},
                          {"small.svproj", true, &smallBytes},
                          {"cut.svproj", false, &smallBytes}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.file);
        EXPECT_EQ(engine.loadProject(dir.wpath(step.file)) == 0, step.loads);
        EXPECT_EQ(projectBytes(engine, dir), *step.expected);
    }
}
