#include "StretchBuffer.h"

#include "StretchPlan.h"
#include "StretchTestUtil.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Segments of the given lengths and ratios, back to back from 0.
struct Segments {
    std::vector<StretchSegment> records;
    std::vector<StretchSegment*> list;
    Segments(const std::vector<int32_t>& lengths, const std::vector<double>& ratios)
    {
        int32_t start = 0;
        records.resize(lengths.size());
        for (size_t i = 0; i < lengths.size(); ++i) {
            records[i].ratio = ratios[i];
            records[i].start = start;
            records[i].length = lengths[i];
            records[i].end = start + lengths[i];
            records[i].outputLength = static_cast<int32_t>(std::ceil(lengths[i] * ratios[i]));
            start += lengths[i];
            list.push_back(&records[i]);
        }
    }
};

StretchInputView viewOf(std::vector<float>& left, std::vector<float>* right)
{
    StretchInputView v;
    v.left = left.data();
    v.right = right ? right->data() : nullptr;
    v.frames = static_cast<uint32_t>(left.size());
    v.sampleRate = 44100;
    v.bitsPerSample = 16;
    return v;
}

TEST(StretchBuffer, StretchesMonoAndStereoRuns)
{
    std::vector<float> left = stretchtest::sine(3 * 44100, 330.0, 44100.0, 5000.0);
    std::vector<float> right = stretchtest::sine(3 * 44100, 550.0, 44100.0, 5000.0);
    // Three segments of 44100 frames start at 0, 1/3 and 2/3 of the run: the
    // engine's length follows from those fractions.
    Segments three({44100, 44100, 44100}, {0.5, 1.0, 2.0});
    for (bool stereo : {false, true}) {
        SCOPED_TRACE(stereo ? "stereo" : "mono");
        StretchInputView view = viewOf(left, stereo ? &right : nullptr);
        StretchFormat format;
        format.tag = 2;
        StretchOutput out;
        const int result = StretchBuffer(&view, three.list, &format, &out);
        EXPECT_EQ(result, 154350);
        EXPECT_EQ(out.frames, 154350u);
        EXPECT_NE(out.left, nullptr);
        EXPECT_EQ(out.right != nullptr, stereo);
        FreeStretchOutput(&out);
    }
}

TEST(StretchBuffer, MapsFormatModesAndRefusals)
{
    std::vector<float> x = stretchtest::sine(22050, 330.0, 44100.0, 5000.0);
    StretchInputView view = viewOf(x, nullptr);
    Segments one({22050}, {1.2});
    struct Case {
        const char* what;
        uint16_t mode;
        bool withLeft;
        int result;
    } cases[] = {
        {"mode 0: two bands", 0, true, 26460},
        {"mode 1: one band", 1, true, 26460},
        {"mode 2", 2, true, -2},
        {"no left channel", 0, false, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StretchInputView v = view;
        if (!c.withLeft)
            v.left = nullptr;
        StretchFormat format;
        format.tag = 2;
        format.mode = c.mode;
        StretchOutput out;
        EXPECT_EQ(StretchBuffer(&v, one.list, &format, &out), c.result);
        EXPECT_EQ(out.left != nullptr, c.result > 0);
        FreeStretchOutput(&out);
    }

    StretchFormat format;
    format.tag = 2;
    StretchOutput out;
    EXPECT_THROW(StretchBuffer(&view, {}, &format, &out), int);
    try {
        StretchBuffer(&view, {}, &format, &out);
    } catch (int code) {
        EXPECT_EQ(code, -2);
    }
    // A ratio outside [0.5, 2.0] is the engine's refusal.
    Segments tooLong({22050}, {2.94});
    EXPECT_EQ(StretchBuffer(&view, tooLong.list, &format, &out), -2);
    EXPECT_EQ(out.left, nullptr);
}

TEST(StretchBuffer, MapsEngineOutcomes)
{
    const std::pair<int32_t, int> cases[] = {{-1, 0}, {1, -1}, {2, -2}, {-2, -2}, {7, -2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(StretchResultOf(c.first), c.second);
    }
}

TEST(StretchSegments, TurnsAThrownRefusalIntoMinusOne)
{
    // A changing segment over a view without frames: the front door throws
    // -2, which the render reports as -1.
    std::vector<float> none(1, 0.0f);
    StretchInputView view = viewOf(none, nullptr);
    view.frames = 0;
    StretchSegment empty;
    empty.ratio = 1.5;
    empty.outputLength = 10;
    std::vector<StretchSegment*> list {&empty};
    StretchFormat format;
    format.tag = 2;
    StretchOutput out;
    EXPECT_EQ(StretchSegments(&view, &list, &format, &out), -1);
    EXPECT_EQ(out.left, nullptr);
}

}  // namespace
