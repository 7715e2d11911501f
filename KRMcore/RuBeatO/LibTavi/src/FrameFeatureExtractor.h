#pragma once
// Extractors fed block by block: each keeps a window of the newest
// frameLength samples, slid left by one hop per block.
#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>

#include <vector>

namespace Hpcp {
class CHpcp;
}
namespace RuBeatO {
class CBeatDetect;
}

namespace tavi {

class FrameFeatureExtractor {
public:
    // hop >= 1 samples per call, frameLength >= hop; otherwise throws
    // std::invalid_argument. The window starts as zeros.
    FrameFeatureExtractor(int hop, int frameLength);
    // One block: slides the window and appends min(n, hop) samples (zeros
    // for the rest of a short block).
    virtual void process(const float* samples, int n) = 0;
    virtual ~FrameFeatureExtractor() = default;
    virtual void reset() { }

    int hop() const { return m_hop; }
    int frameLength() const { return m_frameLength; }
    const float* window() const { return m_window.get(); }

protected:
    void slide(const float* samples, int n);

    int m_hop;
    int m_frameLength;
    boost::shared_array<float> m_window;
};

// A semitone power frame of the whole window every fourth block, appended
// to a frame list the caller owns. The count starts at
// -(frameLength / (2 hop)), so the first frame is taken once the window is
// more than half filled.
class SemitoneFrameFeatureExtractor : public FrameFeatureExtractor {
public:
    static constexpr int kBlocksPerAnalysis = 4;

    // hpcp: built for frameLength samples. frames: receives one vector of
    // hpcp->getDimension(3) values per analysed block; outlives this object.
    SemitoneFrameFeatureExtractor(int hop, int frameLength, boost::shared_ptr<Hpcp::CHpcp> hpcp,
                                  std::vector<std::vector<double>>* frames);
    void process(const float* samples, int n) override;
    // Clears the frame list and restarts the count.
    void reset() override;

    int blockCounter() const { return m_counter; }

private:
    int startCount() const { return -(m_frameLength / (2 * m_hop)); }

    int m_blocksPerAnalysis = kBlocksPerAnalysis;
    int m_counter;
    boost::shared_ptr<Hpcp::CHpcp> m_hpcp;
    std::vector<double> m_work;
    std::vector<std::vector<double>>* m_frames;
};

// Hands every block to the beat tracker: its window is exactly one block.
class BeatFrameFeatureExtractor : public FrameFeatureExtractor {
public:
    // hop: samples per block, even (the tracker sums samples in pairs).
    // output: an optional list the extractor may fill; may be null.
    BeatFrameFeatureExtractor(int hop, boost::shared_ptr<RuBeatO::CBeatDetect> detector,
                              std::vector<std::vector<double>>* output = nullptr);
    void process(const float* samples, int n) override;
    // Starts the tracker afresh (a new recording for it).
    void reset() override;

private:
    boost::shared_ptr<RuBeatO::CBeatDetect> m_detector;
    std::vector<std::vector<double>>* m_output;
};

}  // namespace tavi
