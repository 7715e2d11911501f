#pragma once
// Attacks of the whole input (note onsets, drum hits), found before a
// stretch so that the band stretcher keeps them sharp.
//
// Road (what the engine runs once per stretch when code 116 is on; the
// routines below, or `MarkAttacks` for all of them in this order):
//   1. SetAttackAnalysisParams: a fresh SMSAnalysisParams for the whole
//      input: band features on, no spectrum, 172.265625 frames per second.
//   2. AnalyzeChannels: analyses the left stream (and the right one) into
//      frames of band features, frame i at i * 256 / 44100 s.
//   3. AllocAttackMarks, then DetectAttacks per channel: peaks of the slopes
//      of total (feature 40), upper-band (41) and lower-band (42) energy
//      become marks at frame k + 5; marks within 8 frames are merged.
//   4. Stereo only: PairStereoAttacks and MergeStereoAttacks, so that both
//      channels hold the same mark positions.
//   5. ComputeAttackSpans: per mark how far around it the stretcher treats
//      frames apart (spans and ramps, in frames of the engine's hop), and its
//      time snapped to the engine's hop grid.
//
// Marks fall about 2 frames before a click (the +5 offset against the
// slopes' 7- and 8-frame look-ahead); no mark lies before frame 9.
// Allocation failures throw the integer -1.
#include "SMSFrame.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CSMSAnalysis;
class SMSAnalysisData;
class SMSAnalysisParams;
class SharedFft;
class SoundFileStream;
class TimeScaleParameterBlock;

// The marks of one channel. Per-mark arrays all hold `count` entries.
struct AttackMarks {
    static constexpr uint8_t kAttack = 2;
    static constexpr uint8_t kStrongAttack = 3;
    static constexpr int32_t kGrowthStep = 100;

    // Copied from the engine: rows of its frame history (odd) and bands.
    uint32_t historyLength = 0;
    uint32_t bandCount = 0;
    // The engine's frame history of this channel, set on its first analysed
    // frame: rows of per-band frame pointers (not owned).
    const std::vector<std::vector<SMSFrame*>>* history = nullptr;

    int32_t count = 0;
    std::vector<int32_t> positions;  // analysis frame of each attack, rising
    std::vector<double> times;       // seconds, on the engine's hop grid
    // How far around each mark the stretcher treats frames apart, in frames
    // of the engine's hop.
    std::vector<double> spanBefore, rampBefore, spanAfter, rampAfter;
    std::vector<uint32_t> classes;  // 1 for every detected mark
    std::vector<uint8_t> types;     // kAttack or kStrongAttack

    // Per analysis frame: slopes of total, upper-band and lower-band energy.
    std::vector<double> totalSlope, upperSlope, lowerSlope;
    // Per analysis frame: 1 when the upper (lower) band's energy lies more
    // than 40 dB under the total energy. Empty series mean "never".
    std::vector<uint8_t> upperQuiet, lowerQuiet;

    // Kept by the engine per output frame and by the band stretcher.
    double centreTime = 0.0;
    double firstRowTime = 0.0;
    double lastMarkTime = -1.0;

    // Inserts a mark at index `at` (every per-mark array shifts once).
    void InsertMark(int32_t at, int32_t position, uint32_t markClass, uint8_t type);
    void RemoveMark(int32_t at);
    // Every per-mark array to n entries (capacity in steps of 100).
    void ResizeMarks(int32_t n);
    bool IsStrong(int32_t i) const { return types[static_cast<size_t>(i)] == kStrongAttack; }
};

// One flag per mark: 0 unpaired, 1 paired.
using AttackFlags = std::vector<uint32_t>;

// Fills `params` for the whole-input analysis, each value over the whole
// envelope: rate field = sampleRate; codes 23, 0, 4, 20 = 0; 2 = the upper
// edge of band 0; 42 = 0 (no spectrum); 51 = 172 frames per second; 77 = 1;
// 3 = -100.
void SetAttackAnalysisParams(SMSAnalysisParams& params, double sampleRate, double band0UpperEdge);

