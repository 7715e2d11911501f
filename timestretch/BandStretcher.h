#pragma once
// The stretcher of one band and channel of the time-scale engine.
//
// The engine makes one per band and channel. For every output frame it
// calls `ProcessFrame` on the left stretcher of band 0, which builds the
// output spectra of every band (each band is one frequency range with its
// own analysed spectrum) and of both channels at once:
//   - it takes the two analysed frames of the channel's frame history that
//     surround the source time (the output time, moved near attacks so that
//     hits keep their input spacing and stay sharp);
//   - it pairs the spectral peaks of the two frames and carries each pair's
//     phase forward from the previous output frame, every bin keeping its
//     phase relation to the peak that governs it;
//   - at attacks it takes the measured phases above a frequency limit;
//   - for stereo it pulls the channels' phase difference back to the
//     input's (codes 135, 136) in the bins where both channels carry the
//     same partial, the weaker channel taking the larger share. Where the
//     channels hold different sounds the input difference turns at their
//     frequency difference and following it would move the partials'
//     pitch: such a bin is left alone, unless one channel is much weaker
//     there, which then follows the other on its own.
// Then the engine has every band's stretcher synthesise its own band's
// frame (`SynthesizeFrame`), which overlap-adds one hop into the band's
// output stream.
//
// Codes of the band's parameter block read at construction: 177 range count
// (the band count for the left stretcher of band 0, else 0), 148 band rate,
// 0 synthesis flags (bit value 2: synthesise), 135/136 stereo link and its
// weight, 164 bit 0 write to the output stream; the spectrum window reads
// 161, 159, 160 and 162. Read per output frame (at its time): 110 peak
// threshold, 114 peak width, 115 largest pairing deviation, 116/118 attack
// handling, 121 phase-reset limit, 125 continuity test, 127 .. 130 its
// tolerances, 132 nominal range edges.
//
// Lifecycle: construct after the analysis, then one ProcessFrame (left
// band 0 only) and one SynthesizeFrame per band per output frame, in time
// order; the work arrays are allocated on the first frame and reused.
// The previous input time of each channel is kept per stretcher, so two
// runs never share state. Allocation failures throw the integer -1.
#include "CSpectrum.h"
#include "SpectralPeaks.h"

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

struct AttackMarks;
class SMSFrame;
class SoundFileStream;
class TimeScaleParameterBlock;

class BandStretcher : public CSpectrum {
public:
    // What PreparePeaks decided for one output frame.
    struct AttackChoice {
        double sourceTime = 0.0;  // the analysis time the frame is taken from
        int reset = 0;            // 1: take measured phases above the limit
        int kind = 0;             // kind of the nearest attack (2 or 3), 0 for none
        int applied = 0;          // 1 when a mark moved the source time
    };

    // block: the band's copy of the engine parameters (must outlive the
    // stretcher). outputSlot: where the band's output stream is created
    // (null: no stream, the output stays in the output block).
    BandStretcher(SharedFft& fft, TimeScaleParameterBlock& block,
                  std::unique_ptr<SoundFileStream>* outputSlot = nullptr);
    ~BandStretcher() override;

    // Builds one output frame of every band into the work frames.
    //   left, right: the channels' attack marks, which also carry each
    //     channel's frame history (rows of per-band frames) with its
    //     first-row and centre times; right is null for mono;
    //   t: output time (the analysis time the frame stands for); step: the
    //     analysis time between output frames (hop duration / stretch);
    //   leftWork, rightWork: one work frame per band (filled here);
    //   hopDuration: seconds per hop; bandEdges: each band's top frequency.
    // Returns 0, or -2 when the history holds no row at or after the source
    // time (nothing is built).
    int ProcessFrame(AttackMarks& left, AttackMarks* right, double t, double step, SMSFrame* const* leftWork,
                     SMSFrame* const* rightWork, double hopDuration, const float* bandEdges, int mono);

    // Turns the work frame into samples and overlap-adds one hop: the frame
    // buffer's two hops around its centre are added to the overlap-add
    // buffer, whose first hop becomes the output block and, from the second
    // frame on, goes to the output stream at (output position - hop).
    // Bins above trunc(bandEdge) Hz are left out. Without the value-2 bit of
    // code 0 the frame is silence. `release` frees the frame's spectrum.
    // Returns 0 or the spectrum window's error.
    int SynthesizeFrame(SMSFrame& frame, float bandEdge, int release);

    // The source time of the output frame at t near the channel's attack
    // marks (those in its frame history), the phase-reset flag and the
    // attack kind. Around a mark the source advances one hop per output
    // frame (the hit keeps its input spacing), ramps before and after blend
    // into the stretched time line. Without marks in the history the source
    // time stays t. Updates the marks' last-mark time when a mark applied.
    static AttackChoice PreparePeaks(AttackMarks& marks, double t, double step, double hopDuration);

