#include "BeatSliceFeatureGenerator.h"
#include "CBeatDetect.h"
#include "ChordModelBuilder.h"
#include "ChordSynth.h"
#include "ModelTextReaders.h"
#include "OfflineHmm.h"
#include "TaviHmmFactory.h"
#include "TaviTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace tavi;

namespace {

constexpr int kHop = 180;
constexpr int kFrame = 16384;

std::vector<float> chordTone(size_t n)
{
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = i / 44100.0;
        x[i] =
            static_cast<float>(0.2 * std::sin(2 * M_PI * 130.81 * t) + 0.2 * std::sin(2 * M_PI * 329.63 * t) +
                               0.2 * std::sin(2 * M_PI * 392.0 * t));
    }
    return x;
}

// Four beats per second of clicks over the chord, so the tracker has beats
// to list.
std::vector<float> clickedChord(double seconds)
{
    std::vector<float> x = chordTone(static_cast<size_t>(seconds * 44100.0));
    for (size_t at = 0; at < x.size(); at += 11025)
        for (size_t i = 0; i < 300 && at + i < x.size(); ++i)
            x[at + i] += static_cast<float>(0.6 * std::exp(-i / 60.0) * std::sin(0.3 * i));
    return x;
}

}  // namespace

TEST(ChordFeatureGenerator, BlocksGatherAcrossCallsAndFramesStartAtBlock49)
{
    BeatSliceFeatureGenerator g(kFrame, kHop);
    const std::vector<float> x = chordTone(60 * kHop);
    g.pushData(x.data(), 100);
    EXPECT_EQ(g.pendingSamples(), 100);
    EXPECT_EQ(g.beatDetector()->getNumFrames(), 0) << "fewer samples than a block only wait";
    g.pushData(x.data() + 100, 100);
    EXPECT_EQ(g.pendingSamples(), 20);
    EXPECT_EQ(g.beatDetector()->getNumFrames(), 1) << "the next call completes the block first";
    g.pushData(x.data() + 200, 0);
    EXPECT_EQ(g.pendingSamples(), 20);

    // Block 1 is complete; 47 more leave 48 blocks and no semitone frame.
    g.pushData(x.data() + 200, 47 * kHop - 20);
    EXPECT_EQ(g.beatDetector()->getNumFrames(), 48);
    EXPECT_EQ(g.pendingSamples(), 0);
    EXPECT_TRUE(g.frameFeatures().empty());
    g.pushData(x.data() + 48 * kHop, kHop);
    EXPECT_EQ(g.frameFeatures().size(), 1u) << "the first frame comes with block 49";
    g.pushData(x.data() + 49 * kHop, 4 * kHop);
    EXPECT_EQ(g.frameFeatures().size(), 2u);
    EXPECT_EQ(g.frameFeatures()[0].size(), 72u);

    EXPECT_THROW(g.pushData(x.data(), -1), std::invalid_argument);
    EXPECT_THROW(BeatSliceFeatureGenerator(kFrame, 179), std::invalid_argument);
}

TEST(ChordFeatureGenerator, SelectsBeatsCutsSlicesAndTimesThem)
{
    BeatSliceFeatureGenerator g(kFrame, kHop);
    const std::vector<float> x = clickedChord(12.0);
    g.pushData(x.data(), static_cast<int>(x.size()));
    g.finish();
    const std::vector<int32_t> beats = g.beats();
    ASSERT_GE(beats.size(), 20u);
    const int frames = static_cast<int>(g.frameFeatures().size());

    std::vector<std::vector<double>> out;
    g.selectChordFeatures(out, 4, 1, 2, 0);
    std::vector<int32_t> odd;
    for (size_t i = 1; i < beats.size(); i += 2)
        odd.push_back(beats[i]);
    EXPECT_EQ(g.selectedBeats(), odd);
    ASSERT_EQ(out.size(), odd.size());
    for (size_t k = 0; k < odd.size(); ++k) {
        EXPECT_EQ(out[k].size(), 26u);
        EXPECT_FLOAT_EQ(static_cast<float>(g.beatTime(static_cast<int>(k))), odd[k] * 180.0f / 44100.0f);
        const int first = std::min(static_cast<int>(odd[k] / 4.0 + 0.5), frames - 1);
        const int end =
            k + 1 < odd.size() ? std::min(static_cast<int>(odd[k + 1] / 4.0 + 0.5), frames - 1) : frames;
        EXPECT_EQ(g.slices()[k], FrameSlice(first, end)) << k;
    }
    EXPECT_THROW(g.beatTime(static_cast<int>(odd.size())), std::out_of_range);

    // Every beat; type 7 has 7 values; an unknown type is refused.
    g.selectChordFeatures(out, 7, 0, 1, 2);
    ASSERT_EQ(out.size(), beats.size());
    EXPECT_EQ(out[0].size(), 7u);
    try {
        g.selectChordFeatures(out, 9, 0, 1, 0);
        FAIL() << "type 9 accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Cannot use feature other than JointHPCP or SemitonePow");
    }
    EXPECT_THROW(g.selectChordFeatures(out, 4, 0, 0, 0), std::invalid_argument);
    g.selectChordFeatures(out, 4, 5, 2, 0);
    EXPECT_TRUE(out.empty()) << "a phase no beat number reaches selects nothing";

    // The last selected beat's slice runs to the end; a beat past the last
    // frame reads the last frame.
    g.selectChordFeatures(out, 4, 0, 1, 0);
    EXPECT_EQ(g.slices().back().second, frames);
}

