#include "BeatSliceFeatures.h"
#include "FrameFeatureExtractor.h"
#include "Hpcp/CHpcp.h"
#include "Hpcp/JointHpcp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace tavi;

namespace {

boost::shared_ptr<Hpcp::CHpcp> chordEngine(int frameLength)
{
    return boost::shared_ptr<Hpcp::CHpcp>(
        new Hpcp::CHpcp(12, 6, 44100.0f, "C0", 48.0f, frameLength, false, 10, false, 3, 0, true));
}

std::vector<float> tones(size_t n)
{
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 220.0 * i / 44100.0) +
                                  0.2 * std::sin(2 * M_PI * 329.63 * i / 44100.0));
    return x;
}

}  // namespace

TEST(BeatSliceFeatures, SemitoneFramesEveryFourthBlockOnceTheWindowIsHalfFull)
{
    const int hop = 180, frame = 16384;
    std::vector<std::vector<double>> frames;
    SemitoneFrameFeatureExtractor x(hop, frame, chordEngine(frame), &frames);
    EXPECT_EQ(x.blockCounter(), -45);
    const std::vector<float> audio = tones(60 * hop);
    for (int block = 1; block <= 57; ++block) {
        x.process(audio.data() + (block - 1) * hop, hop);
        const size_t expected = block < 49 ? 0 : 1 + (block - 49) / 4;
        ASSERT_EQ(frames.size(), expected) << "after block " << block;
    }
    // The frame is the engine's semitone vector of the newest frame samples.
    auto reference = chordEngine(frame);
    std::vector<float> window(frame, 0.0f);
    std::copy(audio.begin(), audio.begin() + 57 * hop, window.end() - 57 * hop);
    reference->processFrame(window.data(), frame);
    ASSERT_EQ(frames.back().size(), 72u);
    for (int s = 0; s < 72; ++s)
        EXPECT_NEAR(frames.back()[s], reference->getBuffer(3)[s], 1e-6) << s;

    // A short block is padded with zeros.
    x.process(audio.data(), 50);
    EXPECT_EQ(std::vector<float>(x.window() + frame - hop, x.window() + frame - hop + 50),
              std::vector<float>(audio.begin(), audio.begin() + 50));
    EXPECT_TRUE(
        std::all_of(x.window() + frame - hop + 50, x.window() + frame, [](float v) { return v == 0.0f; }));

    x.reset();
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(x.blockCounter(), -45);
    EXPECT_THROW(SemitoneFrameFeatureExtractor(0, frame, chordEngine(frame), &frames), std::invalid_argument);
    EXPECT_THROW(SemitoneFrameFeatureExtractor(hop, frame, chordEngine(frame), nullptr),
                 std::invalid_argument);
}

