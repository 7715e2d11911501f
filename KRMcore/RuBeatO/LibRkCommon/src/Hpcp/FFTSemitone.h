#pragma once

#include "Hpcp/HpcpParams.h"
#include "Hpcp/SemitonePower.h"

#include <memory>
#include <vector>

class CFft;

namespace Hpcp {

// Semitone power spectrum of one frame: the frame is read at a quarter of
// its sample rate (every fourth sample), Hann-windowed and transformed; the
// decibel spectrum is interpolated k times finer, its local mean removed,
// and each semitone gets the height of its strongest isolated peak below
// 2640 Hz, or the floor value kFloor. The first 13 semitones of the range
// never receive a peak.
class FFTSemitone : public ISemitonePower, public ISpectralMethod {
public:
    static constexpr float kFloor = 1e-4f;
    static constexpr int kSpectrumCapacity = 32768;

    FFTSemitone();
    ~FFTSemitone() override;

    // Takes the range and the reference frequency from params, then
    // reconfigure().
    void configure(const HpcpParams& params) override;
    // Allocates the output for lowest .. highest and sets sample rate,
    // frame size and oversample ratio in this order.
    void reconfigure(int lowest, int highest, int frameSize, float sampleRate, int oversample);

    // Throw std::invalid_argument for a value out of range (or a frame size
    // and ratio whose interpolated spectrum would not fit an int); each
    // setter rebuilds everything that depends on the parameters.
    void setSampleRate(float fs);      // 0 .. 192000 Hz
    void setFrameSize(int frameSize);  // 1 .. 65535 samples
    void setOversampleRatio(int k);    // >= 1

    // Rebuilds the transform, the buffers, the smoothing kernel and the bin
    // map for the current parameters; every setter ends with it.
    void initialize();

    // One frame of frameSize samples. A frame of another length is used as
    // far as it goes (zero-padded when short) after a warning on standard
    // output. Throws std::logic_error when frameSize / 4 is not a power of
    // two of at least 2, since no transform exists for it.
    void process(const float* signal, int length) override;
    // Semitone powers from fftSize/2 magnitudes; `length` is not used.
    void compute(const float* magnitudes, int length) override;

    int frameSize() const { return m_frameSize; }
    int fftSize() const { return m_frameSize / 4; }
    int oversampleRatio() const { return m_oversample; }
    float reducedSampleRate() const { return m_reducedRate; }
    const std::vector<int>& binMap() const { return m_binMap; }
    const std::vector<float>& semitoneFrequencies() const { return m_semitoneFreqs; }
    const float* kernel() const { return m_kernel; }
    // The interpolated spectrum of the latest frame, after the local-mean
    // removal (M values; below 2640 Hz the level above the local mean).
    const std::vector<float>& interpolatedSpectrum() const { return m_interpolated; }

private:
    void buildSemitoneBinMap();
    void removeLocalMean();
    int interpolatedLength() const;  // M = k * (fftSize / 2)
    int bandLimit(int bins) const;   // bins below 2640 Hz, at most `bins`

    std::unique_ptr<CFft> m_fft;
    int m_oversample = 1;
    std::vector<float> m_interpolated;    // M values
    std::vector<int> m_binMap;            // semitone of each interpolated bin, -1 for none
    std::vector<float> m_background;      // M values
    float m_spectrum[kSpectrumCapacity];  // decibel spectrum, fftSize/2 used
    float m_kernel[65];
    bool m_removeLocalMean = true;
    int m_frameSize = 0;
    float m_reducedRate = 0.0f;
    float m_ratio;  // a quarter tone: 2^(1/24)
    std::vector<float> m_semitoneFreqs;
    float m_reference = 440.0f;
    std::vector<float> m_magnitudes;  // frameSize values, fftSize/2 used
    std::vector<float> m_tTable;      // t, t^2, t^3 of the k sub-positions
};

}  // namespace Hpcp
