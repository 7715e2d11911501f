#pragma once
// Display names of the project sections and what kind of section each slot
// is, and the numbering of the style file's sections (style section ids 0
// to 19) with their names.
#include <cstdint>

constexpr int kSectionNameCount = 20;

// Project section slots 0 to 14 ("Intro 1" .. "Ending 3"), then "Down Beat",
// "Up Beat", "Sound"; entries 18 and 19 are null.
extern const char* const sectionNames[kSectionNameCount];

// Long name of style section id 0 to 19 ("Main A" .. "Fill In DC"), "Dummy"
// for -1 and "" for any other id. The text is constant and stays valid for
// the whole run; the routine may be called from any thread.
const char* sectionNameFromIndex(int id);

// Style section id named by `text`, or -1. The text matches a name when it
// begins with it (case-sensitive); ids are tried in ascending order, each
// with its long name, then "Fill" plus the two letters (fills), then its
// short form; "Break Fill" names 17.
int sectionIndexFromName(const char* text);

namespace krm {

// The project's section slots: 0 to 14, "Intro 1" .. "Ending 3".
constexpr uint8_t kSectionCount = 15;

// What a project section slot is: slots 0-2 the intros, 3-6 the mains, 7-10
// the fill-ins, 11 the break, 12-14 the endings; None for any other index.
// Every rule that depends on a section's kind asks here.
enum class SectionKind { Intro, Main, FillIn, Break, Ending, None };

constexpr SectionKind sectionKind(int index)
{
    if (index < 0 || index >= kSectionCount)
        return SectionKind::None;
    if (index <= 2)
        return SectionKind::Intro;
    if (index <= 6)
        return SectionKind::Main;
    if (index <= 10)
        return SectionKind::FillIn;
    if (index == 11)
        return SectionKind::Break;
    return SectionKind::Ending;
}

constexpr bool isSectionIndex(int index)
{
    return sectionKind(index) != SectionKind::None;
}

// An intro's pickup stands before its first bar; an ending's incomplete bar
// is filled after its last one.
constexpr bool isIntro(int index)
{
    return sectionKind(index) == SectionKind::Intro;
}

constexpr bool isEnding(int index)
{
    return sectionKind(index) == SectionKind::Ending;
}

// Bars a section may hold: one for the fill-ins and the break (and any
// index outside the sections), 32 for the others.
constexpr uint32_t maxBarsOfSection(int index)
{
    const SectionKind kind = sectionKind(index);
    return kind == SectionKind::FillIn || kind == SectionKind::Break || kind == SectionKind::None ? 1 : 32;
}

}  // namespace krm
