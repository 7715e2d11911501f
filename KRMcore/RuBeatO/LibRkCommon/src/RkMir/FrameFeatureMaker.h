#pragma once

#include "RkMir/FilterBank.h"

#include <memory>
#include <vector>

class CFft;

namespace RkMir {

// Turns a sliding frame of audio into 34 values: 22 triangular band values
// on a mel-like scale (bands b .. b+2 of a fixed edge table) followed by 12
// pitch-class values (C, C#, ..., B), each a weighted sum of the magnitudes
// of the Bartlett-Hann windowed frame. Also carries the 22x22 cosine table
// that turns the logarithms of the band values into cepstral coefficients.
class FrameFeatureMaker {
public:
    static constexpr int kBands = 22;
    static constexpr int kPitchClasses = 12;

    // n: frame size, a power of two.
    explicit FrameFeatureMaker(int n);
    ~FrameFeatureMaker();

    FrameFeatureMaker(const FrameFeatureMaker&) = delete;
    FrameFeatureMaker& operator=(const FrameFeatureMaker&) = delete;

    // Installs the 34 windows for this frame size at sampleRate (Hz).
    void buildFilterBank(float sampleRate);

    // Slides the samples into the frame (all of them when fewer than n, the
    // last n otherwise) and returns the bank's output for the new frame;
    // empty before buildFilterBank.
    std::vector<double> processFrame(const std::vector<double>& samples);

    // Entry for coefficient i and band j at 22*i + j: 2 cos(pi i (2j+1)/44).
    const std::vector<double>& cosineTable() const { return m_cosine; }

    const FilterBank& filterBank() const { return m_bank; }
    int frameSize() const { return m_n; }

private:
    FilterBank m_bank;
    std::shared_ptr<CFft> m_fft;
    int m_n;
    std::unique_ptr<float[]> m_frame;
    std::unique_ptr<float[]> m_magnitudes;
    std::vector<double> m_cosine;
};

}  // namespace RkMir
