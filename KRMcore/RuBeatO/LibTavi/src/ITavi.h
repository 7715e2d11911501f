#pragma once
// The chord recogniser's interface: mono audio at 44100 Hz goes in, beats,
// bars, keys and chords come out through a table of seven C-style
// callbacks that the client fills in.
#include <cstdint>
#include <string>

namespace tavi {

// Status codes of the recognisers. Any other non-zero value comes from
// loading the chord models and is passed through unchanged (1: a model
// text could not be opened or read).
enum TaviStatus : uint32_t {
    kTaviOk = 0,
    kTaviNotInitialized = 5,
    kTaviInvalidParameter = 6,
};

// The seven report entries, each with its own user pointer, passed back as
// the callback's last argument. A null function pointer means the event is
// not reported. Every integer is a signed 32-bit value; confidences are
// always 1.0.
//
// Beat and bar indices count from 0 over the whole recording, also across
// the intermediate passes of the semi-offline recogniser. Sample positions
// count at 44100 Hz from the first sample pushed. Within one beat the
// entries fire in this order: 2, 3, 4 (when key or mode changes), 1 (on the
// first beat of a bar), 6, then 0 (for the chord that changed one beat
// earlier). Every callback runs synchronously on the thread that pushes the
// audio or finishes, inside that call; an exception thrown by a callback
// leaves the recogniser through that call.
struct TaviCallbacks {
    // 0: once for the first decoded chord, then for every chord change, one
    // beat late: beat index of the chord, root pitch class 0..11, chord type
    // id (the chord model's number of the chord class, an index into the
    // chord-type name table), bass pitch class 0..11, reserved (0),
    // confidence.
    using ChordFunction = void (*)(int beat, int root, int chordType, int bass, int reserved,
                                   double confidence, void* user);
    // 1: on every beat that starts a bar: beat index, bar index, beats per
    // bar and beat unit of the time signature (4/4, 3/4, 6/8, ...),
    // confidence.
    using BarFunction = void (*)(int beat, int bar, int beatsPerBar, int beatUnit, double confidence,
                                 void* user);
    // 2: on every beat: its sample position, beat index.
    using BeatPositionFunction = void (*)(int samplePosition, int beat, void* user);
    // 3: on every beat, right after entry 2: beat index twice, confidence.
    using BeatFunction = void (*)(int beat, int sameBeat, double confidence, void* user);
    // 4: on the first beat and on every beat where the key or the mode
    // changes: beat index, key pitch class 0..11, mode (0 major, 1 minor),
    // confidence.
    using KeyFunction = void (*)(int beat, int key, int mode, double confidence, void* user);
    // 5: once, at the end of the final pass, with 0.
    using EndFunction = void (*)(int zero, void* user);
    // 6: on every beat: beat index, the beat's chord feature (26 values:
    // bass chroma, treble chroma, their two sums), valid only during the
    // call, and the number of values.
    using BeatFeatureFunction = void (*)(int beat, const float* values, int count, void* user);

    ChordFunction chordCallback = nullptr;
    BarFunction barCallback = nullptr;
    BeatPositionFunction beatPositionCallback = nullptr;
    BeatFunction beatCallback = nullptr;
    KeyFunction keyCallback = nullptr;
    EndFunction endCallback = nullptr;
    BeatFeatureFunction beatFeatureCallback = nullptr;

    void* chordUser = nullptr;
    void* barUser = nullptr;
    void* beatPositionUser = nullptr;
    void* beatUser = nullptr;
    void* keyUser = nullptr;
    void* endUser = nullptr;
    void* beatFeatureUser = nullptr;
};

// A chord recogniser. The client writes the callback table directly (the
// fields above, or the whole table through callbacks()) before pushing
// audio; the recogniser never owns what the user pointers point to.
//
// Lifecycle: initialize, setParams, pushData any number of times, run once
// at the end (TaviSemiOffline calls it finish).
class ITavi : public TaviCallbacks {
public:
    virtual ~ITavi() = default;

    // first: no effect. modelFolder: empty for the built-in chord models,
    // else a folder of model texts. hop: samples per block (180).
    // maxBeatsPerBar: 2 to 4 beats per bar, or a negative value to estimate
    // the meter. Returns 0, 6 for a bad value, or the model loader's status.
    virtual uint32_t initialize(int first, const std::wstring& modelFolder, int hop, int maxBeatsPerBar) = 0;

    // level: -1, 0 or 1, how many tracked beats make a counted beat (the
    // tracker reports beats at twice its decoded rate: level 1 counts every
    // tracked beat, level 0 every meterType-th, level -1 every
    // 2 * meterType-th). hypothesis: -1 to search which tracked beat starts
    // the grid, 0 to 5 to fix it. meterType: -1 estimate, 2 simple (n/4),
    // 3 compound (3n/8). Returns 0, or 6 with nothing stored.
    virtual uint32_t setParams(int level, int hypothesis, int meterType) = 0;

    // Decodes what has arrived and reports it; returns 0.
    virtual uint32_t run() = 0;

    // Appends `count` mono samples at 44100 Hz; returns 0.
    virtual uint32_t pushData(const float* samples, unsigned count) = 0;

    TaviCallbacks& callbacks() { return *this; }
    const TaviCallbacks& callbacks() const { return *this; }
};

}  // namespace tavi
