#include "SoundFileStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A stream lent samples 1, 2, ..., n.
struct Ramp {
    explicit Ramp(int n) : samples(static_cast<size_t>(n))
    {
        for (int i = 0; i < n; ++i)
            samples[static_cast<size_t>(i)] = static_cast<float>(i + 1);
        stream.Attach(samples.data(), n);
    }
    ~Ramp() { stream.ReleaseBuffer(); }
    std::vector<float> samples;
    SoundFileStream stream;
};

// A block of a View read, freed when the read made a copy.
struct ViewRead {
    ViewRead(SoundFileStream& s, int n, int position) : result(s.Read(&data, n, position)) { }
    ~ViewRead()
    {
        if (result == 1)
            SoundFileStream::FreeSamples(data);
    }
    float* data = nullptr;
    int result;
};

TEST(SoundFileStream, ViewReadsPointInsideAndFadeOutPastTheEnd)
{
    Ramp r(1200);
    {
        ViewRead inside(r.stream, 100, 50);
        EXPECT_EQ(inside.result, 0);
        EXPECT_EQ(inside.data, r.samples.data() + 50);
    }
    ViewRead tail(r.stream, 512, 1000);
    ASSERT_EQ(tail.result, 1);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(tail.data[i], 1001.0f + i) << i;
    for (int i = 0; i < 312; ++i)
        ASSERT_FLOAT_EQ(tail.data[200 + i], 1200.0f * (311 - i) / 312.0f) << i;
    EXPECT_EQ(tail.data[511], 0.0f);
}

TEST(SoundFileStream, ReadsOutsideTheSamplesGiveZeros)
{
    Ramp r(1200);
    struct Case {
        int n, position, mode;
    };
    const Case cases[] = {
        {300, -100, SoundFileStream::View}, {300, -100, SoundFileStream::Copy},
        {50, 1190, SoundFileStream::Copy},  {20, 1300, SoundFileStream::View},
        {20, 1300, SoundFileStream::Copy},  {1500, -10, SoundFileStream::View},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " at " << c.position << " mode " << c.mode);
        std::vector<float> copy(static_cast<size_t>(c.n), -7.0f);
        std::unique_ptr<ViewRead> view;
        const float* got = copy.data();
        if (c.mode == SoundFileStream::View) {
            view = std::make_unique<ViewRead>(r.stream, c.n, c.position);
            EXPECT_EQ(view->result, 1);
            got = view->data;
        } else {
            EXPECT_EQ(r.stream.Read(copy.data(), c.n, c.position), 0);
        }
        for (int i = 0; i < c.n; ++i) {
            const int at = c.position + i;
            const float expected = (at >= 0 && at < 1200) ? at + 1.0f : 0.0f;
            ASSERT_EQ(got[i], expected) << i;
        }
    }
}

