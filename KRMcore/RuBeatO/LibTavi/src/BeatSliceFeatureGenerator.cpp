#include "BeatSliceFeatureGenerator.h"

#include "CBeatDetect.h"
#include "Hpcp/CHpcp.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace tavi {

namespace {

constexpr int kSemitoneType = 3;
constexpr float kFillerValue = 1e-20f;

// The beat tracker's settings for chord work: 1024-value frames, three
// frames per decoder step, 60 to 200 beats per minute, beats reported at
// twice the decoded rate.
constexpr int kBeatFrameLength = 1024;
constexpr int kBeatDecimation = 3;
constexpr float kMinBpm = 60.0f;
constexpr float kMaxBpm = 200.0f;

bool knownFeatureType(int type)
{
    return (type >= kBassChroma && type <= kJointChromaAndSums) || type == kOctavePowers;
}

}  // namespace

BeatSliceFeatureGenerator::BeatSliceFeatureGenerator(int frameLength, int hop)
    : m_frameLength(frameLength), m_hop(hop)
{
    if (hop < 1 || hop % 2 != 0 || frameLength < hop)
        throw std::invalid_argument("BeatSliceFeatureGenerator: hop " + std::to_string(hop) +
                                    " and frame length " + std::to_string(frameLength) +
                                    " (need an even hop of at least 2, at most the frame length)");
    m_hpcp.reset(new Hpcp::CHpcp(12, 6, static_cast<float>(kSampleRate), "C0", 48.0f, frameLength, false, 10,
                                 false, 3, 0, true));
    m_beatDetector.reset(new RuBeatO::CBeatDetect(kBeatFrameLength, hop, static_cast<float>(kSampleRate),
                                                  kBeatDecimation, kMinBpm, kMaxBpm, true));
    m_block.reset(new float[static_cast<size_t>(hop)]());
    m_semitoneExtractor.reset(new SemitoneFrameFeatureExtractor(hop, frameLength, m_hpcp, &m_frameFeatures));
    m_beatExtractor.reset(new BeatFrameFeatureExtractor(hop, m_beatDetector));
}

void BeatSliceFeatureGenerator::processBlock(const float* block)
{
    m_semitoneExtractor->process(block, m_hop);
    m_beatExtractor->process(block, m_hop);
}

void BeatSliceFeatureGenerator::pushData(const float* samples, int n)
{
    if (n < 0 || (n > 0 && samples == nullptr))
        throw std::invalid_argument("BeatSliceFeatureGenerator::pushData: " + std::to_string(n) + " samples");
    int at = 0;
    if (m_blockFill > 0) {
        const int take = std::min(m_hop - m_blockFill, n);
        std::copy(samples, samples + take, m_block.get() + m_blockFill);
        m_blockFill += take;
        at = take;
        if (m_blockFill < m_hop)
            return;
        processBlock(m_block.get());
        m_blockFill = 0;
    }
    for (; n - at >= m_hop; at += m_hop)
        processBlock(samples + at);
    std::copy(samples + at, samples + n, m_block.get());
    m_blockFill = n - at;
}

void BeatSliceFeatureGenerator::finish()
{
    m_beatDetector->infer();
    std::vector<int> frames;
    m_beatDetector->getBeatFrames(frames, 1, 0);
    m_beats.assign(frames.begin(), frames.end());

    // Enough frames that every beat of a very short recording still has a
    // slice to read.
    const long n = static_cast<long>(m_beats.size());
    const long f = static_cast<long>(m_frameFeatures.size());
    const long fillers = std::max(0L, (n + 4) / 4 - 4 * f);
    const std::vector<double> filler(static_cast<size_t>(m_hpcp->getDimension(kSemitoneType)), kFillerValue);
    for (long i = 0; i < fillers; ++i)
        m_frameFeatures.push_back(filler);
}

void BeatSliceFeatureGenerator::reset()
{
    reset(false);
}

void BeatSliceFeatureGenerator::reset(bool accumulate)
{
    m_semitoneExtractor->reset();
    m_beatExtractor->reset();
    const int32_t count = static_cast<int32_t>(m_beats.size());
    m_beatIndexOffset = accumulate ? m_beatIndexOffset + count : count;
}

void BeatSliceFeatureGenerator::selectChordFeatures(std::vector<std::vector<double>>& out, int featureType,
                                                    int phase, int step, int reducer)
{
    if (!knownFeatureType(featureType))
        throw std::invalid_argument("Cannot use feature other than JointHPCP or SemitonePow");
    if (reducer < kMedian || reducer > kRootSumOfSquares)
        throw std::invalid_argument("selectChordFeatures: unknown reducer " + std::to_string(reducer));
    if (step < 1)
        throw std::invalid_argument("selectChordFeatures: step " + std::to_string(step) + " (at least 1)");

    m_selectedBeats.clear();
    m_selectedBeatTimes.clear();
    for (size_t i = 0; i < m_beats.size(); ++i) {
        const long number = static_cast<long>(m_beatIndexOffset) + static_cast<long>(i);
        if (number % step != phase)
            continue;
        m_selectedBeats.push_back(m_beats[i]);
        m_selectedBeatTimes.push_back(
            static_cast<float>(m_beats[i] * static_cast<double>(m_hop) / kSampleRate));
    }
    m_slices = beatSlices(std::vector<int>(m_selectedBeats.begin(), m_selectedBeats.end()),
                          static_cast<int>(m_frameFeatures.size()), m_frameDecimation);

    out.resize(m_slices.size());
    const int semitones = m_hpcp->getDimension(kSemitoneType);
    std::vector<double> reduced;
    for (size_t k = 0; k < m_slices.size(); ++k) {
        reduceSlice(m_frameFeatures, m_slices[k], reducer, semitones, reduced);
        beatFeature(reduced, featureType, out[k]);
    }
}

double BeatSliceFeatureGenerator::beatTime(int index) const
{
    return m_selectedBeatTimes.at(static_cast<size_t>(index));
}

void BeatSliceFeatureGenerator::getInfoAtFrame(int frame, int& period, int& countdown) const
{
    m_beatDetector->getInfoAtFrame(frame, period, countdown);
}

void BeatSliceFeatureGenerator::getInfoAtLatestFrame(int& period, int& countdown) const
{
    m_beatDetector->getInfoAtFrame(m_beatDetector->getNumFrames() - 1, period, countdown);
}

void BeatSliceFeatureGenerator::setInitialState(int period, int countdown)
{
    m_beatDetector->setInitialState(period, countdown);
}

}  // namespace tavi
