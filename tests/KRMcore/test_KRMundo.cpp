#include "DebugCapture.h"
#include "KRMundo.h"
#include "ProjectRecords.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>
#include <functional>

namespace {

// A command that only counts how often it was applied.
class CountCommand : public QUndoCommand {
public:
    CountCommand(const QString& text, int* value) : value(value) { setText(text); }
    void redo() override { ++*value; }
    void undo() override { --*value; }

private:
    int* value;
};

SectionRecord makeSection(uint32_t start, uint32_t rendered)
{
    return records::Section::of(0, start, start + 44100)
        .points({start + 100, start + 200})
        .rendered(rendered);
}

}  // namespace

TEST(KRMundo, ModifiedFlagFollowsTheSteps)
{
    enum Op { Push, Undo, Redo, Clear };
    struct Case {
        const char* name;
        std::vector<Op> ops;
        int index;
        bool modified;
        bool canUndo;
    };
    const Case cases[] = {
        {"push, undo", {Push, Undo}, 0, false, false},
        {"push, push, undo", {Push, Push, Undo}, 1, true, true},
        {"undo on an empty stack", {Undo}, 0, false, false},
        {"redo with nothing to redo", {Redo}, 0, true, false},
        {"push, undo, redo", {Push, Undo, Redo}, 1, true, true},
        {"push, push, clear", {Push, Push, Clear}, 0, false, false},
    };
    for (const Case& c : cases) {
        KRMundo stack;
        int value = 0;
        EXPECT_FALSE(stack.isModified());
        for (Op op : c.ops) {
            switch (op) {
            case Push:
                stack.push(new CountCommand("step", &value));
                break;
            case Undo:
                stack.undo();
                break;
            case Redo:
                stack.redo();
                break;
            case Clear:
                stack.clear();
                break;
            }
        }
        EXPECT_EQ(stack.index(), c.index) << c.name;
        EXPECT_EQ(stack.isModified(), c.modified) << c.name;
        EXPECT_EQ(stack.canUndo(), c.canUndo) << c.name;
        if (c.ops.back() != Clear) {
            EXPECT_EQ(value, c.index) << c.name;  // every command applied exactly once
        }
    }
}

TEST(KRMundo, LogsEveryOperationWithCountsAfterIt)
{
    KRMundo stack;
    int value = 0;
    DebugCapture capture;
    stack.push(new CountCommand("first", &value));
    stack.push(new CountCommand("second", &value));
    stack.undo();
    stack.redo();
    stack.undo();
    stack.clear();
    EXPECT_EQ(capture.lines, (QStringList {
                                 "push -> [first] / undo count [1]",
                                 "push -> [second] / undo count [2]",
                                 "undo -> undo index [1] / undo count [2]",
                                 "redo -> undo index [2] / undo count [2]",
                                 "undo -> undo index [1] / undo count [2]",
                                 "clear -> undo index [0] / undo count [0]",
                             }));
}

TEST(EditCommands, SectionStepRestoresRecordAndClearsOnlyItsFlag)
{
    ProjectInfo project;
    const SectionRecord before = makeSection(1000, 555);
    project.setSectionInfo(3, before);
    uint8_t flags[15];
    std::fill(std::begin(flags), std::end(flags), 1);

    KRMundo stack;
    stack.push(new SetSecInfoCommand(&project, "set section[3]", 3, makeSection(9000, 0), &flags[3]));
    SectionRecord* s = nullptr;
    project.getSection(3, &s);
    EXPECT_EQ(s->startAdrs, 9000u);
    EXPECT_EQ(flags[3], 0);

    flags[3] = 1;
    stack.undo();
    EXPECT_TRUE(s->equals(before));
    EXPECT_EQ(s->renderedFrames, 555u);
    EXPECT_EQ(s->barPoints, before.barPoints);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(flags[i], i == 3 ? 0 : 1) << i;

    // A command for a section that does not exist touches no section.
    SetSecInfoCommand bad(&project, "bad", 15, makeSection(7, 7), &flags[0]);
    bad.redo();
    bad.undo();
    for (uint8_t i = 0; i < 15; ++i) {
        project.getSection(i, &s);
        EXPECT_NE(s->startAdrs, 7u) << int(i);
    }
    EXPECT_EQ(flags[0], 1);
}

TEST(EditCommands, AllInfoStepRestoresWholeProjectAndClearsAllFlags)
{
    ProjectInfo project;
    auto* w = new WaveInfoRecord();
    w->path = L"old.wav";
    project.addWave(w);
    project.setSectionInfo(0, makeSection(10, 1));
    project.setTimeSignature(3, 4);

    ProjectInfo source;
    for (const wchar_t* p : {L"n1.wav", L"n2.wav"}) {
        auto* n = new WaveInfoRecord();
        n->path = p;
        source.addWave(n);
    }
    source.setSectionInfo(5, makeSection(20, 2));

    uint8_t flags[15];
    std::fill(std::begin(flags), std::end(flags), 1);
    SecWavFlags addrs {};
    for (int i = 0; i < 15; ++i)
        addrs[i] = i == 7 ? nullptr : &flags[i];  // an address may be missing

    KRMundo stack;
    stack.push(new SetAllInfoCommand(&project, "set all", source, addrs));
    ASSERT_EQ(project.waveCount(), 2u);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(flags[i], i == 7 ? 1 : 0) << i;

    std::fill(std::begin(flags), std::end(flags), 1);
    stack.undo();
    ASSERT_EQ(project.waveCount(), 1u);
    project.getWave(0, &w);
    EXPECT_EQ(w->path, L"old.wav");
    SectionRecord* s = nullptr;
    project.getSection(0, &s);
    EXPECT_EQ(s->startAdrs, 10u);
    project.getSection(5, &s);
    EXPECT_EQ(s->used, 0);
    uint8_t b = 0, u = 0;
    project.getTimeSig(&b, &u);
    EXPECT_EQ(b, 3);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(flags[i], i == 7 ? 1 : 0) << i;

    // The snapshot is independent of the source it was taken from.
    source.clearWaves();
    stack.redo();
    EXPECT_EQ(project.waveCount(), 2u);
}

TEST(EditCommands, CommonStepAndCommandsWithoutTarget)
{
    ProjectInfo project;
    CommonInfo next;
    next.tempo = 90;
    next.pan = 10;
    KRMundo stack;
    stack.push(new SetComnInfoCommand(&project, "set common", next));
    CommonInfo* c = nullptr;
    project.getCommonInfo(&c);
    EXPECT_EQ(*c, next);
    stack.undo();
    EXPECT_EQ(*c, CommonInfo());

    // Commands without a target do nothing at all.
    uint8_t flag = 1;
    SecWavFlags addrs {};
    addrs[0] = &flag;
    SetAllInfoCommand all(nullptr, "set all", project, addrs);
    SetComnInfoCommand comn(nullptr, "set common", next);
    SetSecInfoCommand sec(nullptr, "set section[0]", 0, makeSection(1, 1), &flag);
    for (QUndoCommand* cmd : std::initializer_list<QUndoCommand*> {&all, &comn, &sec}) {
        cmd->redo();
        cmd->undo();
    }
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(all.text(), "set all");
}
