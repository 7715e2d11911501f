#include "TempFolder.h"
#include "CKRMcore.h"
#include "DebugCapture.h"
#include "IF_styMngr.h"
#include "KRMundo.h"
#include "ProjectRecords.h"
#include "TestBytes.h"
#include "styMngr.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>
#include <QStringList>
#include <memory>

namespace {

// Opens the engine's internals that the tests need to see or to break.
class TestEngine : public CKRMcore {
public:
    using CKRMcore::secWavReady;
    using CKRMcore::stretchRatios;
    using CKRMcore::styMngr;
    using CKRMcore::undoStack;

    void markAllReady()
    {
        for (int i = 0; i < 15; ++i) {
            secWavReady[i] = 1;
            stretchRatios[i] = {1.0, 1.1};
        }
    }
    int readyCount() const
    {
        int n = 0;
        for (uint8_t f : secWavReady)
            n += f;
        return n;
    }
    // An engine whose undo stack could not be made.
    void dropUndoStack()
    {
        delete undoStack;
        undoStack = nullptr;
    }
};

// An analysed wave and a used section of wave 0 with two bars.
WaveInfoRecord* makeWave(const std::wstring& path)
{
    return records::Wave(path)
        .beats({0.0f, 0.25f, 0.5f, 0.75f, 1.0f})
        .onsets({0.01f, 0.52f})
        .barLength(2.0f)
        .tempo(110)
        .make();
}

SectionRecord makeSection(uint32_t start)
{
    return records::Section::of(0, start, start + 88200).points({start + 44100}).rendered(88200);
}

// Fills an engine with one wave, one used section and a 3/4 signature.
void fill(CKRMcore& e, const std::wstring& path, uint32_t start)
{
    ASSERT_EQ(e.addWavList(makeWave(path)), 0u);
    ASSERT_EQ(e.updateSecInfo(2, makeSection(start)), 0u);
    CommonInfo c;
    c.beatsPerBar = 3;
    c.tempo = 95;
    ASSERT_EQ(e.setCommonInfo(c), 0u);
}

// True when both engines hold the same waves, sections and common info.
bool sameProject(CKRMcore& a, CKRMcore& b)
{
    if (a.getProjectInfo()->waveCount() != b.getProjectInfo()->waveCount())
        return false;
    for (uint8_t w = 0; w < a.getProjectInfo()->waveCount(); ++w) {
        WaveInfoRecord *x = nullptr, *y = nullptr;
        a.getWavInfo(w, &x);
        b.getWavInfo(w, &y);
        if (x->path != y->path || x->beats != y->beats || x->onsets != y->onsets || x->tempo != y->tempo)
            return false;
    }
    for (uint8_t i = 0; i < 15; ++i) {
        SectionRecord *x = nullptr, *y = nullptr;
        a.getSecInfo(i, &x);
        b.getSecInfo(i, &y);
        if (!x->equals(*y))
            return false;
    }
    CommonInfo *x = nullptr, *y = nullptr;
    a.getProjectInfo()->getCommonInfo(&x);
    b.getProjectInfo()->getCommonInfo(&y);
    return *x == *y;
}

// Writes "good.svproj" in `dir`, another engine's project (two waves, a
// used section at 7000), and returns its bytes.
std::vector<uint8_t> writeOtherProject(const testutil::TempDir& dir)
{
    const QString good = dir.path("good.svproj");
    CKRMcore other;
    fill(other, L"other.wav", 7000);
    EXPECT_EQ(other.addWavList(makeWave(L"second.wav")), 0u);
    EXPECT_EQ(other.saveProject(good.toStdWString()), 0u);
    return testutil::readFile(good);
}

}  // namespace

TEST(CKRMcore, FreshEngine)
{
    TestEngine e;
    EXPECT_FALSE(e.isModified());
    EXPECT_FALSE(e.canUndo());
    EXPECT_FALSE(e.canRedo());
    EXPECT_FALSE(e.hasError());
    EXPECT_TRUE(e.errorText().isEmpty());
    EXPECT_EQ(e.getProjectInfo()->waveCount(), 0u);
    EXPECT_EQ(e.getFadeLength(), 20u);
    e.setFadeLength(441);
    EXPECT_EQ(e.getFadeLength(), 441u);

    SectionRecord* s = nullptr;
    EXPECT_EQ(e.getSecInfo(15, &s), 0x80000001u);
    EXPECT_FALSE(e.isSecWavReady(15));
    e.secWavReady[14] = 1;
    EXPECT_TRUE(e.isSecWavReady(14));

    // The point limit is handed on to the style manager unchanged.
    e.setMaxPoints(77);
    EXPECT_EQ(e.styMngr->maxPoints(), 77);
}

