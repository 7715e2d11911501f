#pragma once
// Observer through which the analysis library reports its progress and the
// events of its passes. Every notification does nothing unless a derived
// class overrides it; records are passed by address and are valid only
// during the call.
#include <cstdint>

namespace RkMir {

// One section found by the section segmenter.
struct SegmentRecord {
    float start;         // seconds, time of the segment's first bar
    float end;           // seconds, time of the first bar after it
    uint32_t beatIndex;  // beat on which the segment's first bar starts
    uint32_t label;      // 0 for the first label met, then 1, 2, ...
};

// A decoded chord (first chord, then each change).
struct ChordEvent {
    int32_t beatIndex;
    int32_t root;       // pitch class 0 to 11
    int32_t chordType;  // index into the chord model's chord list
    int32_t bass;       // pitch class 0 to 11
    int32_t reserved;
};

// The first beat of a bar, with the meter in force.
struct BarEvent {
    int32_t beatIndex;
    int32_t barIndex;
    int32_t beatsPerBar;  // numerator
    int32_t beatUnit;     // denominator
};

struct BeatPositionEvent {
    int32_t samplePosition;  // frames at 44100 Hz from the first frame pushed
    int32_t beatIndex;
};

struct BeatEvent {
    int32_t beatIndex;
    int32_t beatIndexAgain;  // the recogniser repeats the index here
    double confidence;
};

struct KeyEvent {
    int32_t beatIndex;
    int32_t key;   // pitch class 0 to 11
    int32_t mode;  // 0 major, 1 minor
};

class IProgress {
public:
    virtual ~IProgress();
    // Called once when the analysis has delivered its last segment.
    virtual void notify() { }
    virtual void progress(unsigned char percent) { (void)percent; }
    virtual void chord(const ChordEvent* event) { (void)event; }
    // Bar event; carries the detected time signature.
    virtual void timeSignature(const BarEvent* event) { (void)event; }
    virtual void beatPosition(const BeatPositionEvent* event) { (void)event; }
    virtual void beatTime(const BeatEvent* event) { (void)event; }
    virtual void key(const KeyEvent* event) { (void)event; }
    virtual void segment(const SegmentRecord* record) { (void)record; }

    // Set to non-zero to ask the analysis to stop; the feature pass reads
    // it after each progress report and stops with the error "Aborted".
    unsigned char abortRequest = 0;
};

}  // namespace RkMir

static_assert(sizeof(RkMir::SegmentRecord) == 16, "segment records are 16 bytes");
static_assert(sizeof(RkMir::BarEvent) == 16, "bar events are four 32-bit words");
