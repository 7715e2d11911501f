#include "SectionSegmenter.h"

#include "ISeekable.h"
#include "RkMir/FeatureGenerator.h"
#include "RkMir/Numeric/HsmmEstimator.h"

#include <iostream>
#include <stdexcept>

namespace {

constexpr int kHop = 1024;
constexpr int kFrame = 8192;
constexpr int kRuns = 10;
constexpr uint32_t kSeed = 32768;
constexpr double kAgreement = 0.9;

std::shared_ptr<RkMir::FeatureGenerator> freshGenerator()
{
    return std::make_shared<RkMir::FeatureGenerator>(kHop, kFrame);
}

std::vector<uint32_t> unsignedCopy(const std::vector<int32_t>& v)
{
    return std::vector<uint32_t>(v.begin(), v.end());
}

}  // namespace

SectionSegmenter::SectionSegmenter() : m_state(std::make_unique<SegmenterState>())
{
    m_state->generator = freshGenerator();
}

SectionSegmenter::~SectionSegmenter() = default;

SectionSegmenter& SectionSegmenter::setHyperParameterC(double c)
{
    if (c > 0)
        m_state->hyperC = c;
    return *this;
}

SectionSegmenter& SectionSegmenter::setPriors(double p0, double p1, double p2)
{
    const double given[3] = {p0, p1, p2};
    for (int i = 0; i < 3; ++i)
        if (given[i] > 0)
            m_state->priors[i] = given[i];
    return *this;
}

SectionSegmenter& SectionSegmenter::setNdim(int ndim)
{
    if (ndim >= 1)
        m_state->ndim = ndim;
    return *this;
}

SectionSegmenter& SectionSegmenter::setHyperParameterB(double b)
{
    if (b > 0)
        m_state->hyperB = b;
    return *this;
}

SectionSegmenter& SectionSegmenter::setHyperParameterA(double a)
{
    if (a > 0)
        m_state->hyperA = a;
    return *this;
}

SectionSegmenter& SectionSegmenter::setEstimatorSizeA(int size)
{
    if (size >= 1 && size <= 63)
        m_state->sizeA = size;
    return *this;
}

SectionSegmenter& SectionSegmenter::setEstimatorSizeC(int size)
{
    if (size >= 1 && size <= 63)
        m_state->sizeC = size;
    return *this;
}

SectionSegmenter& SectionSegmenter::setTimeSignature(int w1, int w2, int w3, int w4)
{
    m_state->words[0] = w1;
    m_state->words[1] = w2;
    m_state->words[2] = w3;
    m_state->words[3] = w4;
    return *this;
}

SectionSegmenter& SectionSegmenter::setProgress(RkMir::IProgress* observer)
{
    m_state->observer = observer;
    return *this;
}

std::vector<float> SectionSegmenter::getGeneratorIndices() const
{
    return m_state->generatorIndices;
}

std::vector<RkMir::SegmentRecord> SectionSegmenter::getSegments() const
{
    return m_state->segments;
}

void SectionSegmenter::report(int percent)
{
    RkMir::IProgress* observer = m_state->observer;
    if (!observer)
        return;
    observer->progress(static_cast<unsigned char>(percent));
    if (observer->abortRequest)
        throw std::runtime_error("Aborted");
}

void SectionSegmenter::analyze(ISeekable<float>& source)
{
    SegmenterState& s = *m_state;
    s.segments.clear();
    // The estimator draws its random starts from the toolkit's stream;
    // restarting it makes every analysis of an input give the same result.
    Numeric::reseedRandom(kSeed);
    // A fresh generator, also when an earlier analysis ended in an error.
    s.generator = freshGenerator();
    std::shared_ptr<RkMir::FeatureGenerator> generator = s.generator;
    if (s.observer) {
        s.observer->progress(0);
        generator->setProgress(s.observer);
    }

    const float length = static_cast<float>(source.length());
    if (length > source.sampleRate() * 60.0f * static_cast<float>(maxMinutes))
        throw std::runtime_error("Cannot analyze waveform this long");
    generator->setNdim(s.ndim);

    Numeric::Matrix features;
    generator->computeFeatures(features, s.barTimes, s.barBeatIndices, source, s.words[0], s.words[1],
                               s.words[2], s.words[3]);
    s.generatorIndices = generator->getIndexVector();
    report(50);

    if (s.barTimes.empty() || static_cast<size_t>(features.rows()) != s.barTimes.size() - 1)
        std::cerr << "BEATLEN != DATA-ROWS" << std::endl;

    s.barLabels.clear();
    s.barRemaining.clear();
    // Without bars there is nothing to train on and nothing to decode.
    if (features.rows() > 0) {
        RunArrays remainingRuns, stateRuns;
        runEstimators(remainingRuns, stateRuns, features);
        buildStateModel(s.barRemaining, s.barLabels, remainingRuns, stateRuns, kAgreement);
        decodeSegments();
    }

    if (s.observer) {
        s.observer->progress(100);
        s.observer->notify();
    }
    s.generator = freshGenerator();
}

