#include "MusicConstants.h"

const char* const noteNames[kNoteNameCount] = {"C",  "C#", "D",  "D#", "E",  "F",
                                               "F#", "G",  "G#", "A",  "A#", "B"};

const char* const chordTypeNames[kChordTypeCount] = {
    /*  0 */ "MAJ",   "MAJ6",      "MAJ7",    "MAJ7S11", "MAJ_9",   "MAJ7_9",
    "MAJ6_9",         "AUG",       "MIN",     "MIN6",
    /* 10 */ "MIN7",  "MIN7F5",    "MIN_9",   "MIN7_9",  "MIN7_11", "MM7",
    "MM7_9",          "DIM",       "DIM7",    "7",
    /* 20 */ "7SUS4", "7F5",       "7_9",     "7_S11",   "7_13",    "7_F9",
    "7_F13",          "7_S9",      "M7AUG",   "7AUG",
    /* 30 */ "1_8",   "1_5",       "SUS4",    "1_2_5",   "CC",      "MAJ7F5",
    "MAJF5",          "MM7F5",     "INHA2",   "INHA4",
    /* 40 */ "INHA5", "INHA6",     "INHA7",   "1_F3",    "1_3",     "1_4",
    "1_F5",           "1_F6",      "1_6",     "1_F7",
    /* 50 */ "1_7",   "1_2_5_IAS", "1_F3_F7", "1_F3_7",  "1_3_F7",  "1_3_7",
    "1_F5_F7",        "1_5_F7",    "1_5_7"};

const char* const modeNames[kModeNameCount] = {"MAJ", "MIN"};
