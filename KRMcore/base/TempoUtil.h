#pragma once
// Section length, implied tempo and time-stretch percentage as the main
// window shows them. Tempo is in quarter notes per minute; the time
// signature is beats per bar over beat unit.
#include <cstdint>

// Length in seconds of `barCount` bars at `tempo`, cut to four decimals plus
// 0.0005. 0.0 when the beat unit is 0 or the tempo is not positive.
double secondsOfBars(double tempo, uint32_t beatsPerBar, uint32_t beatUnit, uint32_t barCount);

// Tempo at which `barCount` bars last `seconds`. Whole quarter notes per bar
// only (7/8 counts 3). 0.0 when any count is 0 or seconds x 10000 < 1.
double tempoOfBars(uint32_t beatsPerBar, uint32_t beatUnit, uint32_t barCount, double seconds);

// b / a; 0.0 when a < 0.01.
double ratioOrZero(double a, double b);

// True for a percentage outside 50..200, and for NaN.
bool isStretchOutOfRange(double percentage);
