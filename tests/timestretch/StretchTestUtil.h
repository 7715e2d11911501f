#pragma once
// Independent references and signals for the stretch engine's tests.
#include <cmath>
#include <random>
#include <vector>

namespace stretchtest {

constexpr double kPi = 3.14159265358979323846;

// The packed forward layout by the naive DFT: a[0] = R[0], a[1] = R[n/2],
// a[2k] = R[k], a[2k+1] = I[k], R = sum x cos(2 pi jk/n), I = sum x sin(...).
inline std::vector<double> naivePackedDft(const std::vector<double>& x)
{
    const size_t n = x.size();
    std::vector<double> a(n);
    for (size_t k = 0; k <= n / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (size_t j = 0; j < n; ++j) {
            const double ang = 2.0 * kPi * static_cast<double>((j * k) % n) / static_cast<double>(n);
            re += x[j] * std::cos(ang);
            im += x[j] * std::sin(ang);
        }
        if (k == 0)
            a[0] = re;
        else if (k == n / 2)
            a[1] = re;
        else {
            a[2 * k] = re;
            a[2 * k + 1] = im;
        }
    }
    return a;
}

inline std::vector<float> sine(int n, double frequency, double rate, double amplitude, double phase = 0.0)
{
    std::vector<float> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        x[static_cast<size_t>(i)] =
            static_cast<float>(amplitude * std::sin(2.0 * kPi * frequency * i / rate + phase));
    return x;
}

// Uniform noise in [-amplitude, amplitude), the same for the same seed.
inline std::vector<float> noise(int n, unsigned seed, float amplitude)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-amplitude, amplitude);
    std::vector<float> x(static_cast<size_t>(n));
    for (float& v : x)
        v = d(rng);
    return x;
}

// Root mean square of x[from .. to).
inline double rms(const std::vector<float>& x, size_t from, size_t to)
{
    double s = 0.0;
    for (size_t i = from; i < to; ++i)
        s += static_cast<double>(x[i]) * x[i];
    return std::sqrt(s / static_cast<double>(to - from));
}

}  // namespace stretchtest

namespace stretchtest {

// A steady chord: the given fundamentals with harmonics 1/h below `ceiling`
// Hz, from `start` to `end` seconds inside `seconds` of silence, amplitude
// scaled so the peak stays near `peak`.
inline std::vector<float> chord(const std::vector<double>& fundamentals, double ceiling, double seconds,
                                double start, double end, double rate, double peak)
{
    const int n = static_cast<int>(seconds * rate);
    std::vector<double> y(static_cast<size_t>(n), 0.0);
    double amplitude = 0.0;
    for (double f : fundamentals) {
        for (int h = 1; h * f < ceiling; ++h) {
            amplitude += 1.0 / h;
            const double phase = 0.7 * h + f;
            for (int i = static_cast<int>(start * rate); i < static_cast<int>(end * rate); ++i)
                y[static_cast<size_t>(i)] += std::sin(2.0 * kPi * h * f * i / rate + phase) / h;
        }
    }
    std::vector<float> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        x[static_cast<size_t>(i)] = static_cast<float>(y[static_cast<size_t>(i)] * peak / amplitude);
    return x;
}

}  // namespace stretchtest

namespace stretchtest {

// Three-sample clicks of the given height at the given sample positions,
// over digital silence.
inline std::vector<float> clicks(int n, const std::vector<int>& at, float height)
{
    std::vector<float> x(static_cast<size_t>(n), 0.0f);
    for (int p : at) {
        for (int i = 0; i < 3 && p + i < n; ++i)
            x[static_cast<size_t>(p + i)] = i == 1 ? -height : height;
    }
    return x;
}

// A drum loop: kick on beats 1 and 3, snare on 2 and 4, a hi-hat on every
// eighth note, at `bpm`. Returns the samples; `hits` gets the onset of every
// eighth note in samples.
inline std::vector<float> drumLoop(double bpm, int bars, double rate, std::vector<int>& hits,
                                   unsigned seed = 1)
{
    const double eighth = 60.0 / bpm / 2.0;
    const int n = static_cast<int>((bars * 8 + 2) * eighth * rate);
    std::vector<double> y(static_cast<size_t>(n), 0.0);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    hits.clear();
    for (int e = 0; e < bars * 8; ++e) {
        const int start = static_cast<int>((e + 0.5) * eighth * rate);
        hits.push_back(start);
        double previous = 0.0;
        const int length = static_cast<int>(0.2 * rate), fade = static_cast<int>(0.02 * rate);
        for (int i = 0; i < length && start + i < n; ++i) {
            const double t = i / rate;
            // Each hit fades out smoothly: a cut-off would be a click of its own.
            const double tail =
                i < length - fade ? 1.0 : 0.5 + 0.5 * std::cos(kPi * (i - length + fade) / fade);
            double v = 0.0;
            // Hi-hat: high-passed noise, 40 ms.
            const double white = noise(rng);
            v += 0.25 * (white - previous) * std::exp(-t / 0.012);
            previous = white;
            if (e % 4 == 0)  // kick: a falling sine
                v += std::sin(2.0 * kPi * (50.0 * t + 60.0 * 0.03 * (1.0 - std::exp(-t / 0.03)))) *
                     std::exp(-t / 0.06);
            if (e % 4 == 2)  // snare: noise and a tone
                v += (0.6 * noise(rng) + 0.4 * std::sin(2.0 * kPi * 190.0 * t)) * std::exp(-t / 0.04);
            y[static_cast<size_t>(start + i)] += v * tail;
        }
    }
    std::vector<float> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        x[static_cast<size_t>(i)] = static_cast<float>(14000.0 * y[static_cast<size_t>(i)]);
    return x;
}

}  // namespace stretchtest
