#include "SMSSpectrumAnalyzer.h"

#include "SMSAnalysisParams.h"
#include "SMSFrame.h"
#include "StretchAlloc.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFullScaleInverse = 3.0517578125e-05;  // 1 / 32768
constexpr float kPiFloat = 3.14159274f;

float toDb(double magnitude)
{
    return magnitude > 0.0 ? static_cast<float>(20.0 * std::log10(magnitude * kFullScaleInverse))
                           : SMSFrame::kSilentDb;
}

// The same from the squared magnitude, without the square root.
float powerToDb(double power)
{
    return power > 0.0
               ? static_cast<float>(10.0 * std::log10(power * (kFullScaleInverse * kFullScaleInverse)))
               : SMSFrame::kSilentDb;
}

}  // namespace

SMSSpectrumAnalyzer::SMSSpectrumAnalyzer(SharedFft& fft, const SMSAnalysisParams& params, int32_t bandRate,
                                         const float* ring, int32_t ringLength)
    : CSpectrum(fft),
      m_ring(ring),
      m_ringLength(ringLength),
      m_method(static_cast<uint8_t>(params.GetAnalysisParameter(SMSAnalysisParams::SpectrumMethod)))
{
    const double frameRate = params.GetAnalysisParameter(SMSAnalysisParams::FramesPerSecond);
    const double hops = std::log2(std::max(1.0, bandRate / frameRate));
    const auto hop = static_cast<int32_t>(std::min(65536.0, std::pow(2.0, std::round(hops))));
    const auto type = static_cast<int32_t>(params.GetAnalysisParameter(SMSAnalysisParams::WindowType));
    if (m_method == 4 || m_method == 2) {
        const auto hopsPerWindow =
            static_cast<float>(params.GetAnalysisParameter(SMSAnalysisParams::WindowHops));
        Setup(hop, type, hopsPerWindow, 50.0f);
        m_windowLength = WindowLength() | 1;
    } else {
        Setup(hop, type, 2.0f, 50.0f);
        m_windowLength = FftSize();
    }
    stretch::resizeOrThrow(m_window, static_cast<size_t>(m_windowLength));
    MakeWindow(m_windowLength, type, m_window.data());
}

void SMSSpectrumAnalyzer::Analyze(SMSFrame& frame)
{
    if (!ProducesSpectrum() || m_ringLength < 1)
        return;
    const int32_t n = FftSize();
    const int32_t bins = n / 2 + 1;
    frame.Allocate(SMSFrame::kSpectrum, bins, false);

    // Zero-phase layout: the centre sample at 0, later samples at 1, 2, ...,
    // earlier ones from n - 1 down; samples that meet add.
    float* t = WorkBuffer(0);
    std::fill(t, t + n, 0.0f);
    const int32_t half = HalfWindow();
    for (int32_t i = -half; i <= half; ++i) {
        int32_t at = (m_readPosition + i) % m_ringLength;
        if (at < 0)
            at += m_ringLength;
        t[((i % n) + n) % n] += m_ring[at] * m_window[static_cast<size_t>(i + half)];
    }
    Fft().Transform(n, 1, t);

    float* magnitude = frame.MagnitudeData();
    float* phase = frame.PhaseData();
    magnitude[0] = toDb(std::fabs(t[0]));
    phase[0] = t[0] < 0.0f ? kPiFloat : 0.0f;
    magnitude[n / 2] = toDb(std::fabs(t[1]));
    phase[n / 2] = t[1] < 0.0f ? kPiFloat : 0.0f;
    for (int32_t k = 1; k < n / 2; ++k) {
        const double re = t[2 * k];
        const double im = -t[2 * k + 1];
        magnitude[k] = powerToDb(re * re + im * im);
        phase[k] = static_cast<float>(std::atan2(im, re));
    }
    m_readPosition = (m_readPosition + Hop()) % m_ringLength;
}
