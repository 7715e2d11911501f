#pragma once
// The spectrum window of one band and channel of the time-scale engine.
//
// Owns the analysis and synthesis windows and the FFT work buffers. It turns
// a frame of samples into a windowed power spectrum, builds the complex
// spectrum of a frame's noise part from a dB envelope, and turns a
// synthesised spectrum back into a windowed time frame for overlap-add at
// the hop. The band stretcher derives from it (set up from its band's
// parameter block); the spectral analysers derive from it too and use its
// buffers, `MakeWindow` and `PowerSpectrum` with windows of their own.
//
// Geometry after `Setup(hop, type, factor, crossFade)`:
//   hop         the given hop lowered to a power of two in [4, 131072];
//   window      L = trunc(hop * factor) samples, kept within [4, 16383] so
//               that the FFT never exceeds 8192 points;
//   FFT size    the largest power of two not above L;
//   offset      (L - FFT size) / 2, and length ratio L / FFT size (1.0 when
//               L is a power of two);
//   windows     inverse analysis window and synthesis window of n + 1
//               points, n = L (n = L / 2 when the cross-fade is 0).
//
// Window types (symmetric over N points, cosine terms in 2 pi i / (N - 1),
// each divided by half the sum of its values): 0 Hamming; 1 .. 7 Kaiser with
// alpha 1.7, 1.8, 1.9, 2.0, 2.5, 3.0, 3.5 (beta = alpha pi); 8, 9 3-term and
// 10, 11 4-term Blackman-Harris; 12 triangular. Any other type is 8.
//
// Spectra use the packed layout of SharedFft with the usual sign:
// s[0] = DC, s[1] = Nyquist, s[2k] = Re X[k], s[2k+1] = Im X[k].
//
// Transforms go through the run's SharedFft, which must outlive the object.
// Allocation failures throw the integer -1. One thread.
#include "SharedFft.h"

#include <cstdint>
#include <vector>

class TimeScaleParameterBlock;

class CSpectrum {
public:
    static constexpr int32_t kWorkLength = 8194;  // room for an 8192-point FFT
    static constexpr int32_t kBinLength = 4097;   // room for 4097 bins
    static constexpr int32_t kMaxWindowLength = 16383;
    static constexpr int32_t kWindowTypes = 13;

    // Set up from a band's block (codes 161 hop, 159 type, 160 factor, 162
    // cross-fade), or without one from hop 128, type 11, factor 2.0 and a
    // cross-fade of 50 %.
    explicit CSpectrum(SharedFft& fft, const TimeScaleParameterBlock* block = nullptr);
    virtual ~CSpectrum() = default;
    CSpectrum(const CSpectrum&) = delete;
    CSpectrum& operator=(const CSpectrum&) = delete;

    // Geometry and windows (see above); restarts the residual phases.
    void Setup(int32_t hop, int32_t type, float factor, float crossFadePercent);

    // Fills pointCount values of the window of `type` into destination.
    static void MakeWindow(int32_t pointCount, int32_t type, float* destination);
    // The table gain factor of a window type: about its length over its sum.
    static double GainFactor(int32_t type);

    // The inverse analysis window (reciprocal of the type's window, 0 at both
    // ends) and the gain; then MakeSynthesisWindow. Called by Setup.
    void MakeWindows();
    // The synthesis window: with cross-fade x in (0, 50] percent, frames
    // overlap-added at the hop cross-fade linearly over R = trunc(hop x / 50
    // + 0.5) samples around each boundary and are silent beyond; each weight
    // multiplies the inverse window and is divided by the gain, so that a
    // frame analysed with the type's window comes back at its own level. With
    // x = 0 the inverse window divided by the gain.
    void MakeSynthesisWindow();

