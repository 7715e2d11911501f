#include "AnalysisSongs.h"

namespace importrun {

namespace {

using testsig::SongChord;
using testsig::SongPart;
using testsig::SongSpec;

// Parts by instrumentation: drums, bass, sustained pad, off-beat stabs.
SongPart part(const char* name, int bars, std::vector<SongChord> chords, bool drums, bool bass, bool pad,
              bool stabs)
{
    return {name, bars, std::move(chords), drums, bass, pad, stabs};
}

SongSpec spec(double bpm, int beatsPerBar, std::vector<SongPart> parts, unsigned seed, double drift = 0.0)
{
    SongSpec s;
    s.bpm = bpm;
    s.beatsPerBar = beatsPerBar;
    s.parts = std::move(parts);
    s.seed = seed;
    s.tempoDriftPercent = drift;
    s.leadInSeconds = 0.3;
    s.tailSeconds = 1.0;
    return s;
}

const SongChord C {0}, Dm {2, true}, D {2}, Em {4, true}, E {4}, F {5}, G {7}, G7 {7, false, true},
    Am {9, true}, A {9}, Bm {11, true}, Bb {10}, Eb {3}, Cm {0, true}, Fm {5, true};

}  // namespace

const std::vector<AnalysisSong>& analysisSongs()
{
    static const std::vector<AnalysisSong> songs = {
        {"pop 4/4 120", spec(120, 4,
                             {part("intro", 4, {C, Am}, false, true, true, false),
                              part("verse", 8, {C, Am, F, G}, true, true, true, false),
                              part("chorus", 8, {F, G, Em, Am}, true, true, false, true),
                              part("verse", 8, {C, Am, F, G}, true, true, true, false),
                              part("chorus", 8, {F, G, Em, Am}, true, true, false, true),
                              part("ending", 4, {F, G7, C, C}, false, false, true, false)},
                             11)},
        {"waltz 3/4 92", spec(92, 3,
                              {part("intro", 4, {D, G}, false, false, true, false),
                               part("verse", 8, {D, G, A, D}, true, true, true, false),
                               part("chorus", 8, {Bm, G, D, A}, true, true, false, true),
                               part("verse", 8, {D, G, A, D}, true, true, true, false),
                               part("ending", 4, {G, A, D, D}, false, true, true, false)},
                              12)},
        {"ballad 4/4 72", spec(72, 4,
                               {part("intro", 2, {Eb, Bb}, false, false, true, false),
                                part("verse", 8, {Eb, Cm, Fm, Bb}, true, true, true, false),
                                part("chorus", 8, {Cm, Fm, Bb, Eb}, true, true, true, true),
                                part("ending", 2, {Fm, Eb}, false, true, true, false)},
                               13)},
        {"up-tempo 4/4 156", spec(156, 4,
                                  {part("intro", 8, {E, A}, true, false, false, true),
                                   part("verse", 16, {E, Bm, A, E}, true, true, true, false),
                                   part("chorus", 16, {A, E, Bm, D}, true, true, false, true),
                                   part("verse", 16, {E, Bm, A, E}, true, true, true, false),
                                   part("ending", 4, {A, E}, false, true, true, false)},
                                  14)},
        {"drifting 4/4 108", spec(108, 4,
                                  {part("intro", 4, {Am, Dm}, false, true, true, false),
                                   part("verse", 8, {Am, Dm, G, C}, true, true, true, false),
                                   part("chorus", 8, {F, G, C, Am}, true, true, false, true),
                                   part("verse", 8, {Am, Dm, G, C}, true, true, true, false),
                                   part("chorus", 8, {F, G, C, Am}, true, true, false, true),
                                   part("ending", 4, {Dm, E, Am, Am}, false, false, true, false)},
                                  15, 3.0)},
        {"waltz 3/4 150", spec(150, 3,
                               {part("intro", 4, {G, C}, false, true, true, false),
                                part("verse", 16, {G, Em, C, D}, true, true, true, false),
                                part("chorus", 16, {C, D, Bm, Em}, true, true, false, true),
                                part("ending", 4, {C, D, G, G}, false, false, true, false)},
                               16)},
    };
    return songs;
}

}  // namespace importrun
