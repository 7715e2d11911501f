#include "SMSSpectrumAnalyzer.h"

#include "SMSAnalysisParams.h"
#include "SMSFrame.h"
#include "StretchAlloc.h"
#include "VectorMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kFullScaleInverse = 3.0517578125e-05;  // 1 / 32768
constexpr float kPiFloat = 3.14159274f;

float toDb(double magnitude)
{
    return magnitude > 0.0 ? static_cast<float>(20.0 * std::log10(magnitude * kFullScaleInverse))
                           : SMSFrame::kSilentDb;
}

// Powers below this are converted exactly (and 0 is silence).
constexpr float kSmallPower = 1e-30f;
constexpr float kDbPerNeper = 4.34294482f;  // 10 / ln 10 for a power

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
    int32_t at = (m_readPosition - half) % m_ringLength;
    if (at < 0)
        at += m_ringLength;
    int32_t slot = ((-half % n) + n) % n;
    const float* window = m_window.data();
    // In runs that neither the ring nor the frame wraps inside, so that each
    // run is a plain loop the compiler vectorises; every slot still adds its
    // samples in the same order.
    for (int32_t j = 0, count = 2 * half + 1; j < count;) {
        const int32_t run = std::min({count - j, m_ringLength - at, n - slot});
        const float* in = m_ring + at;
        const float* w = window + j;
        float* out = t + slot;
        for (int32_t i = 0; i < run; ++i)
            out[i] += in[i] * w[i];
        j += run;
        at += run;
        if (at == m_ringLength)
            at = 0;
        slot += run;
        if (slot == n)
            slot = 0;
    }
    Fft().Transform(n, 1, t);

    float* magnitude = frame.MagnitudeData();
    float* phase = frame.PhaseData();
    magnitude[0] = toDb(std::fabs(t[0]));
    phase[0] = t[0] < 0.0f ? kPiFloat : 0.0f;
    magnitude[n / 2] = toDb(std::fabs(t[1]));
    phase[n / 2] = t[1] < 0.0f ? kPiFloat : 0.0f;
    // Power and phase of every bin, then the powers in dB: simple loops that
    // the compiler vectorises; the rare tiny powers are redone exactly.
    const float scale = static_cast<float>(kFullScaleInverse * kFullScaleInverse);
    float* power = BinBuffer(0);
    for (int32_t k = 1; k < n / 2; ++k) {
        const float re = t[2 * k];
        const float im = -t[2 * k + 1];
        power[k] = (re * re + im * im) * scale;
        phase[k] = stretch::fastAtan2(im, re);
    }
    for (int32_t k = 1; k < n / 2; ++k)
        magnitude[k] = kDbPerNeper * stretch::fastLog(std::max(power[k], kSmallPower));
    for (int32_t k = 1; k < n / 2; ++k) {
        if (!(power[k] > kSmallPower)) {
            const double re = t[2 * k], im = t[2 * k + 1];
            magnitude[k] = toDb(std::sqrt(re * re + im * im));
        }
    }
    m_readPosition = (m_readPosition + Hop()) % m_ringLength;
}
