#pragma once
// The short-time spectrum of each analysis frame: magnitudes in dB and
// phases per bin, taken zero-phase from the analyser's circular input.
//
// Geometry (band rate R, frame rate r = code 51):
//   hop  = 2^round(log2(R / r))   (64 at 11025 Hz, 256 at 44100 Hz)
//   L    = trunc(hop * code 74), at most 16383
//   N    = the largest power of two not above L (the transform size)
//   W    = L, plus one when L is even (the window, centred on the frame)
// with the window of type code 76 (the engine's window catalogue, each
// window summing to 2, so a sine of amplitude A centred on a bin reads A).
// Only method 4 (code 42) produces a spectrum; the others only set the
// analyser's look-ahead: method 2 with the sizes above, the rest with
// N = W = 2 hop.
//
// The base spectrum window is set up to hop and N (its Hop() and FftSize()
// are the analyser's). The circular input belongs to the caller.
#include "CSpectrum.h"

#include <cstdint>
#include <vector>

class SMSAnalysisParams;
class SMSFrame;

class SMSSpectrumAnalyzer : public CSpectrum {
public:
    // ring: the circular input of ringLength samples (not owned, must outlive
    // the analyser). Throws -1 on allocation failure.
    SMSSpectrumAnalyzer(SharedFft& fft, const SMSAnalysisParams& params, int32_t bandRate, const float* ring,
                        int32_t ringLength);

    // Fills the frame's magnitudes and phases (N / 2 + 1 bins) from the W
    // samples centred on the read position, then advances the read position
    // by one hop. Does nothing for a method without a spectrum.
    //   magnitude: 20 log10(m / 32768) dB, SMSFrame::kSilentDb for m = 0;
    //   phase: atan2 of the usual complex spectrum; DC and Nyquist pi when
    //   negative, else 0.
    void Analyze(SMSFrame& frame);

    bool ProducesSpectrum() const { return m_method == 4; }
    int32_t AnalysisWindowLength() const { return m_windowLength; }
    int32_t HalfWindow() const { return m_windowLength / 2; }
    const float* AnalysisWindow() const { return m_window.data(); }
    int32_t ReadPosition() const { return m_readPosition; }
    void SetReadPosition(int32_t position) { m_readPosition = position; }

private:
    const float* m_ring;
    int32_t m_ringLength;
    int32_t m_readPosition = 0;
    uint8_t m_method;
    int32_t m_windowLength = 0;
    std::vector<float> m_window;
};
