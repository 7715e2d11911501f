#pragma once

#include <vector>

namespace RkMir {

// A sparse bank of spectral weighting windows. Each window is stored only
// over the span between its first and last positive weight, so applying the
// bank costs one pass over each span.
class FilterBank {
public:
    struct Band {
        int firstBin;      // first spectrum bin the weights apply to
        int count;         // number of stored weights
        int weightOffset;  // position of the first weight in the store
    };

    FilterBank();

    // Installs the window of filter `index`. Every window must have the
    // length of the first one. Throws std::domain_error for a negative index
    // and std::invalid_argument for a length mismatch.
    void setWindow(int index, const std::vector<float>& weights);

    // output[b] = sum of band b's weights times the spectrum bins they cover.
    FilterBank& apply(const float* spectrum);

    const std::vector<double>& output() const { return m_output; }
    const std::vector<Band>& bands() const { return m_bands; }
    const std::vector<float>& weights() const { return m_weights; }
    int windowLength() const { return m_windowLength; }

private:
    int m_windowLength;
    std::vector<Band> m_bands;
    std::vector<float> m_weights;
    std::vector<double> m_output;
};

}  // namespace RkMir
