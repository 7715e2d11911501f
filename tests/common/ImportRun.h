#pragma once
// The import of one audio file as the analysis worker drives the engine:
// format check, new wave, working copy, segmenter, meter, onsets, beats
// moved onto onsets, bar length, beat division, first section assignment
// and the wave-info file, in the worker's order and with its fallbacks.
// Shared by the end-to-end tests and the analysis benchmark.
#include "IF_segmenter.h"

#include <QString>
#include <cstdint>
#include <vector>

class CKRMcore;

namespace importrun {

struct ImportResult {
    uint32_t code = 0;                // 0, or the worker's failure code
    bool segmenterRan = false;        // runSegmenter succeeded
    std::vector<float> trackedBeats;  // the segmenter's beat times, seconds
    std::vector<float> beats;         // the same after the move onto onsets
    uint32_t numerator = 4, denominator = 4;
    std::vector<float> onsets;  // as stored, with 0 and the end added
    uint32_t frames = 0;
};

// Imports `audioPath` into `core` (whose project is cleared first), working
// on a copy at `workPath`; writes the wave-info file to `awiPath` unless it
// is empty. `ts` is the worker's time-signature option.
ImportResult importAudio(CKRMcore& core, const QString& audioPath, const QString& workPath,
                         const QString& awiPath = QString(), SegmenterTimeSig ts = SegmenterTimeSig());

}  // namespace importrun
