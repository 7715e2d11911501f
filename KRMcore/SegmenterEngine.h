#pragma once
// What the segmenter job asks of the section segmenter of the analysis
// library, as a small interface: the job builds one engine per run through
// a factory, so the library's segmenter and a test's stand-in are used the
// same way. Calls follow the library's order: the setters, `setProgress`,
// `analyze`, then the two result getters.
#include "IProgress.h"
#include "ISeekable.h"

#include <functional>
#include <memory>
#include <vector>

class ISectionSegmenter {
public:
    virtual ~ISectionSegmenter() = default;
    virtual void setHyperParameterC(double c) = 0;
    virtual void setPriors(double a, double b, double c) = 0;
    virtual void setNdim(int ndim) = 0;
    virtual void setHyperParameterB(double b) = 0;
    virtual void setHyperParameterA(double a) = 0;
    virtual void setEstimatorSizeA(int size) = 0;
    virtual void setEstimatorSizeC(int size) = 0;
    // Meter hint: numerator or -1, level, hypothesis, denominator code
    // (1, 2, 3 for 2, 4, 8; -1 for none).
    virtual void setTimeSignature(int w1, int w2, int w3, int w4) = 0;
    // The observer must outlive `analyze`.
    virtual void setProgress(RkMir::IProgress* observer) = 0;
    // Analyses the whole source; failures (among them "Aborted" when the
    // observer's abort request is raised) leave as exceptions.
    virtual void analyze(ISeekable<float>& source) = 0;
    // Beat times in seconds of the latest analysis.
    virtual std::vector<float> getGeneratorIndices() = 0;
    // Contiguous segments of the latest analysis, in time order.
    virtual std::vector<RkMir::SegmentRecord> getSegments() = 0;
};

// The analysis library's segmenter behind the interface, held by value.
template <typename Segmenter> class LibrarySegmenter : public ISectionSegmenter {
public:
    void setHyperParameterC(double c) override { m_segmenter.setHyperParameterC(c); }
    void setPriors(double a, double b, double c) override { m_segmenter.setPriors(a, b, c); }
    void setNdim(int ndim) override { m_segmenter.setNdim(ndim); }
    void setHyperParameterB(double b) override { m_segmenter.setHyperParameterB(b); }
    void setHyperParameterA(double a) override { m_segmenter.setHyperParameterA(a); }
    void setEstimatorSizeA(int size) override { m_segmenter.setEstimatorSizeA(size); }
    void setEstimatorSizeC(int size) override { m_segmenter.setEstimatorSizeC(size); }
    void setTimeSignature(int w1, int w2, int w3, int w4) override
    {
        m_segmenter.setTimeSignature(w1, w2, w3, w4);
    }
    void setProgress(RkMir::IProgress* observer) override { m_segmenter.setProgress(observer); }
    void analyze(ISeekable<float>& source) override { m_segmenter.analyze(source); }
    std::vector<float> getGeneratorIndices() override
    {
        const auto indices = m_segmenter.getGeneratorIndices();
        return std::vector<float>(indices.begin(), indices.end());
    }
    std::vector<RkMir::SegmentRecord> getSegments() override
    {
        std::vector<RkMir::SegmentRecord> out;
        for (const auto& r : m_segmenter.getSegments())
            out.push_back({r.start, r.end, r.beatIndex, r.label});
        return out;
    }

private:
    Segmenter m_segmenter;
};

// Makes a fresh engine for one run; an empty factory means the analysis
// library's segmenter is not part of this build.
using SectionSegmenterFactory = std::function<std::unique_ptr<ISectionSegmenter>()>;