void SectionSegmenter::runEstimators(RunArrays& remainingRuns, RunArrays& stateRuns,
                                     const Numeric::Matrix& features)
{
    SegmenterState& s = *m_state;
    s.bestBound = -1e50;
    for (int run = 0; run < kRuns; ++run) {
        report(50 + 5 * run);
        Numeric::HsmmEstimator estimator(s.sizeA, s.sizeB, s.sizeC);
        estimator.setPriors(s.priors[0], s.priors[1], s.priors[2]);
        estimator.setHyperParameterC(s.hyperC);
        estimator.setHyperParameterB(s.hyperB);
        estimator.setHyperParameterA(s.hyperA);
        const double bound = estimator.run(features);
        std::vector<uint32_t> remaining = unsignedCopy(estimator.countdowns());
        std::vector<uint32_t> states = unsignedCopy(estimator.states());
        if (bound > s.bestBound) {
            s.bestBound = bound;
            s.barLabels = states;
            s.barRemaining = remaining;
        }
        remainingRuns.push_back(std::move(remaining));
        stateRuns.push_back(std::move(states));
    }
}

void SectionSegmenter::buildStateModel(std::vector<uint32_t>& remaining, std::vector<uint32_t>& labels,
                                       const RunArrays& remainingRuns, const RunArrays& stateRuns,
                                       double agreement)
{
    remaining.clear();
    labels.clear();
    if (remainingRuns.empty())
        return;
    const size_t rows = remainingRuns[0].size();
    const size_t runs = remainingRuns.size();
    RunArrays remainingByRow(rows, std::vector<uint32_t>(runs, 0));
    for (size_t r = 0; r < runs; ++r)
        for (size_t i = 0; i < rows && i < remainingRuns[r].size(); ++i)
            remainingByRow[i][r] = remainingRuns[r][i];

    const std::vector<Segment> segments = findConsensusBoundaries(remainingByRow);
    std::vector<std::vector<int>> runLabels;
    for (const Segment& seg : segments) {
        std::vector<int> perRun;
        for (size_t r = 0; r < runs; ++r) {
            std::vector<int> states;
            for (int i = seg.first; i < seg.second; ++i)
                if (r < stateRuns.size() && static_cast<size_t>(i) < stateRuns[r].size())
                    states.push_back(static_cast<int>(stateRuns[r][static_cast<size_t>(i)]));
            perRun.push_back(majorityLabel(states));
        }
        runLabels.push_back(std::move(perRun));
    }
    const std::vector<uint32_t> segmentLabels = clusterSegments(runLabels, 1.0 - agreement);

    remaining.assign(rows, 0);
    labels.assign(rows, 0);
    for (size_t k = 0; k < segments.size(); ++k)
        for (int i = segments[k].first; i < segments[k].second; ++i) {
            remaining[static_cast<size_t>(i)] = static_cast<uint32_t>(segments[k].second - i - 1);
            labels[static_cast<size_t>(i)] = segmentLabels[k];
        }
}

void SectionSegmenter::decodeSegments()
{
    SegmenterState& s = *m_state;
    s.segments.clear();
    if (s.barTimes.empty() || s.barLabels.empty())
        return;
    const std::vector<uint32_t> mapped = relabelSegments(s.barLabels, s.barRemaining);
    // Rows beyond the bars found (a row-count mismatch) have no times.
    const size_t rows = std::min(mapped.size(), s.barTimes.size() - 1);
    if (rows == 0)
        return;
    const auto beatOf = [&](size_t i) { return i < s.barBeatIndices.size() ? s.barBeatIndices[i] : 0u; };
    RkMir::SegmentRecord open {static_cast<float>(s.barTimes[0]), 0.0f, beatOf(0), mapped[0]};
    const auto close = [&](double end) {
        open.end = static_cast<float>(end);
        s.segments.push_back(open);
        if (s.observer)
            s.observer->segment(&s.segments.back());
    };
    for (size_t i = 1; i < rows; ++i)
        if (mapped[i] != mapped[i - 1] || s.barRemaining[i - 1] == 0) {
            close(s.barTimes[i]);
            open = {static_cast<float>(s.barTimes[i]), 0.0f, beatOf(i), mapped[i]};
        }
    close(s.barTimes.back());
}