    // Windowed power spectrum of one frame: the n samples times `window`
    // (null: no window), zero-padded to fftSize (n beyond fftSize is cut),
    // transformed; output (fftSize / 2 + 1 floats) gets |DC| at bin 0,
    // |Nyquist| at bin fftSize / 2 and re^2 + im^2 in between. Returns 0, or
    // 1 (output untouched, error line) when fftSize is not a power of two
    // from 2 to 8192.
    int PowerSpectrum(const float* samples, const float* window, int32_t n, float* output, int32_t fftSize);

    // Adds a frame's noise part to `spectrum` (packed, 2 * binCount floats;
    // the DC and Nyquist entries are replaced, the others added to).
    //   envelopeDb: `count` dB values (full scale 32768 is 0 dB; the lowest
    //     float means silence); envelopePhases: `count` phases or null.
    //   coverage f: below 1 only the first trunc(count f) values count and
    //     r = (counted - 1) / binCount; otherwise all count and
    //     r = (count - 1) f / binCount. Bin k reads the envelope at k r
    //     (exactly at r = 1, 2 and 4, linearly interpolated otherwise);
    //     bins past the last counted value are -100 dB.
    // Bins without a phase of their own get random ones from the object's
    // own generator (restarted by Setup, so a run is reproducible): a set
    // for bins below the hop, drawn afresh every hop calls and rotated by
    // one place on the calls between; fresh draws for bins at or above it.
    void SynthesizeResidualSpectrum(const float* envelopeDb, const float* envelopePhases, int32_t count,
                                    float* spectrum, double coverage, int32_t binCount);

    // The windowed time frame of a synthesised spectrum: with M = FFT size
    // / 2 (FFT size / 4 when the cross-fade is 0), bins 1 .. M - 1 are
    // conjugated, the real inverse FFT of 2M points is taken in place, the
    // halves are swapped (the frame's centre lands at M) and sample k is
    // multiplied by the synthesis window at offset + k. The 2M samples
    // replace the spectrum and are copied to output (which may be the same
    // array). Returns 0.
    int InverseSpectrum(float* spectrum, float* output);

    int32_t Hop() const { return m_hop; }
    int32_t FftSize() const { return m_fftSize; }
    int32_t WindowLength() const { return m_windowLength; }
    int32_t WindowOffset() const { return m_windowOffset; }
    double LengthRatio() const { return m_lengthRatio; }
    float Gain() const { return m_gain; }
    int32_t WindowType() const { return m_windowType; }
    float WindowFactor() const { return m_windowFactor; }
    float CrossFade() const { return m_crossFade; }
    // Points of the inverse and synthesis windows (n + 1).
    int32_t WindowPoints() const { return m_windowPoints; }
    const float* InverseWindow() const { return m_inverseWindow.data(); }
    const float* SynthesisWindow() const { return m_synthesisWindow.data(); }

protected:
    SharedFft& Fft() { return m_fft; }
    // Two time-domain buffers of kWorkLength floats and two bin buffers of
    // kBinLength floats for the derived analysers and stretchers.
    float* WorkBuffer(int i) { return m_work[i].data(); }
    float* BinBuffer(int i) { return m_bins[i].data(); }

private:
    // The classic portable 15-bit generator: 0 .. 32767.
    int32_t Random15();
    float RandomPhase();
    void NextPhaseSet();

    SharedFft& m_fft;
    std::vector<float> m_work[2];
    std::vector<float> m_bins[2];
    float m_crossFade = 50.0f;
    int32_t m_hop = 128;
    int32_t m_fftSize = 256;
    std::vector<float> m_inverseWindow;
    std::vector<float> m_synthesisWindow;
    int32_t m_windowOffset = 0;
    double m_lengthRatio = 1.0;
    float m_windowFactor = 2.0f;
    int32_t m_windowLength = 256;
    float m_gain = 1.0f;
    int32_t m_windowType = 11;
    int32_t m_windowPoints = 0;
    // Residual phases: call counter, the phase set (places 0 .. hop) and the
    // generator state.
    int64_t m_calls = 0;
    std::vector<float> m_phaseSet;
    uint32_t m_randomState = 1;
};