TEST(ChordFeatureGenerator, ResetFormsSetOrAddTheBeatOffset)
{
    BeatSliceFeatureGenerator g(kFrame, kHop);
    const std::vector<float> x = clickedChord(6.0);
    g.pushData(x.data(), static_cast<int>(x.size()));
    g.finish();
    const int n = static_cast<int>(g.beats().size());
    ASSERT_GT(n, 3);
    g.reset();
    EXPECT_EQ(g.beatIndexOffset(), n);
    EXPECT_TRUE(g.frameFeatures().empty());
    EXPECT_EQ(g.beatDetector()->getNumFrames(), 0);
    g.reset(true);
    EXPECT_EQ(g.beatIndexOffset(), 2 * n);
    g.reset();
    EXPECT_EQ(g.beatIndexOffset(), n);

    // With an odd offset, step 2 and phase 0 picks the beats at odd indices.
    g.reset(true);
    ASSERT_EQ(g.beatIndexOffset() % 2, 0);
    g.pushData(x.data(), static_cast<int>(x.size()));
    g.finish();
    const int m = static_cast<int>(g.beats().size());
    g.reset(true);
    g.pushData(x.data(), static_cast<int>(x.size()));
    g.finish();
    std::vector<std::vector<double>> out;
    g.selectChordFeatures(out, 4, 0, 2, 0);
    ASSERT_FALSE(g.selectedBeats().empty());
    EXPECT_EQ(g.selectedBeats()[0], g.beats()[(2 * n + m) % 2]);
}

TEST(ChordFeatureGenerator, AShortRecordingStillGivesEveryBeatFrames)
{
    BeatSliceFeatureGenerator g(kFrame, kHop);
    const std::vector<float> x = clickedChord(0.15);  // less than 49 blocks
    g.pushData(x.data(), static_cast<int>(x.size()));
    g.finish();
    const size_t n = g.beats().size();
    ASSERT_GT(n, 0u);
    std::vector<std::vector<double>> out;
    g.selectChordFeatures(out, 4, 0, 1, 0);
    EXPECT_EQ(g.frameFeatures().size(), (n + 4) / 4);
    ASSERT_EQ(out.size(), n);
    for (const FrameSlice& s : g.slices())
        EXPECT_GE(s.first, 0);
    // Nothing pushed at all: no beat, no frame, no feature.
    BeatSliceFeatureGenerator empty(kFrame, kHop);
    empty.finish();
    empty.selectChordFeatures(out, 4, 0, 1, 0);
    EXPECT_TRUE(out.empty());
}

// Chords C, Am, F, G7 of two seconds each at 120 beats per minute, played by
// the synthesiser: tracked beats, beat slices and the built-in model name
// root and class of nearly every beat.
TEST(ChordFeatureGenerator, RecognisesChordsEndToEnd)
{
    const auto& classes = chordmodels::builtinClassIntervals();  // DIM MAJ7 AUG MIN 7 MAJ MIN7
    const std::pair<int, int> chords[] = {{0, 5}, {9, 3}, {5, 5}, {7, 4}};
    std::vector<chordsynth::ProgressionStep> steps;
    for (int cycle = 0; cycle < 3; ++cycle)
        for (const auto& c : chords) {
            chordsynth::ProgressionStep s;
            s.root = c.first;
            s.intervals = classes[static_cast<size_t>(c.second)];
            s.beats = 4;
            steps.push_back(s);
        }
    chordsynth::Arrangement a;
    a.tempo = 120.0;
    a.comp = chordsynth::Timbre::ElectricPiano;
    a.pad = true;
    a.seed = 4242;
    a.lead = 0.0;
    const chordsynth::Song song = chordsynth::renderProgression(steps, a);

    BeatSliceFeatureGenerator g(kFrame, kHop);
    g.pushData(song.samples.data(), static_cast<int>(song.samples.size()));
    g.finish();

    taviTest::BuiltinModel model;
    ASSERT_EQ(model.status, 0);
    OfflineHmm& decoder = model.decoder();

    // The tracker reports beats at twice the tempo: take every second one,
    // with the phase the model scores best per beat.
    double bestScore = -1e300;
    int bestRight = 0, bestTotal = 0;
    for (int phase = 0; phase < 2; ++phase) {
        std::vector<std::vector<double>> features;
        g.selectChordFeatures(features, model.feature, phase, 2, 0);
        decoder.clear();
        for (const auto& f : features)
            decoder.addObservation(f);
        const double score = decoder.decode() / std::max<size_t>(1, features.size());
        int right = 0, total = 0;
        for (size_t t = 0; t < features.size(); ++t) {
            const double from = g.beatTime(static_cast<int>(t));
            const double to = t + 1 < features.size() ? g.beatTime(static_cast<int>(t + 1)) : from + 0.5;
            const double middle = (from + to) / 2.0;
            const auto truth =
                std::find_if(song.chords.begin(), song.chords.end(), [&](const chordsynth::ChordSpan& c) {
                    return middle >= c.start && middle < c.end;
                });
            if (truth == song.chords.end())
                continue;  // the ring-out after the last chord
            int r, c, m, b, k;
            model.hmm->decomposeState(decoder.pathState(static_cast<int>(t)), r, c, m, b, k);
            right += r == truth->root && classes[static_cast<size_t>(c)] == truth->intervals;
            ++total;
        }
        if (score > bestScore) {
            bestScore = score;
            bestRight = right;
            bestTotal = total;
        }
    }
    std::cout << "chords right on " << bestRight << " of " << bestTotal << " beats\n";
    ASSERT_GE(bestTotal, 20);
    EXPECT_GE(bestRight, 0.9 * bestTotal);
}
