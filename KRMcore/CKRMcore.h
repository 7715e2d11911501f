#pragma once
// The project engine: owns the project data, the undo stack and the five
// managers, and is what every project operation of the user interface
// calls. Operations return result codes (0 success, 0x80000000 | step on
// failure, nested through krm::nest).
#include "ProjectInfo.h"
#include "base/ErrorState.h"

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class IF_styMngr;
class IF_timeStretch;
class IF_segmenter;
class IF_onsetAnalyzer;
class QObject;
struct SegmentEntry;      // IF_segmenter.h
struct SegmenterTimeSig;  // IF_segmenter.h
class IF_prjMngr;
class KRMundo;

class CKRMcore {
public:
    CKRMcore();
    virtual ~CKRMcore();
    CKRMcore(const CKRMcore&) = delete;
    CKRMcore& operator=(const CKRMcore&) = delete;

    // Resource paths: 0 temporary folder, 1 template style, 2 and 3 the
    // two click sounds. Location 0..17 is a standard location, 254 the
    // current folder, 255 the text itself as the folder.
    uint32_t setResourcePath(int8_t which, uint8_t location, const QString& folder);
    uint32_t getResourcePath(int8_t which, QString& out) const;

    // Error state of the engine together with its managers.
    QString errorText() const;
    void setErrorText(const QString& text);
    void clearError();
    bool hasError();

    // The engine's own project record.
    ProjectInfo* getProjectInfo() { return &projectInfo; }

    // Plain accessors (no undo steps).
    uint32_t getSecInfo(uint8_t i, SectionRecord** out);
    uint32_t getSecAndWavInfo(uint8_t i, SectionRecord** sec, WaveInfoRecord** wave);
    uint32_t getWavInfo(uint8_t w, WaveInfoRecord** out);
    uint32_t getWavInfoOfSec(uint8_t i, WaveInfoRecord** out);
    uint32_t getTimeSig(uint8_t* beatsPerBar, uint8_t* beatUnit) const;
    uint32_t isWavUsed(uint8_t w, uint8_t* flag) const;
    uint32_t setWave(uint8_t w, const WaveInfoRecord& rec);
    void resetComnInfo();
    void clearSecInfo();
    void clearWavList();

    // Undo stack and section audio flags.
    bool canUndo() const;
    bool canRedo() const;
    void undo();
    void redo();
    bool isModified() const;
    void clearUndoStack();
    bool isSecWavReady(uint8_t i) const;
    void clearSecWavReady();
    void setMaxPoints(uint32_t n);
    uint32_t getFadeLength() const { return fadeLength; }
    void setFadeLength(uint32_t frames) { fadeLength = frames; }

    // Commits: each is one undo step.
    uint32_t setAllInfo(const ProjectInfo& src);
    uint32_t setCommonInfo(const CommonInfo& info);
    uint32_t updateTempo(uint32_t tempo);
    uint32_t updateSecInfo(uint8_t i, const SectionRecord& rec);

    // With the switch on, every state the engine commits or loads that holds
    // two or more waves has manual bars exactly on its assigned sections,
    // set in the same undo step (a load applies it without one). Off by
    // default; the main window turns it on for its project engine.
    void setManualBarsWithManyWaves(bool on) { m_manualBarsWithManyWaves = on; }

