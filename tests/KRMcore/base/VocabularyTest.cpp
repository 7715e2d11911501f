#include "MusicConstants.h"
#include "SectionNames.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

TEST(Vocabulary, MusicNameTables)
{
    std::set<std::string> chords;
    for (const char* n : chordTypeNames) {
        ASSERT_NE(n, nullptr);
        chords.insert(n);
    }
    EXPECT_EQ(chords.size(), 59u) << "59 distinct chord-type names";
    EXPECT_STREQ(chordTypeNames[0], "MAJ");
    EXPECT_STREQ(chordTypeNames[19], "7");
    EXPECT_STREQ(chordTypeNames[51], "1_2_5_IAS");
    EXPECT_STREQ(chordTypeNames[58], "1_5_7");
    EXPECT_STREQ(modeNames[0], chordTypeNames[0]);
    EXPECT_STREQ(modeNames[1], "MIN");
    std::string notes;
    for (const char* n : noteNames)
        notes += std::string(n) + " ";
    EXPECT_EQ(notes, "C C# D D# E F F# G G# A A# B ");
}

TEST(Vocabulary, ProjectSectionNames)
{
    EXPECT_STREQ(sectionNames[0], "Intro 1");
    EXPECT_STREQ(sectionNames[7], "Fill In A");
    EXPECT_STREQ(sectionNames[11], "Break");
    EXPECT_STREQ(sectionNames[14], "Ending 3");
    EXPECT_STREQ(sectionNames[17], "Sound");
    EXPECT_EQ(sectionNames[18], nullptr);
    EXPECT_EQ(sectionNames[19], nullptr);
}

TEST(Vocabulary, StyleSectionIdToName)
{
    const char* longNames[20] = {"Main A",     "Main B",     "Main C",     "Main D",     "Fill In AA",
                                 "Fill In BB", "Fill In CC", "Fill In DD", "Intro A",    "Intro B",
                                 "Intro C",    "Intro D",    "Ending A",   "Ending B",   "Ending C",
                                 "Ending D",   "Fill In AB", "Fill In BA", "Fill In CD", "Fill In DC"};
    for (int id = 0; id < 20; ++id) {
        EXPECT_STREQ(sectionNameFromIndex(id), longNames[id]) << id;
        EXPECT_EQ(sectionIndexFromName(longNames[id]), id) << longNames[id];
    }
    EXPECT_STREQ(sectionNameFromIndex(-1), "Dummy");
    for (int id : {-2, 20, 1000, -1000})
        EXPECT_STREQ(sectionNameFromIndex(id), "") << id;

    // Each result stays valid however many calls follow, on any thread.
    const char* p16 = sectionNameFromIndex(16);
    const char* p19 = sectionNameFromIndex(19);
    std::vector<std::thread> ts;
    for (int t = 0; t < 4; ++t)
        ts.emplace_back([] {
            for (int i = 0; i < 10000; ++i)
                sectionNameFromIndex(i % 22 - 1);
        });
    for (auto& t : ts)
        t.join();
    EXPECT_STREQ(p16, "Fill In AB");
    EXPECT_STREQ(p19, "Fill In DC");
}

TEST(Vocabulary, StyleSectionNameToId)
{
    const std::pair<const char*, int> cases[] = {
        {"Break Fill", 17}, {"FBA", 17},      {"Fill BA", 17}, {"Fill In AB", 16}, {"FAB", 16},
        {"Fill AA", 4},     {"FDD", 7},       {"Fill DC", 19}, {"EB", 13},         {"IA", 8},
        {"Intro D", 11},    {"Ending D", 15}, {"MA", 0},       {"MAJ7", 0},        {"Main A and more", 0},
        {"MD", 3},          {"ID", -1},       {"ED", -1},      {"Fill In A", -1},  {"Break", -1},
        {"ma", -1},         {"main a", -1},   {"", -1},        {"Dummy", -1},      {"F", -1},
    };
    for (auto [text, id] : cases)
        EXPECT_EQ(sectionIndexFromName(text), id) << '"' << text << '"';
    EXPECT_EQ(sectionIndexFromName(nullptr), -1);
}
