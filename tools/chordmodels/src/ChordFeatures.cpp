#include "ChordFeatures.h"

#include "BeatSliceFeatures.h"
#include "FrameFeatureExtractor.h"
#include "Hpcp/CHpcp.h"
#include "OfflineHmm.h"

#include <cmath>

namespace chordmodels {

std::vector<std::vector<double>> beatFeaturesAt(const std::vector<float>& audio,
                                                const std::vector<double>& beatTimes, int featureType,
                                                int reducer)
{
    auto hpcp = boost::shared_ptr<Hpcp::CHpcp>(
        new Hpcp::CHpcp(12, 6, 44100.0f, "C0", 48.0f, kFrameLength, false, 10, false, 3, 0, true));
    std::vector<std::vector<double>> frames;
    tavi::SemitoneFrameFeatureExtractor extractor(kHop, kFrameLength, hpcp, &frames);
    const size_t blocks = audio.size() / kHop;
    for (size_t b = 0; b < blocks; ++b)
        extractor.process(audio.data() + b * kHop, kHop);

    std::vector<int> positions;
    for (double t : beatTimes)
        positions.push_back(static_cast<int>(std::lround(t * 44100.0 / kHop)));
    const int semitones = hpcp->getDimension(3);
    std::vector<std::vector<double>> features;
    std::vector<double> reduced;
    for (const tavi::FrameSlice& s :
         tavi::beatSlices(positions, static_cast<int>(frames.size()),
                          tavi::SemitoneFrameFeatureExtractor::kBlocksPerAnalysis)) {
        tavi::reduceSlice(frames, s, reducer, semitones, reduced);
        features.emplace_back();
        tavi::beatFeature(reduced, featureType, features.back());
    }
    return features;
}

std::vector<double> rotateToRoot(const std::vector<double>& feature, int root)
{
    std::vector<double> out;
    tavi::rotateBeatFeature(feature, root, out);
    return out;
}

}  // namespace chordmodels
