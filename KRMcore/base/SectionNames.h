#pragma once
// Display names of the project sections, and the numbering of the style
// file's sections (style section ids 0 to 19) with their names.

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
