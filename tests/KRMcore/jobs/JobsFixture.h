#pragma once
// Fixtures of the analysis-job tests: a recording stand-in for the section
// segmenter, an engine whose jobs can be replaced, and WAV files written
// from samples the tests make.
#include "../edit/EditFixture.h"
#include "IF_onsetAnalyzer.h"
#include "SegmenterEngine.h"
#include "TestUtil.h"
#include "base/WavFile.h"
#include "segmenter.h"

#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace jobs_test {

// What the stand-in segmenter reports and returns, and the calls it got.
struct SegmenterScript {
    std::vector<std::string> calls;
    std::vector<int> progress {0, 10, 25, 50, 55, 100};
    std::optional<RkMir::BarEvent> meter;  // reported after progress 25
    std::vector<float> beatTimes;
    std::vector<RkMir::SegmentRecord> segments;
    std::function<void(int)> afterProgress;  // called after each report
    int sourceLength = -1;                   // length of the source analysed
};

// Answers the abort request the way the library's feature pass does: it
// reads it after each progress report and stops with "Aborted".
class FakeSegmenter : public ISectionSegmenter {
public:
    explicit FakeSegmenter(SegmenterScript& script) : m_s(script) { }

    void setHyperParameterC(double c) override { log("C", c); }
    void setPriors(double a, double b, double c) override { log("priors", a, b, c); }
    void setNdim(int n) override { log("ndim", n); }
    void setHyperParameterB(double b) override { log("B", b); }
    void setHyperParameterA(double a) override { log("A", a); }
    void setEstimatorSizeA(int n) override { log("sizeA", n); }
    void setEstimatorSizeC(int n) override { log("sizeC", n); }
    void setTimeSignature(int a, int b, int c, int d) override { log("ts", a, b, c, d); }
    void setProgress(RkMir::IProgress* o) override
    {
        m_observer = o;
        log("progress");
    }
    void analyze(ISeekable<float>& source) override
    {
        log("analyze");
        m_s.sourceLength = source.length();
        for (int p : m_s.progress) {
            m_observer->progress(static_cast<unsigned char>(p));
            if (m_s.afterProgress)
                m_s.afterProgress(p);
            if (m_observer->abortRequest)
                throw std::runtime_error("Aborted");
            if (p == 25 && m_s.meter)
                m_observer->timeSignature(&*m_s.meter);
        }
    }
    std::vector<float> getGeneratorIndices() override { return m_s.beatTimes; }
    std::vector<RkMir::SegmentRecord> getSegments() override { return m_s.segments; }

private:
    template <typename... T> void log(const char* name, T... values)
    {
        std::ostringstream o;
        o << name;
        ((o << ' ' << values), ...);
        m_s.calls.push_back(o.str());
    }
    SegmenterScript& m_s;
    RkMir::IProgress* m_observer = nullptr;
};

inline SectionSegmenterFactory fakeFactory(SegmenterScript& script)
{
    return [&script] { return std::make_unique<FakeSegmenter>(script); };
}

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

// Writes interleaved 16-bit stereo samples as a canonical WAV file.
inline bool writeStereoWav(const QString& path, const std::vector<int16_t>& interleaved)
{
    std::vector<uint8_t> bytes(interleaved.size() * 2);
    for (size_t i = 0; i < interleaved.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(interleaved[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>((interleaved[i] >> 8) & 0xFF);
    }
    return writeWavFile(path, bytes.data(), static_cast<uint32_t>(bytes.size())) == 0;
}

// A mono signal in [-1, 1] on both channels.
inline std::vector<int16_t> toStereo16(const std::vector<float>& mono)
{
    std::vector<int16_t> out(mono.size() * 2);
    for (size_t i = 0; i < mono.size(); ++i) {
        const float v = std::max(-1.0f, std::min(1.0f, mono[i]));
        out[2 * i] = out[2 * i + 1] = static_cast<int16_t>(v * 32767.0f);
    }
    return out;
}

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
