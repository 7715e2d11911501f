// The two passes of the toolkit's feature generator (declared in
// RkMir/FeatureGenerator.h); they live here because they drive the chord
// recogniser.
#include "ISeekable.h"
#include "RkMir/FeatureGenerator.h"
#include "RkMir/FrameFeatureMaker.h"
#include "TaviCollector.h"
#include "TaviSemiOffline.h"

#include <Eigen/SVD>
#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace RkMir {

namespace {

constexpr int kTaviBlock = 180;
constexpr int kFeatureCount = FrameFeatureMaker::kBands + FrameFeatureMaker::kPitchClasses;
constexpr int kFirstPassShare = 25;  // percent of the whole analysis

void checkChannels(int channels)
{
    if (channels != 1 && channels != 2)
        throw std::runtime_error("Unsupported number of channels");
}

void checkAbort(const IProgress* observer)
{
    if (observer && observer->abortRequest)
        throw std::runtime_error("Aborted");
}

// Progress of the first pass, 0 to 25; -1 when the length is unknown.
int firstPassPercent(int64_t pushed, int32_t length)
{
    if (length <= 0)
        return -1;
    return static_cast<int>(std::min<int64_t>(kFirstPassShare, kFirstPassShare * pushed / length));
}

}  // namespace

void FeatureGenerator::reportProgress(int percent)
{
    if (!m_observer || percent < 0 || percent == m_lastProgress)
        return;
    m_lastProgress = percent;
    m_observer->progress(static_cast<unsigned char>(percent));
}

void FeatureGenerator::runTaviPass(ISeekable<float>& source, std::vector<double>& barTimes,
                                   std::vector<uint32_t>& barBeatIndices, int w1, int w2, int w3, int w4)
{
    barTimes.clear();
    barBeatIndices.clear();
    const float rate = source.sampleRate();
    const int channels = source.channels();
    checkChannels(channels);

    auto tavi = std::make_unique<tavi::TaviSemiOffline>();
    if (tavi->initialize(0, std::wstring(), kTaviBlock, w1) != 0)
        throw std::runtime_error("TAVI Cannot be initialized");
    tavi->setUpdateInterval(15);
    if (tavi->setParams(w2, w3, w4) != 0)
        throw std::runtime_error("TAVI Cannot be initialized");

    TaviCollector collector(rate, m_observer, 4, 4);
    installAnalysisCallbacks(tavi->callbacks(), collector);

    std::vector<float> block(static_cast<size_t>(kTaviBlock) * static_cast<size_t>(channels), 0.0f);
    source.seek(0);
    const int32_t length = source.length();
    int64_t pushed = 0;
    m_lastProgress = -1;
    while (source.read(block.data(), kTaviBlock) == kTaviBlock) {
        if (!m_running)
            break;
        if (channels == 2)
            for (int k = 0; k < kTaviBlock; ++k)
                block[static_cast<size_t>(k)] =
                    0.5f * (block[2 * static_cast<size_t>(k)] + block[2 * static_cast<size_t>(k) + 1]);
        tavi->pushData(block.data(), kTaviBlock);
        pushed += kTaviBlock;
        if (m_observer && pushed % 4096 != 0) {
            reportProgress(firstPassPercent(pushed, length));
            checkAbort(m_observer);
        }
    }
    std::vector<float>().swap(block);
    if (!m_running)
        return;

    if (tavi->finish() != 0)
        throw std::runtime_error("Cannot load TAVI");
    const int pointsPerBar = collector.gridPointsPerBeat() * collector.beatsPerBar();
    m_gridStep = pointsPerBar;
    m_indices = collector.beatTimes();
    source.seek(0);

    const std::vector<float>& grid = collector.getGridTimes();
    const std::vector<int>& barBeats = collector.getEventPositions();
    const size_t bars = pointsPerBar > 0 ? grid.size() / static_cast<size_t>(pointsPerBar) : 0;
    for (size_t i = 0; i < bars && i < barBeats.size(); ++i)
        barBeatIndices.push_back(static_cast<uint32_t>(barBeats[i]));
    for (size_t i = 0; i < bars; ++i)
        barTimes.push_back(grid[i * static_cast<size_t>(pointsPerBar)]);
    barTimes.push_back(static_cast<double>(pushed) / static_cast<double>(rate));

    m_gridFrameIndices.clear();
    for (float t : grid)
        m_gridFrameIndices.push_back(static_cast<int>(static_cast<double>(t) * m_sampleRate) / m_hopsize);
}

std::vector<double> FeatureGenerator::summarizeGroup(const std::vector<double>& sums, int count,
                                                     const std::vector<double>& cosine)
{
    constexpr int kBands = FrameFeatureMaker::kBands;
    std::vector<double> mean(kFeatureCount, 0.0);
    if (count > 0)
        for (int i = 0; i < kFeatureCount && i < static_cast<int>(sums.size()); ++i)
            mean[static_cast<size_t>(i)] = sums[static_cast<size_t>(i)] / count;
    double logBand[kBands];
    for (int c = 0; c < kBands; ++c)
        logBand[c] = std::log(mean[static_cast<size_t>(c)] + 0.0001);
    for (int r = 0; r < kBands; ++r) {
        double v = 0.0;
        for (int c = 0; c < kBands; ++c)
            v += cosine[static_cast<size_t>(kBands * r + c)] * logBand[c];
        mean[static_cast<size_t>(r)] = v;
    }
    return mean;
}

