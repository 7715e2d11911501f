#pragma once
// What a listener checks in stretched audio, measured: levels, partials
// (level and frequency frame by frame), energy away from the partials,
// click placement and smear, onsets, band levels per channel. Shared by the
// sound tests and bench/stretch.cpp; everything is computed here from the
// samples alone (direct DFT sums for partials, a plain radix-2 FFT for
// spectra), so the engine's own transforms are not used to judge it.
//
// Samples are floats in any unit; rates in Hz; positions in samples.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace stretchsound {

constexpr double kPi = 3.14159265358979323846;

inline double db(double ratio)
{
    return 20.0 * std::log10(std::max(ratio, 1e-30));
}

// Root mean square of x[from, to) (clamped to x).
inline double rms(const std::vector<float>& x, int64_t from, int64_t to)
{
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, static_cast<int64_t>(x.size()));
    if (to <= from)
        return 0.0;
    double s = 0.0;
    for (int64_t i = from; i < to; ++i)
        s += static_cast<double>(x[static_cast<size_t>(i)]) * x[static_cast<size_t>(i)];
    return std::sqrt(s / static_cast<double>(to - from));
}

// Levels in dB of consecutive windows of `window` samples over [from, to).
inline std::vector<double> windowLevels(const std::vector<float>& x, int64_t from, int64_t to, int64_t window)
{
    std::vector<double> levels;
    for (int64_t at = from; at + window <= to; at += window)
        levels.push_back(db(rms(x, at, at + window)));
    return levels;
}

inline double spread(const std::vector<double>& v)
{
    if (v.empty())
        return 0.0;
    const auto mm = std::minmax_element(v.begin(), v.end());
    return *mm.second - *mm.first;
}

