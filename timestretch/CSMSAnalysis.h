#pragma once
// The spectral-model analyser of one channel of one band.
//
// It keeps the band's samples in a circular buffer, cuts them into frames at
// a fixed frame rate (code 51 of its SMSAnalysisParams), has each frame's
// spectrum (SMSSpectrumAnalyzer, when code 42 is 4) and band features
// (SMSBandFeatureAnalyzer, when code 77 is set) computed, and hands the
// frames over in time order. Frame j has the time j * hop duration (relative
// to the first sample fed) and is centred on sample j * hop.
//
// A frame is handed over only once the frames after it that its features
// need have arrived: frames stay in flight in a fixed number of slots (9
// with band features, 2 for the engine's band analysers), so the frame of
// time t comes out of the AnalyzeFrame step that analyses time
// t + (slots - 1) * hop duration.
//
// Two ways to drive it:
//  - streaming (the engine): per block `PutSamples`, then while
//    `FrameReady()` call `AnalyzeFrame()` and `TakeFrame()` (null while the
//    slots fill). A block must not exceed the free room of the buffer
//    (half a second plus one window); the engine's blocks of 512 samples or
//    fewer always fit when every ready frame is analysed before the next.
//  - whole input: `AnalyzeStream` reads a SoundFileStream from start to end
//    and files every frame into a new channel entry of an SMSAnalysisData.
//
// The parameter set must outlive the analyser; `AnalyzeStream` switches its
// time mode to seconds and sets its duration. Transforms go through the
// run's SharedFft. Allocation failures throw the integer -1.
#include "CSpectrum.h"
#include "SMSFrame.h"

#include <cstdint>
#include <memory>
#include <vector>

class SMSAnalysisParams;
class SMSAnalysisData;
class SMSRegionList;
class SMSSpectrumAnalyzer;
class SMSBandFeatureAnalyzer;
class SoundFileStream;

class CSMSAnalysis : public CSpectrum {
public:
    // Samples read from a stream per step of AnalyzeStream.
    static constexpr int32_t kStreamBlock = 128;

    // sampleRate: the band's rate in Hz. Reads codes 42, 51, 74, 76, 77 and
    // 80 of `params` now.
    CSMSAnalysis(SharedFft& fft, int32_t sampleRate, SMSAnalysisParams& params);
    ~CSMSAnalysis() override;

    // Analyses the whole stream (from code 52 to code 53 of its length) into
    // a new channel entry appended to `data` (one region list, one region).
    // Returns 0 when done, 2 without a stream, -1 when the region list
    // cannot be made. Frames get times relative to the first sample read.
    // A stream of fewer than 2 samples gives an empty region and reads
    // nothing.
    int AnalyzeStream(SoundFileStream* stream, SMSAnalysisData& data);

    // Appends n samples to the circular buffer. Returns 0.
    int PutSamples(const float* samples, int32_t n);
    // 1 when the input for the next frame has arrived or the input has
    // ended, else 0.
    int FrameReady() const;
    // Analyses the next frame: 0 when it did, 1 when more input is needed.
    // After the end of the input zeros are appended as needed instead.
    virtual int AnalyzeFrame();
    // The frame handed over by the last AnalyzeFrame (null while the slots
    // fill or once taken); the caller owns it.
    std::unique_ptr<SMSFrame> TakeFrame();

    // Appends a new empty region to the current region list.
    virtual int NewRegion();
    // Files a frame into the current region list (see SMSRegionList::
    // StoreFrame): 0 stored, 2 duplicate, 3 no region fits (also without a
    // region list); the caller keeps the frame unless 0.
    virtual int StoreFrame(std::unique_ptr<SMSFrame>& frame);
    // Adds one hop duration to the last region's end time.
    virtual int ExtendRegion();

    // Marks the end of the input (AnalyzeStream does it itself).
    void SetInputEnded() { m_ended = true; }
    // Forgets all input, frames in flight and times; keeps the settings.
    void Restart();

    int32_t SampleRate() const { return m_sampleRate; }
    double HopDuration() const { return m_hopDuration; }
    // The engine's attack pre-analysis states its frame spacing exactly.
    void SetHopDuration(double seconds) { m_hopDuration = seconds; }
    int32_t AnalysisHop() const { return m_hop; }
    int32_t SlotCount() const { return static_cast<int32_t>(m_slots.size()); }
    int32_t BufferLength() const { return static_cast<int32_t>(m_ring.size()); }
    double TimeReceived() const;
    double FrameTime() const;
    // Hop-sized blocks of zeros appended after the end of the input.
    int64_t SilenceBlocks() const { return m_silenceBlocks; }
    const SMSSpectrumAnalyzer& SpectrumAnalyzer() const { return *m_spectrum; }
    const SMSBandFeatureAnalyzer* FeatureAnalyzer() const { return m_features.get(); }

private:
    // The input time the frame being analysed needs.
    double NeededTime() const;
    SMSFrame& Slot(int32_t age);  // 0 the oldest
    void AppendSilence(int32_t n);

    SMSAnalysisParams& m_params;
    int32_t m_sampleRate;
    double m_halfSamplePeriod;
    double m_hopDuration;
    int32_t m_hop;
    std::vector<float> m_ring;
    int32_t m_writePosition = 0;
    int32_t m_readPosition = 0;
    int64_t m_samplesReceived = 0;
    bool m_ended = false;
    int64_t m_silenceBlocks = 0;
    std::vector<float> m_silence;  // one hop of zeros
    float m_referenceFrequency = 0.0f;
    int32_t m_lookAheadWindow = 0;  // samples, from codes 11 and 13 (0 until read)
    int64_t m_frameIndex = 0;
    std::vector<std::unique_ptr<SMSFrame>> m_slots;
    int32_t m_oldest = 0;
    std::unique_ptr<SMSFrame> m_handedOver;
    std::unique_ptr<SMSSpectrumAnalyzer> m_spectrum;
    std::unique_ptr<SMSBandFeatureAnalyzer> m_features;
    SMSRegionList* m_regions = nullptr;  // the current region list (not owned)
};
