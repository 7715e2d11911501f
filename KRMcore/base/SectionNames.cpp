#include "SectionNames.h"

#include <cstring>

const char* const sectionNames[kSectionNameCount] = {
    "Intro 1",   "Intro 2",   "Intro 3",   "Main A",    "Main B", "Main C",   "Main D",
    "Fill In A", "Fill In B", "Fill In C", "Fill In D", "Break",  "Ending 1", "Ending 2",
    "Ending 3",  "Down Beat", "Up Beat",   "Sound",     nullptr,  nullptr};

namespace {

constexpr int kStyleSectionCount = 20;

struct StyleSectionName {
    const char* longName;
    const char* fillName;   // "Fill" and the two letters; fills only
    const char* shortName;  // none for "Intro D" and "Ending D"
};

const StyleSectionName kStyleSections[kStyleSectionCount] = {
    {"Main A", nullptr, "MA"},        {"Main B", nullptr, "MB"},        {"Main C", nullptr, "MC"},
    {"Main D", nullptr, "MD"},        {"Fill In AA", "Fill AA", "FAA"}, {"Fill In BB", "Fill BB", "FBB"},
    {"Fill In CC", "Fill CC", "FCC"}, {"Fill In DD", "Fill DD", "FDD"}, {"Intro A", nullptr, "IA"},
    {"Intro B", nullptr, "IB"},       {"Intro C", nullptr, "IC"},       {"Intro D", nullptr, nullptr},
    {"Ending A", nullptr, "EA"},      {"Ending B", nullptr, "EB"},      {"Ending C", nullptr, "EC"},
    {"Ending D", nullptr, nullptr},   {"Fill In AB", "Fill AB", "FAB"}, {"Fill In BA", "Fill BA", "FBA"},
    {"Fill In CD", "Fill CD", "FCD"}, {"Fill In DC", "Fill DC", "FDC"},
};

constexpr int kBreakFillId = 17;

bool beginsWith(const char* text, const char* candidate)
{
    return candidate != nullptr && std::strncmp(text, candidate, std::strlen(candidate)) == 0;
}

}  // namespace

const char* sectionNameFromIndex(int id)
{
    if (id == -1)
        return "Dummy";
    if (id < 0 || id >= kStyleSectionCount)
        return "";
    return kStyleSections[id].longName;
}

int sectionIndexFromName(const char* text)
{
    if (text == nullptr)
        return -1;
    for (int id = 0; id < kStyleSectionCount; ++id) {
        const StyleSectionName& n = kStyleSections[id];
        if (beginsWith(text, n.longName) || beginsWith(text, n.fillName) || beginsWith(text, n.shortName))
            return id;
    }
    if (beginsWith(text, "Break Fill"))
        return kBreakFillId;
    return -1;
}
