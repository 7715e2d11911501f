#pragma once
// Onset front end of the beat tracker: spectral frames in, one onset
// observation per decimated frame out to the tempo and phase decoder.
#include "BeatTrackCore.h"

#include "RkMir/Numeric/MovingStats.h"
#include "Tempo/LogFrequencyFilterBank.h"
#include "Tempo/RingIndex.h"

#include <memory>
#include <vector>

namespace RuBeatO {

// Turns each magnitude spectrum into an onset strength: the log energy
// rise of mfccDim log-spaced bands (50 Hz to 8 kHz) over the last H
// frames, summed, then turned into a moving z-score over 20 frames. Every
// decim_factor frames the largest of the latest decim_factor z-scores
// (and 0) goes to the decoder.
//
// Lifecycle: construct, pushData once per frame, infer, then
// getFrameResult per decimated frame. setStartState before infer makes the
// decoder start from a given state.
class RKBeatTrackOffline {
public:
    // framelen: the analysis frame length (1 .. 32768); the spectra have
    // framelen / 2 bins at Fs / framelen Hz spacing. Fs: sample rate
    // (0 .. 192000]. fps: frames per second. mfccDim: bands (1 ..
    // framelen - 1). decim_factor: frames per observation (>= 1).
    // bpmMin, bpmMax: tempo range, 0 < bpmMin < bpmMax. Throws
    // std::domain_error, also when the decoder refuses the derived range.
    RKBeatTrackOffline(int framelen, float Fs, float fps, int mfccDim, int decim_factor, float bpmMin,
                       float bpmMax);

    // One frame: `spectrum` holds at least framelen / 2 magnitudes (length
    // counts them); bins past framelen / 2 are not read. A shorter or
    // missing spectrum throws std::invalid_argument.
    void pushData(const float* spectrum, int length);

    // Decodes the observations so far.
    void infer();

    // Decoded state of decimated frame idx (0 .. decoded frames - 1), else
    // std::domain_error.
    int getFrameResult(int idx) const;

    // Start state of the next infer (see BeatTrackCore::setStartState).
    void setStartState(int period, int phase) { m_core->setStartState(period, phase); }

    int getNumFrames() const { return m_frames; }
    int bandCount() const { return m_mfccDim; }
    // Band energies of the latest frame (bandCount() values).
    const float* bandEnergies() const { return m_energies.data(); }
    int historyLength() const { return m_historyLength; }
    float fps() const { return m_fps; }
    int decimation() const { return m_decimation; }
    // Flux and z-score of the latest frame.
    float lastFlux() const { return m_lastFlux; }
    float lastOnset() const { return m_lastOnset; }
    const LogFrequencyFilterBank& filterBank() const { return m_filterBank; }
    const Numeric::MovingAverageSD<float>& normaliser() const { return *m_normaliser; }
    const BeatTrackCore& decoder() const { return *m_core; }

private:
    int m_mfccDim;
    int m_bins;
    LogFrequencyFilterBank m_filterBank;
    std::vector<float> m_energies;
    std::vector<float> m_history;  // H rows of m_mfccDim energies
    RingIndex m_historyRing;       // row of the oldest energies
    int m_historyLength;
    float m_fps;
    std::shared_ptr<Numeric::MovingAverageSD<float>> m_normaliser;
    std::vector<float> m_onsets;
    RingIndex m_onsetRing;
    RingIndex m_decimationRing;
    int m_decimation;
    std::shared_ptr<BeatTrackCore> m_core;
    int m_frames = 0;
    float m_lastFlux = 0.0f;
    float m_lastOnset = 0.0f;
};

}  // namespace RuBeatO
