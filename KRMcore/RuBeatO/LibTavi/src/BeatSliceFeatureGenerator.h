#pragma once
// Beat-synchronous chord features of a mono recording at 44100 Hz: the
// samples go in fixed blocks to a beat tracker and to a semitone analysis
// (one frame every fourth block); once the recording is complete, the
// tracked beats cut the semitone frames into beat slices, and each slice
// becomes one feature vector.
//
// Lifecycle: construct; pushData any number of times; finish once after
// the last samples; selectChordFeatures any number of times (also for the
// data pushed so far); reset before a new stretch of audio that continues
// the beat numbering.
#include "AudioFormat.h"
#include "BeatSliceFeatures.h"
#include "FrameFeatureExtractor.h"

#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <vector>

namespace tavi {

class BeatSliceFeatureGenerator {
public:
    static constexpr double kSampleRate = krm::audio::kSampleRate;
    static constexpr int kFrameDecimation = 4;

    // frameLength: samples per semitone frame (16384 in the recognisers);
    // hop: samples per block (180), even and at most frameLength. Throws
    // std::invalid_argument, or what the engines throw for their settings.
    BeatSliceFeatureGenerator(int frameLength, int hop);

    // Appends n mono samples (n >= 0). Complete blocks are analysed straight
    // from `samples`; a remainder waits for the next call.
    void pushData(const float* samples, int n);

    // Tracks the beats of everything pushed and lists them; appends filler
    // frames (all 1e-20) when there are too few frames for the beats.
    void finish();

    // Both forms start both extractors afresh (the tracker too) for a new
    // stretch of audio. reset() sets the beat index offset to the number of
    // beats listed by the latest finish; reset(true) adds that number to it,
    // so beat numbering runs on over several stretches (reset(false) is
    // reset()).
    void reset();
    void reset(bool accumulate);

    // Features of the beats whose number (offset + index) mod step equals
    // phase, one per selected beat (see BeatFeatureType and SliceReducer):
    // each beat's slice runs from its frame to the next selected beat's
    // frame. out is emptied when no beat is selected. Throws
    // std::invalid_argument for an unknown feature type or reducer, or a
    // step below 1.
    void selectChordFeatures(std::vector<std::vector<double>>& out, int featureType, int phase, int step,
                             int reducer);

    // Time in seconds of selected beat `index` of the latest selection,
    // from the start of the current stretch. Throws std::out_of_range.
    double beatTime(int index) const;

    // Tracker state at a frame (block) and at the latest frame, as the next
    // stretch takes it back through setInitialState. Throw what the tracker
    // throws (before finish, or for a frame out of range).
    void getInfoAtFrame(int frame, int& period, int& countdown) const;
    void getInfoAtLatestFrame(int& period, int& countdown) const;
    void setInitialState(int period, int countdown);

    const boost::shared_ptr<RuBeatO::CBeatDetect>& beatDetector() const { return m_beatDetector; }
    int frameLength() const { return m_frameLength; }
    int hop() const { return m_hop; }
    int beatIndexOffset() const { return m_beatIndexOffset; }
    // Beat positions (blocks) as the tracker listed them at finish.
    const std::vector<int32_t>& beats() const { return m_beats; }
    const std::vector<int32_t>& selectedBeats() const { return m_selectedBeats; }
    const std::vector<float>& selectedBeatTimes() const { return m_selectedBeatTimes; }
    const std::vector<FrameSlice>& slices() const { return m_slices; }
    // One semitone vector per analysed frame (and filler frame).
    const std::vector<std::vector<double>>& frameFeatures() const { return m_frameFeatures; }
    int pendingSamples() const { return m_blockFill; }

private:
    void processBlock(const float* block);

    boost::shared_ptr<RuBeatO::CBeatDetect> m_beatDetector;
    boost::shared_ptr<SemitoneFrameFeatureExtractor> m_semitoneExtractor;
    boost::shared_ptr<BeatFrameFeatureExtractor> m_beatExtractor;
    int m_frameLength;
    int m_hop;
    int m_frameDecimation = kFrameDecimation;
    std::vector<int32_t> m_selectedBeats;
    std::vector<float> m_selectedBeatTimes;
    std::vector<std::vector<double>> m_frameFeatures;
    boost::shared_ptr<Hpcp::CHpcp> m_hpcp;
    boost::shared_array<float> m_block;
    int32_t m_blockFill = 0;
    int32_t m_beatIndexOffset = 0;
    std::vector<int32_t> m_beats;
    std::vector<FrameSlice> m_slices;
};

}  // namespace tavi
