#pragma once
// A project of our own making for the window and end-to-end tests: a short
// song (drums, bass and chords, made by testsig::makeSong) written as a
// stereo 16-bit 44100 Hz WAV file, its true beats and onsets, and a project
// file that holds it with "Intro 1" and "Main A" assigned, all written
// through the project engine as the program itself would.
#include "ProjectInfo.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace testproject {

struct Options {
    double seconds = 20.0;  // length of the WAV file
    double bpm = 120.0;     // 4/4 throughout
    // A click on every beat in place of drums, bass and chords: short
    // transients with silence between them, easy to tell apart from what a
    // player mixes in.
    bool clickSong = false;
    // The project's tempo in BPM; 0 takes the song's.
    double projectTempo = 0.0;
};

// What was written. Section ranges are sample frames as the engine stores
// them (each on a beat of the beat list).
struct Made {
    QString wavPath;      // <folder>/song.wav
    QString projectPath;  // <folder>/song.svproj
    uint32_t frames = 0;
    std::vector<float> beats;               // half-beat pulses in seconds (beat step 1)
    std::vector<float> onsets;              // seconds, ascending
    uint32_t introStart = 0, introEnd = 0;  // "Intro 1": bars 1 and 2
    uint32_t mainStart = 0, mainEnd = 0;    // "Main A": bars 3 to 6
};

// Writes the song and the project into `folder` (which must exist). An
// empty result on success; otherwise what failed.
QString writeProject(const QString& folder, const Options& options, Made& made);

// A used section on wave 0 over beats [firstBeat, lastBeat] of a half-beat
// list (beat k is entry 2k), its bar lines in the point list.
SectionRecord sectionOver(const std::vector<float>& halfBeats, int firstBeat, int lastBeat, int beatsPerBar);

}  // namespace testproject
