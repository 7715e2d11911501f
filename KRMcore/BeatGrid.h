#pragma once
// Free helpers of the beat grid: conversions between beat-list times and
// sample addresses, the layout of a section's beats inside a wave's beat
// list, and the moves of time points onto reference points.
//
// A wave's beat list holds half-beat pulses, `beatStep` entries per half
// beat. A section's beat k is list entry toggle * step + 2 * step * k, so
// the section's beats are either the even (toggle 0) or the odd (toggle 1)
// half beats.
#include "base/AudioFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct WaveInfoRecord;

namespace krm {
// The working sample rate as the conversions use it, in double precision.
constexpr double kSampleRate = audio::kSampleRate;
}  // namespace krm

// ceil(t * 44100) as a frame address. Times before 0 (and NaN) give 0,
// times past the last 32-bit frame give the last frame.
uint32_t secondsToSamples(float t);
// a / 44100 rounded to float.
float samplesToSeconds(uint32_t a);

// Layout of one toggle grid over a list of n entries with beat step s
// (treated as 1 when 0). Every entry index is 64-bit so that no beat index
// can overflow it.
struct BeatGridLayout {
    uint64_t n = 0;       // entries in the beat list
    uint64_t step = 1;    // entries per half beat
    uint64_t first = 0;   // entry of beat 0: toggle * step
    uint64_t stride = 2;  // entries per beat: 2 * step

    BeatGridLayout(size_t entries, uint16_t beatStep, uint8_t toggle);
    uint64_t entryOf(uint64_t beat) const { return first + stride * beat; }
    bool holds(uint64_t entry) const { return entry < n; }
    // Beats whose first entry lies inside the list: ceil((n - first) / stride).
    uint64_t beatCount() const;
    // Entry where a pickup of `halfBeats` half beats before `beat` starts:
    // (2 * beat - halfBeats + toggle) * step; negative before the list.
    int64_t pickupEntry(uint64_t beat, uint8_t halfBeats) const
    {
        return static_cast<int64_t>(entryOf(beat)) -
               static_cast<int64_t>(halfBeats) * static_cast<int64_t>(step);
    }
};

// Snapping tolerance in seconds of compensatePoints for a tempo in beats
// per minute: 0.05 below 40, 0.015 above 60, linear in between.
float pointTolerance(uint32_t tempo);

// Moves each point onto a nearby reference point (the beats onto onsets):
// only the first point after a reference entry moves back onto it, only
// the last point before one moves forward onto it, and only within the
// tolerance of the tempo. The list is changed in place.
void compensatePoints(std::vector<float>& points, const std::vector<float>& reference, uint32_t tempo);

// Appends the wave's last onset to its beat list when it continues the
// beat rhythm (within `threshold` of the mean of the last three beat
// intervals; with 1 to 4 beats whenever it lies after the last beat).
// Always 0.
uint32_t appendLastOnsetAsBeat(WaveInfoRecord& wave, double threshold);

// Toggle of the beat-list entry whose address is exactly `address`:
// 0 for address 0 and for entries on the even half beats, 1 on the odd
// ones. Fails 0x80000002 for an entry between half beats, 0x80000003 when
// no entry has the address, 0x80000004 when the list ends before it.
uint32_t beatToggleAtAddress(uint32_t address, const WaveInfoRecord& wave, uint8_t& toggle);
