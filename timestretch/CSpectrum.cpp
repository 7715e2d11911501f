#include "CSpectrum.h"

#include "StretchAlloc.h"
#include "StretchMath.h"
#include "TimeScaleParameterBlock.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kGainFactors[CSpectrum::kWindowTypes] = {
    1.8518435955048, 1.8929491043091, 1.9445765018463, 1.9949405193329, 2.0441184043884,
    2.2745671272278, 2.4840998649597, 2.6774570941925, 2.2242465019226, 2.3627805709839,
    2.4865102767944, 2.7874565124512, 2.0002224445343,
};
constexpr double kKaiserAlpha[] = {0.0, 1.7, 1.8, 1.9, 2.0, 2.5, 3.0, 3.5};
constexpr double kBlackmanHarris[4][4] = {
    {0.44959, 0.49364, 0.05677, 0.0},
    {0.42323, 0.49755, 0.07922, 0.0},
    {0.40217, 0.49703, 0.09892, 0.00188},
    {0.35875, 0.48829, 0.14128, 0.01168},
};
// dB to linear amplitude: exp(dB * ln(10) / 20).
constexpr double kDbToExponent = 0.1151292546497;

int32_t tableType(int32_t type)
{
    return (type >= 0 && type < CSpectrum::kWindowTypes) ? type : 8;
}

// Modified Bessel function of order 0 by its power series.
double besselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k <= 49; ++k) {
        term *= (x / 2.0) / k;
        sum += term * term;
    }
    return sum;
}

// Value of the (unnormalised) window of a table type at point i of n.
double windowValue(int32_t type, int32_t i, int32_t n)
{
    const double half = (n - 1) / 2.0;
    const double x = stretch::kTwoPi * i / (n - 1);
    if (type == 0)
        return 0.54 - 0.46 * std::cos(x);
    if (type <= 7) {
        const double beta = kKaiserAlpha[type] * stretch::kPi;
        const double k = (i - half) / half;
        return besselI0(beta * std::sqrt(std::max(0.0, 1.0 - k * k))) / besselI0(beta);
    }
    if (type <= 11) {
        const double* a = kBlackmanHarris[type - 8];
        return a[0] - a[1] * std::cos(x) + a[2] * std::cos(2.0 * x) - a[3] * std::cos(3.0 * x);
    }
    const double rise = i <= half ? i : (n - 1 - i);
    return rise / half;
}

}  // namespace

CSpectrum::CSpectrum(SharedFft& fft, const TimeScaleParameterBlock* block) : m_fft(fft)
{
    for (int i = 0; i < 2; ++i) {
        stretch::resizeOrThrow(m_work[i], kWorkLength);
        stretch::resizeOrThrow(m_bins[i], kBinLength);
    }
    if (block) {
        Setup(static_cast<int32_t>(block->GetParameter(TimeScaleParameterBlock::Hop)),
              static_cast<int32_t>(block->GetParameter(TimeScaleParameterBlock::WindowType)),
              static_cast<float>(block->GetParameter(TimeScaleParameterBlock::WindowFactor)),
              static_cast<float>(block->GetParameter(TimeScaleParameterBlock::CrossFade)));
    } else {
        Setup(128, 11, 2.0f, 50.0f);
    }
}

void CSpectrum::Setup(int32_t hop, int32_t type, float factor, float crossFadePercent)
{
    m_hop =
        static_cast<int32_t>(stretch::largestPowerOfTwoAtMost(std::min<int64_t>(std::max(hop, 4), 131072)));
    double length = static_cast<double>(m_hop) * factor;
    if (!(length >= 4.0))
        length = 4.0;
    m_windowLength = static_cast<int32_t>(std::min<double>(length, kMaxWindowLength));
    m_fftSize = static_cast<int32_t>(stretch::largestPowerOfTwoAtMost(m_windowLength));
    if (m_windowLength > m_fftSize) {
        m_windowOffset = (m_windowLength - m_fftSize) / 2;
        m_lengthRatio = static_cast<double>(m_windowLength) / m_fftSize;
    } else {
        m_windowOffset = 0;
        m_lengthRatio = 1.0;
    }
    m_windowType = type;
    m_windowFactor = factor;
    m_crossFade = crossFadePercent;
    m_calls = 0;
    m_randomState = 1;
    stretch::resizeOrThrow(m_phaseSet, static_cast<size_t>(m_hop) + 1);
    MakeWindows();
}