// Analyses the left stream (and the right one when given) with `analyser`
// (built at the engine's rate with SetAttackAnalysisParams) into new channel
// entries of `data`, and points the frame lists at each channel's first
// region, frame i re-timed to i * 256 / 44100 s. The frames stay owned by
// `data`. Returns 0, or -1 when an analysis fails.
int AnalyzeChannels(CSMSAnalysis& analyser, SMSAnalysisData& data, SoundFileStream& left,
                    SoundFileStream* right, SMSFrameList& leftFrames, SMSFrameList& rightFrames);

// Empties the marks of each channel (right may be null), makes room for 100
// marks and sizes the three slope series to the channel's frame count.
// Returns 0.
int AllocAttackMarks(AttackMarks& left, AttackMarks* right, int32_t leftFrameCount, int32_t rightFrameCount);

// Copies the three slopes (features 40, 41, 42; 0 for a frame without
// features) of every frame into the series and notes the frames whose upper
// or lower band lies more than 40 dB under the total energy (features 0, 1,
// 2), then, when `detect` is set, finds the marks (FindAttacks). Returns 0.
int DetectAttacks(AttackMarks& marks, const SMSFrameList& frames, int detect);

// Finds the marks from the three slope series alone (their common length is
// the frame count): for frame k from 4 to count - 5, a slope above 40 that
// is strictly greater than at the eight frames k - 4 .. k + 4 makes a mark at
// k + 5, the total-energy slope before the lower-band one before the
// upper-band one (the lower-band slope only while the total slope stays at
// or below 40 over those nine frames); strong (kind 3) above 100 for the
// total and lower slopes. Marks within 8 frames are merged: the total slope
// beats the upper, the upper the lower, unless the winner is weak (below
// 150 against above 600, or below 300 against above 5000); equal types keep
// the stronger (the earlier at equal strength); the survivor of a strong
// mark becomes strong.
void FindAttacks(AttackMarks& marks);

// Pairs the marks of the two channels in four passes (exact, a strong mark
// within 2 frames pulling a weak partner, near within 3 frames, far within 7
// frames), moving positions so that paired marks coincide. The flags (one
// per mark, zeroed by the caller) record what paired.
void PairStereoAttacks(AttackMarks& left, AttackMarks& right, AttackFlags& leftFlags,
                       AttackFlags& rightFlags);

// Walks both lists together, inserting into each list a copy (kind 2) of
// the other's mark where only the other has one, until one list ends; the
// longer list is then cut to the shorter one's count. Every per-mark array
// ends sized to the new counts; the flag arrays are released.
void MergeStereoAttacks(AttackMarks& left, AttackMarks& right, AttackFlags& leftFlags,
                        AttackFlags& rightFlags);

// Spans and ramps of every mark from its distance to its neighbours (the
// distance shrunk by the stretch factor, code 108 of `block` at the mark's
// frame time, when that is below 1), rescaled from frames of 256 samples at
// 44100 Hz to frames of the engine's hop; mark times snapped to the hop
// grid. `frames` gives each position's time (the last frame for positions
// past the list). Returns 0.
int ComputeAttackSpans(AttackMarks& marks, const SMSFrameList& frames, const TimeScaleParameterBlock& block,
                       double sampleRate, int32_t hop);

// The whole road above for one stretch: analyses the left stream (and the
// right one when both `right` and `rightMarks` are given) at `sampleRate`,
// keeping the frames in `data`, and fills the marks. `block` is the engine's
// main parameter block (after its preset), `hop` its hop in samples.
// Returns 0, or -1 when the analysis fails. With `rightFft` (a transform
// the left channel does not use) the two channels are analysed at the same
// time on two threads, with the same results.
int MarkAttacks(SharedFft& fft, double sampleRate, double band0UpperEdge,
                const TimeScaleParameterBlock& block, int32_t hop, SoundFileStream& left,
                SoundFileStream* right, AttackMarks& leftMarks, AttackMarks* rightMarks,
                SMSAnalysisData& data, SharedFft* rightFft = nullptr);