TEST(CKRMcore, ResourcePaths)
{
    const QString cur = QDir::current().canonicalPath();
    const QString temp = krm::platform::privateTempFolder();  // the default working folder
    const QString stdTemp = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    {
        CKRMcore e;
        QString p;
        ASSERT_EQ(e.getResourcePath(0, p), 0u);
        EXPECT_EQ(p, temp);
        ASSERT_EQ(e.getResourcePath(1, p), 0u);
        EXPECT_EQ(p, cur + "/Empty.sty");
        ASSERT_EQ(e.getResourcePath(2, p), 0u);
        EXPECT_EQ(p, cur + "/Metro1.wav");
        ASSERT_EQ(e.getResourcePath(3, p), 0u);
        EXPECT_EQ(p, cur + "/Metro2.wav");
        EXPECT_EQ(e.getResourcePath(4, p), 0x80000001u);
        EXPECT_EQ(e.getResourcePath(-1, p), 0x80000001u);
    }

    struct Case {
        int8_t which;
        uint8_t location;
        QString text;
        uint32_t code;
        QString want;
    };
    const Case cases[] = {
        {1, 255, "", 0x80000001u, cur + "/Empty.sty"},  // old path kept
        {1, 255, "/opt/styles", 0u, "/opt/styles/Empty.sty"},
        {2, 255, "/snd", 0u, "/snd/Metro1.wav"},
        {3, 254, "", 0u, cur + "/Metro2.wav"},
        {3, 254, "clicks", 0u, cur + "/clicks/Metro2.wav"},
        {0, 7, "", 0u, stdTemp},
        {0, 7, "work", 0u, stdTemp + "/work"},
        {0, 200, "x", 0x80000002u, temp},
        {0, 18, "x", 0x80000002u, temp},
        {4, 254, "", 0x80000003u, QString()},
        {-1, 255, "/x", 0x80000003u, QString()},
    };
    for (const Case& c : cases) {
        CKRMcore e;
        QString before[4];
        for (int8_t k = 0; k < 4; ++k)
            e.getResourcePath(k, before[k]);
        EXPECT_EQ(e.setResourcePath(c.which, c.location, c.text), c.code)
            << int(c.which) << " " << int(c.location) << " " << c.text.toStdString();
        for (int8_t k = 0; k < 4; ++k) {
            QString now;
            e.getResourcePath(k, now);
            const QString want = (k == c.which && !c.want.isNull()) ? c.want : before[k];
            EXPECT_EQ(now, want) << int(c.which) << " " << int(c.location) << " path " << int(k);
        }
    }
}

TEST(CKRMcore, CommonAndTempoCommits)
{
    TestEngine e;
    CommonInfo* cur = nullptr;
    e.getProjectInfo()->getCommonInfo(&cur);

    // The current value again: nothing to record.
    EXPECT_EQ(e.setCommonInfo(*cur), 0u);
    EXPECT_FALSE(e.canUndo());
    EXPECT_FALSE(e.isModified());

    CommonInfo loud = *cur;
    loud.volume = 127;
    e.markAllReady();
    ASSERT_EQ(e.setCommonInfo(loud), 0u);
    EXPECT_EQ(cur->volume, 127);
    EXPECT_TRUE(e.isModified());
    EXPECT_EQ(e.readyCount(), 15);  // no section flag changes
    e.undo();
    EXPECT_EQ(cur->volume, 80);
    EXPECT_FALSE(e.isModified());
    e.redo();
    EXPECT_EQ(cur->volume, 127);

    // The same tempo still makes a step each time, and every section must
    // be rendered again.
    e.clearUndoStack();
    e.markAllReady();
    DebugCapture capture;
    ASSERT_EQ(e.updateTempo(120), 0u);
    ASSERT_EQ(e.updateTempo(120), 0u);
    EXPECT_EQ(e.undoStack->count(), 2);
    EXPECT_EQ(e.undoStack->undoText(), "set common");
    EXPECT_EQ(e.readyCount(), 0);
    for (const auto& r : e.stretchRatios)
        EXPECT_TRUE(r.empty());
    e.undo();
    e.undo();
    EXPECT_FALSE(e.canUndo());
    EXPECT_EQ(capture.lines, (QStringList {
                                 "push -> [set tempo] / undo count [1]",
                                 "push -> [set tempo] / undo count [2]",
                                 "undo -> undo index [1] / undo count [2]",
                                 "undo -> undo index [0] / undo count [2]",
                             }));

    ASSERT_EQ(e.updateTempo(140), 0u);
    EXPECT_EQ(cur->tempo, 140u);
    EXPECT_EQ(cur->volume, 127);  // the rest of the common info stays
}