void CSpectrum::MakeWindow(int32_t pointCount, int32_t type, float* destination)
{
    if (pointCount < 1 || !destination)
        return;
    if (pointCount == 1) {
        destination[0] = 2.0f;  // a one-point window sums to 2 like all others
        return;
    }
    const int32_t t = tableType(type);
    std::vector<double> w(static_cast<size_t>(pointCount));
    double sum = 0.0;
    for (int32_t i = 0; i < pointCount; ++i) {
        w[static_cast<size_t>(i)] = windowValue(t, i, pointCount);
        sum += w[static_cast<size_t>(i)];
    }
    const double scale = 2.0 / sum;
    for (int32_t i = 0; i < pointCount; ++i)
        destination[i] = static_cast<float>(w[static_cast<size_t>(i)] * scale);
}

double CSpectrum::GainFactor(int32_t type)
{
    return kGainFactors[tableType(type)];
}

void CSpectrum::MakeWindows()
{
    const int32_t n = m_crossFade == 0.0f ? m_windowLength / 2 : m_windowLength;
    m_windowPoints = n + 1;
    stretch::resizeOrThrow(m_inverseWindow, static_cast<size_t>(m_windowLength) + 1);
    stretch::resizeOrThrow(m_synthesisWindow, static_cast<size_t>(m_windowLength) + 1);
    float* inverse = m_inverseWindow.data();
    MakeWindow(m_windowPoints, m_windowType, inverse);
    for (int32_t i = 1; i < n; ++i)
        inverse[i] = 1.0f / inverse[i];
    inverse[0] = 0.0f;
    inverse[n] = 0.0f;
    m_gain = static_cast<float>(inverse[n / 2] * GainFactor(m_windowType) / m_lengthRatio);
    MakeSynthesisWindow();
}

void CSpectrum::MakeSynthesisWindow()
{
    const int32_t n = m_windowPoints - 1;
    const float* inverse = m_inverseWindow.data();
    float* synthesis = m_synthesisWindow.data();
    const double x = std::min(50.0, std::max(0.0, static_cast<double>(m_crossFade)));
    if (x == 0.0) {
        for (int32_t i = 0; i <= n; ++i)
            synthesis[i] = inverse[i] / m_gain;
        return;
    }
    // Weights of the first half (0 .. centre), mirrored for the second: zero,
    // then a linear ramp of R samples, then full weight up to the centre.
    const int32_t ramp = std::max(1, static_cast<int32_t>(m_hop * x / 50.0 + 0.5));
    const int32_t lead = static_cast<int32_t>((m_hop - ramp) * 0.5 + 0.5);
    const int32_t centre = n / 2;
    const int32_t rampStart = centre - m_hop + lead;
    for (int32_t i = 0; i <= n; ++i) {
        const int32_t j = i <= centre ? i : n - i;
        double weight = 1.0;
        if (j < rampStart)
            weight = 0.0;
        else if (j < rampStart + ramp)
            weight = static_cast<double>(j - rampStart) / ramp;
        synthesis[i] = static_cast<float>(weight * inverse[i] / m_gain);
    }
}

int CSpectrum::PowerSpectrum(const float* samples, const float* window, int32_t n, float* output,
                             int32_t fftSize)
{
    if (!SharedFft::IsValidSize(fftSize) || !samples || !output) {
        std::fprintf(stderr, "CSpectrum::PowerSpectrum: refused FFT size %d\n", static_cast<int>(fftSize));
        return 1;
    }
    float* t = m_work[0].data();
    n = std::max(0, std::min(n, fftSize));
    for (int32_t i = 0; i < n; ++i)
        t[i] = window ? samples[i] * window[i] : samples[i];
    std::fill(t + n, t + fftSize, 0.0f);
    m_fft.Transform(fftSize, 1, t);
    const int32_t half = fftSize / 2;
    output[0] = std::fabs(t[0]);
    output[half] = std::fabs(t[1]);
    for (int32_t k = 1; k < half; ++k) {
        const float re = t[2 * k];
        const float im = -t[2 * k + 1];
        output[k] = re * re + im * im;
    }
    return 0;
}

