#pragma once
// The spectral-model time-scale engine.
//
// One engine stretches one input, once: construct, `Process` with a
// StretchMap (ratios along the input) and a StretchIo (buffers), destroy.
// `Process` splits the input into one or two frequency bands (mode 0: a low
// band decimated to a quarter of the rate at 44100 Hz and a full-rate band;
// modes 1, 2, 4: two full-rate bands; modes 3, 5: one band), analyses each
// band into sinusoidal frames, marks the input's attacks, lets the band
// stretchers place output frames along the stretch map, synthesises each
// band, brings the low band back to the full rate, adds the bands and hands
// the output arrays (C heap) to the StretchIo record.
//
// The output holds exactly trunc(input frames x the map's mean ratio)
// frames (products within 1e-6 of a whole number count as that number),
// sounding to the last one: the block loop runs until every band's output
// covers them (the low band with its return to the full rate and one hop
// to spare), the analysis reads a continuation predicted from the input's
// last samples past its end, and no output frame is built from an analysis
// frame so late that it would sound the input's end. What a band makes past
// the expected frames is dropped. A shortfall (only without band output
// streams, code 164) is a fault: the debug output notes it and the rest is
// zeros.
//
// Outcome (StretchIo::error): 0 success; 1 out of memory; 2 a mode above
// 5, a rate other than 44100, 22050 or 11025 Hz, or a bad map (no segment,
// a ratio outside [0.5, 2.0], start fractions not rising); -1 the attack
// pre-analysis failed; -2 a ratio that is not a number. On failure no
// output buffer is handed over. Allocation failures inside the streams,
// frames and marks throw the integer -1 (the caller catches it); the
// engine's own buffers are released by its destructor.
//
// Everything runs in memory. A stereo input's two channels are analysed
// and synthesised on two threads (the caller's and one started per chunk
// of input, joined before the channels meet again); the channel link of
// the stretchers, which needs both, runs on the caller's thread between
// them. The FFT tables and the stretchers' state live in the engine
// object, one set per channel, so engines never share state, and a run
// repeated gives the same output, the same as on one thread.
#include "AttackMarks.h"
#include "BandStretcher.h"
#include "CPolyphaseMultiRateProcessing.h"
#include "CSMSAnalysis.h"
#include "SMSAnalysisParams.h"
#include "SMSFrame.h"
#include "SMSRegion.h"
#include "SharedFft.h"
#include "SoundFileStream.h"
#include "StretchRecords.h"
#include "TimeScaleParameterBlock.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class CTimeMachineInterface1 {
public:
    static constexpr int32_t kMaxBands = 2;

    CTimeMachineInterface1();
    virtual ~CTimeMachineInterface1();
    CTimeMachineInterface1(const CTimeMachineInterface1&) = delete;
    CTimeMachineInterface1& operator=(const CTimeMachineInterface1&) = delete;

    // Runs the whole stretch; the outcome is io->error. Null records do
    // nothing.
    void Process(StretchMap* map, StretchIo* io);

    // The steps of Process, public for callers that drive them one by one.
    // Initialize returns 0, 1 (out of memory), 2 (bad mode, rate or map),
    // -1 (attack pre-analysis failed) or -2 (a ratio that is not a number).
    int Initialize();
    // Releases everything Initialize and Process built except the output
    // buffers handed to the caller.
    void Finalize();
    // Sets a code of the main parameter block (see TimeScaleParameterBlock);
    // a value set before Process survives unless the mode's preset sets it.
    int SetParameter(int code, double value, double time);
    void FreeFrameHistory();
    void CreateStreams();
    int CreateAnalysisParams();
    int CopyBandParameters();

    // What the last Initialize chose.
    int32_t DecimationFactor() const { return m_decimation; }
    int32_t BandCount() const { return m_bandCount; }
    int32_t HopSize() const { return m_hop; }
    uint32_t HistoryLength() const { return m_historyLength; }
    int32_t OutputCapacity() const { return m_outputCapacity; }
    const TimeScaleParameterBlock& Parameters() const { return m_parameters; }

    // Hands a band stream's buffer over holding exactly `expected` samples:
    // zeros are appended to a shorter stream (with a debug note), the rest
    // of a longer one is left unread (ditto). A null stream or one without a
    // buffer gives a zeroed array. Null only when the memory cannot be had.
    // Free with SoundFileStream::FreeSamples (the C library's free).
    static float* TakeOutput(SoundFileStream* stream, int32_t expected);

