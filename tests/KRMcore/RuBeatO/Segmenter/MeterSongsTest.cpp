// The meter the import finds on short songs in 4/4, 3/4 and 6/8: the
// section segmenter runs the chord recogniser, whose meter estimate decides
// how the tracked beats group, and reports it with every bar.
#include "../MeterSongs.h"
#include "Segmenter/SectionSegmenter.h"
#include "Signals.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace {

struct StereoSong {
    std::vector<float> left, right;
};

struct Case {
    const char* name;
    int beatsPerBar, beatUnit;
    int bars;  // in the song; 0 where the count is not checked
    std::function<StereoSong()> make;
};

StereoSong rendered(const metersongs::Meter& meter, double quartersPerMinute, int bars)
{
    const metersongs::Song s = metersongs::render(meter, 60.0 / quartersPerMinute / 2.0, bars);
    return {s.left, s.right};
}

// A waltz at 92 beats a minute with the song generator's 3/4 drums (kick on
// one, snare on two and three, hi-hat on every eighth) over a pad, bass on
// one and two, and a chorus with off-beat chord hits: its half-bar accents
// are faint beside the downbeat. Intro, verse, chorus, verse, ending.
StereoSong waltz()
{
    testsig::SongSpec spec;
    spec.bpm = 92.0;
    spec.beatsPerBar = 3;
    spec.seed = 12;
    spec.leadInSeconds = 0.3;
    const testsig::SongPart verse {"verse", 8, {{2}, {7}, {9}, {2}}, true, true, true, false};
    spec.parts = {{"intro", 4, {{2}, {7}}, false, false, true, false},
                  verse,
                  {"chorus", 8, {{11, true}, {7}, {2}, {9}}, true, true, false, true},
                  verse,
                  {"ending", 4, {{7}, {9}, {2}, {2}}, false, true, true, false}};
    const testsig::Song s = testsig::makeSong(spec);
    return {s.left, s.right};
}

const std::vector<Case>& cases()
{
    static const std::vector<Case> c = {
        {"FourFour", 4, 4, 20, [] { return rendered(metersongs::fourFour(), 110.0, 20); }},
        {"ThreeFourOomPahPah", 3, 4, 20, [] { return rendered(metersongs::threeFour(), 84.6, 20); }},
        {"ThreeFourWaltz", 3, 4, 32, waltz},
        // The same eighth notes as the 3/4 song, grouped in threes: 56.4
        // dotted quarters a minute. The tracker's beats here come about 1.5
        // eighths apart, so the bars it reports are half bars: only the
        // time signature is checked.
        {"SixEight", 6, 8, 0, [] { return rendered(metersongs::sixEight(), 84.6, 20); }},
    };
    return c;
}

class MeterOfSongs : public ::testing::TestWithParam<size_t> { };

TEST_P(MeterOfSongs, EveryBarCarriesTheSongsTimeSignature)
{
    const Case& k = cases()[GetParam()];
    const StereoSong song = k.make();
    testsig::MemorySource source(testsig::interleave(song.left, song.right), 2);
    testsig::RecordingObserver seen;
    // Configured as the import's segmenter job configures it when the user
    // gave no time signature: the recogniser estimates the meter.
    SectionSegmenter segmenter;
    segmenter.setHyperParameterC(0.01)
        .setPriors(1.0, 0.01, 0.01)
        .setNdim(5)
        .setHyperParameterB(0.1)
        .setHyperParameterA(0.9)
        .setEstimatorSizeA(20)
        .setEstimatorSizeC(5)
        .setTimeSignature(-1, 0, -1, -1)
        .setProgress(&seen);
    segmenter.analyze(source);

    ASSERT_FALSE(seen.bars.empty()) << k.name;
    std::printf("%s: %zu bars reported, the first %d/%d, %zu beats\n", k.name, seen.bars.size(),
                seen.bars[0].beatsPerBar, seen.bars[0].beatUnit, seen.beats.size());
    int wrong = 0;
    for (const RkMir::BarEvent& bar : seen.bars)
        wrong += bar.beatsPerBar != k.beatsPerBar || bar.beatUnit != k.beatUnit;
    if (k.bars > 0) {
        EXPECT_NEAR(static_cast<double>(seen.bars.size()), k.bars, 1.0) << k.name << ": bars reported";
    }
    EXPECT_EQ(wrong, 0) << k.name << ": " << wrong << " of " << seen.bars.size()
                        << " bars in another meter, the first " << seen.bars[0].beatsPerBar << "/"
                        << seen.bars[0].beatUnit;
}

std::string caseName(const ::testing::TestParamInfo<size_t>& info)
{
    return cases()[info.param].name;
}

INSTANTIATE_TEST_SUITE_P(Songs, MeterOfSongs, ::testing::Range<size_t>(0, 4), caseName);

}  // namespace
