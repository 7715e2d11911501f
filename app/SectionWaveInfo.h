#pragma once
// A snapshot of one project section and its audio: what the export check,
// the audition and the time-stretch job need to know about a section,
// taken from an engine at one moment. It does not follow later edits.
#include <cstdint>

class CKRMcore;
struct SectionRecord;

class SectionWaveInfo {
public:
    // Reads section `section` (0..14) of `core`. When the section, its audio
    // file or the time signature cannot be read, the snapshot is cleared
    // (section -1). `core` is kept, not owned; null gives a cleared snapshot.
    SectionWaveInfo(CKRMcore* core, int section);
    virtual ~SectionWaveInfo() = default;

    // Section -1, every other field 0, beats 4/4; the engine is kept.
    void clear();

    // The section's record from the engine; false (and null) when it cannot
    // be read.
    bool getSection(SectionRecord*& record) const;
    // True when the audio would have to be stretched by a factor outside
    // 0.5 .. 2.0 to fill the section's bars at the project tempo (also for
    // a cleared snapshot, whose length is 0).
    bool isStretchOutOfRange() const;

    CKRMcore* m_core;
    int32_t m_section;       // -1 when the section or its audio file is missing
    uint32_t m_bars;         // the section's bar count
    double m_tempo;          // project tempo, beats per minute
    uint32_t m_beatsPerBar;  // 4 unless read
    uint32_t m_beatUnit;     // 4 unless read
    uint32_t m_startSample;  // start beat position
    uint32_t m_endSample;    // end beat position
    double m_startTime;      // m_startSample in seconds
    double m_endTime;        // m_endSample in seconds
    bool m_manual;           // manual bars: the tempo shown is an estimate
};
