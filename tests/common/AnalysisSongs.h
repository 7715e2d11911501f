#pragma once
// A handful of songs of our own making for judging the import analysis:
// drums, bass and chord instruments in 4/4 and 3/4 from about 70 to 160
// beats per minute, each with an intro, verses, choruses and an ending that
// differ in instrumentation and harmony, one with a slight tempo drift.
// The truth (beats, downbeats, meter, chords per beat, part starts) comes
// with each rendered song.
#include "Signals.h"

#include <string>
#include <vector>

namespace importrun {

struct AnalysisSong {
    std::string name;
    testsig::SongSpec spec;
};

const std::vector<AnalysisSong>& analysisSongs();

}  // namespace importrun
