#pragma once

#include <string>

namespace Hpcp {

// Note numbers are MIDI numbers: 69 is A at the reference frequency. Names
// are the pitch class spelt with flats ("C", "Db", ..., "B") followed by the
// octave number -2 to 8, so 0 is "C-2", 24 "C0", 69 "A3" and 131 "B8".

// The note whose name equals `name` exactly (case-sensitive), or -1.
int noteNumberFromName(const std::string& name);

// reference * 2^((note - 69) / 12).
float noteToFrequency(float note, float reference);

}  // namespace Hpcp
