#pragma once
// What the import tests share: songs of the repository's synthesiser
// written as WAV files (and WAV files of formats the program refuses, laid
// out byte by byte), a scripted stand-in for the section segmenter, and a
// way to put stand-ins into an engine's job slots.
#include "AnalysisJob.h"
#include "CKRMcore.h"
#include "IF_onsetAnalyzer.h"
#include "SegmenterEngine.h"
#include "Signals.h"
#include "WavFile.h"
#include "segmenter.h"

#include <QFile>
#include <QString>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <vector>

struct AnalysisJobTestAccess {
    static anaThreadObj*& worker(anaThread& t) { return t.m_worker; }
    static uint8_t option(anaThreadObj& w, int i)
    {
        const uint8_t bytes[6] = {w.m_fixSegmenterMeter, w.m_segmenterBeatsPerBar, w.m_segmenterBeatUnit,
                                  w.m_forceMeter,        w.m_forcedBeatsPerBar,    w.m_forcedBeatUnit};
        return bytes[i];
    }
    static uint32_t optionWord(anaThread& t) { return t.m_optionWord; }
    static uint16_t optionHalf(anaThread& t) { return t.m_optionHalf; }
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
    const testsig::Song song = testsig::makeSong(spec);
    const size_t frames = size_t(std::lround(seconds * 44100.0));
    std::vector<uint8_t> pcm(frames * 4, 0);
    for (size_t i = 0; i < frames; ++i) {
        const float l = i < song.left.size() ? song.left[i] : 0.0f;
        const float r = i < song.right.size() ? song.right[i] : 0.0f;
        const int16_t v[2] = {int16_t(std::max(-1.0f, std::min(1.0f, l)) * 32000.0f),
                              int16_t(std::max(-1.0f, std::min(1.0f, r)) * 32000.0f)};
        for (int c = 0; c < 2; ++c) {
            pcm[4 * i + 2 * c] = uint8_t(v[c] & 0xFF);
            pcm[4 * i + 2 * c + 1] = uint8_t((v[c] >> 8) & 0xFF);
        }
    }
    if (beats) {
        beats->clear();
        for (int64_t b : song.beats)
            beats->push_back(float(double(b) / 44100.0));
    }
    return writeWavFile(path, pcm.data(), uint32_t(pcm.size())) == 0;
}

// A 16-bit PCM WAV file of silence with the given layout, header by hand.
inline bool writePlainWav(const QString& path, uint16_t channels, uint32_t rate, uint32_t frames)
{
    QByteArray b;
    const auto u32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
    };
    const auto u16 = [&b](uint16_t v) {
        b.append(char(v & 0xFF));
        b.append(char(v >> 8));
    };
    const uint32_t data = frames * channels * 2;
    b.append("RIFF");
    u32(36 + data);
    b.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * channels * 2);
    u16(uint16_t(channels * 2));
    u16(16);
    b.append("data");
    u32(data);
    b.append(QByteArray(int(data), '\0'));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(b) == b.size();
}

// What the stand-in segmenter reports and finds.
struct Script {
    std::vector<int> progress {0, 30, 60, 100};
    std::vector<float> beatTimes;
    std::vector<RkMir::SegmentRecord> segments;
    std::function<void(int)> afterProgress;
};

// Answers the abort request after each report, as the library does.
class FakeSegmenter : public ISectionSegmenter {
public:
    explicit FakeSegmenter(Script& s) : m_s(s) { }
    void setHyperParameterC(double) override { }
    void setPriors(double, double, double) override { }
    void setNdim(int) override { }
    void setHyperParameterB(double) override { }
    void setHyperParameterA(double) override { }
    void setEstimatorSizeA(int) override { }
    void setEstimatorSizeC(int) override { }
    void setTimeSignature(int, int, int, int) override { }
    void setProgress(RkMir::IProgress* o) override { m_observer = o; }
    void analyze(ISeekable<float>&) override
    {
        for (int p : m_s.progress) {
            m_observer->progress(static_cast<unsigned char>(p));
            if (m_s.afterProgress)
                m_s.afterProgress(p);
            if (m_observer->abortRequest)
                throw std::runtime_error("Aborted");
        }
    }
    std::vector<float> getGeneratorIndices() override { return m_s.beatTimes; }
    std::vector<RkMir::SegmentRecord> getSegments() override { return m_s.segments; }

private:
    Script& m_s;
    RkMir::IProgress* m_observer = nullptr;
};

// A segmenter job whose analysis is the stand-in of `script`.
inline IF_segmenter* scriptedSegmenter(Script& script)
{
    return new segmenter([&script] { return std::make_unique<FakeSegmenter>(script); });
}

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
