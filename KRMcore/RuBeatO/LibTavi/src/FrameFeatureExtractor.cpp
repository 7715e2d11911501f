#include "FrameFeatureExtractor.h"

#include "CBeatDetect.h"
#include "Hpcp/CHpcp.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace tavi {

namespace {

constexpr int kSemitoneType = 3;

}  // namespace

FrameFeatureExtractor::FrameFeatureExtractor(int hop, int frameLength)
    : m_hop(hop), m_frameLength(frameLength)
{
    if (hop < 1 || frameLength < hop)
        throw std::invalid_argument("FrameFeatureExtractor: hop " + std::to_string(hop) +
                                    " and frame length " + std::to_string(frameLength) +
                                    " (need 1 <= hop <= frame length)");
    m_window.reset(new float[static_cast<size_t>(frameLength)]());
}

void FrameFeatureExtractor::slide(const float* samples, int n)
{
    float* w = m_window.get();
    std::copy(w + m_hop, w + m_frameLength, w);
    float* tail = w + (m_frameLength - m_hop);
    const int take = std::max(0, std::min(n, m_hop));
    std::copy(samples, samples + take, tail);
    std::fill(tail + take, tail + m_hop, 0.0f);
}

SemitoneFrameFeatureExtractor::SemitoneFrameFeatureExtractor(int hop, int frameLength,
                                                             boost::shared_ptr<Hpcp::CHpcp> hpcp,
                                                             std::vector<std::vector<double>>* frames)
    : FrameFeatureExtractor(hop, frameLength),
      m_counter(startCount()),
      m_hpcp(std::move(hpcp)),
      m_frames(frames)
{
    if (!m_hpcp || m_frames == nullptr)
        throw std::invalid_argument("SemitoneFrameFeatureExtractor: needs an engine and a frame list");
}

void SemitoneFrameFeatureExtractor::process(const float* samples, int n)
{
    slide(samples, n);
    if (++m_counter != m_blocksPerAnalysis)
        return;
    m_counter = 0;
    m_hpcp->processFrame(m_window.get(), m_frameLength);
    const float* semitones = m_hpcp->getBuffer(kSemitoneType);
    m_work.assign(semitones, semitones + m_hpcp->getDimension(kSemitoneType));
    m_frames->push_back(m_work);
}

void SemitoneFrameFeatureExtractor::reset()
{
    m_frames->clear();
    m_counter = startCount();
}

BeatFrameFeatureExtractor::BeatFrameFeatureExtractor(int hop,
                                                     boost::shared_ptr<RuBeatO::CBeatDetect> detector,
                                                     std::vector<std::vector<double>>* output)
    : FrameFeatureExtractor(hop, hop), m_detector(std::move(detector)), m_output(output)
{
    if (!m_detector)
        throw std::invalid_argument("BeatFrameFeatureExtractor: needs a beat detector");
}

void BeatFrameFeatureExtractor::process(const float* samples, int n)
{
    slide(samples, n);
    m_detector->addData(m_window.get(), m_hop);
}

void BeatFrameFeatureExtractor::reset()
{
    m_detector->reset();
}

}  // namespace tavi
