#pragma once

#include <vector>

// Folds a magnitude spectrum of nBins bins into nBands bands spaced evenly
// on a logarithmic frequency axis between fmin and fmax. Each bin between
// fmin and fmax is split between the two bands next to its position on the
// band axis. The bank is built once as a dense band-by-bin matrix and kept
// in sparse form: per band a run of weights over consecutive bins.
class LogFrequencyFilterBank {
public:
    struct Band {
        int weightOffset;  // first weight of the band in weights()
        int count;         // number of weights (and bins)
        int firstBin;      // bin the first weight applies to
    };

    // Throws std::invalid_argument unless nBands, nBins, fftSize and fs are
    // positive and 0 < fmin < fmax.
    LogFrequencyFilterBank(int nBands, int nBins, int fftSize, float fs, float fmin, float fmax);
    ~LogFrequencyFilterBank();

    // out[b] = weighted sum of band b's bins; out has room for nBands values
    // and spectrum for nBins values.
    void apply(float* out, const float* spectrum) const;

    // Builds the band weights from the stored parameters (the constructor
    // calls it; calling it again rebuilds the same bank).
    void buildBands();

    int nBands() const { return m_nBands; }
    int nBins() const { return m_nBins; }
    const std::vector<Band>& bands() const { return m_bands; }
    const std::vector<float>& weights() const { return m_weights; }

private:
    std::vector<Band> m_bands;
    std::vector<float> m_weights;
    float m_fmin;
    float m_fmax;
    int m_nBands;
    int m_nBins;
    int m_fftSize;
    float m_fs;
};
