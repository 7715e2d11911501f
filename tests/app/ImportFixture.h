#pragma once
// What the import tests share: songs of the repository's synthesiser
// written as WAV files (and WAV files of formats the program refuses), the
// scripted stand-in for the section segmenter, and a way to put stand-ins
// into an engine's job slots.
#include "AnalysisJob.h"
#include "CKRMcore.h"
#include "IF_onsetAnalyzer.h"
#include "SegmenterStandIn.h"
#include "Signals.h"
#include "TestWav.h"

#include <QString>

#include <cmath>
#include <vector>

struct AnalysisJobTestAccess {
    static anaThreadObj*& worker(anaThread& t) { return t.m_worker; }
    static const AnalysisOptions& options(anaThreadObj& w) { return w.m_options; }
    static const AnalysisOptions& options(anaThread& t) { return t.m_options; }
};

namespace importfix {

// The job slots of an engine, reached through a class of the engine's own
// family; the engine deletes what it holds.
struct Slots : CKRMcore {
    static void useSegmenter(CKRMcore& core, IF_segmenter* s)
    {
        IF_segmenter* CKRMcore::*slot = &Slots::segmenter;
        delete (core.*slot);
        core.*slot = s;
    }
    static void useOnsetAnalyzer(CKRMcore& core, IF_onsetAnalyzer* a)
    {
        IF_onsetAnalyzer* CKRMcore::*slot = &Slots::onsetAnalyzer;
        delete (core.*slot);
        core.*slot = a;
    }
};

// A song of drums, bass and chords, `seconds` long, as a 16-bit stereo
// 44100 Hz WAV file. Its beats (seconds) in `beats` when given.
inline bool writeSong(const QString& path, double seconds, std::vector<float>* beats = nullptr,
                      double bpm = 120.0)
{
    testsig::SongSpec spec;
    spec.bpm = bpm;
    spec.tailSeconds = 0.5;
    testsig::SongPart a;
    a.bars = 2;
    a.chords = {{9, true, false}, {4, false, false}};
    a.drums = false;
    testsig::SongPart b;
    b.bars = std::max(1, int((seconds - 0.5) * bpm / 240.0) - 2);
    b.chords = {{0, false, false}, {5, false, false}};
    b.stabs = true;
    spec.parts = {a, b};
    testsig::Song song = testsig::makeSong(spec);
    const size_t frames = size_t(std::lround(seconds * 44100.0));
    song.left.resize(frames, 0.0f);
    song.right.resize(frames, 0.0f);
    if (beats) {
        beats->clear();
        for (int64_t t : song.beats)
            beats->push_back(float(double(t) / 44100.0));
    }
    return testwav::writeSong(path, song);
}

// A 16-bit PCM WAV file of silence with the given layout.
inline bool writePlainWav(const QString& path, uint16_t channels, uint32_t rate, uint32_t frames)
{
    return testwav::writePcm16(path, std::vector<int16_t>(size_t(frames) * channels, 0), channels, rate);
}

using Script = standin::SegmenterScript;
using standin::scriptedSegmenter;

// An onset analyser that reports a fixed list and length.
class FixedOnsets : public IF_onsetAnalyzer {
public:
    FixedOnsets(std::vector<float> onsets, uint32_t frames)
        : m_onsets(std::move(onsets)), m_frames(frames) { }
    uint32_t analyze(const QString&, uint32_t& frames, std::vector<float>& onsets) override
    {
        frames = m_frames;
        onsets.insert(onsets.end(), m_onsets.begin(), m_onsets.end());
        return 0;
    }
    QString errorText() override { return QString(); }
    void clearError() override { }
    bool hasError() override { return false; }

private:
    std::vector<float> m_onsets;
    uint32_t m_frames;
};

}  // namespace importfix
