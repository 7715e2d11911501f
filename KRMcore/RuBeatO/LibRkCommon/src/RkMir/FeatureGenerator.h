#pragma once

#include <vector>

namespace RkMir {

class IProgress;

// The section segmenter's bar-synchronous feature generator. Only its
// construction lives here; its passes over the audio belong to the analysis
// that drives it.
class FeatureGenerator {
public:
    // Throws std::domain_error "hopsize must be positive" for hopsize <= 0,
    // otherwise "framelen must be positive" for framelen <= 0.
    FeatureGenerator(int hopsize, int framelen);

    int hopsize() const { return m_hopsize; }
    int framelen() const { return m_framelen; }
    float sampleRate() const { return m_sampleRate; }
    int gridStep() const { return m_gridStep; }
    int ndim() const { return m_ndim; }
    IProgress* observer() const { return m_observer; }
    bool isRunning() const { return m_running; }

private:
    std::vector<int> m_gridFrameIndices;
    int m_hopsize;
    int m_framelen;
    float m_sampleRate;
    int m_gridStep;  // sixteenth-grid entries per output step
    int m_ndim;      // projection dimension
    std::vector<unsigned> m_indices;
    IProgress* m_observer;
    bool m_running;
};

}  // namespace RkMir