TEST(CKRMcore, SectionCommits)
{
    TestEngine e;
    ASSERT_EQ(e.addWavList(makeWave(L"a.wav")), 0u);
    e.clearUndoStack();
    e.markAllReady();

    SectionRecord* s = nullptr;
    ASSERT_EQ(e.getSecInfo(4, &s), 0u);
    SectionRecord same = *s;
    EXPECT_EQ(e.updateSecInfo(4, same), 0u);
    same.renderedFrames = 4096;  // only the rendered length differs
    EXPECT_EQ(e.updateSecInfo(4, same), 0u);
    EXPECT_EQ(s->renderedFrames, 4096u);
    EXPECT_FALSE(e.canUndo());
    EXPECT_TRUE(e.isSecWavReady(4));

    DebugCapture capture;
    ASSERT_EQ(e.updateSecInfo(4, makeSection(1000)), 0u);
    EXPECT_EQ(capture.lines, QStringList {"push -> [set section[4]] / undo count [1]"});
    EXPECT_EQ(e.undoStack->undoText(), "set section");
    EXPECT_EQ(s->startAdrs, 1000u);
    EXPECT_EQ(e.readyCount(), 14);
    EXPECT_FALSE(e.isSecWavReady(4));

    e.markAllReady();
    e.undo();
    EXPECT_EQ(s->startAdrs, 0u);
    EXPECT_EQ(s->renderedFrames, 4096u);
    EXPECT_EQ(e.readyCount(), 14);
    EXPECT_FALSE(e.isSecWavReady(4));

    EXPECT_EQ(e.updateSecInfo(15, makeSection(1)), 0x80000012u);
}

TEST(CKRMcore, AddingWavesIsOneUndoableStep)
{
    TestEngine e;
    e.markAllReady();
    ASSERT_EQ(e.addWavList(makeWave(L"a.wav")), 0u);
    ASSERT_EQ(e.addWavList(makeWave(L"b.wav")), 0u);
    EXPECT_EQ(e.readyCount(), 0);
    ASSERT_EQ(e.getProjectInfo()->waveCount(), 2u);
    WaveInfoRecord* w = nullptr;
    ASSERT_EQ(e.getWavInfo(1, &w), 0u);
    EXPECT_EQ(w->path, L"b.wav");
    e.undo();
    EXPECT_EQ(e.getProjectInfo()->waveCount(), 1u);
    e.redo();
    EXPECT_EQ(e.getProjectInfo()->waveCount(), 2u);

    EXPECT_EQ(e.addWavList(nullptr), 0x80000012u);
    EXPECT_EQ(e.getProjectInfo()->waveCount(), 2u);

    // 255 waves is the most a section can address; the record stays the
    // caller's when it is refused.
    ProjectInfo full;
    for (int i = 0; i < 255; ++i)
        full.addWave(new WaveInfoRecord());
    ASSERT_EQ(e.setAllInfo(full), 0u);
    std::unique_ptr<WaveInfoRecord> extra(makeWave(L"c.wav"));
    EXPECT_EQ(e.addWavList(extra.get()), 0x80000002u);
    EXPECT_EQ(e.getProjectInfo()->waveCount(), 255u);
    EXPECT_EQ(extra->path, L"c.wav");
}