    // The latest analysis time an output frame is built from. Each frame
    // sounds its source frame's input one synthesis hop either side of it,
    // so a frame taken later than one hop before the input's end would
    // sound the silence past it: later frames hold this one instead.
    // Unbounded until set.
    void SetLatestSourceTime(double seconds) { m_latestSourceTime = seconds; }
    double LatestSourceTime() const { return m_latestSourceTime; }

    int32_t RangeCount() const { return m_rangeCount; }
    int32_t BandRate() const { return m_sampleRate; }
    int32_t OutputPosition() const { return m_outputPosition; }
    // The length of the output stream once `frames` more frames are
    // synthesised (each from the second on writes one hop); 0 without a
    // stream.
    int64_t StreamLengthAfter(int32_t frames) const;
    int32_t FrameCounter() const { return m_frameCounter; }
    double LastFrameTime() const { return m_lastFrameTime; }
    // One hop of the last synthesised output.
    const float* OutputBlock() const { return m_outputBlock.data(); }
    SoundFileStream* OutputStream() const { return m_stream; }
    // The pairs of the last output frame of a channel (0 left, 1 right).
    const PeakPairTable& Pairs(int channel) const { return *m_channels[static_cast<size_t>(channel)].pairs; }
    // The edges of the source frame's ranges of the last output frame.
    double RangeEdge(int channel, int32_t range) const
    {
        return m_channels[static_cast<size_t>(channel)].laterEdges[static_cast<size_t>(range)];
    }

private:
    // The frame history rows a channel reads.
    struct Frames {
        SMSFrame* const* earlier = nullptr;  // one per range
        SMSFrame* const* later = nullptr;    // the source frame, one per range
        SMSFrame* const* work = nullptr;     // the output, one per range
    };
    struct Region {
        double low, high;
    };
    // The raw peak lists of the last two frames of a range.
    struct PeakCache {
        struct Entry {
            const SMSFrame* frame = nullptr;
            double time = 0.0;
            double threshold = 0.0;
            int32_t halfWidth = 0;
            int32_t count = 0;
            std::vector<double> peaks;
        };
        std::array<Entry, 2> entries;
    };
    // Work arrays of one channel.
    struct Channel {
        std::vector<PeakCache> cache;  // per range
        std::vector<std::vector<double>> earlierPeaks, laterPeaks;
        std::vector<int32_t> earlierCounts, laterCounts;
        std::vector<double*> earlierLists, laterLists;
        std::vector<double> earlierEdges, laterEdges;
        std::unique_ptr<PeakPairTable> pairs;
        std::vector<std::vector<float>> previousPhases;  // per range: the last output phases
        std::vector<Region> resetRegions;
        std::vector<float> binAdvance;  // per bin: the advance the built frame adds
        // Per range and bin: the later frequency of the pair whose advance
        // the bin took in the built frame, -1 where it kept its measured
        // phase.
        std::vector<std::vector<float>> governing;
        double previousInputTime = -1.0;
        double resetFrom = 0.0;  // bins from here up take the measured phase
    };

    void AllocateWork(const Frames* frames, int channels);
    void StretchBandStereoSpec(const Frames* frames, int channels, double time, double hopDuration,
                               const float* bandEdges, const BandStretcher::AttackChoice* attacks);
    void FirstFrame(const Frames& frames, Channel& channel, const float* bandEdges);
    void FindPeaks(const Frames& frames, Channel& channel, double time, const float* bandEdges);
    void CarryPhases(const Frames& frames, Channel& channel, double time, double hopDuration,
                     const float* bandEdges);
    void ResetPhases(Channel& channel, double time, const float* bandEdges, bool strong);
    void BuildSpectrum(const Frames& frames, Channel& channel, const float* bandEdges);
    void LinkChannels(const Frames* frames, const float* bandEdges);
    void KeepPhases(const Frames& frames, Channel& channel);
    int32_t RangeOf(double frequency, const std::vector<double>& edges) const;
    double DomainLow(const Channel& channel, int32_t range) const;
    double DomainHigh(const Channel& channel, int32_t range) const;
    // A range's own bins [from, to): from the edge below up to its edge.
    void DomainBins(const Channel& channel, int32_t range, double width, int32_t bins, int32_t& from,
                    int32_t& to) const;

    TimeScaleParameterBlock& m_block;
    int32_t m_rangeCount;
    int32_t m_sampleRate;
    double m_hopDuration;
    uint8_t m_synthesisFlags;
    int32_t m_stereoLink;
    float m_stereoLinkWeight;
    std::vector<float> m_frameBuffer;
    std::vector<float> m_overlapAdd;
    std::vector<float> m_outputBlock;
    int32_t m_outputPosition = 0;
    int32_t m_frameCounter = 0;
    double m_lastFrameTime = -1.0;
    uint8_t m_writeToStream;
    SoundFileStream* m_stream = nullptr;  // owned by the slot's holder
    int32_t m_framesBuilt = 0;
    double m_latestSourceTime = std::numeric_limits<double>::infinity();
    std::array<Channel, 2> m_channels;
    std::vector<double> m_nominalEdges;
};
