#pragma once
// Fixtures of the analysis-job tests: the scripted stand-in for the section
// segmenter, an engine whose jobs can be replaced, and WAV files written
// from samples the tests make.
#include "../edit/EditFixture.h"
#include "IF_onsetAnalyzer.h"
#include "SegmenterStandIn.h"
#include "TestUtil.h"
#include "TestWav.h"

#include <vector>

namespace jobs_test {

using standin::fakeFactory;
using standin::FakeSegmenter;
using standin::SegmenterScript;

// An engine whose jobs the tests replace; the engine owns what it is given.
class JobsCore : public edit_test::TestCore {
public:
    void useSegmenter(IF_segmenter* s)
    {
        delete segmenter;
        segmenter = s;
    }
    void useOnsetAnalyzer(IF_onsetAnalyzer* a)
    {
        delete onsetAnalyzer;
        onsetAnalyzer = a;
    }
};

// Frame address of bar `bar` on a grid of half beats `gap` frames apart.
inline uint32_t barAdrs(int bar, uint32_t gap, int beatsPerBar = 4)
{
    return static_cast<uint32_t>(bar) * static_cast<uint32_t>(beatsPerBar) * 2u * gap;
}

// A wave of parts `bars` long (in bars of `beatsPerBar` beats), labelled
// `labels`, followed by `extraBars` bars without a mark: half-beat entries
// `gap` frames apart from frame 0 to the end, a detected mark at the first
// beat of each part, onsets at the start and at the end.
inline WaveInfoRecord* gridWave(uint32_t gap, const std::vector<int>& bars,
                                const std::vector<uint16_t>& labels, int beatsPerBar = 4, int extraBars = 0)
{
    int total = extraBars;
    for (int b : bars)
        total += b;
    const size_t entries = static_cast<size_t>(total) * static_cast<size_t>(beatsPerBar) * 2 + 1;
    WaveInfoRecord* w =
        edit_test::makeWave(edit_test::evenAdrs(entries, 0, gap), 1, {0, barAdrs(total, gap, beatsPerBar)});
    int at = 0;
    for (size_t i = 0; i < bars.size(); ++i) {
        w->detectedMarks.push_back({edit_test::secAt(barAdrs(at, gap, beatsPerBar)), labels[i]});
        at += bars[i];
    }
    return w;
}

}  // namespace jobs_test
