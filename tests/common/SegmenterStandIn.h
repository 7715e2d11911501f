#pragma once
// A scripted stand-in for the analysis library's section segmenter, for the
// tests of the segmenter job, the engine's analysis calls and the analysis
// worker: it records the calls it gets, reports the scripted progress
// (and meter), answers the abort request as the library's feature pass
// does, and returns the scripted beats and segments.
#include "SegmenterEngine.h"
#include "segmenter.h"

#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace standin {

// What the stand-in reports and returns, and the calls it got. The script
// must outlive the segmenter job that uses it.
struct SegmenterScript {
    std::vector<std::string> calls;
    std::vector<int> progress {0, 10, 25, 50, 55, 100};
    std::optional<RkMir::BarEvent> meter;  // reported after progress 25
    std::vector<float> beatTimes;
    std::vector<RkMir::SegmentRecord> segments;
    std::function<void()> beforeAnalyze;     // at the start of each analysis; may throw
    std::function<void(int)> afterProgress;  // after each report
    int sourceLength = -1;                   // length of the source analysed
    int analyses = 0;                        // analyses started
};

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
        ++m_s.analyses;
        m_s.sourceLength = source.length();
        if (m_s.beforeAnalyze)
            m_s.beforeAnalyze();
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

// A segmenter job whose analysis is the stand-in of `script`.
inline IF_segmenter* scriptedSegmenter(SegmenterScript& script)
{
    return new segmenter(fakeFactory(script));
}

}  // namespace standin