TEST(CKRMcore, AssignFromAndReset)
{
    CKRMcore src;
    fill(src, L"a.wav", 500);
    src.setResourcePath(0, 255, "/tmp/work");
    src.setResourcePath(2, 255, "/clicks");

    TestEngine dst;
    ASSERT_EQ(dst.assignFrom(src), 0u);
    EXPECT_TRUE(sameProject(dst, src));
    QString p;
    dst.getResourcePath(0, p);
    EXPECT_EQ(p, "/tmp/work");
    dst.getResourcePath(2, p);
    EXPECT_EQ(p, "/clicks/Metro1.wav");
    EXPECT_TRUE(dst.canUndo());

    dst.markAllReady();
    ASSERT_EQ(dst.resetProject(), 0u);
    CKRMcore empty;
    EXPECT_TRUE(sameProject(dst, empty));
    EXPECT_FALSE(dst.canUndo());
    EXPECT_FALSE(dst.isModified());
    EXPECT_EQ(dst.readyCount(), 0);
}

TEST(CKRMcore, WithoutUndoStackNothingCommits)
{
    TestEngine e;
    fill(e, L"a.wav", 100);
    testutil::TempDir dir;
    ASSERT_EQ(e.saveProject(dir.wpath("a.svproj")), 0u);

    TestEngine before;
    before.assignFrom(e);
    e.dropUndoStack();
    CommonInfo c;
    c.pan = 1;
    EXPECT_EQ(e.setCommonInfo(c), 0x80000001u);
    EXPECT_EQ(e.updateTempo(60), 0x80000001u);
    EXPECT_EQ(e.updateSecInfo(0, makeSection(9)), 0x80000001u);
    EXPECT_EQ(e.setAllInfo(*before.getProjectInfo()), 0x80000001u);
    auto* w = makeWave(L"b.wav");
    EXPECT_EQ(e.addWavList(w), 0x80000013u);
    delete w;  // refused: still the caller's
    e.undo();
    e.redo();
    e.clearUndoStack();
    EXPECT_FALSE(e.canUndo());
    EXPECT_FALSE(e.canRedo());
    EXPECT_FALSE(e.isModified());
    EXPECT_TRUE(sameProject(e, before));

    // A load that cannot commit fails and leaves the project as it was.
    EXPECT_NE(e.loadProject(dir.wpath("a.svproj")), 0u);
    EXPECT_TRUE(sameProject(e, before));
}

TEST(CKRMcore, SaveClearsHistoryOnlyOnSuccess)
{
    CKRMcore e;
    fill(e, L"a.wav", 100);
    ASSERT_TRUE(e.isModified());

    const uint32_t r = e.saveProject(L"/nonexistent-folder-krm/x.svproj");
    EXPECT_NE(r, 0u);
    EXPECT_EQ(r & 0x8000000fu, 0x80000002u);
    EXPECT_TRUE(e.canUndo());
    EXPECT_TRUE(e.isModified());

    testutil::TempDir dir;
    ASSERT_EQ(e.saveProject(dir.wpath("p.svproj")), 0u);
    EXPECT_FALSE(e.canUndo());
    EXPECT_FALSE(e.isModified());
}

TEST(CKRMcore, LoadReplacesProjectOrRestoresItOnFailure)
{
    testutil::TempDir dir;
    const std::vector<uint8_t> bytes = writeOtherProject(dir);
    ASSERT_GE(bytes.size(), 32u);

    // Block B whose section count is wrong: block A is applied before the
    // manager gives up, so the engine must undo the partial load itself.
    std::vector<uint8_t> badB = bytes;
    const uint32_t offB = testbytes::be32(bytes, 16);
    ASSERT_LT(offB, badB.size());
    badB[offB] = 14;
    ASSERT_TRUE(testutil::writeFile(dir.path("badB.svproj"), badB));
    ASSERT_TRUE(testutil::writeFile(dir.path("junk.svproj"), {'N', 'O', 'P', 'E', 0, 0, 0, 0}));

    struct Case {
        const char* file;
        bool fails;
    };
    const Case cases[] = {
        {"missing.svproj", true},
        {"junk.svproj", true},
        {"badB.svproj", true},
        {"good.svproj", false},
    };
    for (const Case& c : cases) {
        TestEngine e;
        fill(e, L"mine.wav", 300);
        TestEngine before;
        before.assignFrom(e);
        e.markAllReady();

        const uint32_t r = e.loadProject(dir.wpath(c.file));
        if (c.fails) {
            EXPECT_EQ(r & 0x8000000fu, 0x80000006u) << c.file << " " << std::hex << r;
            EXPECT_TRUE(sameProject(e, before)) << c.file;
            // The kept project keeps its history and its unsaved mark.
            EXPECT_TRUE(e.canUndo()) << c.file;
            EXPECT_TRUE(e.isModified()) << c.file;
            EXPECT_EQ(e.readyCount(), 15) << c.file;
        } else {
            EXPECT_FALSE(e.canUndo());
            EXPECT_FALSE(e.isModified());
            ASSERT_EQ(r, 0u) << std::hex << r;
            EXPECT_EQ(e.getProjectInfo()->waveCount(), 2u);
            WaveInfoRecord* w = nullptr;
            e.getWavInfo(1, &w);
            EXPECT_EQ(w->path, L"second.wav");
            SectionRecord* s = nullptr;
            e.getSecInfo(2, &s);
            EXPECT_EQ(s->startAdrs, 7000u);
            EXPECT_EQ(e.readyCount(), 0);
        }
    }
}