    // Project operations.
    // Appends the record as the last wave in one undo step. The engine
    // takes the record on success; on failure the caller keeps it.
    uint32_t addWavList(WaveInfoRecord* rec);
    uint32_t assignFrom(const CKRMcore& other);
    uint32_t loadProject(const std::wstring& path);
    uint32_t saveProject(const std::wstring& path);
    uint32_t saveAwi(const std::wstring& path, uint8_t w);
    uint32_t resetProject();

protected:
    IF_styMngr* styMngr = nullptr;
    IF_timeStretch* timeStretch = nullptr;
    IF_segmenter* segmenter = nullptr;
    IF_onsetAnalyzer* onsetAnalyzer = nullptr;
    IF_prjMngr* prjMngr = nullptr;
    KRMundo* undoStack = nullptr;
    ProjectInfo projectInfo;
    uint8_t secWavReady[krm::kSectionCount] = {};
    uint32_t fadeLength = 20;
    std::vector<double> stretchRatios[krm::kSectionCount];
    double beatAppendThreshold = 0.3;
    QString tempFolder;
    QString templatePath;
    QString clickPath1;
    QString clickPath2;
    // The engine's own error text and flag (the flag is set when one of its
    // operations caught an exception).
    krm::ErrorState m_errorState;
    // Set while loadProject lets the file manager fill the project: the
    // commits then apply their values without recording undo steps.
    bool m_loadingProject = false;
    bool m_manualBarsWithManyWaves = false;
    // The rule above on `project` when the switch is on; true when it
    // applies (two or more waves).
    bool applyManualBarsRule(ProjectInfo& project) const;
    void applyManualBarsRule(SectionRecord& rec) const;

    // ---- beat grid, section editing and beat-list edits ----
public:
    // Beat grid of a wave. A toggle grid's beat k is beat-list entry
    // toggle * beatStep + 2 * beatStep * k; addresses are 44100 Hz frames.
    uint32_t beatIndexAtAddress(uint8_t w, uint8_t toggle, uint32_t address, uint32_t& beatIndex);
    uint32_t getBeatAdrs(uint8_t w, uint8_t toggle, uint32_t beatIndex, uint32_t& address);
    uint32_t snapToBeat(uint8_t w, uint8_t toggle, uint32_t address, uint32_t& snapped);
    uint32_t snapSegMarksToBeats(std::vector<SegmentMark>& marks, uint8_t w, uint8_t toggle);
    // Bar-line beat of section i at or before / after beat k.
    uint32_t prevBarBeat(uint8_t i, uint32_t k, uint32_t& barBeat);
    uint32_t nextBarBeat(uint8_t i, uint32_t k, uint32_t& barBeat);
    // Half beats back from beat k to the entry nearest `address`, and the
    // signed distance in frames from the address to that entry.
    uint32_t nearestBeatOffset(uint8_t w, uint8_t toggle, uint32_t k, uint32_t address,
                               uint8_t& halfBeatsBack, int32_t& distance);
    uint32_t estimateBarLen(uint8_t w);
    // Verdict 0 playable, 1 too fast, 2 too slow.
    uint32_t checkBeatRange(uint16_t beatStep, const std::vector<float>& beats, uint8_t& verdict);
    uint32_t updateBeat(uint8_t w, const std::vector<float>& beats);
    uint32_t updateOnset(uint8_t w, const std::vector<float>& onsets);
    // Beat addresses and 16-bit stereo byte buffer of a rendered section.
    uint32_t padLastBeat(uint32_t k, uint32_t x, std::vector<uint32_t>& adrs, std::vector<uint8_t>& buffer);
    uint32_t rebaseBeatAdrs(uint32_t k, uint32_t count, bool insert, uint32_t x, uint32_t y,
                            std::vector<uint32_t>& adrs, std::vector<uint8_t>& buffer);

    // Section editing.
    uint32_t setSecInfo(uint8_t i, const SectionRecord& rec);
    uint32_t setPickup(uint8_t i, SectionRecord& rec);
    uint32_t checkPickup(uint8_t i, int32_t& start, int32_t& end);
    uint32_t getSecStartAdrs(uint8_t i, uint32_t& address);
    uint32_t findToggleBeat(uint8_t w, QString& message);
    uint32_t calcSecTempo(uint8_t i, uint32_t& tempo);
    uint32_t updateSecInfoOfWav(uint8_t w, uint8_t ref, QString& message);
    uint32_t setTimeSignature(uint8_t beatsPerBar, uint8_t beatUnit);
    uint32_t setTimeSigAndFitSec(uint8_t beatsPerBar, uint8_t beatUnit);
    uint32_t removeWav(uint8_t w);
    uint32_t setWavPath(uint8_t w, const std::wstring& path);
    uint32_t hasAssignedSec(bool& assigned);

