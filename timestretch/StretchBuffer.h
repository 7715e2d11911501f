#pragma once
// The one entry into the spectral time-scale engine.
//
// `StretchBuffer` turns a view of the input run, its segments with their
// ratios and a format record into the engine's records (StretchMap,
// StretchIo), runs one CTimeMachineInterface1 and maps its outcome:
//   > 0  the output frame count; `output` holds the buffers (left, and
//        right for a view with a right channel), to be released with
//        FreeStretchOutput;
//   0    the engine's attack pre-analysis failed;
//   -1   the engine ran out of memory;
//   -2   a view without a left channel, a format mode other than 0 (two
//        bands) or 1 (one band), or any other engine error (a ratio outside
//        [0.5, 2.0], a rate other than 44100, 22050 or 11025 Hz, a ratio
//        that is not a number).
// It throws an `int`: -2 when there are no segments or the view has no
// frames, -1 when an allocation or the engine throws. Only one stretch may
// run at a time per engine object; each call makes its own engine.
#include "StretchRecords.h"

#include <cstdio>
#include <vector>

int StretchBuffer(const StretchInputView* view, std::vector<StretchSegment*> segments, StretchFormat* format,
                  StretchOutput* output);

// The front door's result for an engine outcome (StretchIo::error): -1
// gives 0, 1 gives -1, any other non-zero code -2.
int StretchResultOf(int32_t engineError);

// printf to `stream`: the engine's error lines go to standard error.
void LogError(std::FILE* stream, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