TEST(CKRMcore, ARefusedLoadLeavesTheEngineExactlyAsItWas)
{
    testutil::TempDir dir;
    const std::vector<uint8_t> bytes = writeOtherProject(dir);
    const uint32_t offB = testbytes::be32(bytes, 16);
    const uint32_t offC = testbytes::be32(bytes, 24);
    ASSERT_LT(offC + 8, bytes.size());

    // Each damage is refused after the reader has begun to fill the
    // project, except the missing file, which is refused at once.
    std::vector<uint8_t> truncated(bytes.begin(), bytes.end() - 3);
    std::vector<uint8_t> flippedB = bytes;
    flippedB[offB] ^= 0x01;  // a section count of 14
    std::vector<uint8_t> flippedC = bytes;
    flippedC[offC + 7] ^= 0x10;  // 20 beats per bar
    ASSERT_TRUE(testutil::writeFile(dir.path("truncated.svproj"), truncated));
    ASSERT_TRUE(testutil::writeFile(dir.path("flippedB.svproj"), flippedB));
    ASSERT_TRUE(testutil::writeFile(dir.path("flippedC.svproj"), flippedC));

    // The engine before the load: edits since its last save (so modified),
    // one step undone (so redo is possible too), rendered sections.
    struct State {
        bool modified, canUndo, canRedo;
        int count, index, ready;
        std::vector<double> ratios;
        std::vector<uint8_t> projectBytes;
    };
    const auto stateOf = [&dir](TestEngine& e) {
        State s {e.isModified(),       e.canUndo(),    e.canRedo(),        e.undoStack->count(),
                 e.undoStack->index(), e.readyCount(), e.stretchRatios[4], {}};
        // Saved from a copy: saving the engine itself would clear its history.
        CKRMcore copy;
        EXPECT_EQ(copy.assignFrom(e), 0u);
        EXPECT_EQ(copy.saveProject(dir.wpath("state.svproj")), 0u);
        s.projectBytes = testutil::readFile(dir.path("state.svproj"));
        return s;
    };

    const auto edit = [&dir](TestEngine& e) {
        fill(e, L"mine.wav", 300);
        ASSERT_EQ(e.saveProject(dir.wpath("mine.svproj")), 0u);
        ASSERT_EQ(e.updateTempo(131), 0u);
        ASSERT_EQ(e.updateSecInfo(5, makeSection(900)), 0u);
        e.undo();
        e.markAllReady();
    };
    for (const char* file : {"truncated.svproj", "flippedB.svproj", "flippedC.svproj", "missing.svproj"}) {
        SCOPED_TRACE(file);
        TestEngine e;
        edit(e);
        const State before = stateOf(e);
        ASSERT_TRUE(before.modified);
        ASSERT_TRUE(before.canUndo && before.canRedo);

        const uint32_t r = e.loadProject(dir.wpath(file));
        EXPECT_EQ(r & 0x8000000fu, 0x80000006u) << std::hex << r;
        const State after = stateOf(e);
        EXPECT_EQ(after.modified, before.modified);
        EXPECT_EQ(after.canUndo, before.canUndo);
        EXPECT_EQ(after.canRedo, before.canRedo);
        EXPECT_EQ(after.count, before.count);
        EXPECT_EQ(after.index, before.index);
        EXPECT_EQ(after.ready, before.ready);
        EXPECT_EQ(after.ratios, before.ratios);
        EXPECT_EQ(after.projectBytes, before.projectBytes);

        // The history still works on the kept project: undo and redo land
        // where they land on a twin that never saw the load.
        TestEngine twin;
        edit(twin);
        for (const auto& step : {&CKRMcore::undo, &CKRMcore::redo, &CKRMcore::redo}) {
            (e.*step)();
            (twin.*step)();
            EXPECT_EQ(stateOf(e).projectBytes, stateOf(twin).projectBytes);
        }
    }
}