    // Beat-list edits. setTempo modes: 0 beat twice as long, 1 half as
    // long, 2 three times as long, 3 a third as long.
    uint32_t addLastAdrsAsBeat(uint8_t w);
    uint32_t setTempo(uint8_t mode, uint8_t w, uint8_t sectionIndex, uint8_t update, uint16_t& beatStep,
                      QString& message);
    // Thinning keeps every factor-th entry while the step allows it;
    // subdivision puts 1 or 2 points between neighbours. `flag` is set on a
    // tempo-range failure.
    uint32_t thinBeatsBy2(WaveInfoRecord& wave, uint8_t& flag);
    uint32_t thinBeatsBy3(WaveInfoRecord& wave, uint8_t& flag);
    uint32_t subdivideBeatsBy2(WaveInfoRecord& wave, uint16_t keepStep, uint8_t& flag);
    uint32_t subdivideBeatsBy3(WaveInfoRecord& wave, uint16_t keepStep, uint8_t& flag);

protected:
    // Records of the project, or the failure of `step`: nested when the
    // model refused the index, plain when it handed out no record.
    uint32_t waveAt(uint8_t w, WaveInfoRecord*& wave, uint32_t step);
    uint32_t sectionAt(uint8_t i, SectionRecord*& sec, uint32_t step);
    uint32_t sectionAndWaveAt(uint8_t i, SectionRecord*& sec, WaveInfoRecord*& wave, uint32_t step);
    // Beat-list entry where a pickup of `halfBeats` half beats before the
    // section's start beat begins (negative when it lies before the list);
    // fails with the code of beatIndexAtAddress for the start.
    uint32_t pickupEntry(const SectionRecord& sec, const WaveInfoRecord& wave, uint8_t halfBeats,
                         int64_t& entry);

    // What prevBarBeat and nextBarBeat read about section i and beat k.
    struct BarGridOfSection;
    uint32_t barGridOfSection(uint8_t i, uint32_t k, BarGridOfSection& out);
    uint32_t projectTempo();
    uint32_t thinBeats(WaveInfoRecord& wave, uint16_t factor, uint8_t& flag);
    uint32_t subdivideBeats(WaveInfoRecord& wave, uint16_t keepStep, uint8_t& flag, int parts);
    // ---- end of beat grid, section editing and beat-list edits ----
    // ---- analysis results and the initial section assignment ----
public:
    // Appends the analysis stored in the ".awi" file at `path` as the last
    // wave, in one undo step. `frames` is the audio's length; a last beat
    // or onset after it rejects the file ("Illegal analyzed file!"). The
    // engine takes the record on success; on failure the caller keeps it
    // and the project is unchanged. A path in the record names the audio
    // the analysis is applied for and stays the wave's path (the file may
    // have been copied beside other audio, or be kept in the cache); only a
    // record without one takes the stored name, placed beside the file.
    uint32_t applyWaveInfo(WaveInfoRecord* rec, const QString& path, uint32_t frames);
    // The onset analyser's result code, unchanged; onsets are appended.
    uint32_t analyzeOnset(const QString& path, uint32_t& frames, std::vector<float>& onsets);
    // Runs the segmenter job and stores its segment starts and labels as
    // the detected and fitted marks of wave 0 (no undo step).
    uint32_t runSegmenter(const QString& path, SegmenterTimeSig ts);
    // Mask 1 replaces the detected marks, 2 the fitted ones; 1 alone also
    // empties the fitted marks. Wave 0, no undo step.
    uint32_t setSegMarks(const std::vector<SegmentMark>& marks, uint8_t mask);
    QObject* segmenterObject();
    void stopSegmenter();
    void dumpSegmenter(std::vector<float>& beatTimes, uint32_t& numerator, uint32_t& denominator);

