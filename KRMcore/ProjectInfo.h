#pragma once
// The engine's record of one project: the imported audio files (waves),
// the fifteen style sections in fixed slots and the settings that all
// sections share. Every edit replaces parts of it, every undo step keeps
// whole copies of it or of one of its parts, and the project files are
// written from it and read into it.
#include "base/SectionNames.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace krm {
constexpr uint8_t kNoWave = 255;  // a section's waveIndex when unassigned
}  // namespace krm

// Settings that all sections share, in file order.
struct CommonInfo {
    uint8_t volume = 80;          // MIDI controller 7
    uint8_t pan = 64;             // MIDI controller 10, 64 is the centre
    uint8_t reverb = 0;           // MIDI controller 91
    uint32_t tempo = 120;         // beats per minute
    uint8_t beatsPerBar = 4;      // 1..12
    uint8_t beatUnit = 4;         // 2, 4 or 8
    uint8_t normalizeBlend = 50;  // percent of each section's own gain
    uint8_t normalizeOn = 0;      // 1: normalise section audio at export

    bool operator==(const CommonInfo& o) const;
    bool operator!=(const CommonInfo& o) const { return !(*this == o); }
};

// One project section. The two point arrays hold exactly barCount - 1
// entries when barCount >= 2 and are empty otherwise; resize them only
// through setPointCount so that the two stay in step with barCount.
struct SectionRecord {
    uint8_t used = 0;
    uint8_t waveIndex = krm::kNoWave;
    uint32_t startAdrs = 0;
    int32_t startOffset = 0;
    uint32_t endAdrs = 0;
    int32_t endOffset = 0;
    uint16_t barCount = 0;
    uint8_t tempoFromBeats = 0;
    uint8_t manualBars = 0;
    uint8_t fadeOn = 0;
    uint8_t pickupOn = 0;
    uint8_t pickupHalfBeats = 0;
    int32_t pickupOffset = 0;
    uint8_t toggle = 0;
    uint32_t renderedFrames = 0;  // in memory only; not part of equality
    std::vector<uint32_t> barPoints;
    std::vector<int32_t> barPointOffsets;

    SectionRecord() = default;
    SectionRecord(const SectionRecord& o);
    SectionRecord& operator=(const SectionRecord& o);
    SectionRecord(SectionRecord&&) noexcept = default;
    SectionRecord& operator=(SectionRecord&&) noexcept = default;

    void clear();
    // Takes n as barCount and resizes both arrays to n - 1 entries, keeping
    // the leading old values and zero-filling new ones.
    void setPointCount(uint16_t n);
    // Equality of everything that is stored; renderedFrames is ignored.
    bool equals(const SectionRecord& o) const;
};

// A segment mark: time in seconds and the section label of the segmenter.
struct SegmentMark {
    float time = 0.0f;
    uint16_t label = 0;

    bool operator==(const SegmentMark& o) const { return time == o.time && label == o.label; }
};

// One imported audio file with its analysis results.
struct WaveInfoRecord {
    std::wstring path;
    std::vector<float> beats;   // half-beat pulse times in seconds, ascending
    std::vector<float> onsets;  // onset times in seconds, ascending
    float barLength = 0.0f;
    uint16_t beatStep = 1;  // beat-list entries per half beat, >= 1
    std::vector<SegmentMark> detectedMarks;
    std::vector<SegmentMark> fittedMarks;
    uint32_t tempo = 120;
};

// The project settings handed to the style manager before an export.
struct StyleInfo {
    uint32_t tempo = 120;
    uint8_t beatsPerBar = 4;
    uint8_t beatUnit = 4;
    uint32_t sectionLength[krm::kSectionCount] = {};
    uint32_t sectionBars[krm::kSectionCount] = {};
};

// Waves are addressed by an unsigned 8-bit index; 255 means "no wave" in a
// section, so callers keep the list at 255 waves or fewer. Out-pointers
// receive addresses of records inside the object, valid until the record
// is removed or the wave list changes.
class ProjectInfo {
public:
    ProjectInfo();
    ~ProjectInfo();
    ProjectInfo(const ProjectInfo&) = delete;  // use assign
    ProjectInfo& operator=(const ProjectInfo&) = delete;

    uint32_t getCommonInfo(CommonInfo** out);
    uint32_t setCommonInfo(const CommonInfo& info);
    uint32_t resetCommonInfo();
    uint32_t getTimeSig(uint8_t* beatsPerBar, uint8_t* beatUnit) const;
    uint32_t setTimeSignature(uint8_t beatsPerBar, uint8_t beatUnit);

    uint32_t getSection(uint8_t i, SectionRecord** out);
    uint32_t setSectionInfo(uint8_t i, const SectionRecord& rec);
    uint32_t clearSections();

    size_t waveCount() const { return waves.size(); }
    uint32_t getWave(uint8_t w, WaveInfoRecord** out);
    uint32_t getSecAndWave(uint8_t i, SectionRecord** sec, WaveInfoRecord** wave);
    uint32_t getWaveOfSection(uint8_t i, WaveInfoRecord** wave);
    // Appends the record and takes ownership of it.
    uint32_t addWave(WaveInfoRecord* rec);
    // Takes entry w off the list without deleting it; the caller owns it again.
    uint32_t detachWave(uint8_t w);
    // Deletes wave w; later waves move down by one. Sections are not renumbered.
    uint32_t removeWave(uint8_t w);
    uint32_t clearWaves();
    uint32_t isWaveUsed(uint8_t w, uint8_t* flag) const;
    uint32_t setWave(uint8_t w, const WaveInfoRecord& rec);
    uint32_t setWavePath(uint8_t w, const std::wstring& path);
    uint32_t setBeats(uint8_t w, const std::vector<float>& beats);
    uint32_t setOnsets(uint8_t w, const std::vector<float>& onsets);
    uint32_t setBarLength(uint8_t w, float barLength);
    uint32_t setWaveTempo(uint8_t w, uint32_t tempo);

    // Deep copy of the whole project; shares nothing with the source.
    uint32_t assign(const ProjectInfo& src);
    // Exchanges the contents of two projects without copying the waves.
    void swap(ProjectInfo& other) noexcept;

private:
    std::vector<std::unique_ptr<WaveInfoRecord>> waves;
    SectionRecord sections[krm::kSectionCount];
    CommonInfo common;
};
