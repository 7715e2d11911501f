#pragma once
// The chord model texts the program carries: density texts fitted on
// synthesised recordings, transition counts from common harmonic practice,
// and the chord list.
#include "BuiltinModelTexts.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace chordmodels {

using ModelTexts = tavi::ModelTextTable;

struct BuildSettings {
    int songs = 48;  // synthesised training recordings
    uint64_t seed = 20240611;
    std::ostream* log = nullptr;  // progress and model statistics
};

// Deterministic for the settings: the same texts on every run and build.
ModelTexts buildModelTexts(const BuildSettings& settings = BuildSettings());

// C++ source holding the texts as tables, for the chord library to compile
// in (identical texts are stored once).
std::string builtinDataSource(const ModelTexts& texts);

// Writes a model folder: chordlist.txt, <transition key>.txt and
// Mixture/<key>.Mixture. Returns false when a file cannot be written.
bool writeModelFolder(const ModelTexts& texts, const std::string& folder);

// Chord-type intervals (semitones above the root) of the built-in chord
// classes, in class order: DIM, MAJ7, AUG, MIN, 7, MAJ, MIN7.
const std::vector<std::vector<int>>& builtinClassIntervals();

}  // namespace chordmodels
