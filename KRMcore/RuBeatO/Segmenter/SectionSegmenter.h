#pragma once
// Divides one audio source into labelled song sections: one feature row
// per bar from the feature generator, the hidden semi-Markov estimator
// trained ten times on the rows from a fixed random start, the runs
// combined into one labelling, decoded into contiguous segment records.
//
// Lifecycle: construct, set the options (each setter ignores a value out
// of range and returns *this), setProgress, analyze (again if wanted),
// then read getGeneratorIndices and getSegments. One thread; the observer
// is called synchronously on it.
#include "IProgress.h"
#include "RkMir/Numeric/Hsmm.h"
#include "SegmentConsensus.h"

#include <cstdint>
#include <memory>
#include <vector>

template <typename T> class ISeekable;
namespace RkMir {
class FeatureGenerator;
}

struct SegmenterState;

class SectionSegmenter {
public:
    SectionSegmenter();
    ~SectionSegmenter();
    SectionSegmenter(const SectionSegmenter&) = delete;
    SectionSegmenter& operator=(const SectionSegmenter&) = delete;

    SectionSegmenter& setHyperParameterC(double c);                // > 0
    SectionSegmenter& setPriors(double p0, double p1, double p2);  // each > 0 on its own
    SectionSegmenter& setNdim(int ndim);                           // >= 1
    SectionSegmenter& setHyperParameterB(double b);                // > 0
    SectionSegmenter& setHyperParameterA(double a);                // > 0
    SectionSegmenter& setEstimatorSizeA(int size);                 // 1 to 63
    SectionSegmenter& setEstimatorSizeC(int size);                 // 1 to 63
    // Meter words for the chord recogniser: maximum beats per bar (or -1),
    // level, hypothesis, meter type; taken as they are.
    SectionSegmenter& setTimeSignature(int w1, int w2, int w3, int w4);
    // Not owned; may be null. Must outlive analyze.
    SectionSegmenter& setProgress(RkMir::IProgress* observer);

    // Analyses the whole source (read twice from frame 0). Progress goes
    // 0, the feature pass's 0 to 25, 50, then 50, 55, ..., 95 before each
    // estimator run, 100; then the observer's notify, once; each segment
    // record is reported as it is decoded. The same input gives the same
    // records, also on a second call. Throws std::runtime_error
    // "Cannot analyze waveform this long" (more than 60 minutes at the
    // source's own rate, before any read), "Aborted" (the observer's abort
    // request, read after every progress report) and whatever the feature
    // pass throws (see RkMir::FeatureGenerator::computeFeatures).
    void analyze(ISeekable<float>& source);

    // Beat times of the latest analysis, seconds.
    std::vector<float> getGeneratorIndices() const;
    // Segments of the latest analysis in time order, contiguous from the
    // first bar to the end of the audio read.
    std::vector<RkMir::SegmentRecord> getSegments() const;

    // Combines the runs (state and remaining-length arrays, one entry per
    // row each) into per-row remaining lengths and labels; segments share
    // a label when at least `agreement` of the runs agree on it.
    static void buildStateModel(std::vector<uint32_t>& remaining, std::vector<uint32_t>& labels,
                                const RunArrays& remainingRuns, const RunArrays& stateRuns, double agreement);

    // Test access to the options, in the order the state keeps them.
    const SegmenterState& state() const { return *m_state; }
    int32_t maxMinutes = 60;

private:
    void runEstimators(RunArrays& remainingRuns, RunArrays& stateRuns, const Numeric::Matrix& features);
    void decodeSegments();
    void report(int percent);

    std::unique_ptr<SegmenterState> m_state;
};

struct SegmenterState {
    RkMir::IProgress* observer = nullptr;
    std::vector<double> barTimes;          // bar starts plus the end of the audio read, seconds
    std::vector<uint32_t> barBeatIndices;  // beat each bar starts on
    int32_t sizeC = 5;
    int32_t sizeB = 8;
    int32_t sizeA = 20;
    double bestBound = 0.0;
    std::vector<uint32_t> barLabels;
    std::vector<uint32_t> barRemaining;
    std::vector<float> generatorIndices;  // beat times, seconds
    int32_t ndim = 5;
    double hyperC = 0.01;
    double priors[3] = {1.0, 0.01, 0.01};
    double hyperB = 0.1;
    double hyperA = 0.9;
    std::vector<RkMir::SegmentRecord> segments;
    int32_t words[4] = {4, 0, -1, 2};
    std::shared_ptr<RkMir::FeatureGenerator> generator;
};
