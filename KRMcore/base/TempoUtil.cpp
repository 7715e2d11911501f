#include "TempoUtil.h"

#include <cmath>

double secondsOfBars(double tempo, uint32_t beatsPerBar, uint32_t beatUnit, uint32_t barCount)
{
    if (beatUnit == 0)
        return 0.0;
    const uint32_t quarters = beatsPerBar * barCount;
    const double s = double(quarters) * 4.0 * 60.0 / (double(beatUnit) * tempo);
    const double scaled = s * 10000.0;
    // The cut goes through an unsigned 64-bit integer; a tempo of 0 or below
    // (or NaN) would make that conversion undefined.
    if (!(scaled >= 0.0) || scaled >= 18446744073709551616.0)
        return 0.0;
    return double(uint64_t(scaled) + 5u) / 10000.0;
}

double tempoOfBars(uint32_t beatsPerBar, uint32_t beatUnit, uint32_t barCount, double seconds)
{
    if (beatsPerBar == 0 || beatUnit == 0 || barCount == 0 || seconds * 10000.0 < 1.0)
        return 0.0;
    const uint32_t quarters = (beatsPerBar * 4u) / beatUnit * barCount * 60u;
    return double(quarters) / seconds;
}

double ratioOrZero(double a, double b)
{
    if (a < 0.01)
        return 0.0;
    return b / a;
}

bool isStretchOutOfRange(double percentage)
{
    return !(percentage >= 50.0 && percentage <= 200.0);
}