int32_t CSpectrum::Random15()
{
    m_randomState = m_randomState * 1103515245u + 12345u;
    return static_cast<int32_t>((m_randomState / 65536u) % 32768u);
}

float CSpectrum::RandomPhase()
{
    return static_cast<float>((Random15() - 16383.5) / 16383.5 * stretch::kPi);
}

void CSpectrum::NextPhaseSet()
{
    float* set = m_phaseSet.data();
    if (m_calls % m_hop == 0) {
        set[0] = 0.0f;
        for (int32_t i = 1; i <= m_hop; ++i)
            set[i] = RandomPhase();
    } else {
        std::rotate(set + 1, set + 2, set + m_hop + 1);
    }
    ++m_calls;
}

void CSpectrum::SynthesizeResidualSpectrum(const float* envelopeDb, const float* envelopePhases,
                                           int32_t count, float* spectrum, double coverage, int32_t binCount)
{
    if (!spectrum || binCount < 1)
        return;
    NextPhaseSet();
    if (!envelopeDb)
        count = 0;
    const int32_t counted =
        std::max(0, coverage < 1.0 ? static_cast<int32_t>(count * std::max(0.0, coverage)) : count);
    const int32_t last = counted - 1;
    const double r = coverage < 1.0 ? static_cast<double>(last) / binCount
                                    : static_cast<double>(count - 1) * coverage / binCount;
    const int32_t exactStep = (r == 1.0 || r == 2.0 || r == 4.0) ? static_cast<int32_t>(r) : 0;

    for (int32_t k = 0; k <= binCount; ++k) {
        double db = -100.0;
        double phase = 0.0;
        bool hasPhase = false;
        if (last >= 0) {
            if (exactStep) {
                const int64_t i = static_cast<int64_t>(k) * exactStep;
                if (i <= last) {
                    db = envelopeDb[i];
                    if (envelopePhases) {
                        phase = envelopePhases[i];
                        hasPhase = true;
                    }
                }
            } else {
                const double x = k * r;
                const int64_t i = static_cast<int64_t>(x);
                if (i < last) {
                    const double w = x - static_cast<double>(i);
                    db = envelopeDb[i] + (static_cast<double>(envelopeDb[i + 1]) - envelopeDb[i]) * w;
                    if (envelopePhases) {
                        phase = envelopePhases[i] +
                                (static_cast<double>(envelopePhases[i + 1]) - envelopePhases[i]) * w;
                        hasPhase = true;
                    }
                } else if (i == last) {
                    db = envelopeDb[i];
                    if (envelopePhases) {
                        phase = envelopePhases[i];
                        hasPhase = true;
                    }
                }
            }
        }
        if (!hasPhase)
            phase = k < m_hop ? m_phaseSet[static_cast<size_t>(k)] : RandomPhase();
        const double magnitude = db <= -FLT_MAX ? 0.0 : std::exp(db * kDbToExponent) * 32768.0;
        const double re = magnitude * std::cos(phase);
        if (k == 0) {
            spectrum[0] = static_cast<float>(re);
        } else if (k == binCount) {
            spectrum[1] = static_cast<float>(re);
        } else {
            spectrum[2 * k] += static_cast<float>(re);
            spectrum[2 * k + 1] += static_cast<float>(magnitude * std::sin(phase));
        }
    }
}

int CSpectrum::InverseSpectrum(float* spectrum, float* output)
{
    const int32_t m = m_crossFade == 0.0f ? m_fftSize / 4 : m_fftSize / 2;
    if (!spectrum || !output || !SharedFft::IsValidSize(2 * m)) {
        std::fprintf(stderr, "CSpectrum::InverseSpectrum: refused frame of %d points\n",
                     static_cast<int>(2 * m));
        return 1;
    }
    for (int32_t k = 1; k < m; ++k)
        spectrum[2 * k + 1] = -spectrum[2 * k + 1];
    m_fft.Transform(2 * m, -1, spectrum);
    std::rotate(spectrum, spectrum + m, spectrum + 2 * m);
    const float* window = m_synthesisWindow.data() + m_windowOffset;
    for (int32_t k = 0; k < 2 * m; ++k)
        spectrum[k] *= window[k];
    if (output != spectrum)
        std::copy(spectrum, spectrum + 2 * m, output);
    return 0;
}