    // One distinct label among the unassigned segments.
    struct LabelStats {
        uint32_t label = 0;
        double longest = 0.0;  // seconds, longest segment with the label
        int32_t first = 0;     // lowest and highest index of a segment of
        int32_t last = 0;      // that longest length
    };
    // Fits the detected marks of wave w to the bar grid, stores them as the
    // fitted marks, writes intro, main and ending sections from them and
    // takes the project tempo from "Main A".
    uint32_t makeInitSecAsgnBySegLbl(uint8_t w);
    uint32_t fitSegForTS(uint8_t w, const std::vector<SegmentEntry>& segs, std::vector<SegmentEntry>& fitted,
                         uint8_t toggle);
    uint32_t fitSegEndToBar(uint8_t w, uint8_t toggle, const std::vector<SegmentEntry>& segs,
                            const std::vector<SegmentEntry>& fitted, size_t k, uint32_t& endAdrs);
    // Chooses up to six segments (marking their `section`), in time order.
    static uint32_t assignSections(std::vector<SegmentEntry>& chosen, std::vector<SegmentEntry>& segs);
    static uint32_t collectLabelStats(std::vector<LabelStats>& stats, uint32_t& count,
                                      const std::vector<SegmentEntry>& segs);
    uint32_t doSegToSec(uint8_t w, uint8_t toggle, const std::vector<SegmentEntry>& chosen);
    // New time signature and a fresh assignment of every wave, one step.
    uint32_t changeTimeSignature(uint8_t beatsPerBar, uint8_t beatUnit);
    // Whether the beat-list entry nearest `address` is an even (0) or odd
    // (1) half beat; 0x80000001 for an empty list.
    static uint32_t beatParityAt(const std::vector<float>& beats, uint32_t address, uint16_t beatStep,
                                 uint8_t& toggle);

protected:
    // Sets the engine's error text unless an earlier failure already did.
    void setErrorTextOnce(const QString& text);
    // Marks that an operation caught an exception.
    void raiseErrorFlag();
    // setSegMarks on wave w.
    uint32_t storeSegMarks(uint8_t w, const std::vector<SegmentMark>& marks, uint8_t mask);
    // ---- end of analysis results and the initial section assignment ----