TEST(BeatSliceFeatures, BeatsMapToFramesAndSlices)
{
    const struct {
        int position, frames, index;
    } cases[] = {{0, 10, 0}, {1, 10, 0},  {2, 10, 1},    {5, 10, 1},
                 {6, 10, 2}, {36, 10, 9}, {1000, 10, 9}, {7, 1, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(beatFrameIndex(c.position, c.frames, 4), c.index) << c.position << " of " << c.frames;

    const std::vector<FrameSlice> slices = beatSlices({0, 9, 20, 41}, 8, 4);
    EXPECT_EQ(slices, (std::vector<FrameSlice> {{0, 2}, {2, 5}, {5, 7}, {7, 8}}));
    EXPECT_EQ(beatSlices({3, 4}, 0, 4), (std::vector<FrameSlice> {{0, 0}, {0, 0}}));
    EXPECT_TRUE(beatSlices({}, 5, 4).empty());
}

TEST(BeatSliceFeatures, Reducers)
{
    // Five frames of three semitones.
    const std::vector<std::vector<double>> frames = {
        {1, 10, -2}, {4, 20, 3}, {2, 30, 1}, {8, 40, 0}, {5, 50, 7},
    };
    const FrameSlice slice {1, 5};  // frames 1..4
    auto column = [&](int s) {
        std::vector<double> c;
        for (int f = slice.first; f < slice.second; ++f)
            c.push_back(frames[f][s]);
        return c;
    };
    for (int reducer = 0; reducer <= 4; ++reducer) {
        std::vector<double> out;
        reduceSlice(frames, slice, reducer, 3, out);
        ASSERT_EQ(out.size(), 3u);
        for (int s = 0; s < 3; ++s) {
            std::vector<double> c = column(s);
            double expected = 0.0, weights = 0.0;
            switch (reducer) {
            case 0:
                std::sort(c.begin(), c.end());
                expected = c[c.size() / 2];
                break;
            case 1:
            case 2:
                for (double v : c)
                    expected += v;
                if (reducer == 2)
                    expected /= c.size();
                break;
            case 3:
                for (size_t i = 0; i < c.size(); ++i) {
                    expected += std::exp(-static_cast<double>(i) / 10.0) * c[i];
                    weights += std::exp(-static_cast<double>(i) / 10.0);
                }
                expected /= weights;
                break;
            default:
                for (double v : c)
                    expected += v * v;
                expected = std::sqrt(expected);
            }
            EXPECT_NEAR(out[s], expected, 1e-12) << "reducer " << reducer << " semitone " << s;
        }
        reduceSlice(frames, {3, 3}, reducer, 3, out);
        EXPECT_EQ(out, std::vector<double>(3, 0.0)) << "empty slice, reducer " << reducer;
    }
    std::vector<double> out;
    EXPECT_THROW(reduceSlice(frames, slice, 5, 3, out), std::invalid_argument);
}

TEST(BeatSliceFeatures, FeatureTypes)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0.0, 5.0);
    std::vector<double> s(72);
    for (double& v : s)
        v = u(rng);

    std::vector<double> joint(24);
    double trebleSum = 0.0, bassSum = 0.0;
    Hpcp::appendJointHpcp(joint.data(), &trebleSum, &bassSum, s.data(), 6, 12, 72, true);
    std::vector<double> out;
    beatFeature(s, 4, out);
    ASSERT_EQ(out.size(), 26u);
    for (int i = 0; i < 24; ++i)
        EXPECT_NEAR(out[i], joint[i], 1e-12) << i;
    EXPECT_NEAR(out[24], bassSum, 1e-12);
    EXPECT_NEAR(out[25], trebleSum, 1e-12);
    beatFeature(s, 2, out);
    EXPECT_EQ(out, joint);
    beatFeature(s, 0, out);
    EXPECT_EQ(out, std::vector<double>(joint.begin(), joint.begin() + 12));
    beatFeature(s, 1, out);
    EXPECT_EQ(out, std::vector<double>(joint.begin() + 12, joint.end()));

    beatFeature(s, 3, out);
    double norm = 0.0;
    for (double v : s)
        norm += v * v;
    for (int k = 0; k < 72; ++k)
        EXPECT_NEAR(out[k], s[k] / (std::sqrt(norm) + 0.1), 1e-12);

    // Octave powers: each semitone split between its octave and the next.
    beatFeature(s, 7, out);
    ASSERT_EQ(out.size(), 7u);
    std::vector<double> expected(7, 0.0);
    for (int k = 0; k < 72; ++k) {
        expected[k / 12 + 1] += (12.0 * (k / 12 + 1) - k) / 12.0 * s[k];
        expected[k / 12] += (k % 12) / 12.0 * s[k];
    }
    for (int o = 0; o < 7; ++o)
        EXPECT_NEAR(out[o], expected[o], 1e-9) << o;
    std::vector<double> single(72, 0.0);
    single[24] = 3.0;   // the lowest semitone of the third octave
    single[71] = 12.0;  // the top semitone
    beatFeature(single, 7, out);
    EXPECT_EQ(out, (std::vector<double> {0, 0, 0, 3, 0, 11, 1}));

    try {
        beatFeature(s, 9, out);
        FAIL() << "type 9 accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Cannot use feature other than JointHPCP or SemitonePow");
    }
    for (int type : {5, 6, 8, -1})
        EXPECT_THROW(beatFeature(s, type, out), std::invalid_argument) << type;
}
