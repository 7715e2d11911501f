// The fixed-point attack finder: its filter design, its framing of sample
// blocks, and the marks it sets for clicks.
#include "Transient/TransientDetector.h"
#include "Transient/TransientDecision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

namespace {

using Detector = std::unique_ptr<TransientDetector, void (*)(TransientDetector*)>;

Detector makeDetector()
{
    return Detector(TransientDetector::Create(), TransientDetector::Free);
}

// A decaying 3 kHz burst added at each click position, over optional noise.
std::vector<int16_t> clickTrack(int samples, const std::vector<int>& clicks, double noise = 0.0)
{
    std::mt19937 rng(11);
    std::normal_distribution<double> n(0.0, 1.0);
    std::vector<double> x(static_cast<size_t>(samples));
    for (double& v : x)
        v = noise * n(rng);
    for (int c : clicks)
        for (int j = 0; j < 400 && c + j < samples; ++j)
            x[c + j] += 12000.0 * std::exp(-j / 80.0) * std::sin(j * 0.43);
    std::vector<int16_t> out(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        out[i] = static_cast<int16_t>(std::lround(std::max(-32768.0, std::min(32767.0, x[i]))));
    return out;
}

std::vector<int> everyHalfSecond(int samples, int first)
{
    std::vector<int> clicks;
    for (int c = first; c + 400 < samples; c += 22050)
        clicks.push_back(c);
    return clicks;
}

// Feeds the signal in 32-sample blocks; returns the frame of each detection.
std::vector<int> detections(TransientDetector* d, const std::vector<int16_t>& x)
{
    std::vector<int> frames;
    for (size_t f = 0; (f + 1) * 32 <= x.size(); ++f) {
        TransientDetector::ProcessBlock(d, &x[f * 32], 32);
        if (TransientDetector::HasDetection(d, 0))
            frames.push_back(static_cast<int>(f));
    }
    return frames;
}

// Gain of a quantised record at the angle w (0 DC, pi Nyquist).
double gainAt(const TransientDetector::Biquad& r, double w)
{
    const double s = std::ldexp(1.0, r.shift - 32);
    const std::complex<double> z = std::polar(1.0, -w), z2 = z * z;
    const std::complex<double> num = s * (double(r.b0) + double(r.b1) * z + double(r.b2) * z2);
    const std::complex<double> den = 1.0 - s * (double(r.a1) * z + double(r.a2) * z2);
    return std::abs(num / den);
}

const double kPi = std::acos(-1.0);

}  // namespace

TEST(TransientBiquad, DetectorFilterIsQuantisedAsDesigned)
{
    auto d = makeDetector();
    ASSERT_TRUE(d);
    const TransientDetector::Biquad& b = d->biquad();
    EXPECT_EQ(b.shift, 3);
    EXPECT_EQ(b.b0, 79468);
    EXPECT_EQ(b.b1, 158937);
    EXPECT_EQ(b.b2, 79468);
    EXPECT_EQ(b.a1, 1055108864);
    EXPECT_EQ(b.a2, -518555840);
}

TEST(TransientBiquad, TypesHaveTheirShelfAndPassBandGains)
{
    const double V = std::pow(10.0, 6.0 / 20.0);
    struct Case {
        int type;
        float gain;
        double dc, nyquist;
    };
    const Case cases[] = {
        {1, 6.0f, 1.0, 1.0}, {1, -6.0f, 1.0, 1.0},      {2, 6.0f, 0.0, 0.0}, {2, -6.0f, 1.0, 1.0},
        {3, 6.0f, V, 1.0},   {3, -6.0f, 1.0 / V, 1.0},  {4, 6.0f, 1.0, V},   {4, -6.0f, 1.0, 1.0 / V},
        {5, 0.0f, 1.0, 0.0}, {6, 0.0f, 0.0, 1.0},       {7, 0.0f, 1.0, 0.0}, {8, 0.0f, 0.0, 1.0},
        {9, 6.0f, V, 1.0},   {9, -6.0f, 1.0 / V, 1.0},  {10, 6.0f, 1.0, V},  {10, -6.0f, 1.0, 1.0 / V},
        {11, 6.0f, V, 1.0},  {11, -6.0f, 1.0 / V, 1.0}, {12, 6.0f, 1.0, V},  {12, -6.0f, 1.0, 1.0 / V},
    };
    for (const Case& c : cases) {
        TransientDetector::Biquad r;
        TransientDetector::DesignBiquad(1.5f, 1000.0f, c.gain, c.type, &r, 44100.0f);
        EXPECT_NEAR(gainAt(r, 0.0), c.dc, 1e-3) << "type " << c.type << " gain " << c.gain;
        EXPECT_NEAR(gainAt(r, kPi), c.nyquist, 1e-3) << "type " << c.type << " gain " << c.gain;
        EXPECT_GE(r.shift, 2);
    }
    // Peaking boost: V at the centre frequency.
    TransientDetector::Biquad r;
    TransientDetector::DesignBiquad(1.5f, 11025.0f, 6.0f, 1, &r, 44100.0f);
    EXPECT_NEAR(gainAt(r, kPi / 2.0), V, 1e-3);
}

TEST(TransientBiquad, UnusableParametersGivePassThroughOrNothing)
{
    struct Case {
        float q, f0, gain;
        int type;
    };
    const Case passThrough[] = {
        {1.0f, 0.0f, 0.0f, 5},                                    // no frequency
        {1.0f, 30000.0f, 0.0f, 5},                                // above half the sample rate
        {1.0f, 1000.0f, 0.0f, 0},                                 // no such type
        {1.0f, 1000.0f, 0.0f, 13},  {1.0f, 1000.0f, -3.0f, 5},    // a pass filter refuses a cut
        {1.0f, 1000.0f, 0.0f, 1},                                 // a peak or shelf needs a gain
        {1.0f, 1000.0f, 0.0f, 12},  {1.0f, 1000.0f, 1000.0f, 1},  // gain beyond single precision
        {1.0f, 1000.0f, 600.0f, 9},                               // coefficients too large for a shift
    };
    for (const Case& c : passThrough) {
        TransientDetector::Biquad r;
        r.s1 = 5;
        TransientDetector::DesignBiquad(c.q, c.f0, c.gain, c.type, &r, 44100.0f);
        EXPECT_EQ(r.b0, 1 << 29) << c.type;
        EXPECT_EQ(r.b1 | r.b2 | r.a1 | r.a2 | r.s1 | r.s2, 0) << c.type;
        EXPECT_EQ(r.shift, 3);
        // And it passes samples through unchanged.
        const int32_t in[3] = {123 << 16, -(7 << 16), 0};
        int32_t out[3];
        TransientDetector::FilterBiquad(r, in, out, 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(out[i], in[i], 8);
    }
    TransientDetector::Biquad untouched;
    untouched.b0 = 42;
    TransientDetector::DesignBiquad(0.0f, 1000.0f, 0.0f, 5, &untouched, 44100.0f);
    EXPECT_EQ(untouched.b0, 42);
    TransientDetector::DesignBiquad(1.0f, 1000.0f, 0.0f, 5, nullptr, 44100.0f);

    // A set of small coefficients stops at shift 2 instead of overflowing.
    TransientDetector::Biquad small;
    TransientDetector::DesignBiquad(1.0f, 1000.0f, 0.0f, 7, &small, 44100.0f);
    EXPECT_GE(small.shift, 2);
    EXPECT_NEAR(gainAt(small, 0.0), 1.0, 1e-3);
}

TEST(TransientDetector, BlocksBecomeFramesAndCarriedSamples)
{
    const std::vector<int16_t> x = clickTrack(200, {10}, 300.0);
    struct Step {
        int n;
        int frames;
        int carried;
    };
    struct Case {
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {{{32, 1, 0}}},
        {{{20, 0, 20}, {32, 1, 20}}},
        {{{10, 0, 10}, {10, 0, 20}}},
        {{{31, 0, 31}, {1, 1, 0}}},
        {{{128, 4, 0}}},
        {{{129, 0, 0}}},  // too long: refused, nothing kept
        {{{20, 0, 20}, {128, 4, 20}}},
    };
    for (const Case& c : cases) {
        auto d = makeDetector();
        int at = 0;
        for (const Step& s : c.steps) {
            EXPECT_EQ(TransientDetector::ProcessBlock(d.get(), &x[at], s.n), 0);
            at += s.n;
            EXPECT_EQ(d->frameCount(), s.frames) << "after " << at;
            EXPECT_EQ(d->carriedCount(), s.carried) << "after " << at;
            EXPECT_EQ(d->writePos() - d->readPos(), s.frames);
        }
    }

    // Carried samples are the smoothed samples in arrival order, whatever
    // the split of the calls.
    auto whole = makeDetector();
    auto halves = makeDetector();
    TransientDetector::ProcessBlock(whole.get(), x.data(), 20);
    TransientDetector::ProcessBlock(halves.get(), x.data(), 10);
    TransientDetector::ProcessBlock(halves.get(), x.data() + 10, 10);
    ASSERT_EQ(halves->carriedCount(), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(halves->carried()[i], whole->carried()[i]);
    EXPECT_NE(whole->carried()[19], 0);

    // After 20 + 32 samples the frame is the one of the first 32 samples.
    auto straight = makeDetector();
    TransientDetector::ProcessBlock(straight.get(), x.data(), 32);
    TransientDetector::ProcessBlock(whole.get(), x.data() + 20, 32);
    EXPECT_EQ(whole->ratio()[0], straight->ratio()[0]);
    EXPECT_EQ(whole->level()[0], straight->level()[0]);
}

TEST(TransientDetector, LongBlocksWithCarriedSamplesMatchSteadyBlocks)
{
    // 20 samples, then 128 at a time: up to 148 samples per call go through
    // the 128-value filter arrays in pieces and give the same frames as
    // 32-sample blocks.
    const int total = 20 + 128 * 300;
    const std::vector<int16_t> x = clickTrack(total, {3000, 14000, 30000}, 200.0);
    auto steady = makeDetector();
    auto chunked = makeDetector();
    std::vector<int32_t> a, b;
    for (int f = 0; (f + 1) * 32 <= total; ++f) {
        TransientDetector::ProcessBlock(steady.get(), &x[f * 32], 32);
        a.insert(a.end(), {steady->ratio()[0], steady->rise()[0], steady->level()[0]});
    }
    TransientDetector::ProcessBlock(chunked.get(), x.data(), 20);
    for (int at = 20; at + 128 <= total; at += 128) {
        TransientDetector::ProcessBlock(chunked.get(), &x[at], 128);
        ASSERT_EQ(chunked->frameCount(), 4);
        ASSERT_EQ(chunked->carriedCount(), 20);
        for (int k = 0; k < 4; ++k)
            b.insert(b.end(), {chunked->ratio()[k], chunked->rise()[k], chunked->level()[k]});
    }
    ASSERT_EQ(b.size(), a.size());
    EXPECT_EQ(a, b);
}

TEST(TransientDetector, SilenceGivesNoMark)
{
    auto d = makeDetector();
    const std::vector<int16_t> silence(32 * 1000, 0);
    EXPECT_TRUE(detections(d.get(), silence).empty());
    EXPECT_EQ(d->ratio()[0], 0);
    EXPECT_EQ(d->rise()[0], 0);
    for (int i = 0; i < TransientDetector::kRingSize; ++i)
        ASSERT_EQ(d->ring()[i], 0);
}

TEST(TransientDetector, MarksAreAtLeast34FramesApart)
{
    // A click every 1050 samples (under 33 frames): each one is a strong
    // rise, but marks may not follow that closely.
    std::vector<int> clicks;
    for (int c = 1000; c < 32 * 2000; c += 1050)
        clicks.push_back(c);
    auto d = makeDetector();
    const std::vector<int> marks = detections(d.get(), clickTrack(32 * 2000, clicks));
    ASSERT_GT(marks.size(), 10u);
    for (size_t i = 1; i < marks.size(); ++i)
        EXPECT_GE(marks[i] - marks[i - 1], 34);
}

TEST(TransientDetector, ClickTrainGivesOneMarkPerClickAlsoAfterTheRingWraps)
{
    // Over 9000 frames, so the ring wraps; one click is placed so that its
    // mark lands on ring position 0.
    const int samples = 32 * 9300;
    for (double noise : {0.0, 60.0}) {
        SCOPED_TRACE(noise);
        std::vector<int> clicks = everyHalfSecond(samples, 20000);
        auto d = makeDetector();
        const std::vector<int16_t> x = clickTrack(samples, clicks, noise);
        std::vector<int> marks;
        std::vector<int> positions;
        for (int f = 0; (f + 1) * 32 <= samples; ++f) {
            TransientDetector::ProcessBlock(d.get(), &x[f * 32], 32);
            const bool ringMark = d->ring()[d->readPos()] > 0;
            ASSERT_EQ(TransientDetector::HasDetection(d.get(), 0), ringMark ? 1 : 0) << "frame " << f;
            // (Noise that starts from nothing is an attack of its own.)
            if (ringMark && f > clicks[0] / 32) {
                marks.push_back(f);
                positions.push_back(d->readPos());
            }
        }
        ASSERT_EQ(marks.size(), clicks.size());
        // The envelope and smoothing chain delays each mark by a few frames:
        // the rise of the ratio peaks several frames after the click starts,
        // and its peak frame is reported with the block after it. So the
        // mark cannot sit within 2 frames of the click's first sample.
        // From the second click on, the lag is the same within 2 frames; the
        // first click meets a long-term level that holds only the
        // background, which changes how the picker arms.
        double lo = 1000.0, hi = -1000.0;
        for (size_t i = 0; i < clicks.size(); ++i) {
            const double lag = marks[i] - clicks[i] / 32.0;
            EXPECT_GE(lag, 2.0) << "click " << i;
            EXPECT_LE(lag, 10.0) << "click " << i;
            EXPECT_EQ(positions[i], marks[i] % TransientDetector::kRingSize);
            if (i > 0) {
                lo = std::min(lo, lag);
                hi = std::max(hi, lag);
            }
        }
        EXPECT_LE(hi - lo, 2.0);
        EXPECT_GT(marks.back(), TransientDetector::kRingSize);
    }

    // A mark on ring position 0 (frame 8320) is reported.
    const int lag = 8;
    std::vector<int> clicks = {5000, (8320 - lag) * 32 + 8};
    auto d = makeDetector();
    const std::vector<int> found = detections(d.get(), clickTrack(samples, clicks));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1], 8320);
}

TEST(TransientDetector, FirstBlockAfterWrapAndNoFrameCalls)
{
    auto d = makeDetector();
    const std::vector<int16_t> silence(32, 0);
    for (int f = 0; f < TransientDetector::kRingSize; ++f)
        TransientDetector::ProcessBlock(d.get(), silence.data(), 32);
    EXPECT_EQ(d->writePos(), TransientDetector::kRingSize);
    TransientDetector::ProcessBlock(d.get(), silence.data(), 32);
    EXPECT_EQ(d->readPos(), 0);
    EXPECT_EQ(d->writePos(), 1);

    // A call that makes no frame has nothing to report.
    TransientDetector::ProcessBlock(d.get(), silence.data(), 10);
    EXPECT_EQ(d->frameCount(), 0);
    EXPECT_EQ(TransientDetector::HasDetection(d.get(), 0), 0);

    EXPECT_EQ(TransientDetector::Reset(d.get()), 0);
    EXPECT_EQ(d->writePos(), 0);
    EXPECT_EQ(d->readPos(), 0);
    EXPECT_EQ(d->carriedCount(), 10);  // the stages keep their state

    EXPECT_EQ(TransientDetector::Reset(nullptr), -1);
    EXPECT_EQ(TransientDetector::HasDetection(nullptr, 0), 0);
    EXPECT_EQ(TransientDetector::ProcessBlock(nullptr, silence.data(), 32), 0);
    TransientDetector::Free(nullptr);
}

namespace {

// Runs the peak picker over frames whose level is 8192 (1.0) throughout, so
// from frame 1 on the mark threshold T1 is 8929 and the arming threshold T2
// 9666. Either all frames in one call or one frame per call.
std::vector<int32_t> pick(const std::vector<int32_t>& ratio, const std::vector<int32_t>& rise,
                          bool framePerCall = false)
{
    TransientDetector::Decision picker;
    picker.initialise(32);
    const int n = static_cast<int>(ratio.size());
    const std::vector<int32_t> level(ratio.size(), 8192);
    std::vector<int32_t> marks(ratio.size(), -1);
    if (framePerCall) {
        for (int k = 0; k < n; ++k)
            EXPECT_EQ(picker.process(&ratio[k], &level[k], &rise[k], 1, &marks[k]), 0);
    } else {
        EXPECT_EQ(picker.process(ratio.data(), level.data(), rise.data(), n, marks.data()), 0);
    }
    return marks;
}

// A rise of 200, 400, 300 starting at frame `at` over a ratio of 9000 (under
// T2, at or above T1): armed, and marked at its peak frame at + 1.
void addBump(std::vector<int32_t>& rise, int at)
{
    rise[at] = 200;
    rise[at + 1] = 400;
    rise[at + 2] = 300;
}

}  // namespace

TEST(TransientPeakPicker, MarksFollowTheStateTable)
{
    struct Case {
        const char* what;
        std::vector<int32_t> ratio, rise;
        int markAt;  // -1: no mark
        int32_t value;
    };
    const Case cases[] = {
        {"armed rise turns down: its peak is marked with its ratio",
         {5000, 5000, 6000, 9000, 10000, 10500, 10500},
         {0, 0, 200, 400, 300, 0, 0},
         3,
         9000},
        {"armed rise turns down below T1: no mark",
         {5000, 5000, 6000, 7000, 8000, 8000, 8000},
         {0, 0, 200, 400, 300, 0, 0},
         -1,
         0},
        {"armed rise dies away: its peak is marked",
         {5000, 5000, 6000, 9000, 10000, 10000},
         {0, 0, 200, 400, 50, 0},
         3,
         9000},
        {"equal rises hold the rising state",
         {5000, 5000, 6000, 7000, 9500, 9500, 9500},
         {0, 0, 200, 200, 200, 100, 0},
         4,
         9500},
        {"rise from above T2 only pends: dying away marks nothing",
         {10000, 10000, 11000, 12000, 12500, 12500},
         {0, 0, 200, 400, 50, 0},
         -1,
         0},
        {"pending rise arms when it turns down",
         {10000, 10000, 11000, 12000, 12500, 12500},
         {0, 0, 200, 400, 300, 0},
         3,
         12000},
        {"pending rise arms when the ratio drops under T2 while rising",
         {10000, 10000, 11000, 9000, 9500, 9500, 9500},
         {0, 0, 200, 400, 500, 50, 0},
         4,
         9500},
        {"falling, then a new rise from under T2 marks the frame before",
         {5000, 5000, 6000, 7000, 9000, 9000},
         {0, 0, 300, 200, 250, 0},
         3,
         7000},
        {"rises up to the floor of 80 are ignored",
         {5000, 5000, 9000, 9000, 10000, 10000},
         {0, 0, 80, 80, 40, 0},
         -1,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<int32_t> marks = pick(c.ratio, c.rise);
        for (int k = 0; k < static_cast<int>(marks.size()); ++k)
            EXPECT_EQ(marks[k], k == c.markAt ? c.value : 0) << "frame " << k;

        // Fed one frame per call, the picker decides on the same frame but
        // writes the peak as mark 0 of the current call: one frame later.
        const std::vector<int32_t> single = pick(c.ratio, c.rise, true);
        for (int k = 0; k < static_cast<int>(single.size()); ++k)
            EXPECT_EQ(single[k], k == c.markAt + 1 && c.markAt >= 0 ? c.value : 0) << "frame " << k;
    }
}

TEST(TransientPeakPicker, RefractoryTimeIs34FramesAndCountsAreChecked)
{
    // The first peak is marked at once; a second one 33 frames later is not,
    // one 34 frames later is.
    for (int gap : {20, 33, 34, 40}) {
        std::vector<int32_t> rise(60, 0);
        addBump(rise, 2);
        addBump(rise, 2 + gap);
        const std::vector<int32_t> marks = pick(std::vector<int32_t>(60, 9000), rise);
        std::vector<int> at;
        for (int k = 0; k < 60; ++k)
            if (marks[k] != 0)
                at.push_back(k);
        const std::vector<int> expected = gap >= 34 ? std::vector<int> {3, 3 + gap} : std::vector<int> {3};
        EXPECT_EQ(at, expected) << "gap " << gap;
    }

    TransientDetector::Decision picker;
    picker.initialise(32);
    int32_t v[129] = {};
    EXPECT_EQ(picker.process(v, v, v, 129, v), -1);
    EXPECT_EQ(picker.process(v, v, v, -1, v), -1);
    EXPECT_EQ(picker.process(v, v, v, 0, v), 0);
}
