#include "EmptyStyleTemplate.h"

#include "CSmfStyle.h"

#include <cstring>

const char* const kTemplateSectionNames[15] = {
    "Intro A", "Fill In AA", "Main A",   "Fill In BB", "Main B",   "Fill In CC", "Main C",   "Fill In DD",
    "Main D",  "Fill In BA", "Ending A", "Intro B",    "Ending B", "Intro C",    "Ending C",
};

namespace {

void addMeta(CTrk& track, uint8_t type, const void* data, uint32_t length)
{
    track.addEvent(makeDataEvent(kStatusMeta, type, 0, static_cast<const uint8_t*>(data), length));
}

}  // namespace

krm::Result buildEmptyStyleTemplate(std::vector<uint8_t>& out)
{
    CSmfStyle style;
    style.head.format = 0;
    style.head.trackCount = 1;
    style.head.division = 960;

    auto track = std::make_unique<CTrk>();
    addMeta(*track, kMetaMarker, "SFF2", 4);
    const uint8_t tempo[3] = {0x07, 0xA1, 0x20};  // 500000 us per quarter note: 120 bpm
    addMeta(*track, kMetaTempo, tempo, 3);
    const uint8_t timeSignature[4] = {4, 2, 24, 8};  // 4/4, 24 clocks per click, 8 32nds per quarter
    addMeta(*track, kMetaTimeSignature, timeSignature, 4);
    for (const char* name : kTemplateSectionNames)
        addMeta(*track, kMetaMarker, name, uint32_t(std::strlen(name)));
    addMeta(*track, kMetaEndOfTrack, nullptr, 0);
    style.tracks.push_back(std::move(track));

    for (const char* name : kTemplateSectionNames) {
        auto section = std::make_unique<CSection>();
        if (krm::Result r = section->initDefault())
            return krm::nest(r, 1);
        section->clearCntt();  // channel records belong to the older form
        section->setNames({name});
        style.sections.push_back(std::move(section));
    }
    return krm::nestOnFail(style.write(out), 2);
}
