#include "RKBeatTrackOffline.h"

#include "DomainCheck.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace RuBeatO {

namespace {

constexpr int kDecoderWindow = 12;
constexpr int kNormaliserWindow = 20;
constexpr float kLowestHz = 50.0f;
constexpr float kHighestHz = 8000.0f;
// Added to every band energy before the log, so that quiet bands do not
// turn noise into onsets.
constexpr float kEnergyOffset = 100.0f;

// trunc(v), saturated so that the derived sizes never overflow an int; a
// huge value is then refused by the decoder's own checks.
int truncSaturated(double v)
{
    constexpr double kLimit = 1 << 30;
    if (!(v > -kLimit))
        return -(1 << 30);
    if (!(v < kLimit))
        return 1 << 30;
    return static_cast<int>(v);
}

int checkedBands(int framelen, float Fs, float fps, int mfccDim, int decim_factor, float bpmMin, float bpmMax)
{
    requireDomain(bpmMin > 0.0f && bpmMin < bpmMax, "0<bpmMin<bpmMax is not satisfied");
    requireDomain(framelen >= 1 && framelen <= 32768, "Framelen must be >0 and <=32768");
    requireDomain(Fs > 0.0f && Fs <= 192000.0f, "Fs should be >0 and <=192kHz");
    requireDomain(fps > 0.0f, "fps should be greater than 0");
    requireDomain(mfccDim >= 1 && mfccDim < framelen, "_mfccDim should be >0 and <framelen");
    requireDomain(decim_factor >= 1, "decim_factor should be greater than 0");
    return mfccDim;
}

// Frames over which a band's energy rise is measured: one analysis frame
// length in hops, at least 1 (also when a hop is shorter than a sample).
int historyFrames(int framelen, float Fs, float fps)
{
    const int hop = std::max(1, truncSaturated(Fs / fps));
    const int h = framelen / hop;
    return h < 2 ? 1 : h;
}

std::shared_ptr<BeatTrackCore> makeDecoder(float fps, int decim_factor, float bpmMin, float bpmMax)
{
    const float framesPerMinute = fps * 60.0f;
    const int combDim = 1 + truncSaturated(framesPerMinute / std::trunc(bpmMin));
    const float fpbMean = framesPerMinute / 130.0f;
    const float fpbStdDev = std::fabs(framesPerMinute / 130.0f - framesPerMinute / 100.0f);
    int fpbMin = truncSaturated(framesPerMinute / bpmMax);
    if (fpbMin < 2)
        fpbMin = 1;
    const int fpbMax = truncSaturated(framesPerMinute / bpmMin + 0.5f) + 1;
    return std::make_shared<BeatTrackCore>(kDecoderWindow, combDim, decim_factor, fpbMean, fpbStdDev, fpbMin,
                                           fpbMax);
}

}  // namespace

RKBeatTrackOffline::RKBeatTrackOffline(int framelen, float Fs, float fps, int mfccDim, int decim_factor,
                                       float bpmMin, float bpmMax)
    : m_mfccDim(checkedBands(framelen, Fs, fps, mfccDim, decim_factor, bpmMin, bpmMax)),
      m_bins(framelen / 2 > 0 ? framelen / 2 : 1),
      m_filterBank(mfccDim, m_bins, framelen, Fs, kLowestHz, kHighestHz),
      m_energies(static_cast<size_t>(mfccDim), 0.0f),
      m_historyRing(historyFrames(framelen, Fs, fps)),
      m_historyLength(historyFrames(framelen, Fs, fps)),
      m_fps(fps),
      m_normaliser(std::make_shared<Numeric::MovingAverageSD<float>>(kNormaliserWindow, 0.0f)),
      m_onsets(static_cast<size_t>(decim_factor), 0.0f),
      m_onsetRing(decim_factor),
      m_decimationRing(decim_factor),
      m_decimation(decim_factor),
      m_core(makeDecoder(fps, decim_factor, bpmMin, bpmMax))
{
    m_history.assign(static_cast<size_t>(m_historyLength) * static_cast<size_t>(mfccDim), 0.0f);
}

void RKBeatTrackOffline::pushData(const float* spectrum, int length)
{
    if (!spectrum || length < m_bins)
        throw std::invalid_argument("spectrum must hold framelen/2 magnitudes");

    m_filterBank.apply(m_energies.data(), spectrum);

    // The newest energies replace the row H frames old; the row after it
    // is then the oldest one kept, H - 1 frames before the newest.
    const size_t bands = static_cast<size_t>(m_mfccDim);
    std::copy(m_energies.begin(), m_energies.end(),
              m_history.begin() + static_cast<size_t>(m_historyRing.position()) * bands);
    m_historyRing.increment();
    const float* oldest = m_history.data() + static_cast<size_t>(m_historyRing.position()) * bands;

    float flux = 0.0f;
    for (size_t b = 0; b < bands; ++b) {
        const float rise = std::log(m_energies[b] + kEnergyOffset) - std::log(oldest[b] + kEnergyOffset);
        flux += std::max(0.0f, rise);
    }
    m_lastFlux = flux;
    m_lastOnset = m_normaliser->push(flux);

    m_onsets[static_cast<size_t>(m_onsetRing.position())] = m_lastOnset;
    m_onsetRing.increment();
    if (m_decimationRing.position() == 0) {
        const float strongest = *std::max_element(m_onsets.begin(), m_onsets.end());
        m_core->addObservation(std::max(0.0f, strongest));
    }
    m_decimationRing.increment();
    ++m_frames;
}

void RKBeatTrackOffline::infer()
{
    m_core->infer();
}

int RKBeatTrackOffline::getFrameResult(int idx) const
{
    return m_core->stateAt(idx);
}

}  // namespace RuBeatO
