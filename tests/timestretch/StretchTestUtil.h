#pragma once
// Independent references and signals for the stretch engine's tests.
#include "StretchBuffer.h"
#include "StretchPlan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
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

struct Stretched {
    std::vector<float> left, right;
};

// Stretches through the front door: segment i starts at starts[i] and is
// stretched by ratios[i] (right empty: mono).
inline Stretched stretch(std::vector<float> left, std::vector<float> right, const std::vector<double>& ratios,
                         const std::vector<int32_t>& starts = {0})
{
    StretchInputView view;
    view.left = left.data();
    view.right = right.empty() ? nullptr : right.data();
    view.frames = static_cast<uint32_t>(left.size());
    view.sampleRate = 44100;
    view.bitsPerSample = 16;
    std::vector<StretchSegment> segments(ratios.size());
    std::vector<StretchSegment*> list;
    for (size_t i = 0; i < ratios.size(); ++i) {
        segments[i].ratio = ratios[i];
        segments[i].start = starts[i];
        list.push_back(&segments[i]);
    }
    StretchFormat format;
    format.tag = 2;
    StretchOutput out;
    Stretched s;
    const int result = StretchBuffer(&view, list, &format, &out);
    EXPECT_GT(result, 0);
    if (result > 0) {
        s.left.assign(out.left, out.left + result);
        if (out.right)
            s.right.assign(out.right, out.right + result);
    }
    FreeStretchOutput(&out);
    return s;
}

}  // namespace stretchtest
