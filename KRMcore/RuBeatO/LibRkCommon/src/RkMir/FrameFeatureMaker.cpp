#include "RkMir/FrameFeatureMaker.h"

#include "fft/CFft.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace RkMir {

namespace {

// Band edges in Hz; band b spans edges b .. b+2 with its peak at b+1.
const float kEdges[24] = {100,  200,  300,  400,  500,  600,  700,  800,  900,  1000, 1149, 1320,
                          1516, 1741, 2000, 2297, 2639, 3031, 3482, 4000, 4595, 5278, 6063, 6964};

const int kOctaves = 7;

// Bin of frequency hz truncated towards zero, limited to 0 .. nBins so that
// edges above the highest bin (or a sample rate that is not positive) cannot
// index outside the weight vector.
int binIndex(float hz, float df, int nBins)
{
    const float k = hz / df;
    if (!(k < static_cast<float>(nBins)))
        return nBins;
    return k > 0.0f ? static_cast<int>(k) : 0;
}

}  // namespace

FrameFeatureMaker::FrameFeatureMaker(int n)
    : m_fft(std::make_shared<CFft>(n, 1)),
      m_n(n),
      m_frame(new float[n]()),
      m_magnitudes(new float[n / 2 + 1]()),
      m_cosine(kBands * kBands)
{
    m_fft->setWindow(static_cast<unsigned>(n), CFft::BartlettHann);
    for (int i = 0; i < kBands; ++i)
        for (int j = 0; j < kBands; ++j) {
            const float ij = static_cast<float>(i * (2 * j + 1));
            m_cosine[kBands * i + j] = 2.0 * std::cos(3.14159 * ij / 44.0);
        }
}

FrameFeatureMaker::~FrameFeatureMaker() = default;

void FrameFeatureMaker::buildFilterBank(float fs)
{
    const float df = fs / static_cast<float>(m_n);
    const int nBins = m_n / 2 + 1;
    std::vector<float> w(nBins);

    for (int b = 0; b < kBands; ++b) {
        const float lo = kEdges[b], mid = kEdges[b + 1], hi = kEdges[b + 2];
        const int kLo = binIndex(lo, df, nBins);
        const int kMid = binIndex(mid, df, nBins);
        const int kHi = binIndex(hi, df, nBins);
        std::fill(w.begin(), w.end(), 0.0f);
        for (int k = kLo; k < kMid; ++k)
            w[k] = std::max(0.0f, (static_cast<float>(k) * df - lo) / (mid - lo));
        for (int k = kMid; k < kHi; ++k)
            w[k] = std::max(0.0f, 1.0f - (static_cast<float>(k) * df - mid) / (hi - mid));
        m_bank.setWindow(b, w);
    }

    for (int c = 0; c < kPitchClasses; ++c) {
        std::fill(w.begin(), w.end(), 0.0f);
        for (int o = 0; o < kOctaves; ++o) {
            const int s = (c + 3) % 12 - 36 + 12 * o;  // semitones from 440 Hz
            const float fc = static_cast<float>(440.0 * static_cast<float>(std::pow(2.0, s / 12.0)));
            // A narrow Gaussian around the centre, normalised to unit
            // Euclidean norm before it joins the pitch class.
            auto gain = [&](int k) {
                const float r = (static_cast<float>(k) * df - fc) / fc;
                return static_cast<float>(std::exp(-3000.0 * static_cast<double>(r * r)));
            };
            float sumsq = 0.0f;
            for (int k = 0; k < nBins; ++k) {
                const float g = gain(k);
                if (g > 1e-30f)
                    sumsq += g * g;
            }
            const float norm = std::sqrt(sumsq);
            if (norm > 0.0f)
                for (int k = 0; k < nBins; ++k) {
                    const float g = gain(k);
                    if (g > 1e-30f)
                        w[k] += g / norm;
                }
        }
        m_bank.setWindow(kBands + c, w);
    }
}

std::vector<double> FrameFeatureMaker::processFrame(const std::vector<double>& samples)
{
    const size_t m = samples.size();
    const size_t n = static_cast<size_t>(m_n);
    float* frame = m_frame.get();
    if (m >= n) {
        const double* src = samples.data() + (m - n);
        for (size_t i = 0; i < n; ++i)
            frame[i] = static_cast<float>(src[i]);
    } else {
        std::memmove(frame, frame + m, sizeof(float) * (n - m));
        for (size_t i = 0; i < m; ++i)
            frame[n - m + i] = static_cast<float>(samples[i]);
    }
    m_fft->magnitude(m_magnitudes.get(), frame, m_n, -1, true, 1);
    return m_bank.apply(m_magnitudes.get()).output();
}

}  // namespace RkMir
