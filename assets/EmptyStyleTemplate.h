#pragma once
// The template style "Empty.sty" that the export fits to each project,
// built with the style model's own writers: a one-track format-0 file
// (960 ticks per quarter note) whose track holds, all at tick 0, the format
// marker "SFF2", a tempo of 500000 microseconds per quarter note, a 4/4
// time signature, one marker per section the export handles and the end of
// track; and a style part with one section per marker, each holding the 16
// default channel tables.
#include "ResultCode.h"

#include <cstdint>
#include <vector>

// The section names of the template, in the order the export lays the
// sections end to end.
extern const char* const kTemplateSectionNames[15];

// Builds the template's bytes into `out` (emptied first).
krm::Result buildEmptyStyleTemplate(std::vector<uint8_t>& out);