private:
    // Rows of per-band frames; channel 0 is left, 1 right.
    using Row = std::vector<SMSFrame*>;
    using History = std::vector<Row>;

    // One analysed frame per band.
    using BandFrames = std::array<std::unique_ptr<SMSFrame>, kMaxBands>;
    // What one channel's analysis made of the blocks of one chunk: the frame
    // rows in order, and how many of them the blocks up to each one gave.
    struct AnalysedChunk {
        std::vector<BandFrames> rows;
        std::vector<size_t> rowsAfterBlock;
        size_t used = 0;
    };
    // Output frames of one channel waiting for their synthesis.
    struct SynthesisQueue {
        std::vector<BandFrames> frames;  // reused from chunk to chunk
        size_t count = 0;
    };

    int PrepareBlockLoop();
    void RunBlockLoop();
    void AnalyseChunk(int channel, int32_t blocks);
    void UseChunkFrames(int32_t block);
    void UseCurrentFrames();
    void SynthesizeQueued(int channel);
    void AdvanceHistory(int channels);
    void ProduceOutputFrame(double factor, double centre);
    bool ShouldStop() const;
    int RestoreLowBand(int channel);
    void Recombine();
    int32_t ExpectedFrames() const;
    int32_t LowBandShift() const;
    void PrepareContinuations();
    void ContinuePastEnd(int channel, float* block, int64_t position) const;
    void ReleaseBlockBuffers();
    void ForgetCurrentFrames();
    int Channels() const { return m_map && m_map->mono ? 1 : 2; }

    int32_t m_outputCapacity = 0;
    double m_analysisTime = 0.0;
    double m_inputSeconds = 0.0;
    int32_t m_decimation = 1;
    SMSFrameList m_attackFrames[2];
    int32_t m_hop = 0;
    double m_hopDuration = 0.0;
    std::array<std::array<std::unique_ptr<SMSFrame>, kMaxBands>, 2> m_current;
    StretchIo* m_io = nullptr;
    StretchMap* m_map = nullptr;
    int32_t m_inputFrames = 0;
    int32_t m_attackMarksOn = 0;
    int32_t m_readPosition = 0;
    double m_sampleRate = 0.0;
    int32_t m_blockSize = 0;
    double m_outputTime = 0.0;
    std::array<History, 2> m_history;
    std::array<std::unique_ptr<TimeScaleParameterBlock>, kMaxBands> m_bandParameters;
    std::array<std::array<std::unique_ptr<SMSFrame>, kMaxBands>, 2> m_work;
    std::array<std::array<std::unique_ptr<BandStretcher>, kMaxBands>, 2> m_stretchers;
    std::array<std::array<std::unique_ptr<SoundFileStream>, kMaxBands>, 2> m_outputs;
    std::array<std::array<std::unique_ptr<CSMSAnalysis>, kMaxBands>, 2> m_analysers;
    std::array<std::unique_ptr<SMSAnalysisParams>, kMaxBands> m_analysisParams;
    std::array<AttackMarks, 2> m_marks;
    int32_t m_bandCount = 0;
    std::vector<double> m_bandEdges;
    uint32_t m_historyLength = 0;
    int32_t m_bitsPerSample = 0;
    TimeScaleParameterBlock m_parameters;
    std::array<std::unique_ptr<SoundFileStream>, 2> m_inputs;
    // A channel's input with its non-finite samples made silent, when the
    // caller's has any; the input stream reads this instead.
    std::array<std::vector<float>, 2> m_finiteInputs;

    // Working objects of one run. Each channel has its own transform: the
    // channels' analysis and synthesis run on two threads.
    std::array<SharedFft, 2> m_ffts;
    std::array<AnalysedChunk, 2> m_chunks;
    std::array<SynthesisQueue, 2> m_synthesis;
    SMSAnalysisData m_attackData;
    std::array<std::vector<float>, 2> m_decimated;
    std::array<std::unique_ptr<CPolyphaseMultiRateProcessing>, 2> m_decimators;
    bool m_historyStarted = false;
    // What the analysis reads past the input's end, per channel.
    std::array<std::vector<float>, 2> m_continuations;
    int32_t m_expectedFrames = 0;
    std::array<float, kMaxBands> m_edgesAsFloat {};
};