    // ---- section audio rendering and export preparation ----
public:
    // Renders section i to its working file (sectionWavePath) at the
    // project tempo, from the work file "KRM_temp.wav" of the temporary
    // folder. A stretch ratio out of the engine's range writes nothing,
    // sets `skipped` and returns 0 with the section named in the error text.
    uint32_t makeSectionAudio(uint8_t i, bool& skipped);
    // Section i's working audio from scratch: copies its wave to the work
    // file "KRM_temp.wav" of the temporary folder (as 16-bit PCM), then
    // makeSectionAudio. Runs on the caller's thread (a job's worker, or the
    // GUI thread). Lookup failures e give nest(e, 1), a failed copy
    // nest(e, 2), a failed rendering nest(e, 3); `skipped` as there.
    uint32_t writeTempWave(uint8_t i, bool& skipped);
    // Whole-section stretch (bar counts entered by hand) and bar-by-bar
    // stretch (bars from the beat grid); `frames` is the rendered length.
    uint32_t writeSectionWaveByBars(uint8_t i, uint32_t& frames, uint8_t& ratioError);
    uint32_t writeSectionWaveByBeats(uint8_t i, uint32_t& frames, uint8_t& ratioError);
    // Appends the play range of section i, read from the work file, as
    // 16-bit stereo frames. 0x80000004 when the work file cannot be read,
    // 0x80000005 when it ends more than two frames before the range does
    // (a shorter gap is filled with silence).
    uint32_t readSectionAudio(uint8_t i, std::vector<uint8_t>& buffer);
    // Section start, inner bar lines and end (barCount + 1 frame positions);
    // an end up to two frames past `last` (the last onset) is pulled back to
    // last - 1.
    uint32_t buildBarPositions(const SectionRecord& rec, std::vector<uint32_t>& positions, uint32_t last);
    // Silence an intro (before) or an ending (after) with its pickup on
    // needs to fill whole bars; `barLength` is a bar at the project tempo.
    uint32_t calcSectionPadding(uint8_t beatsPerBar, uint8_t i, const SectionRecord& rec, int32_t& leadFrames,
                                uint8_t& extraBar, int32_t barLength, uint32_t& firstBarLength,
                                uint8_t& leadFlag, uint8_t& tailFlag, const std::vector<uint32_t>& positions);
    // Leading silence into the empty buffer; positions rebased onto it
    // (with `extraBar` one more position for the pickup bar).
    uint32_t padSectionStart(uint32_t bars, int32_t leadFrames, uint8_t extraBar, int32_t barLength,
                             uint32_t firstBarLength, std::vector<uint32_t>& positions,
                             std::vector<uint8_t>& buffer);
    // Trailing silence that makes the last bar as long as the one before
    // (one bar: as long as `barLength`).
    uint32_t padSectionEnd(uint32_t bars, int32_t barLength, std::vector<uint32_t>& positions,
                           std::vector<uint8_t>& buffer);
    uint32_t stretchSectionWhole(uint8_t beatsPerBar, uint8_t beatUnit, uint8_t i, uint32_t bars,
                                 const std::vector<uint8_t>& input, std::vector<uint8_t>& output,
                                 uint8_t& ratioError);
    uint32_t stretchSectionPerBar(uint8_t beatsPerBar, uint8_t beatUnit, uint8_t i, uint32_t bars,
                                  uint8_t extraBar, const std::vector<uint32_t>& positions,
                                  const std::vector<uint8_t>& input, std::vector<uint8_t>& output,
                                  uint8_t& ratioError);
    // The working file of section i: temporary folder + "/KRM_temp_" +
    // section name + ".wav".
    QString sectionWavePath(uint8_t i) const;

    // Writes the style file: every used section must have been rendered.
    // The masks (zeroed by the caller) report sections whose point lists
    // were cut at their limits. A failure always leaves an error text (the
    // file that cannot be read or written, the template, else the code);
    // the error flag means that memory ran out.
    uint32_t exportSty(const std::wstring& path, uint32_t& size, uint16_t& attackMask, uint16_t& beatMask,
                       uint16_t& syncMask);
    uint32_t sendAllSectionAudio();
    uint32_t sendSectionAudio(uint8_t i);
    // Raises the rendered files' levels towards full scale (a blend of one
    // gain for all and each file's own); never lowers one.
    uint32_t normalizeSectionLevels();

protected:
    // Records a stretch's ratios for section i and, when they leave the
    // engine's range, appends the section and its worst ratio to the error
    // text. Returns the out-of-range flag.
    uint8_t noteStretchRatios(uint8_t i);
    // The style manager's presence (1), the section with its wave (2) and
    // its used flag (3).
    uint32_t usedSectionForStyle(uint8_t i, SectionRecord*& sec, WaveInfoRecord*& wave);
    // Both outputs 0; the stretcher's presence (1) and the section with
    // its wave (2).
    uint32_t beginRendering(uint8_t i, uint32_t& frames, uint8_t& ratioError, SectionRecord*& sec,
                            WaveInfoRecord*& wave);
    uint32_t writeRenderedSection(uint8_t i, const std::vector<uint8_t>& output);
    // exportSty without its last word on the error text.
    uint32_t writeStyleFile(const std::wstring& path, uint32_t& size, uint16_t& attackMask,
                            uint16_t& beatMask, uint16_t& syncMask);
    // ---- end of section audio rendering and export preparation ----
};
