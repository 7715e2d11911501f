#pragma once
// Names shared by every module of the chord domain. Constant data, complete
// before main runs; read from any thread.

constexpr int kNoteNameCount = 12;
constexpr int kChordTypeCount = 59;
constexpr int kModeNameCount = 2;

// Pitch classes from C, sharps for the black keys.
extern const char* const noteNames[kNoteNameCount];
// Chord types by chord-type number, "MAJ" to "1_5_7".
extern const char* const chordTypeNames[kChordTypeCount];
// 0 major, 1 minor.
extern const char* const modeNames[kModeNameCount];
