#include "Hpcp/PitchNames.h"

#include <cmath>

namespace Hpcp {

namespace {

const char* const kPitchClasses[12] = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};

}  // namespace

int noteNumberFromName(const std::string& name)
{
    for (int row = 0; row < 11; ++row) {
        const std::string octave = std::to_string(row - 2);
        for (int pc = 0; pc < 12; ++pc) {
            if (name == kPitchClasses[pc] + octave)
                return 12 * row + pc;
        }
    }
    return -1;
}

float noteToFrequency(float note, float reference)
{
    const float exponent = (note - 69.0f) / 12.0f;
    const float factor = static_cast<float>(std::pow(2.0, static_cast<double>(exponent)));
    return reference * factor;
}

}  // namespace Hpcp
