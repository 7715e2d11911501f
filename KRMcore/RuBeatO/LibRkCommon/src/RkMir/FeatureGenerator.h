#pragma once
// The section segmenter's bar-synchronous feature generator: two passes
// over one audio source give one feature row per bar.
//
// The passes (runTaviPass, computeFeatures) drive the chord recogniser,
// which is built on this toolkit, so they are compiled into the analysis
// library (RuBeatO/Segmenter) rather than here: a caller of them links
// that library.
#include "RkMir/Numeric/Hsmm.h"

#include <cstdint>
#include <vector>

template <typename T> class ISeekable;

namespace RkMir {

class IProgress;

class FeatureGenerator {
public:
    // Throws std::domain_error "hopsize must be positive" for hopsize <= 0,
    // otherwise "framelen must be positive" for framelen <= 0.
    FeatureGenerator(int hopsize, int framelen);

    // The observer of both passes (not owned, may be null). Returns *this.
    FeatureGenerator& setProgress(IProgress* observer);
    // Columns of the feature rows; n < 1 throws std::domain_error
    // "ndim must be positive".
    void setNdim(int n);
    // Beat times of the latest chord and beat pass, seconds.
    std::vector<float> getIndexVector() const { return m_indices; }

    // Both passes over `source` (read twice from frame 0). Fills `features`
    // with one row per bar and ndim columns (0 rows without bars),
    // `barTimes` with the start of every bar plus the end of the audio
    // pushed (seconds) and `barBeatIndices` with the beat each bar starts
    // on. w1..w4: the recogniser's maximum beats per bar, level, hypothesis
    // and meter type. Throws std::runtime_error "TAVI Cannot be initialized",
    // "Cannot load TAVI", "Aborted" (the observer's abort request, read
    // after progress reports), "Unsupported number of channels" (more than
    // two), and std::domain_error "Unsupported meter".
    void computeFeatures(Numeric::Matrix& features, std::vector<double>& barTimes,
                         std::vector<uint32_t>& barBeatIndices, ISeekable<float>& source, int w1, int w2,
                         int w3, int w4);
    // The chord and beat pass alone: the recogniser over 180-frame mono
    // blocks; fills the bar times and bar beat indices, the beat times and
    // the grid frame indices. Called by computeFeatures.
    void runTaviPass(ISeekable<float>& source, std::vector<double>& barTimes,
                     std::vector<uint32_t>& barBeatIndices, int w1, int w2, int w3, int w4);

    // The 34 values of one grid point from the sums of the `count` frames
    // (34 values each) collected since the previous one: the means, the
    // first 22 (band energies) turned into cepstral coefficients of
    // ln(mean + 0.0001) with `cosine` (22 x 22, row = coefficient); all
    // means 0 for no frames.
    static std::vector<double> summarizeGroup(const std::vector<double>& sums, int count,
                                              const std::vector<double>& cosine);
    // Groups `pointsPerBar` summaries (rows of `summaries`) into one row per
    // bar, standardises the columns and reduces them to `ndim` columns (the
    // right singular vectors when there are more bars than ndim, else the
    // first columns), then standardises the result.
    static Numeric::Matrix reduceToBars(const Numeric::Matrix& summaries, int pointsPerBar, int ndim);

    int hopsize() const { return m_hopsize; }
    int framelen() const { return m_framelen; }
    float sampleRate() const { return m_sampleRate; }
    int gridStep() const { return m_gridStep; }
    int ndim() const { return m_ndim; }
    IProgress* observer() const { return m_observer; }
    bool isRunning() const { return m_running != 0; }
    // Hop-sized frame of every grid point of the latest chord and beat pass.
    const std::vector<int>& gridFrameIndices() const { return m_gridFrameIndices; }

private:
    void reportProgress(int percent);

    std::vector<int> m_gridFrameIndices;
    int m_hopsize;
    int m_framelen;
    float m_sampleRate;            // rate the grid frame indices are counted at
    int m_gridStep;                // grid points per bar
    int m_ndim;                    // feature columns
    std::vector<float> m_indices;  // beat times, seconds
    IProgress* m_observer;
    uint8_t m_running;
    int m_lastProgress = -1;
};

}  // namespace RkMir