// In-place radix-2 complex FFT (n a power of two).
inline void fft(std::vector<std::complex<double>>& a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * kPi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

inline std::vector<double> hann(int n)
{
    std::vector<double> w(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        w[static_cast<size_t>(i)] = 0.5 - 0.5 * std::cos(2.0 * kPi * i / n);
    return w;
}

// 4-term Blackman-Harris (sidelobes near -92 dB).
inline std::vector<double> blackmanHarris(int n)
{
    std::vector<double> w(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double x = 2.0 * kPi * i / n;
        w[static_cast<size_t>(i)] =
            0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    }
    return w;
}

// Power spectrum (n / 2 + 1 bins) averaged over frames of n samples
// (hop n / 2) of x[from, to), with window w.
inline std::vector<double> averagePower(const std::vector<float>& x, int64_t from, int64_t to, int n,
                                        const std::vector<double>& w)
{
    std::vector<double> power(static_cast<size_t>(n / 2 + 1), 0.0);
    std::vector<std::complex<double>> a(static_cast<size_t>(n));
    int frames = 0;
    for (int64_t at = std::max<int64_t>(from, 0);
         at + n <= std::min<int64_t>(to, static_cast<int64_t>(x.size())); at += n / 2) {
        for (int i = 0; i < n; ++i)
            a[static_cast<size_t>(i)] = x[static_cast<size_t>(at + i)] * w[static_cast<size_t>(i)];
        fft(a);
        for (int k = 0; k <= n / 2; ++k)
            power[static_cast<size_t>(k)] += std::norm(a[static_cast<size_t>(k)]);
        ++frames;
    }
    for (double& p : power)
        p /= std::max(frames, 1);
    return power;
}

// Level of a band [lo, hi) Hz in a power spectrum of n-point frames.
inline double bandPower(const std::vector<double>& power, int n, double rate, double lo, double hi)
{
    double s = 0.0;
    for (size_t k = 0; k < power.size(); ++k) {
        const double f = static_cast<double>(k) * rate / n;
        if (f >= lo && f < hi)
            s += power[k];
    }
    return s;
}

// Partials followed over Hann frames of n samples (hop n / 2) of
// x[from, to): per partial the spread of its level (dB, peak to peak), its
// mean level and its largest frequency error against the given frequency.
// Each frame reads the DTFT at the partial's frequency: the level from its
// magnitude, the frequency from the phase advance between frames (so that
// a neighbour's leakage biases the reading by hundredths of a hertz, not by
// the slope of a shifted peak).
struct PartialTrack {
    double levelSpreadDb = 0.0;
    double meanLevelDb = 0.0;
    double worstFrequencyError = 0.0;
};

inline std::vector<PartialTrack> trackPartials(const std::vector<float>& x, int64_t from, int64_t to, int n,
                                               const std::vector<double>& partials, double rate)
{
    const std::vector<double> w = hann(n);
    double windowSum = 0.0;
    for (double v : w)
        windowSum += v;
    const int hop = n / 2;
    std::vector<PartialTrack> tracks(partials.size());
    for (size_t p = 0; p < partials.size(); ++p) {
        const double f = partials[p];
        std::vector<std::complex<double>> rotation(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            rotation[static_cast<size_t>(i)] =
                w[static_cast<size_t>(i)] * std::polar(1.0, -2.0 * kPi * f * i / rate);
        std::vector<double> levels;
        std::complex<double> previous(0.0);
        bool first = true;
        double worst = 0.0, sum = 0.0;
        for (int64_t at = std::max<int64_t>(from, 0);
             at + n <= std::min<int64_t>(to, static_cast<int64_t>(x.size())); at += hop) {
            std::complex<double> s(0.0);
            for (int i = 0; i < n; ++i)
                s += static_cast<double>(x[static_cast<size_t>(at + i)]) * rotation[static_cast<size_t>(i)];
            // Referred to absolute time, a steady partial keeps its phase.
            s *= std::polar(1.0, -2.0 * kPi * f * static_cast<double>(at) / rate);
            levels.push_back(db(2.0 * std::abs(s) / windowSum));
            sum += levels.back();
            if (!first) {
                const double advance = std::arg(s / previous);
                worst = std::max(worst, std::fabs(advance / (2.0 * kPi * hop / rate)));
            }
            previous = s;
            first = false;
        }
        tracks[p].levelSpreadDb = spread(levels);
        tracks[p].meanLevelDb = levels.empty() ? -600.0 : sum / static_cast<double>(levels.size());
        tracks[p].worstFrequencyError = worst;
    }
    return tracks;
}

// Energy further than `distanceHz` from every partial against the total, in
// dB, from the Blackman-Harris power spectrum of x[from, to).
inline double energyAwayFromPartials(const std::vector<float>& x, int64_t from, int64_t to,
                                     const std::vector<double>& partials, double distanceHz, double rate)
{
    const int n = 16384;
    const std::vector<double> power = averagePower(x, from, to, n, blackmanHarris(n));
    double total = 0.0, away = 0.0;
    for (size_t k = 0; k < power.size(); ++k) {
        const double f = static_cast<double>(k) * rate / n;
        total += power[k];
        bool near = false;
        for (double p : partials)
            near = near || std::fabs(f - p) <= distanceHz;
        if (!near)
            away += power[k];
    }
    return 10.0 * std::log10(std::max(away, 1e-300) / std::max(total, 1e-300));
}

// Onsets by spectral flux: log-compressed magnitudes of Hann frames of 1024
// samples every 128, the positive change summed over bins, peaks above a
// moving median by `delta` (relative to the largest flux), at least 50 ms
// apart. Positions are frame centres in samples.
inline std::vector<int64_t> detectOnsets(const std::vector<float>& x, double rate, double delta = 0.06)
{
    const int n = 1024, hop = 128;
    const std::vector<double> w = hann(n);
    std::vector<std::complex<double>> a(static_cast<size_t>(n));
    std::vector<double> previous(static_cast<size_t>(n / 2 + 1), 0.0), flux;
    double peakValue = 0.0;
    for (int64_t at = -n / 2; at + n / 2 < static_cast<int64_t>(x.size()); at += hop) {
        for (int i = 0; i < n; ++i) {
            const int64_t j = at + i;
            const double v = (j >= 0 && j < static_cast<int64_t>(x.size())) ? x[static_cast<size_t>(j)] : 0.0;
            a[static_cast<size_t>(i)] = v * w[static_cast<size_t>(i)];
        }
        fft(a);
        double f = 0.0;
        for (int k = 0; k <= n / 2; ++k) {
            const double m = std::log1p(1000.0 * std::abs(a[static_cast<size_t>(k)]) / n);
            f += std::max(0.0, m - previous[static_cast<size_t>(k)]);
            previous[static_cast<size_t>(k)] = m;
        }
        flux.push_back(f);
        peakValue = std::max(peakValue, f);
    }
    std::vector<int64_t> onsets;
    const int before = 8, after = 8;
    const int64_t minimumGap = static_cast<int64_t>(0.05 * rate);
    for (int i = 0; i < static_cast<int>(flux.size()); ++i) {
        const int lo = std::max(0, i - before), hi = std::min(static_cast<int>(flux.size()) - 1, i + after);
        bool top = true;
        for (int j = lo; j <= hi && top; ++j)
            top = !(flux[static_cast<size_t>(j)] > flux[static_cast<size_t>(i)]);
        if (!top)
            continue;
        std::vector<double> around(flux.begin() + std::max(0, i - 20),
                                   flux.begin() + std::min(static_cast<int>(flux.size()), i + 21));
        std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
        if (flux[static_cast<size_t>(i)] < around[around.size() / 2] + delta * peakValue)
            continue;
        const int64_t position = static_cast<int64_t>(i) * hop;
        if (!onsets.empty() && position - onsets.back() < minimumGap)
            continue;
        onsets.push_back(position);
    }
    return onsets;
}

// Level of channel a against channel b (dB) in the band [lo, hi) Hz.
inline double channelBandRatioDb(const std::vector<float>& a, const std::vector<float>& b, double lo,
                                 double hi, double rate)
{
    const int n = 4096;
    const std::vector<double> w = hann(n);
    const std::vector<double> pa = averagePower(a, 0, static_cast<int64_t>(a.size()), n, w);
    const std::vector<double> pb = averagePower(b, 0, static_cast<int64_t>(b.size()), n, w);
    return 10.0 *
           std::log10(bandPower(pa, n, rate, lo, hi) / std::max(bandPower(pb, n, rate, lo, hi), 1e-300));
}

// Fourth-order Butterworth high-pass (two biquads).
inline std::vector<float> highPass(std::vector<float> x, double cutoff, double rate)
{
    for (const double q : {0.5411961, 1.3065630}) {
        const double w = 2.0 * kPi * cutoff / rate, alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
        const double a0 = 1.0 + alpha, b0 = (1.0 + c) / 2.0 / a0, b1 = -(1.0 + c) / a0, b2 = b0,
                     a1 = -2.0 * c / a0, a2 = (1.0 - alpha) / a0;
        double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
        for (float& v : x) {
            const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = v;
            y2 = y1;
            y1 = y;
            v = static_cast<float>(y);
        }
    }
    return x;
}

// The longest run of exact zeros in x[from, to).
inline int64_t longestSilence(const std::vector<float>& x, int64_t from, int64_t to)
{
    int64_t longest = 0, run = 0;
    for (int64_t i = std::max<int64_t>(from, 0); i < std::min<int64_t>(to, static_cast<int64_t>(x.size()));
         ++i) {
        run = x[static_cast<size_t>(i)] == 0.0f ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// The level of every window of `period` samples inside x[from, to) (one
// window starting at each sample) against the RMS `reference`: the
// deviation in dB farthest from 0, signed (0 without a whole window).
inline double worstWindowLevelDb(const std::vector<float>& x, int64_t from, int64_t to, int64_t period,
                                 double reference)
{
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, static_cast<int64_t>(x.size()));
    double worst = 0.0, energy = 0.0;
    for (int64_t i = from; i < to; ++i) {
        energy += static_cast<double>(x[static_cast<size_t>(i)]) * x[static_cast<size_t>(i)];
        if (i - period >= from)
            energy -=
                static_cast<double>(x[static_cast<size_t>(i - period)]) * x[static_cast<size_t>(i - period)];
        if (i + 1 - from < period)
            continue;
        const double level = db(std::sqrt(std::max(energy, 0.0) / static_cast<double>(period)) / reference);
        if (std::fabs(level) > std::fabs(worst))
            worst = level;
    }
    return worst;
}

// How a sustained sound's stretch ends, against its own steady state over
// the last 0.5 s to 0.1 s: the level of every window of one `period` in the
// last 10 ms (worstWindowLevelDb), the largest sample there over the
// steady peak (0.02: 2 % above it), and the run of exact zeros ending x.
struct TailFigures {
    double worstLevelDb = 0.0;
    double peakRise = 0.0;
    int64_t trailingZeros = 0;
};

inline TailFigures tailFigures(const std::vector<float>& x, int64_t period, double rate)
{
    TailFigures f;
    const auto n = static_cast<int64_t>(x.size());
    const auto at = [&](double seconds) { return n - static_cast<int64_t>(seconds * rate); };
    const double steady = rms(x, at(0.5), at(0.1));
    float steadyPeak = 0.0f, tailPeak = 0.0f;
    for (int64_t i = std::max<int64_t>(at(0.5), 0); i < at(0.1); ++i)
        steadyPeak = std::max(steadyPeak, std::fabs(x[static_cast<size_t>(i)]));
    for (int64_t i = std::max<int64_t>(at(0.01), 0); i < n; ++i)
        tailPeak = std::max(tailPeak, std::fabs(x[static_cast<size_t>(i)]));
    f.worstLevelDb = worstWindowLevelDb(x, at(0.01), n, period, steady);
    f.peakRise = steadyPeak > 0.0f ? tailPeak / steadyPeak - 1.0 : 0.0;
    for (int64_t i = n - 1; i >= 0 && x[static_cast<size_t>(i)] == 0.0f; --i)
        ++f.trailingZeros;
    return f;
}

// A steady sound of partials (Hz, 16-bit amplitudes, each its own phase).
inline std::vector<float> partialSound(const std::vector<double>& partials,
                                       const std::vector<double>& amplitudes, int64_t frames, double rate)
{
    std::vector<float> x(static_cast<size_t>(frames), 0.0f);
    for (size_t p = 0; p < partials.size(); ++p) {
        const double phase = 0.3 + 1.1 * static_cast<double>(p);
        for (int64_t i = 0; i < frames; ++i)
            x[static_cast<size_t>(i)] += static_cast<float>(
                amplitudes[p] * std::sin(2.0 * kPi * partials[p] * static_cast<double>(i) / rate + phase));
    }
    return x;
}

// Tones one after another (each `seconds` long, 10 ms fades, continuous
// phase) at 16-bit level `amplitude`.
inline std::vector<float> toneSequence(const std::vector<double>& frequencies, double seconds,
                                       double amplitude, double rate)
{
    const auto each = static_cast<int64_t>(seconds * rate);
    const auto fade = static_cast<int64_t>(0.01 * rate);
    std::vector<float> x(static_cast<size_t>(each) * frequencies.size(), 0.0f);
    double phase = 0.0;
    for (size_t t = 0; t < frequencies.size(); ++t) {
        for (int64_t i = 0; i < each; ++i) {
            const double g =
                std::min(1.0, static_cast<double>(std::min(i, each - 1 - i)) / static_cast<double>(fade));
            phase += 2.0 * kPi * frequencies[t] / rate;
            x[static_cast<size_t>(static_cast<int64_t>(t) * each + i)] =
                static_cast<float>(amplitude * g * std::sin(phase));
        }
    }
    return x;
}

// A sustained chord: MIDI notes with `harmonics` partials each (amplitude
// `amplitude` / k), every partial with its own starting phase. The partial
// frequencies go to `partials` (sorted).
inline std::vector<float> chord(const std::vector<int>& notes, int harmonics, double seconds,
                                double amplitude, double rate, std::vector<double>& partials)
{
    const auto n = static_cast<size_t>(seconds * rate);
    std::vector<float> x(n, 0.0f);
    partials.clear();
    for (int m : notes) {
        const double f0 = 440.0 * std::pow(2.0, (m - 69) / 12.0);
        for (int k = 1; k <= harmonics; ++k) {
            const double f = f0 * k, phase = 0.37 * m * k;
            partials.push_back(f);
            for (size_t i = 0; i < n; ++i)
                x[i] += static_cast<float>(amplitude / k *
                                           std::sin(2.0 * kPi * f * static_cast<double>(i) / rate + phase));
        }
    }
    std::sort(partials.begin(), partials.end());
    return x;
}

constexpr double kSpanRate = 44100.0;

// One channel's stretch of samples under a Hann window: its spectrum read
// at any frequency (amplitude scale: a steady partial's own amplitude at
// its peak) and the frequency of the highest peak in a range (to a few
// ten-thousandths of a hertz for a steady partial on its own).
class WindowedSpan {
public:
    WindowedSpan(const std::vector<float>& x, int64_t from, int64_t length)
    {
        from = std::max<int64_t>(from, 0);
        length = std::max<int64_t>(0, std::min<int64_t>(length, static_cast<int64_t>(x.size()) - from));
        const std::vector<double> w = hann(static_cast<int>(length));
        m_samples.resize(static_cast<size_t>(length));
        double sum = 0.0;
        for (int64_t i = 0; i < length; ++i) {
            m_samples[static_cast<size_t>(i)] =
                w[static_cast<size_t>(i)] * static_cast<double>(x[static_cast<size_t>(from + i)]);
            sum += w[static_cast<size_t>(i)];
        }
        m_scale = sum > 0.0 ? 2.0 / sum : 0.0;
        m_padded = 1;
        while (m_padded < 2 * length)
            m_padded *= 2;
        std::vector<std::complex<double>> a(static_cast<size_t>(m_padded));
        for (size_t i = 0; i < m_samples.size(); ++i)
            a[i] = m_samples[i];
        fft(a);
        m_magnitude.resize(a.size() / 2);
        for (size_t k = 0; k < m_magnitude.size(); ++k)
            m_magnitude[k] = std::abs(a[k]);
    }

    int64_t length() const { return static_cast<int64_t>(m_samples.size()); }

    // The value at f Hz: a steady partial's own amplitude and phase there.
    std::complex<double> at(double f) const
    {
        const std::complex<double> step = std::polar(1.0, -2.0 * kPi * f / kSpanRate);
        std::complex<double> z(1.0), s(0.0);
        for (size_t i = 0; i < m_samples.size(); ++i) {
            s += m_samples[i] * z;
            z *= step;
            if ((i & 1023) == 1023)
                z /= std::abs(z);
        }
        return m_scale * s;
    }

    // The frequency of the highest peak in [low, high] Hz.
    double peak(double low, double high) const
    {
        const double bin = kSpanRate / static_cast<double>(m_padded);
        auto best = static_cast<size_t>(std::ceil(low / bin));
        for (auto k = best; static_cast<double>(k) * bin <= high && k < m_magnitude.size(); ++k) {
            if (m_magnitude[k] > m_magnitude[best])
                best = k;
        }
        // Golden-section search between the neighbouring bins.
        double a = (static_cast<double>(best) - 1.0) * bin, b = (static_cast<double>(best) + 1.0) * bin;
        const double g = 0.5 * (std::sqrt(5.0) - 1.0);
        double c = b - g * (b - a), d = a + g * (b - a);
        double fc = std::abs(at(c)), fd = std::abs(at(d));
        while (b - a > 1e-4) {
            if (fc > fd) {
                b = d;
                d = c;
                fd = fc;
                c = b - g * (b - a);
                fc = std::abs(at(c));
            } else {
                a = c;
                c = d;
                fc = fd;
                d = a + g * (b - a);
                fd = std::abs(at(d));
            }
        }
        return 0.5 * (a + b);
    }

private:
    std::vector<double> m_samples, m_magnitude;
    double m_scale = 0.0;
    int64_t m_padded = 1;
};

}  // namespace stretchsound
