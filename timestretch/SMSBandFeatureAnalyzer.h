#pragma once
// Band-energy features of each analysis frame, from which attacks are found.
//
// Band values: F = rate * 1024 / 22050 samples (integer arithmetic: 512 at
// 11025 Hz, 2048 at 44100 Hz) centred on the frame (the F samples ending
// half a frame after its position), Hamming-windowed, through the spectrum
// window's power spectrum; 40 triangular bands on mel-spaced edges (edge k =
// 700 (exp((M(40) + k (M(5000) - M(40)) / 25) / 1127.01048) - 1), M the mel
// scale: edge 0 is 40 Hz, edge 25 5000 Hz, edge 41 about 20354 Hz), band j
// rising from edge j to 1 at edge j + 1 and falling to edge j + 2. Each band
// becomes 10 log10(value / largest) dB (-100 for no energy); entries 0, 1
// and 2 are then replaced by the linear sums of all bands, of bands 26 .. 35
// and of bands 1 .. 5 (see SMSFrame).
//
// Slopes: for each of the 40 entries, with x(k) the entry of the frame k
// frames later (x(-1), x(-2) the two before, kept by the analyser):
//   3 (7 (x(7) - x(-1)) + 8 (x(8) - x(-2))) / D,
//   D = 0.5 |x(-1)| + |x(-2)| + 0.5 |x(1)| + |x(2)|, floored at 1e-6
// so that a level rising out of digital silence gives a large but finite
// slope instead of an infinity or NaN.
//
// Lifecycle: band values per frame in time order, slopes per frame in the
// same order once its eight successors have band values. `Reset` forgets the
// two kept frames.
#include "CSpectrum.h"

#include <array>
#include <cstdint>
#include <vector>

class SMSFrame;

class SMSBandFeatureAnalyzer : public CSpectrum {
public:
    static constexpr int32_t kHistoryDepth = 8;  // the look-ahead in frames
    static constexpr int32_t kEdges = 42;
    static constexpr double kSlopeFloor = 1e-6;

    // ring: the circular input of ringLength samples (not owned, must outlive
    // the analyser). Throws -1 on allocation failure.
    SMSBandFeatureAnalyzer(SharedFft& fft, int32_t sampleRate, const float* ring, int32_t ringLength);

    // Band values (entries 0 .. 39) of the frame centred on ring index
    // `position`. The frame must hold its feature block.
    void ComputeBandValues(SMSFrame& frame, int32_t position);

    // Slopes (entries 40 .. 79) of `frame` from later[k - 1], the frame k
    // frames later (k = 1 .. 8), and the two frames kept from before; then
    // this frame becomes the one kept just before.
    void ComputeSlopes(SMSFrame& frame, const SMSFrame* const later[kHistoryDepth]);

    void Reset();

    int32_t FrameLength() const { return m_frameLength; }
    const float* BandEdges() const { return m_edges.data(); }

private:
    struct Band {
        int32_t firstBin = 0;
        std::vector<float> weights;
    };

    const float* m_ring;
    int32_t m_ringLength;
    int32_t m_sampleRate;
    std::array<float, kEdges> m_edges {};
    int32_t m_frameLength;
    std::vector<float> m_window;
    std::vector<float> m_frame;     // the frame, unwrapped
    std::vector<float> m_spectrum;  // F / 2 + 1 values
    std::vector<Band> m_bands;
    std::array<float, 40> m_twoBefore {};
    std::array<float, 40> m_before {};
};