TEST(SoundFileStream, MixAtAddsClampsAndFillsGaps)
{
    SoundFileStream s;
    ASSERT_EQ(s.Allocate(10), 0);
    const float first[] = {32000.0f, -32000.0f, 5.0f};
    ASSERT_EQ(s.MixAt(first, 3, 0), 0);
    const float second[] = {1000.0f, -1000.0f, 1.0f, 9.0f};
    ASSERT_EQ(s.MixAt(second, 4, 0), 0);
    EXPECT_EQ(s.Length(), 4);
    EXPECT_EQ(s.Buffer()[0], 32767.0f);
    EXPECT_EQ(s.Buffer()[1], -32768.0f);
    EXPECT_EQ(s.Buffer()[2], 6.0f);
    EXPECT_EQ(s.Buffer()[3], 9.0f);

    // Five past the end: five zeros first, then the samples.
    std::vector<float> dirty(100, 3.0f);
    s.WriteBlock(dirty.data(), 100, 0);  // stale content beyond the mixed part
    s.Empty();
    ASSERT_EQ(s.MixAt(first, 3, 0), 0);
    ASSERT_EQ(s.MixAt(second, 2, 8), 0);
    EXPECT_EQ(s.Length(), 10);
    for (int i = 3; i < 8; ++i)
        EXPECT_EQ(s.Buffer()[i], 0.0f) << i;
    EXPECT_EQ(s.Buffer()[8], 1000.0f);
    EXPECT_EQ(s.LastWritten(), 9);

    SoundFileStream none;
    testing::internal::CaptureStderr();
    EXPECT_EQ(none.MixAt(first, 3, 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error in WriteToSoundFile()\n");
    EXPECT_EQ(s.MixAt(first, 3, -1), 1);
}

// Overlap-add of Hann-like frames at a hop against a plain sum.
TEST(SoundFileStream, OverlapAddOfManyFramesEqualsTheirSum)
{
    const int frame = 512, hop = 128, frames = 40;
    SoundFileStream s;
    ASSERT_EQ(s.Allocate(1000), 0);  // grows past its first capacity
    std::vector<double> ref(static_cast<size_t>(hop * (frames - 1) + frame), 0.0);
    std::vector<float> f(frame);
    for (int k = 0; k < frames; ++k) {
        for (int i = 0; i < frame; ++i)
            f[i] = static_cast<float>((k % 5 + 1) * (i < frame / 2 ? i : frame - i));
        for (int i = 0; i < frame; ++i)
            ref[static_cast<size_t>(k * hop + i)] += f[i];
        ASSERT_EQ(s.MixAt(f.data(), frame, k * hop), 0);
    }
    ASSERT_EQ(s.Length(), static_cast<int32_t>(ref.size()));
    for (size_t i = 0; i < ref.size(); ++i)
        ASSERT_EQ(s.Buffer()[i], static_cast<float>(std::min(32767.0, ref[i]))) << i;
}

TEST(SoundFileStream, WriteBlockPlacesTheBlockAndGrowsInMillions)
{
    SoundFileStream s;
    const std::vector<float> block(300, 4.0f);
    ASSERT_EQ(s.WriteBlock(block.data(), 300, 1500000), 0);
    EXPECT_EQ(s.Length(), 1500300);
    EXPECT_EQ(s.Capacity(), 2000000);
    EXPECT_EQ(s.Buffer()[1499999], 0.0f);
    EXPECT_EQ(s.Buffer()[1500000], 4.0f);
    EXPECT_EQ(s.Buffer()[1500299], 4.0f);

    // Growing keeps what was there.
    ASSERT_EQ(s.WriteBlock(block.data(), 300, 2999900), 0);
    EXPECT_EQ(s.Capacity(), 4000000);
    EXPECT_EQ(s.Buffer()[1500000], 4.0f);
    EXPECT_EQ(s.Length(), 3000200);

    EXPECT_EQ(s.WriteBlock(block.data(), 300, -1), 1);
    EXPECT_EQ(s.WriteBlock(block.data(), 300, 2147483600), 1);
    s.SetEnabled(0);
    EXPECT_EQ(s.WriteBlock(block.data(), 300, 0), 0);
    EXPECT_EQ(s.Buffer()[0], 0.0f);
}

TEST(SoundFileStream, WriteToSoundFileAppendsOnlyWithABuffer)
{
    SoundFileStream s;
    const float x[] = {1.0f, 2.0f};
    testing::internal::CaptureStderr();
    EXPECT_EQ(s.WriteToSoundFile(x, 2), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error in WriteToSoundFile()\n");
    EXPECT_EQ(s.Length(), 0);
    EXPECT_EQ(s.Buffer(), nullptr);

    ASSERT_EQ(s.Allocate(1), 0);
    EXPECT_EQ(s.WriteToSoundFile(x, 2), 0);
    EXPECT_EQ(s.WriteToSoundFile(x, 2), 0);
    ASSERT_EQ(s.Length(), 4);
    EXPECT_EQ(s.Buffer()[2], 1.0f);
    float* out = s.ReleaseBuffer();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out[3], 2.0f);
    SoundFileStream::FreeSamples(out);
    EXPECT_EQ(s.Buffer(), nullptr);
    EXPECT_EQ(s.Length(), 0);
}

}  // namespace
