#include "AnalysisSongs.h"

namespace importrun {

namespace {

using testsig::BandChord;
using testsig::BandPart;
using testsig::BandSong;

BandPart part(const char* name, int bars, std::vector<BandChord> chords, int energy)
{
    BandPart p;
    p.name = name;
    p.bars = bars;
    p.chords = std::move(chords);
    p.energy = energy;
    return p;
}

BandSong song(double bpm, int beatsPerBar, std::vector<BandPart> parts, unsigned seed)
{
    BandSong s;
    s.bpm = bpm;
    s.beatsPerBar = beatsPerBar;
    s.parts = std::move(parts);
    s.seed = seed;
    return s;
}

const BandChord C {0}, Dm {2, true}, D {2}, Em {4, true}, E {4}, F {5}, G {7}, G7 {7, false, true},
    Am {9, true}, A {9}, Bm {11, true}, Bb {10}, Eb {3}, Cm {0, true}, Fm {5, true}, Gm {7, true},
    D7 {2, false, true};

std::vector<AnalysisSong> makeSongs()
{
    std::vector<AnalysisSong> songs;
    songs.push_back(
        {"pop 4/4 112", song(112, 4,
                             {part("intro", 4, {C, Am}, 0), part("verse", 8, {C, Am, F, G}, 1),
                              part("chorus", 8, {F, G, Em, Am}, 2), part("verse", 8, {C, Am, F, G}, 1),
                              part("chorus", 8, {F, G, Em, Am}, 2), part("outro", 2, {F, G7}, 0)},
                             21)});
    songs.push_back(
        {"waltz 3/4 96", song(96, 3,
                              {part("intro", 4, {D, G}, 0), part("verse", 8, {D, G, A, D}, 1),
                               part("chorus", 8, {Bm, G, D, A}, 2), part("verse", 8, {D, G, A, D}, 1),
                               part("ending", 4, {G, A, D, A}, 0)},
                              22)});
    BandSong jig = song(66, 2,
                        {part("intro", 4, {Em, D}, 0), part("tune A", 8, {Em, D, Em, Bm}, 1),
                         part("tune B", 8, {G, D, C, D}, 2), part("tune A", 8, {Em, D, Em, Bm}, 1),
                         part("ending", 2, {C, D}, 0)},
                        23);
    jig.compound = true;
    songs.push_back({"jig 6/8 66", jig});
    BandSong march = song(116, 2,
                          {part("intro", 4, {Bb, F}, 0), part("strain A", 8, {Bb, Eb, F, Bb}, 1),
                           part("strain B", 8, {Gm, Cm, F, Bb}, 2), part("strain A", 8, {Bb, Eb, F, Bb}, 1),
                           part("ending", 2, {F, F}, 0)},
                          24);
    songs.push_back({"march 2/4 116", march});
    BandSong drift = song(100, 4,
                          {part("intro", 4, {Am, Dm}, 0), part("verse", 8, {Am, Dm, G, C}, 1),
                           part("chorus", 8, {F, G, C, Am}, 2), part("verse", 8, {Am, Dm, G, C}, 1),
                           part("chorus", 8, {F, G, C, Am}, 2), part("outro", 2, {Dm, E}, 0)},
                          25);
    drift.driftPercent = 4.0;
    songs.push_back({"drifting 4/4 100-104", drift});
    BandSong pickup = song(132, 4,
                           {part("head", 8, {G, Em, Am, D7}, 1), part("bridge", 8, {C, D, Bm, Em}, 2),
                            part("head", 8, {G, Em, Am, D7}, 1), part("tag", 4, {C, D}, 2)},
                           26);
    pickup.pickupBeats = 2;
    pickup.swing = 0.12;
    songs.push_back({"pickup swing 4/4 132", pickup});
    BandSong ballad = song(72, 4,
                           {part("intro", 2, {Eb, Bb}, 0), part("verse", 8, {Eb, Cm, Fm, Bb}, 1),
                            part("chorus", 8, {Cm, Fm, Bb, Eb}, 2), part("ending", 2, {Fm, Bb}, 0)},
                           27);
    ballad.humaniseMs = 9.0;
    ballad.reverb = 0.3;
    songs.push_back({"ballad 4/4 72", ballad});
    return songs;
}

}  // namespace

const std::vector<AnalysisSong>& analysisSongs()
{
    static const std::vector<AnalysisSong> songs = makeSongs();
    return songs;
}

}  // namespace importrun
