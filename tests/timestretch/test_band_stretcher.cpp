#include "BandStretcher.h"

#include "AttackMarks.h"
#include "SMSFrame.h"
#include "SharedFft.h"
#include "SoundFileStream.h"
#include "StretchTestUtil.h"
#include "TimeScaleParameterBlock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using P = TimeScaleParameterBlock;
using stretchtest::kPi;

constexpr double kHop = 256.0 / 44100.0;

// One mark at time a (on the hop grid) in a history that holds it.
AttackMarks oneMark(double a, double spanBefore, double rampBefore, double spanAfter, double rampAfter,
                    uint8_t type = AttackMarks::kAttack)
{
    AttackMarks m;
    m.historyLength = 69;
    m.bandCount = 1;
    m.centreTime = a;
    m.firstRowTime = a - 34 * kHop;
    m.InsertMark(0, 100, 1, type);
    m.ResizeMarks(1);
    m.times[0] = a;
    m.spanBefore[0] = spanBefore;
    m.rampBefore[0] = rampBefore;
    m.spanAfter[0] = spanAfter;
    m.rampAfter[0] = rampAfter;
    return m;
}

TEST(PreparePeaks, MovesTheSourceTimeAroundAMark)
{
    const double h = kHop, s = h / 2;  // stretched to twice the length
    const double a = 200 * h;
    // Spans of 4 frames (3 taken), ramps of 4: the ramp takes
    // K = trunc((4 h + (h - s) 4) / s + 0.5) = 12 output frames.
    struct Case {
        const char* what;
        double d;       // t - a, in output steps
        double source;  // in hops from a; NAN: t itself
        int reset;
    } cases[] = {
        {"at the mark", 0.0, 0.0, 1},
        {"one step before", -1.0, -1.0, 1},
        {"one step after", 1.0, 1.0, 1},
        {"in the span before", -3.0, -3.0, 1},
        {"in the ramp before", -6.0, -4.0 - 2.0 * 4.0 / 12.0, 0},
        {"in the span after", 3.0, 3.0, 1},
        {"in the ramp after", 6.0, 4.0 + 2.0 * 4.0 / 12.0, 0},
        {"long before", -40.0, NAN, 0},
        {"long after", 40.0, NAN, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AttackMarks marks = oneMark(a, 4, 4, 4, 4);
        const double t = a + c.d * s;
        const BandStretcher::AttackChoice choice = BandStretcher::PreparePeaks(marks, t, s, h);
        const double expected = std::isnan(c.source) ? t : a + c.source * h;
        EXPECT_NEAR(choice.sourceTime, expected, 1e-9);
        EXPECT_EQ(choice.reset, c.reset);
        EXPECT_EQ(choice.applied, std::isnan(c.source) ? 0 : 1);
        if (choice.applied) {
            EXPECT_DOUBLE_EQ(marks.lastMarkTime, a);
        }
    }
}

TEST(PreparePeaks, LeavesTheTimeAloneWithoutMarksInTheHistory)
{
    const double h = kHop;
    AttackMarks none;
    none.historyLength = 69;
    none.centreTime = 1.0;
    none.firstRowTime = 1.0 - 34 * h;
    EXPECT_DOUBLE_EQ(BandStretcher::PreparePeaks(none, 1.0, h, h).sourceTime, 1.0);

    // A mark a second away lies outside the 0.4 s history.
    AttackMarks far = oneMark(2.0, 8, 5, 8, 5);
    far.centreTime = 1.0;
    far.firstRowTime = 1.0 - 34 * h;
    const BandStretcher::AttackChoice choice = BandStretcher::PreparePeaks(far, 1.0, h, h);
    EXPECT_DOUBLE_EQ(choice.sourceTime, 1.0);
    EXPECT_EQ(choice.applied, 0);
    EXPECT_DOUBLE_EQ(far.lastMarkTime, -1.0);
}

TEST(PreparePeaks, TakesEachFrameOnceAtHalfTheLength)
{
    // At a ratio of 0.5 the output steps are two hops, and output times
    // land on half steps around a mark: the frames taken must still
    // advance one hop per output frame through the spans.
    const double h = kHop, s = 2 * h, a = 201 * h;
    AttackMarks marks = oneMark(a, 8, 5, 8, 5);
    std::vector<double> sources;
    for (int k = -9; k <= 9; ++k) {
        const double t = 200 * h + k * s;  // a - 0.5 s + k s
        sources.push_back(BandStretcher::PreparePeaks(marks, t, s, h).sourceTime);
    }
    for (size_t i = 1; i < sources.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GT(sources[i], sources[i - 1] + 0.5 * h);
    }
    // A strong mark counts as an ordinary one two steps into its span.
    AttackMarks strong = oneMark(a, 8, 5, 8, 5, AttackMarks::kStrongAttack);
    EXPECT_EQ(BandStretcher::PreparePeaks(strong, a - 2 * s, s, h).kind, AttackMarks::kStrongAttack);
    EXPECT_EQ(BandStretcher::PreparePeaks(strong, a - 4 * s, s, h).kind, AttackMarks::kAttack);
}

// A band of one range at 44100 Hz (2048-point frames, hop 256) and its
// channel's history: rows of frames of a steady 1000 Hz partial.
struct OneBand {
    static constexpr int32_t kBins = 1025;
    SharedFft fft;
    TimeScaleParameterBlock block;
    std::unique_ptr<BandStretcher> stretcher;
    std::unique_ptr<SoundFileStream> stream;
    std::vector<std::unique_ptr<SMSFrame>> owned;
    std::vector<std::vector<SMSFrame*>> rows;
    AttackMarks marks;
    SMSFrame work;
    float edge = 22050.0f;

    explicit OneBand(double flags = 2.0, double nominalEdge = 1000.0)
    {
        block.SetParameter(P::RangeCount, 1, 0);
        block.SetParameter(P::SampleRate, 44100, 0);
        block.SetParameter(P::Hop, 256, 0);
        block.SetParameter(P::WindowFactor, 8, 0);
        block.SetParameter(P::WindowType, 4, 0);
        block.SetParameter(P::BandUpperEdge, nominalEdge, 0);
        block.SetParameter(P::BandFlags, flags, CEnvelope::kWholeEnvelope);
        block.SetParameter(P::AttackMarksOn, 0, CEnvelope::kWholeEnvelope);
        stretcher = std::make_unique<BandStretcher>(fft, block, &stream);
        stream->Allocate(4096);
        const int bin = 46;  // 990.5 Hz
        const double f = bin * 22050.0 / (kBins - 1);
        for (int r = 0; r < 9; ++r) {
            auto frame = std::make_unique<SMSFrame>();
            frame->Allocate(SMSFrame::kSpectrum, kBins, true);
            frame->SetTime(r * kHop);
            for (int k = 0; k < kBins; ++k) {
                frame->MagnitudeData()[k] = static_cast<float>(-20.0 - 10.0 * std::abs(k - bin));
                frame->PhaseData()[k] = static_cast<float>(std::fmod(0.7 + 2 * kPi * f * r * kHop, 2 * kPi));
            }
            rows.push_back({frame.get()});
            owned.push_back(std::move(frame));
        }
        marks.historyLength = static_cast<uint32_t>(rows.size());
        marks.bandCount = 1;
        marks.history = &rows;
        marks.firstRowTime = 0.0;
        marks.centreTime = 4 * kHop;
    }
    int process(double t, SMSFrame* right = nullptr, int mono = 1)
    {
        SMSFrame* left[1] = {&work};
        SMSFrame* rightWork[1] = {right};
        return stretcher->ProcessFrame(marks, nullptr, t, kHop, left, right ? rightWork : nullptr, kHop,
                                       &edge, mono);
    }
};

TEST(BandStretcher, FirstFramePassesTheAnalysedSpectrumBelowTheEdge)
{
    OneBand band(2.0, 1000.0);
    ASSERT_EQ(band.process(0.0), 0);
    const SMSFrame& source = *band.rows[0][0];
    ASSERT_EQ(band.work.Count(), OneBand::kBins);
    for (int k = 0; k < OneBand::kBins; ++k) {
        SCOPED_TRACE(k);
        const double f = k * 22050.0 / (OneBand::kBins - 1);
        if (f > 1000.0)
            EXPECT_EQ(band.work.MagnitudeData()[k], SMSFrame::kSilentDb);
        else
            EXPECT_EQ(band.work.MagnitudeData()[k], source.MagnitudeData()[k]);
        EXPECT_EQ(band.work.PhaseData()[k], source.PhaseData()[k]);
    }
    // At the input's pace the next frame carries the partial on as measured.
    ASSERT_EQ(band.process(kHop), 0);
    const SMSFrame& next = *band.rows[1][0];
    EXPECT_NEAR(std::remainder(band.work.PhaseData()[46] - next.PhaseData()[46], 2 * kPi), 0.0, 1e-3);
    ASSERT_EQ(band.stretcher->Pairs(0).count, 1u);
}

TEST(BandStretcher, MonoLeavesTheRightChannelAlone)
{
    OneBand band(2.0, 22050.0);
    SMSFrame right;
    right.Allocate(SMSFrame::kSpectrum, 7, true);
    right.MagnitudeData()[3] = 42.0f;
    for (int k = 0; k < 3; ++k)
        ASSERT_EQ(band.process(k * kHop, &right, 1), 0);
    EXPECT_EQ(right.Count(), 7);
    EXPECT_EQ(right.MagnitudeData()[3], 42.0f);
}

TEST(BandStretcher, WithoutTheSynthesisBitFramesAreSilenceAndStillAdvance)
{
    OneBand band(1.0, 22050.0);
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(band.process(k * kHop), 0);
        ASSERT_EQ(band.stretcher->SynthesizeFrame(band.work, band.edge, 0), 0);
        EXPECT_EQ(band.stretcher->OutputPosition(), (k + 1) * 256);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(band.stretcher->OutputBlock()[i], 0.0f);
    }
    ASSERT_NE(band.stream, nullptr);
    EXPECT_EQ(band.stream->Length(), 3 * 256);

    OneBand sounding(2.0, 22050.0);
    double energy = 0.0;
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(sounding.process(k * kHop), 0);
        ASSERT_EQ(sounding.stretcher->SynthesizeFrame(sounding.work, sounding.edge, 0), 0);
        for (int i = 0; i < 256; ++i)
            energy += sounding.stretcher->OutputBlock()[i] * sounding.stretcher->OutputBlock()[i];
    }
    EXPECT_GT(energy, 0.0);
}

}  // namespace