Numeric::Matrix FeatureGenerator::reduceToBars(const Numeric::Matrix& summaries, int pointsPerBar, int ndim)
{
    const int n = std::max(ndim, 1);
    const Eigen::Index bars = pointsPerBar > 0 ? summaries.rows() / pointsPerBar : 0;
    if (bars == 0)
        return Numeric::Matrix(0, n);
    const Eigen::Index width = static_cast<Eigen::Index>(pointsPerBar) * summaries.cols();
    Numeric::Matrix barMatrix(bars, width);
    for (Eigen::Index b = 0; b < bars; ++b)
        for (int p = 0; p < pointsPerBar; ++p)
            barMatrix.block(b, p * summaries.cols(), 1, summaries.cols()) =
                summaries.row(b * pointsPerBar + p);
    Numeric::standardizeColumns(barMatrix);

    Numeric::Matrix out = Numeric::Matrix::Zero(bars, n);
    if (n < bars) {
        const Eigen::MatrixXd transposed = barMatrix.transpose();
        Eigen::JacobiSVD<Eigen::MatrixXd, Eigen::ColPivHouseholderQRPreconditioner> svd(transposed,
                                                                                        Eigen::ComputeThinV);
        const Eigen::Index cols = std::min<Eigen::Index>(n, svd.matrixV().cols());
        out.leftCols(cols) = svd.matrixV().leftCols(cols);
    } else {
        const Eigen::Index cols = std::min<Eigen::Index>(n, width);
        out.leftCols(cols) = barMatrix.leftCols(cols);
    }
    Numeric::standardizeColumns(out);
    return out;
}

void FeatureGenerator::computeFeatures(Numeric::Matrix& features, std::vector<double>& barTimes,
                                       std::vector<uint32_t>& barBeatIndices, ISeekable<float>& source,
                                       int w1, int w2, int w3, int w4)
{
    m_running = 1;
    features.resize(0, m_ndim);
    runTaviPass(source, barTimes, barBeatIndices, w1, w2, w3, w4);
    if (!m_running)
        return;

    const int channels = source.channels();
    checkChannels(channels);
    FrameFeatureMaker maker(m_framelen);
    maker.buildFilterBank(source.sampleRate());

    source.seek(0);
    const size_t hop = static_cast<size_t>(m_hopsize);
    std::vector<float> block(hop * static_cast<size_t>(channels), 0.0f);
    std::vector<double> frame(hop, 0.0);
    std::vector<double> sums(kFeatureCount, 0.0);
    int count = 0;
    std::vector<std::vector<double>> summaries;
    const size_t gridPoints = m_gridFrameIndices.size();
    size_t g = 0;
    bool sentShare = false;
    const auto closeGroup = [&] {
        summaries.push_back(summarizeGroup(sums, count, maker.cosineTable()));
        std::fill(sums.begin(), sums.end(), 0.0);
        count = 0;
    };
    for (int f = 0; source.read(block.data(), m_hopsize) == m_hopsize; ++f) {
        if (!m_running)
            break;
        // Grid points that share a frame each close a group (the later
        // ones empty), so the grid never stalls behind the frames.
        while (g < gridPoints && m_gridFrameIndices[g] == f) {
            if (g > 0)
                closeGroup();
            std::fill(sums.begin(), sums.end(), 0.0);
            count = 0;
            ++g;
        }
        if (m_observer && g > 0 && g % 4096 != 0) {
            if (!sentShare) {
                sentShare = true;
                reportProgress(kFirstPassShare);
            }
            checkAbort(m_observer);
        }
        for (size_t k = 0; k < hop; ++k)
            frame[k] = channels == 2 ? 0.5 * block[2 * k + 1] + 0.5 * block[2 * k] : block[k];
        const std::vector<double> values = maker.processFrame(frame);
        for (int i = 0; i < kFeatureCount && i < static_cast<int>(values.size()); ++i)
            sums[static_cast<size_t>(i)] += values[static_cast<size_t>(i)];
        ++count;
        std::fill(block.begin(), block.end(), 0.0f);
    }
    if (count > 0 && g > 0)
        closeGroup();

    Numeric::Matrix stacked(static_cast<Eigen::Index>(summaries.size()), kFeatureCount);
    for (size_t s = 0; s < summaries.size(); ++s)
        for (int i = 0; i < kFeatureCount; ++i)
            stacked(static_cast<Eigen::Index>(s), i) = summaries[s][static_cast<size_t>(i)];
    features = reduceToBars(stacked, m_gridStep, m_ndim);
}

}  // namespace RkMir
