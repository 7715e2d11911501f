#pragma once
// The songs the import analysis is judged on (bench_analysis_quality,
// bench_beat_phase): band songs of our own making (BandSong.h) in 4/4, 3/4,
// 6/8 and 2/4, from a ballad to an up-tempo song, one with a tempo drift,
// one with a pickup and swing. Each has an intro, parts that differ in
// harmony and groove, fills, and a held last chord; the truth comes with
// the rendered song.
#include "BandSong.h"

#include <string>
#include <vector>

namespace importrun {

struct AnalysisSong {
    std::string name;
    testsig::BandSong spec;
};

const std::vector<AnalysisSong>& analysisSongs();

}  // namespace importrun