TEST(CKRMcore, LoadOfAFullProjectIsOneStateWithoutHistory)
{
    // 255 waves, each with its own beats and marks, and every section used.
    testutil::TempDir dir;
    const QString path = dir.path("full.svproj");
    {
        CKRMcore source;
        for (int w = 0; w < 255; ++w) {
            WaveInfoRecord* rec = makeWave(L"take " + std::to_wstring(w) + L".wav");
            rec->beats.push_back(2.0f + float(w));
            rec->fittedMarks = {{0.0f, uint16_t(w % 15)}};
            ASSERT_EQ(source.getProjectInfo()->addWave(rec), 0u);
        }
        for (uint8_t i = 0; i < 15; ++i) {
            SectionRecord s = makeSection(1000u * i);
            s.waveIndex = uint8_t(17 * i);
            source.getProjectInfo()->setSectionInfo(i, s);
        }
        ASSERT_EQ(source.saveProject(path.toStdWString()), 0u);
    }
    const std::vector<uint8_t> saved = testutil::readFile(path);

    TestEngine e;
    fill(e, L"mine.wav", 300);
    ASSERT_EQ(e.loadProject(path.toStdWString()), 0u);
    EXPECT_EQ(e.getProjectInfo()->waveCount(), 255u);
    EXPECT_FALSE(e.canUndo());
    EXPECT_FALSE(e.isModified());
    ASSERT_EQ(e.saveProject(dir.wpath("again.svproj")), 0u);
    EXPECT_EQ(testutil::readFile(dir.path("again.svproj")), saved) << "save, load, save gives the same bytes";

    // A file that breaks in its last block leaves the loaded project in place.
    TestEngine before;
    before.assignFrom(e);
    // A tempo of 0 in block C is refused after blocks A and B went in.
    std::vector<uint8_t> badC = saved;
    const uint32_t offC = testbytes::be32(saved, 24);
    std::fill(badC.begin() + offC + 3, badC.begin() + offC + 7, 0);
    ASSERT_TRUE(testutil::writeFile(dir.path("badC.svproj"), badC));
    EXPECT_EQ(e.loadProject(dir.wpath("badC.svproj")) & 0x8000000fu, 0x80000006u);
    EXPECT_TRUE(sameProject(e, before));
    EXPECT_FALSE(e.canUndo());
}

TEST(CKRMcore, LoadRefusesANamedPipeAtOnce)
{
    testutil::TempDir dir;
    testutil::NamedPipe pipe(dir.path("pipe.svproj"));
    ASSERT_TRUE(pipe.made());
    TestEngine e;
    fill(e, L"mine.wav", 300);
    TestEngine before;
    before.assignFrom(e);
    EXPECT_EQ(e.loadProject(dir.wpath("pipe.svproj")), 0x80000016u);
    EXPECT_TRUE(sameProject(e, before));
    EXPECT_EQ(pipe.releasedReaders(), 0) << "the load never waited for a writer";
}
namespace {

// A style manager whose work fails with an error of its own.
class FailingStyMngr : public styMngr {
public:
    uint32_t setStyleInfo(const StyleInfo&) override
    {
        m_failed = true;
        return 0x80000001;
    }
    bool hasError() override { return m_failed || styMngr::hasError(); }
    void clearError() override
    {
        m_failed = false;
        styMngr::clearError();
    }

private:
    bool m_failed = false;
};

}  // namespace

TEST(CKRMcore, ErrorStateCoversTheManagers)
{
    TestEngine e;
    delete e.styMngr;
    e.styMngr = new FailingStyMngr;
    e.setErrorText("first report");
    EXPECT_EQ(e.errorText(), "first report");
    EXPECT_FALSE(e.hasError());  // a text alone is no error flag

    // A manager that failed makes the engine report an error.
    EXPECT_NE(e.styMngr->setStyleInfo(StyleInfo()), 0u);
    EXPECT_TRUE(e.hasError());
    e.clearError();
    EXPECT_FALSE(e.hasError());
    EXPECT_TRUE(e.errorText().isEmpty());
    EXPECT_TRUE(e.styMngr->errorText().isEmpty());
}
